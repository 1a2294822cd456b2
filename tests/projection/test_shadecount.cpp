#include <gtest/gtest.h>
#include <omp.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "projection/shadecount.h"
#include "runtime/random_streams.h"
#include "support/statistics.h"

namespace {

class Shadecount : public ::testing::Test {
 protected:
  void SetUp() override {
    omp_set_num_threads(2);
    rt::rng::reset_for_tests();
    rt::rng::first_time_init();
  }
  rt::RootContext root;
};

rt::RealArray table(const std::vector<std::vector<double>>& rows) {
  const int n = static_cast<int>(rows.size());
  const int m = n > 0 ? static_cast<int>(rows[0].size()) : 0;
  rt::RealArray a = rt::make_real(n, m);
  for (int i = 0; i < n; ++i) {
    for (int j = 0; j < m; ++j) a->data[i + j * n] = rows[i][j];
  }
  return a;
}

double run(rt::Context* ctx, const std::vector<std::vector<double>>& rows, double probe,
           double n_rot, double ehsspa = 0.0, double seed = 1.0) {
  rt::RealArray a = table(rows);
  double r1 = -1.0;
  double r2 = -1.0;
  shadecount(ctx, a.get(), static_cast<double>(rows.size()), probe, n_rot, ehsspa, seed, &r1,
             &r2);
  EXPECT_EQ(r2, 0.0);
  return r1;
}

}  // namespace

TEST_F(Shadecount, SingleAtomGivesTheDiscArea) {
  const double r = 1.7;
  const double p = 1.0;
  const double R = r + p;
  const int n_rot = 200;
  const double area = run(root.get(), {{2.0, -1.0, 0.5, r}}, p, n_rot);
  // Each orientation counts 20000 binomial samples with p = pi/4 in the square of side 2R.
  const double se = 4.0 * R * R * ccs::test::binomial_error(M_PI / 4.0, 20000.0 * n_rot);
  EXPECT_TRUE(ccs::test::within(area, M_PI * R * R, se)) << area << " vs " << M_PI * R * R;
}

TEST_F(Shadecount, NoOrientationGivesNaN) {
  EXPECT_TRUE(std::isnan(run(root.get(), {{0, 0, 0, 1.0}}, 1.0, 0)));
  EXPECT_TRUE(std::isnan(run(root.get(), {{0, 0, 0, 1.0}}, 1.0, -3)));
}

TEST_F(Shadecount, EhssPaInputChangesNothing) {
  const std::vector<std::vector<double>> mol = {
      {0, 0, 0, 1.5}, {1.4, 0.1, 0, 1.7}, {0.2, 1.3, 0.4, 1.6}, {-1.1, 0.5, 0.9, 1.2}};
  const double a = run(root.get(), mol, 1.0, 16, 0.0, 3);
  rt::rng::reset_for_tests();
  rt::rng::first_time_init();
  const double b = run(root.get(), mol, 1.0, 16, 42.0, 3);
  EXPECT_EQ(a, b);
  // Without the reset the loop streams continue and the samples differ.
  const double c = run(root.get(), mol, 1.0, 16, 0.0, 3);
  EXPECT_NE(a, c);
}

TEST_F(Shadecount, PrivateCopyIsReorderedNotLost) {
  const std::vector<std::vector<double>> mol = {
      {1, 2, 3, 1.1, 7}, {4, 5, 6, 1.2, 8}, {7, 8, 9, 1.3, 9}, {0, 1, 2, 1.4, 10}};
  rt::RealArray a = table(mol);
  double r1 = 0.0;
  double r2 = 0.0;
  shadecount(root.get(), a.get(), 4, 1.0, 2, 0, 11, &r1, &r2);
  std::vector<std::vector<double>> after(4, std::vector<double>(5));
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 5; ++j) after[i][j] = a->data[i + j * 4];
  }
  std::vector<std::vector<double>> sorted_after = after;
  std::sort(sorted_after.begin(), sorted_after.end());
  std::vector<std::vector<double>> sorted_mol = mol;
  std::sort(sorted_mol.begin(), sorted_mol.end());
  EXPECT_EQ(sorted_after, sorted_mol);  // whole rows moved together
}

TEST(ShadeCount, DiscTestIncludesItsEdgeAndRmaxTestsAreStrict) {
  const double X[] = {0.0};
  const double Y[] = {0.0};
  const double reach2[] = {25.0};
  const double xs[] = {3.0, 5.0, 0.0};
  const double ys[] = {4.0, 0.0, 5.0};
  // (3,4) lies on the disc edge; (5,0) and (0,5) fail |d| < Rmax with Rmax = 5.
  EXPECT_EQ(ccs::projection::count_hits_plain(X, Y, reach2, 1, 5.0, xs, ys, 1), 1);
  EXPECT_EQ(ccs::projection::count_hits_plain(X, Y, reach2, 1, 5.0, xs + 1, ys + 1, 2), 0);
  auto* g = ccs::projection::make_grid();
  EXPECT_EQ(ccs::projection::count_hits_grid(g, X, Y, reach2, 1, 5.0, xs, ys, 3), 1);
  ccs::projection::free_grid(g);
}

// The grid must count exactly the points the plain scan counts, including
// molecules with NaN centres or radii, spread-out atoms and points on edges.
TEST(ShadeCount, GridCountEqualsPlainScan) {
  std::mt19937 gen(2024);
  std::uniform_real_distribution<double> u(0.0, 1.0);
  auto* g = ccs::projection::make_grid();
  for (int trial = 0; trial < 300; ++trial) {
    const int n = 1 + static_cast<int>(u(gen) * 300);
    const double spread = trial % 3 == 0 ? 200.0 : 15.0;
    std::vector<double> X(n), Y(n), r2(n);
    double Rmax = 0.0;
    for (int i = 0; i < n; ++i) {
      X[i] = (u(gen) - 0.5) * spread;
      Y[i] = (u(gen) - 0.5) * spread;
      const double r = 1.0 + 2.0 * u(gen);
      r2[i] = r * r;
      Rmax = std::max(Rmax, r);
    }
    if (trial % 7 == 0) X[0] = NAN;
    if (trial % 11 == 0) r2[n - 1] = NAN;
    const int samples = 2000;
    std::vector<double> xs(samples), ys(samples);
    for (int s = 0; s < samples; ++s) {
      xs[s] = (u(gen) - 0.5) * (spread + 2 * Rmax);
      ys[s] = (u(gen) - 0.5) * (spread + 2 * Rmax);
    }
    // Points exactly on a disc edge and exactly Rmax away along an axis.
    xs[0] = X[n - 1] + 3.0 / 5.0 * std::sqrt(r2[n - 1]);
    ys[0] = Y[n - 1] + 4.0 / 5.0 * std::sqrt(r2[n - 1]);
    xs[1] = X[n - 1] + Rmax;
    ys[1] = Y[n - 1];
    EXPECT_EQ(ccs::projection::count_hits_grid(g, X.data(), Y.data(), r2.data(), n, Rmax, xs.data(),
                                          ys.data(), samples),
              ccs::projection::count_hits_plain(X.data(), Y.data(), r2.data(), n, Rmax, xs.data(),
                                           ys.data(), samples))
        << "trial " << trial;
  }
  ccs::projection::free_grid(g);
}

// Found by fuzzing: centres whose spread overflows to Inf made the grid's
// cell count NaN (converted to int). Such molecules take the plain scan.
TEST(ShadeCount, GridHandlesCentresTooFarApartForFiniteCells) {
  const double X[] = {1e308, -1e308, 0.0};
  const double Y[] = {0.0, 1.0, -1e308};
  const double reach2[] = {4.0, 4.0, 4.0};
  const double xs[] = {1e308, 0.0, -1e308, 1.0};
  const double ys[] = {1.0, 0.0, 1.5, -1e308};
  auto* g = ccs::projection::make_grid();
  EXPECT_EQ(ccs::projection::count_hits_grid(g, X, Y, reach2, 3, 2.0, xs, ys, 4),
            ccs::projection::count_hits_plain(X, Y, reach2, 3, 2.0, xs, ys, 4));
  EXPECT_EQ(ccs::projection::count_hits_grid(g, X, Y, reach2, 3, 2.0, xs, ys, 4), 3);
  ccs::projection::free_grid(g);
}

void shadecount_check_inputs(const emxArray_real_T* atoms, double n_atoms) {
  ccs::projection::validate(ccs::projection::plugin_params(atoms, n_atoms, 0.0, 0.0, 0.0));
}

TEST(ShadeCount, InputsTheDriverCannotReadAreRejected) {
  rt::RealArray a = rt::make_real(3, 4);
  EXPECT_NO_THROW(shadecount_check_inputs(a.get(), 3));
  EXPECT_THROW(shadecount_check_inputs(a.get(), 4), rt::Error);
  EXPECT_THROW(shadecount_check_inputs(a.get(), 0), rt::Error);
  EXPECT_THROW(shadecount_check_inputs(a.get(), 2.5), rt::Error);
  EXPECT_THROW(shadecount_check_inputs(a.get(), NAN), rt::Error);
  rt::RealArray b = rt::make_real(3, 3);
  try {
    shadecount_check_inputs(b.get(), 3);
    FAIL();
  } catch (const rt::Error& e) {
    EXPECT_NE(std::string(e.what()).find("DATA_atoms"), std::string::npos);
  }
}
