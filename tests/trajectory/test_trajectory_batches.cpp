#include <gtest/gtest.h>
#include <omp.h>

#include <cmath>
#include <vector>

#include "runtime/random_streams.h"
#include "support/statistics.h"
#include "trajectory/trajectory_batches.h"

using namespace ccs::trajectory;

namespace {

struct Launch {
  double p[3];
  double d[3];
  double x_red;
};

// A runner that records every launch and returns dp = (k, 0, 0) with k the
// launch's running number on its thread.
struct Recorder {
  std::vector<Launch> launches;
};
void* rec_make(const void*) { return new int(0); }
void rec_destroy(void* w) { delete static_cast<int*>(w); }
void rec_run(rt::Context*, const void* shared, void*, const double p[3], const double d[3],
             double x_red, double dp[3]) {
  auto* r = const_cast<Recorder*>(static_cast<const Recorder*>(shared));
  Launch l{{p[0], p[1], p[2]}, {d[0], d[1], d[2]}, x_red};
#pragma omp critical(recorder)
  r->launches.push_back(l);
  dp[0] = p[0];
  dp[1] = d[0];
  dp[2] = x_red;
}

class Batches : public ::testing::Test {
 protected:
  void SetUp() override {
    omp_set_num_threads(1);
    rt::rng::reset_for_tests();
    rt::rng::first_time_init();
  }
  void TearDown() override { omp_set_num_threads(2); }
  // Launches of a sphere loop on a freshly loaded stream.
  std::vector<Launch> sphere(double n_total, int* launched_count = nullptr) {
    rt::rng::reset_for_tests();
    rt::rng::first_time_init();
    Recorder rec;
    TrajectoryRunner r{&rec_make, &rec_run, &rec_destroy, &rec};
    const int n = static_cast<int>(n_total);
    std::vector<double> result(static_cast<std::size_t>(n) * 3, -1.0);
    double launched = 0.0;
    rt::RootContext root;
    {
      rt::rng::LoopStreams loop;
      run_sphere_loop(root.get(), EntrySphere{{1.0, -2.0, 0.5}, 7.0, n_total}, r, result.data(),
                      n, 0, &launched);
    }
    if (launched_count != nullptr) *launched_count = static_cast<int>(launched);
    // Row k holds launch k's numbers.
    for (int k = 0; k < n; ++k) EXPECT_EQ(result[k], rec.launches[k].p[0]);
    return rec.launches;
  }
};

}  // namespace

// With N_total = 5 the first two trajectories enter on the +x side and the
// last three are the mirror images (in x) of what the same draws give
// unmirrored.
TEST_F(Batches, SphereLoopMirrorsTheSecondHalf) {
  int launched = 0;
  const std::vector<Launch> five = sphere(5, &launched);
  EXPECT_EQ(launched, 5);
  const std::vector<Launch> plain = sphere(1000);  // the first 5 are all in the first half
  const double cx = 1.0;
  for (int k = 0; k < 5; ++k) {
    const bool mirrored = k >= 2;
    EXPECT_EQ(five[k].p[0] - cx, (mirrored ? -1.0 : 1.0) * (plain[k].p[0] - cx)) << k;
    EXPECT_EQ(five[k].d[0], (mirrored ? -1.0 : 1.0) * plain[k].d[0]) << k;
    EXPECT_EQ(five[k].p[1], plain[k].p[1]);
    EXPECT_EQ(five[k].d[2], plain[k].d[2]);
    EXPECT_EQ(five[k].x_red, plain[k].x_red);
  }
}

// Entry points lie on the sphere, directions are unit vectors pointing
// inwards, and the first half moves along +x.
TEST_F(Batches, SphereLaunchesEnterTheSphere) {
  const std::vector<Launch> l = sphere(400);
  const double c[3] = {1.0, -2.0, 0.5};
  for (int k = 0; k < 400; ++k) {
    const double r[3] = {l[k].p[0] - c[0], l[k].p[1] - c[1], l[k].p[2] - c[2]};
    EXPECT_NEAR(std::sqrt(r[0] * r[0] + r[1] * r[1] + r[2] * r[2]), 7.0, 1e-12);
    EXPECT_NEAR(l[k].d[0] * l[k].d[0] + l[k].d[1] * l[k].d[1] + l[k].d[2] * l[k].d[2], 1.0,
                1e-12);
    EXPECT_LE(r[0] * l[k].d[0] + r[1] * l[k].d[1] + r[2] * l[k].d[2], 1e-9) << k;
    if (k < 200) {
      EXPECT_GE(l[k].d[0], 0.0);
    } else {
      EXPECT_LE(l[k].d[0], 0.0);
    }
  }
}

// Reduced speeds follow x^4 exp(-x^2) on [0, 5): mean 8/(3 sqrt(pi)).
TEST_F(Batches, ReducedSpeedHasTheFluxWeightedMean) {
  rt::rng::rng(12);
  std::vector<double> x(40000);
  for (double& v : x) {
    v = sample_reduced_speed();
    ASSERT_GE(v, 0.0);
    ASSERT_LT(v, 5.0);
  }
  const auto est = ccs::test::mean_and_error(x);
  EXPECT_TRUE(ccs::test::within(est.mean, 8.0 / (3.0 * std::sqrt(M_PI)), est.standard_error))
      << est.mean;
}

// Face loops: every launch starts on its face, inside the face's rectangle,
// and moves into the box; the counter holds the launches of all three.
TEST_F(Batches, FaceLaunchesStartOnTheirFaceAndEnterTheBox) {
  Recorder rec;
  TrajectoryRunner r{&rec_make, &rec_run, &rec_destroy, &rec};
  const EntryBox b{{-3, -4, -5}, {3, 4, 5}, {6, 8, 10}};
  std::vector<double> result(3 * 300, 0.0);
  double launched = 0.0;
  rt::RootContext root;
  omp_set_num_threads(2);
  {
    rt::rng::LoopStreams loop;
    for (int axis = 0; axis < 3; ++axis) {
      run_face_loop(root.get(), axis, 100, b, r, result.data(), 300, 100 * axis, &launched);
    }
  }
  EXPECT_EQ(launched, 300.0);
  ASSERT_EQ(rec.launches.size(), 300u);
  for (int k = 0; k < 300; ++k) {
    const int axis = k / 100;
    // Rows in loop order: recover this row's launch through dp = (p_x, d_x, x_red).
    const double px = result[k];
    const double dx = result[k + 300];
    EXPECT_GE(px, b.lo[0]);
    EXPECT_LE(px, b.hi[0]);
    if (axis == 0) {
      EXPECT_TRUE(px == (dx < 0 ? b.hi[0] : b.lo[0]));
    }
  }
  for (const Launch& l : rec.launches) {
    EXPECT_NEAR(l.d[0] * l.d[0] + l.d[1] * l.d[1] + l.d[2] * l.d[2], 1.0, 1e-12);
    int on_face = 0;
    for (int j = 0; j < 3; ++j) {
      if (l.p[j] == b.lo[j]) {
        ++on_face;
        EXPECT_GE(l.d[j], 0.0);
      } else if (l.p[j] == b.hi[j]) {
        ++on_face;
        EXPECT_LT(l.d[j], 0.0);
      } else {
        EXPECT_GT(l.p[j], b.lo[j]);
        EXPECT_LT(l.p[j], b.hi[j]);
      }
    }
    EXPECT_GE(on_face, 1);
  }
}

// ------------------------------------------------------------ weighted disc

namespace {

// Two atoms on the x axis at +-2 Å (radius 1) about the centre (1, -2, 0.5).
struct DiscScene {
  double coords[6] = {-1.0, 3.0, -2.0, -2.0, 0.5, 0.5};
  double R[2] = {1.0, 1.0};
  EntryDisc disc(double n_total) const {
    return EntryDisc{{1.0, -2.0, 0.5}, 9.0, n_total, coords, R, 2, 0.8, 1.4, 0.2, 0.05};
  }
};

// Impact parameter of the line through p along unit d about c.
double impact(const double c[3], const double p[3], const double d[3]) {
  const double r[3] = {p[0] - c[0], p[1] - c[1], p[2] - c[2]};
  const double t = (r[0] * d[0] + r[1] * d[1]) + r[2] * d[2];
  return std::sqrt(std::fmax((r[0] * r[0] + r[1] * r[1]) + r[2] * r[2] - t * t, 0.0));
}

// A runner whose transfer is known in expectation: dp = (x, x [b < 2 Å],
// [b > 7 Å]) with b the impact parameter about the centre.
const double kCentre[3] = {1.0, -2.0, 0.5};
void probe_run(rt::Context*, const void*, void*, const double p[3], const double d[3],
               double x_red, double dp[3]) {
  const double b = impact(kCentre, p, d);
  dp[0] = x_red;
  dp[1] = b < 2.0 ? x_red : 0.0;
  dp[2] = b > 7.0 ? 1.0 : 0.0;
}

// The same transfers, a group at a time.
void probe_group(rt::Context* ctx, const void* shared, void* work, int count, const double (*p)[3],
                 const double (*d)[3], const double* x_red, double (*dp)[3]) {
  for (int k = 0; k < count; ++k) probe_run(ctx, shared, work, p[k], d[k], x_red[k], dp[k]);
}

std::vector<double> loop_rows(bool disc, double n_total, double* launched, bool groups = false) {
  const DiscScene scene;
  Recorder rec;
  TrajectoryRunner r{&rec_make, &probe_run, &rec_destroy, &rec};
  if (groups) r.run_group = &probe_group;
  const int n = static_cast<int>(n_total);
  std::vector<double> result(static_cast<std::size_t>(n) * 3, 0.0);
  rt::RootContext root;
  root.get()->keyed_streams = true;
  root.get()->stream_seed = 5;
  if (disc) {
    run_disc_loop(root.get(), scene.disc(n_total), r, result.data(), n, 0, launched);
  } else {
    run_sphere_loop(root.get(), EntrySphere{{1.0, -2.0, 0.5}, 9.0, n_total}, r, result.data(), n,
                    0, launched);
  }
  return result;
}

}  // namespace

TEST(DiscEntry, ShadowRadiusIsTheFarthestAtomSurfaceFromTheAxis) {
  const DiscScene scene;
  const EntryDisc disc = scene.disc(10);
  const double along_x[3] = {1.0, 0.0, 0.0};
  const double along_y[3] = {0.0, 1.0, 0.0};
  const double diagonal[3] = {std::sqrt(0.5), std::sqrt(0.5), 0.0};
  EXPECT_DOUBLE_EQ(shadow_radius(disc, along_x), 1.0);
  EXPECT_DOUBLE_EQ(shadow_radius(disc, along_y), 3.0);
  EXPECT_NEAR(shadow_radius(disc, diagonal), 2.0 * std::sqrt(0.5) + 1.0, 1e-12);
}

// Every probe starts on the entry sphere, moves inward along a unit
// direction whose x sign follows the halves of the loop, and crosses the disc.
TEST(DiscEntry, LaunchesStartOnTheSphereAndPointInward) {
  const DiscScene scene;
  Recorder rec;
  TrajectoryRunner r{&rec_make, &rec_run, &rec_destroy, &rec};
  const int n = 400;
  std::vector<double> result(static_cast<std::size_t>(n) * 3, 0.0);
  double launched = 0.0;
  rt::RootContext root;
  root.get()->keyed_streams = true;
  omp_set_num_threads(1);
  run_disc_loop(root.get(), scene.disc(n), r, result.data(), n, 0, &launched);
  EXPECT_EQ(launched, n);
  ASSERT_EQ(rec.launches.size(), static_cast<std::size_t>(n));
  for (int k = 0; k < n; ++k) {
    const Launch& l = rec.launches[static_cast<std::size_t>(k)];
    const double r0[3] = {l.p[0] - kCentre[0], l.p[1] - kCentre[1], l.p[2] - kCentre[2]};
    EXPECT_NEAR(std::sqrt((r0[0] * r0[0] + r0[1] * r0[1]) + r0[2] * r0[2]), 9.0, 1e-9);
    EXPECT_NEAR((l.d[0] * l.d[0] + l.d[1] * l.d[1]) + l.d[2] * l.d[2], 1.0, 1e-12);
    EXPECT_LE((r0[0] * l.d[0] + r0[1] * l.d[1]) + r0[2] * l.d[2], 1e-9);
    EXPECT_EQ(l.d[0] > 0.0, k < n / 2) << k;
    EXPECT_GE(l.x_red, 0.0);
    EXPECT_LT(l.x_red, 5.0);
  }
}

// The weighted disc and the plain sphere loop estimate the same sums: the
// mean speed E[x] = z5/z4 of the x^4 exp(-x^2) law, E[x; b < 2] = E[x] (2/9)^2
// and P(b > 7) = 1 - (7/9)^2 for impact points uniform on the disc. The
// weighted loop draws b > 7 Å rarely and with a large weight, b < 2 Å often
// with a small one.
TEST(DiscEntry, WeightedSumsHaveTheExpectationsOfTheUniformEntry) {
  const double z4 = 0.375 * std::sqrt(M_PI) * std::erf(5.0) - std::exp(-25.0) * (62.5 + 3.75);
  const double z5 = 1.0 - std::exp(-25.0) * (312.5 + 25.0 + 1.0);
  const double mean_x = z5 / z4;
  const double expected[3] = {mean_x, mean_x * (4.0 / 81.0), 1.0 - 49.0 / 81.0};
  for (bool disc : {true, false}) {
    const double n = 40000;
    double launched = 0.0;
    const std::vector<double> rows = loop_rows(disc, n, &launched);
    EXPECT_EQ(launched, n);
    for (int j = 0; j < 3; ++j) {
      const std::vector<double> col(rows.begin() + j * static_cast<std::ptrdiff_t>(n),
                                    rows.begin() + (j + 1) * static_cast<std::ptrdiff_t>(n));
      const ccs::test::Estimate e = ccs::test::mean_and_error(col);
      EXPECT_TRUE(ccs::test::within(e.mean, expected[j], e.standard_error))
          << (disc ? "disc" : "sphere") << " column " << j << ": " << e.mean << " +- "
          << e.standard_error << " vs " << expected[j];
    }
  }
}

// The same draws whatever the thread count (keyed chunk streams).
TEST(DiscEntry, SameNumbersOnOneAndTwoThreads) {
  double launched = 0.0;
  omp_set_num_threads(1);
  const std::vector<double> one = loop_rows(true, 333, &launched);
  omp_set_num_threads(2);
  const std::vector<double> two = loop_rows(true, 333, &launched);
  EXPECT_EQ(one, two);
  // A runner that takes its trajectories in groups (the last ones of each
  // thread's share a short group) fills every row as one by one, and counts
  // every launch.
  for (int threads : {1, 2}) {
    omp_set_num_threads(threads);
    double launched_groups = 0.0;
    EXPECT_EQ(loop_rows(true, 333, &launched_groups, true), one) << threads;
    EXPECT_EQ(launched_groups, 333.0) << threads;
  }
}
