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

namespace {

using ccs::projection::union_area;
using ccs::projection::union_area_lines;

struct Discs2 {
  std::vector<double> X, Y, r2;
  void add(double x, double y, double r) {
    X.push_back(x);
    Y.push_back(y);
    r2.push_back(r * r);
  }
  int n() const { return static_cast<int>(X.size()); }
};

double exact(const Discs2& d) {
  auto* w = ccs::projection::make_union_scratch();
  const double a = union_area(w, d.X.data(), d.Y.data(), d.r2.data(), d.n());
  ccs::projection::free_union_scratch(w);
  return a;
}

// Area of the union of two discs of radii a, b with centres d apart.
double two_disc_union(double a, double b, double d) {
  const double lens = a * a * std::acos((d * d + a * a - b * b) / (2 * d * a)) +
                      b * b * std::acos((d * d + b * b - a * a) / (2 * d * b)) -
                      0.5 * std::sqrt((-d + a + b) * (d + a - b) * (d - a + b) * (d + a + b));
  return M_PI * (a * a + b * b) - lens;
}

// n discs of radius 1.5 to 3 with centres in a 12 x 8 rectangle.
Discs2 random_discs(int n, unsigned seed) {
  std::mt19937 gen(seed);
  std::uniform_real_distribution<double> u(0.0, 1.0);
  Discs2 d;
  for (int k = 0; k < n; ++k) d.add(12.0 * u(gen) - 6.0, 8.0 * u(gen) + 3.0, 1.5 + 1.5 * u(gen));
  return d;
}

}  // namespace

TEST(UnionArea, ExactForDiscsWithKnownUnions) {
  Discs2 one;
  one.add(3.0, -2.0, 2.5);
  EXPECT_NEAR(exact(one), M_PI * 6.25, 1e-12);
  Discs2 two = one;  // overlapping: the lens counted once
  two.add(5.0, -1.0, 1.5);
  EXPECT_NEAR(exact(two), two_disc_union(2.5, 1.5, std::sqrt(5.0)), 1e-12);
  Discs2 apart = one;  // disjoint and touching discs add up
  apart.add(8.0, -2.0, 2.5);
  apart.add(20.0, 0.0, 1.0);
  EXPECT_NEAR(exact(apart), M_PI * (6.25 + 6.25 + 1.0), 1e-11);
  Discs2 inside = one;  // a disc inside another, a copy, a zero and a NaN radius add nothing
  inside.add(3.5, -2.0, 1.0);
  inside.add(3.0, -2.0, 2.5);
  inside.add(0.0, 0.0, 0.0);
  inside.add(NAN, 1.0, 1.0);
  inside.X.push_back(1.0);
  inside.Y.push_back(1.0);
  inside.r2.push_back(NAN);
  EXPECT_NEAR(exact(inside), M_PI * 6.25, 1e-12);
}

TEST(UnionArea, AgreesWithThePlainPointCount) {
  // The covered fraction of the bounding box counted by the plain scan on
  // uniform points: binomial within 3 standard errors.
  for (unsigned seed : {1u, 2u, 3u}) {
    const Discs2 d = random_discs(40, seed);
    const double xlo = -9.0, w = 18.0, ylo = 0.0, h = 14.0;
    const int samples = 200000;
    std::mt19937 gen(seed + 10);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    std::vector<double> xs(samples), ys(samples);
    for (int s = 0; s < samples; ++s) {
      xs[s] = xlo + w * u(gen);
      ys[s] = ylo + h * u(gen);
    }
    const int hits = ccs::projection::count_hits_plain(d.X.data(), d.Y.data(), d.r2.data(), d.n(),
                                                       3.0, xs.data(), ys.data(), samples);
    const double p = static_cast<double>(hits) / samples;
    const double se = w * h * ccs::test::binomial_error(p, samples);
    EXPECT_TRUE(ccs::test::within(exact(d), w * h * p, se)) << exact(d) << " vs " << w * h * p;
  }
}

TEST(UnionArea, ProbeLinesAreUnbiasedAndDrawOnePerBand) {
  const Discs2 d = random_discs(30, 7);
  const double truth = exact(d);
  auto* w = ccs::projection::make_line_scratch();
  rt::MtState s;
  rt::mt_seed(s, 5u);
  rt::rng::ScopedStream scoped(&s);
  std::vector<double> est;
  for (int rep = 0; rep < 400; ++rep) {
    est.push_back(union_area_lines(w, d.X.data(), d.Y.data(), d.r2.data(), d.n(), 8));
  }
  const ccs::test::Estimate e = ccs::test::mean_and_error(est);
  EXPECT_TRUE(ccs::test::within(e.mean, truth, e.standard_error)) << e.mean << " vs " << truth;
  // More lines, less spread: the bands stratify the height.
  std::vector<double> fine;
  for (int rep = 0; rep < 400; ++rep) {
    fine.push_back(union_area_lines(w, d.X.data(), d.Y.data(), d.r2.data(), d.n(), 64));
  }
  EXPECT_LT(ccs::test::mean_and_error(fine).standard_error, e.standard_error / 4);
  // One draw per band: after 8 lines the stream stands 8 draws on.
  rt::MtState a, b;
  rt::mt_seed(a, 9u);
  rt::mt_seed(b, 9u);
  {
    rt::rng::ScopedStream sa(&a);
    union_area_lines(w, d.X.data(), d.Y.data(), d.r2.data(), d.n(), 8);
  }
  {
    rt::rng::ScopedStream sb(&b);
    for (int k = 0; k < 8; ++k) rt::rng::rand();
  }
  rt::rng::ScopedStream sa(&a);
  const double next_a = rt::rng::rand();
  rt::rng::ScopedStream sb(&b);
  EXPECT_EQ(next_a, rt::rng::rand());
  ccs::projection::free_line_scratch(w);
}

#include "support/molecules.h"

namespace {

// Atom table (n x 4, column-major) of points with one radius.
std::vector<double> atom_table(const std::vector<ccs::test::Point>& pts, double radius,
                               double stretch_x = 1.0) {
  const std::size_t n = pts.size();
  std::vector<double> t(4 * n);
  for (std::size_t i = 0; i < n; ++i) {
    t[i] = pts[i][0] * stretch_x;
    t[i + n] = pts[i][1];
    t[i + 2 * n] = pts[i][2];
    t[i + 3 * n] = radius;
  }
  return t;
}

ccs::projection::ProjectionParams params_of(const std::vector<double>& t, double n_rot,
                                            double lines = 0) {
  ccs::projection::ProjectionParams p;
  const int n = static_cast<int>(t.size() / 4);
  p.atoms = {t.data(), n, 4};
  p.Number_atoms = n;
  p.n_rotations = n_rot;
  p.lines = lines;
  p.seedn = 1;
  return p;
}

// Areas of a keyed run of `count` orientations with seed `seed`.
std::vector<double> keyed_areas(const ccs::projection::ProjectionParams& p, std::uint32_t seed,
                                int first, int count) {
  rt::RootContext root;
  root.get()->keyed_streams = true;
  root.get()->stream_seed = seed;
  std::vector<double> areas;
  ccs::projection::run_projection_orientations(root.get(), p, first, count, &areas);
  return areas;
}

}  // namespace

TEST_F(Shadecount, ProgramSamplingAgreesWithThePlugIn) {
  // The program's shadows over probe lines and the plug-in's probe points
  // estimate the same mean area: within their combined standard error. An
  // elongated cluster, whose area depends on the direction.
  const std::vector<double> t = atom_table(ccs::test::ball_cluster(20, 20.0, 3), 1.8, 3.0);
  const ccs::projection::ProjectionParams p = params_of(t, 200);
  ccs::projection::ProjectionResults plug;
  ccs::projection::run_projection_method(root.get(), p, &plug);
  const ccs::test::Estimate a = ccs::test::mean_and_error(plug.areas);
  const ccs::test::Estimate b = ccs::test::mean_and_error(keyed_areas(p, 3, 0, 400));
  EXPECT_TRUE(ccs::test::within(b.mean, a.mean, std::hypot(a.standard_error, b.standard_error)))
      << b.mean << " +- " << b.standard_error << " vs " << a.mean << " +- " << a.standard_error;
}

TEST_F(Shadecount, ProgramOrientationsAreIndependentOfBlocksAndThreads) {
  const std::vector<double> t = atom_table(ccs::test::ball_cluster(40, 20.0, 4), 2.0, 2.0);
  const ccs::projection::ProjectionParams p = params_of(t, 12, 60);
  omp_set_num_threads(1);
  const std::vector<double> whole = keyed_areas(p, 8, 0, 12);
  omp_set_num_threads(2);
  std::vector<double> parts = keyed_areas(p, 8, 5, 7);
  const std::vector<double> head = keyed_areas(p, 8, 0, 5);
  parts.insert(parts.begin(), head.begin(), head.end());
  EXPECT_EQ(parts, whole);
  EXPECT_NE(keyed_areas(p, 9, 0, 12), whole);
}

TEST_F(Shadecount, ProgramStandardErrorMatchesTheSpreadOverSeeds) {
  // Runs of an elongated cluster, whose orientations differ and whose probe
  // lines are few: both kinds of variance in the reported error.
  const std::vector<double> t = atom_table(ccs::test::ball_cluster(30, 20.0, 6), 2.0, 2.5);
  const ccs::projection::ProjectionParams p = params_of(t, 16, 48);
  std::vector<std::vector<double>> runs;
  for (int k = 0; k < 120; ++k) runs.push_back(keyed_areas(p, 100 + k, 0, 16));
  const ccs::test::SpreadCheck c = ccs::test::spread_against_reported_se(runs);
  EXPECT_TRUE(c.honest) << "log(spread / reported) " << c.log_ratio << ", sd " << c.sd;
}
