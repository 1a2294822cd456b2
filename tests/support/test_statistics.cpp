#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "support/statistics.h"

using ccs::test::binomial_error;
using ccs::test::mean_and_error;
using ccs::test::within;

TEST(Statistics, MeanAndErrorOfKnownSamples) {
  const auto e = mean_and_error({1.0, 2.0, 3.0, 4.0});
  EXPECT_DOUBLE_EQ(e.mean, 2.5);
  // sample variance 5/3, error sqrt(5/3/4)
  EXPECT_DOUBLE_EQ(e.standard_error, std::sqrt(5.0 / 3.0 / 4.0));
}

TEST(Statistics, BinomialErrorVanishesAtCertainty) {
  EXPECT_EQ(binomial_error(0.0, 100), 0.0);
  EXPECT_EQ(binomial_error(1.0, 100), 0.0);
  EXPECT_DOUBLE_EQ(binomial_error(0.5, 100), 0.05);
}

// The three-sigma band holds a correct estimator about 99.7 % of the time and
// rejects one that is biased by ten standard errors.
TEST(Statistics, ThreeSigmaBandCoverage) {
  std::mt19937 gen(12345);
  std::normal_distribution<double> noise(0.0, 1.0);
  int inside = 0;
  const int trials = 20000;
  for (int i = 0; i < trials; ++i) inside += within(noise(gen), 0.0, 1.0) ? 1 : 0;
  const double coverage = static_cast<double>(inside) / trials;
  EXPECT_NEAR(coverage, 0.9973, 3.0 * binomial_error(0.9973, trials));
  EXPECT_FALSE(within(10.0, 0.0, 1.0));
}

TEST(Statistics, SpreadCheckTellsHonestFromWrongStandardErrors) {
  // Runs of 20 normal values: the reported errors are honest. The same
  // runs made of 10 pairs of equal values (correlated orientations) report
  // errors about sqrt(2) too small; the check refuses them.
  std::mt19937 gen(5);
  std::normal_distribution<double> N(3.0, 2.0);
  std::vector<std::vector<double>> honest(150), paired(150);
  for (std::size_t k = 0; k < honest.size(); ++k) {
    for (int i = 0; i < 20; ++i) honest[k].push_back(N(gen));
    for (int i = 0; i < 10; ++i) {
      const double x = N(gen);
      paired[k].push_back(x);
      paired[k].push_back(x);
    }
  }
  const ccs::test::SpreadCheck a = ccs::test::spread_against_reported_se(honest);
  EXPECT_TRUE(a.honest) << a.log_ratio << " +- " << a.sd;
  const ccs::test::SpreadCheck b = ccs::test::spread_against_reported_se(paired);
  EXPECT_FALSE(b.honest) << b.log_ratio << " +- " << b.sd;
}
