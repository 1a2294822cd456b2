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

}  // namespace ccs::test
