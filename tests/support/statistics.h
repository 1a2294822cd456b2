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

// Whether the standard errors reported by K independent runs are honest:
// runs[k] holds run k's per-orientation values (n each, the run reports
// their mean and its standard error). Compares the variance of the K means
// with the mean squared reported standard error through the log of their
// ratio, whose sampling variance for normal values is 2/(K-1) +
// 2/(K(n-1)); the excess kurtosis k4 of the values about their run's mean
// adds k4/(nK) to each term (the sampling variance of a variance). Honest
// when |log ratio| <= z standard deviations (z = 3.29: 0.1 %).
struct SpreadCheck {
  double log_ratio;  // log(variance of the means / mean squared standard error)
  double sd;         // its sampling standard deviation
  bool honest;
};
SpreadCheck spread_against_reported_se(const std::vector<std::vector<double>>& runs,
                                       double z = 3.29);

}  // namespace ccs::test
