#include "statistics.h"

#include <cmath>

namespace ccs::test {

Estimate mean_and_error(const std::vector<double>& samples) {
  const double n = static_cast<double>(samples.size());
  if (samples.empty()) return {NAN, NAN};
  double sum = 0.0;
  for (double x : samples) sum += x;
  const double mean = sum / n;
  if (samples.size() < 2) return {mean, NAN};
  double ss = 0.0;
  for (double x : samples) ss += (x - mean) * (x - mean);
  return {mean, std::sqrt(ss / (n - 1.0) / n)};
}

double binomial_error(double p, double n) { return std::sqrt(p * (1.0 - p) / n); }

double stat_tolerance(double standard_error, double k) { return k * standard_error; }

bool within(double estimate, double expected, double standard_error, double k) {
  return std::fabs(estimate - expected) <= stat_tolerance(standard_error, k);
}

SpreadCheck spread_against_reported_se(const std::vector<std::vector<double>>& runs, double z) {
  const double K = static_cast<double>(runs.size());
  const double n = runs.empty() ? 0.0 : static_cast<double>(runs[0].size());
  std::vector<double> means;
  double se2 = 0.0, m2 = 0.0, m4 = 0.0;
  for (const std::vector<double>& r : runs) {
    const Estimate e = mean_and_error(r);
    means.push_back(e.mean);
    se2 += e.standard_error * e.standard_error / K;
    for (double x : r) {
      const double d = x - e.mean;
      m2 += d * d / (K * n);
      m4 += d * d * d * d / (K * n);
    }
  }
  const Estimate m = mean_and_error(means);
  const double spread = m.standard_error * m.standard_error * K;
  const double k4 = std::fmax(0.0, m4 / (m2 * m2) - 3.0);
  const double var = 2.0 / (K - 1.0) + 2.0 / (K * (n - 1.0)) + 2.0 * k4 / (n * K);
  SpreadCheck c{std::log(spread / se2), std::sqrt(var), false};
  c.honest = std::fabs(c.log_ratio) <= z * c.sd;
  return c;
}

}  // namespace ccs::test
