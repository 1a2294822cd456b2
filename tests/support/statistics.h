// Tolerances for Monte Carlo checks, derived from the standard error of the
// estimate rather than tuned: an estimate passes when it lies within k
// standard errors of the expected value (k = 3 by default: a correct
// implementation fails about 3 times in 1000 runs).
#pragma once

#include <vector>

namespace ccs::test {

struct Estimate {
  double mean;
  double standard_error;
};

// Mean and standard error of the mean of independent samples.
Estimate mean_and_error(const std::vector<double>& samples);

// Standard error of a covered fraction p estimated from n Bernoulli samples.
double binomial_error(double p, double n);

// Acceptance half-width: k standard errors.
double stat_tolerance(double standard_error, double k = 3.0);

// True when |estimate - expected| <= stat_tolerance(standard_error, k).
bool within(double estimate, double expected, double standard_error, double k = 3.0);

}  // namespace ccs::test
