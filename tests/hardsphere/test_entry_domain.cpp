// Entry domains: enclosures, the box/sphere choice, face trajectory counts and
// the launch sampling (mirror split of the sphere launches, face starts).
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "hardsphere/entry_domain.h"
#include "hs_test_support.h"
#include "support/statistics.h"

namespace {

using hs_test::StreamSnapshot;

HsEntryDomain domain_of(const std::vector<hs_test::Atom>& atoms) {
  const size_t n = atoms.size();
  std::vector<double> P(3 * n), r(n);
  double r_max = 0.0;
  for (size_t i = 0; i < n; ++i) {
    for (size_t j = 0; j < 3; ++j) P[i + j * n] = atoms[i][j];
    r[i] = atoms[i][3];
    r_max = std::max(r_max, r[i]);
  }
  HsEntryDomain dom;
  hs_entry_domain(P.data(), static_cast<int>(n), static_cast<double>(n), r.data(), r_max, &dom);
  return dom;
}

class EntryDomain : public ::testing::Test {
 protected:
  void SetUp() override {
    rt::rng::ensure_initialised();
    rt::rng::rng(99);
  }
};

TEST_F(EntryDomain, EnclosuresAndChoice) {
  // Two atoms on the x axis: box from the extremes padded by the largest
  // radius, sphere about the centroid through the farthest atom surface.
  const HsEntryDomain two = domain_of({{-1.0, 0.0, 0.0, 0.5}, {3.0, 0.0, 0.0, 1.0}});
  EXPECT_DOUBLE_EQ(two.lo[0], -2.0);
  EXPECT_DOUBLE_EQ(two.hi[0], 4.0);
  EXPECT_DOUBLE_EQ(two.lo[1], -1.0);
  EXPECT_DOUBLE_EQ(two.L[2], 2.0);
  EXPECT_DOUBLE_EQ(two.centre[0], 1.0);
  EXPECT_DOUBLE_EQ(two.R, 3.0);  // |3 - 1| + 1
  EXPECT_DOUBLE_EQ(two.S, 4.0 * hs_test::kPi * 9.0);
  EXPECT_DOUBLE_EQ(two.A_x, 4.0);
  EXPECT_DOUBLE_EQ(two.A_y, 12.0);
  EXPECT_DOUBLE_EQ(two.A_z2, 24.0);
  // Box 6 x 2 x 2 = 24 against sphere 36 pi: the box wins.
  EXPECT_TRUE(two.use_box);
  // A single atom: its box (8 r^3) is larger than its sphere.
  EXPECT_FALSE(domain_of({{1.0, 2.0, 3.0, 1.5}}).use_box);
}

TEST_F(EntryDomain, BoxCountsUseCeilForXAndRoundForYZ) {
  HsEntryDomain dom{};
  dom.L[0] = 2.0;
  dom.L[1] = 3.0;
  dom.L[2] = 4.0;
  dom.A_x = 12.0;
  dom.A_y = 8.0;
  dom.A_z2 = 12.0;
  // W = 28/pi + 12 = 20.9127: x 4.017 -> 5, y 1.705 -> 2, z 1.279 -> 1.
  double nx, ny, nz;
  hs_box_counts(7.0, dom, &nx, &ny, &nz);
  EXPECT_EQ(nx, 5.0);
  EXPECT_EQ(ny, 2.0);
  EXPECT_EQ(nz, 1.0);
  EXPECT_NE(nx + ny + nz, 7.0);              // the counts need not add up
  hs_box_counts(100.0, dom, &nx, &ny, &nz);  // 57.38, 24.35, 18.27
  EXPECT_EQ(nx, 58.0);
  EXPECT_EQ(ny, 24.0);
  EXPECT_EQ(nz, 18.0);
}

TEST_F(EntryDomain, SphereLaunchesSplitAcrossTheMirrorPlane) {
  const HsEntryDomain dom = domain_of({{0.5, -1.0, 2.0, 2.0}, {1.5, -1.0, 2.0, 2.0}});
  ASSERT_FALSE(dom.use_box);
  for (int rep = 0; rep < 50; ++rep) {
    StreamSnapshot snap;
    double s[6][3], d[6][3];
    for (int k = 1; k <= 5; ++k) {
      snap.restore();  // same draws for every k
      hs_sphere_launch(k, 5.0, dom, s[k], d[k]);
    }
    for (int k = 1; k <= 5; ++k) {
      const int ref = k <= 2 ? 1 : 3;  // k <= 2.5: +x side, else mirrored
      EXPECT_EQ(s[k][1], s[1][1]);
      EXPECT_EQ(s[k][2], s[1][2]);
      EXPECT_EQ(d[k][1], d[1][1]);
      EXPECT_EQ(d[k][2], d[1][2]);
      EXPECT_EQ(s[k][0], s[ref][0]);
      EXPECT_EQ(d[k][0], d[ref][0]);
    }
    EXPECT_GE(d[1][0], 0.0);
    EXPECT_LE(d[3][0], 0.0);
    EXPECT_NEAR(d[3][0], -d[1][0], 1e-15);
    EXPECT_NEAR(s[3][0] - dom.centre[0], -(s[1][0] - dom.centre[0]), 1e-12);
    // On the sphere, unit direction pointing inwards.
    for (int k : {1, 3}) {
      double r2 = 0.0, dd = 0.0, dn = 0.0;
      for (int j = 0; j < 3; ++j) {
        const double e = s[k][j] - dom.centre[j];
        r2 += e * e;
        dd += d[k][j] * d[k][j];
        dn += d[k][j] * e;
      }
      EXPECT_NEAR(std::sqrt(r2), dom.R, 1e-12);
      EXPECT_NEAR(dd, 1.0, 1e-12);
      EXPECT_LE(dn, 1e-12);
    }
  }
}

TEST_F(EntryDomain, DirectSphereLaunchDrawsTheSameDistribution) {
  // Launch statistics of the plug-in's rejection sampler and of the direct
  // one: the start and direction along x (mirror halves), the flux factor
  // -n.d, the product of the launch's x parts and the spread across x.
  // Each mean agrees within its combined standard error, k = 3.4 for the 5
  // comparisons (0.3 % in all).
  const HsEntryDomain dom = domain_of({{0.5, -1.0, 2.0, 2.0}, {1.5, -1.0, 2.0, 2.0}});
  ASSERT_FALSE(dom.use_box);
  const int n = 60000;
  std::vector<double> stats[2][5];
  for (int way = 0; way < 2; ++way) {
    for (int k = 1; k <= n; ++k) {
      double s[3], d[3];
      if (way == 0) {
        hs_sphere_launch(k, n, dom, s, d);
      } else {
        hs_sphere_launch_direct(k, n, dom, s, d);
      }
      double e[3];
      for (int j = 0; j < 3; ++j) e[j] = (s[j] - dom.centre[j]) / dom.R;
      const double dn = (d[0] * e[0] + d[1] * e[1]) + d[2] * e[2];
      const double sign = k <= n / 2 ? 1.0 : -1.0;
      stats[way][0].push_back(sign * e[0]);
      stats[way][1].push_back(sign * d[0]);
      stats[way][2].push_back(-dn);
      stats[way][3].push_back(e[0] * d[0]);
      stats[way][4].push_back(d[1] * d[1] + e[2] * e[2]);
      EXPECT_NEAR((d[0] * d[0] + d[1] * d[1]) + d[2] * d[2], 1.0, 1e-12);
      EXPECT_LE(dn, 0.0);
    }
  }
  for (int q = 0; q < 5; ++q) {
    const ccs::test::Estimate a = ccs::test::mean_and_error(stats[0][q]);
    const ccs::test::Estimate b = ccs::test::mean_and_error(stats[1][q]);
    EXPECT_TRUE(ccs::test::within(b.mean, a.mean, std::hypot(a.standard_error, b.standard_error),
                                  3.4))
        << "statistic " << q << ": " << b.mean << " vs " << a.mean;
  }
}

TEST_F(EntryDomain, FaceLaunchesStartOnTheFaceTheyEnterThrough) {
  const HsEntryDomain dom = domain_of({{-2.0, 0.0, 1.0, 1.0}, {2.0, 1.0, -1.0, 1.0}});
  int neg[3] = {0, 0, 0};
  for (int face = 0; face < 3; ++face) {
    for (int k = 0; k < 400; ++k) {
      double s[3], d[3];
      StreamSnapshot snap;
      if (face == 0) hs_x_face_launch(dom, s, d);
      if (face == 1) hs_y_face_launch(dom, s, d);
      if (face == 2) hs_z_face_launch(dom, s, d);
      EXPECT_EQ(hs_test::draws_since(snap), face == 0 ? 4 : 6);
      EXPECT_NEAR((d[0] * d[0] + d[1] * d[1]) + d[2] * d[2], 1.0, 1e-12);
      EXPECT_EQ(s[face], d[face] < 0.0 ? dom.hi[face] : dom.lo[face]);
      neg[face] += d[face] < 0.0;
      for (int j = 0; j < 3; ++j) {
        if (j == face) continue;
        EXPECT_GE(s[j], dom.lo[j]);
        EXPECT_LE(s[j], dom.hi[j]);
      }
    }
  }
  // Both directions through every face pair occur.
  for (int face = 0; face < 3; ++face) {
    EXPECT_GT(neg[face], 100);
    EXPECT_LT(neg[face], 300);
  }
}

}  // namespace

namespace {

// A shell of atoms at nearly one distance from their centroid (the reach
// then comes from one of many close candidates), moved `shift` off the origin.
std::vector<double> shell(int n, double shift, std::vector<double>& r) {
  std::vector<double> P(3 * static_cast<size_t>(n));
  r.assign(static_cast<size_t>(n), 1.7);
  const double golden = 2.399963229728653;
  for (int i = 0; i < n; ++i) {
    const double z = 1.0 - (2.0 * i + 1.0) / n, s = std::sqrt(1.0 - z * z);
    const double radius = 40.0 + 1e-9 * (i % 7);
    P[static_cast<size_t>(i)] = shift + radius * s * std::cos(golden * i);
    P[static_cast<size_t>(i) + n] = radius * s * std::sin(golden * i);
    P[static_cast<size_t>(i) + 2 * static_cast<size_t>(n)] = radius * z;
    r[static_cast<size_t>(i)] += 1e-9 * (i % 3);
  }
  return P;
}

}  // namespace

TEST_F(EntryDomain, TurnedCopiesFromTheOutermostAtomsAndTheColumnSummary) {
  // The domain of each turned copy from the column summary of the turning
  // pass and the outermost atoms of the unturned centres: the same bits as
  // the domain from all atoms of the copy.
  for (double shift : {0.0, 2500.0}) {
    const int n = 3000;
    std::vector<double> r;
    const std::vector<double> P0 = shell(n, shift, r);
    const HsOutermostAtoms outer = hs_outermost_atoms(P0.data(), n, n, r.data());
    ASSERT_TRUE(outer.known);
    EXPECT_LT(outer.atoms.size(), static_cast<size_t>(n) / 4);
    std::vector<double> P(P0.size());
    for (int turn = 0; turn < 40; ++turn) {
      double R[9];
      ccs::geometry::draw_uniform_rotation(R);
      ccs::geometry::rotate_rows_into(P0.data(), n, R, P.data());
      const double* turns[1] = {R};
      ccs::geometry::ColumnSummary cols;
      ccs::geometry::summarize_turned_columns(P0.data(), n, turns, 1, &cols);
      HsEntryDomain a, b;
      hs_entry_domain(P.data(), n, n, r.data(), 1.7 + 2e-9, &a);
      // Every fourth turn without outermost atoms: all atoms turned one by one.
      const HsOutermostAtoms all;
      hs_turned_entry_domain(P0.data(), n, n, r.data(), 1.7 + 2e-9, R, cols,
                             turn % 4 == 3 ? all : outer, &b);
      const double fa[] = {a.lo[0], a.lo[1], a.lo[2], a.hi[0], a.hi[1], a.hi[2], a.L[0],
                           a.L[1], a.L[2], a.A_x, a.A_y, a.A_z2, a.centre[0], a.centre[1],
                           a.centre[2], a.R, a.S};
      const double fb[] = {b.lo[0], b.lo[1], b.lo[2], b.hi[0], b.hi[1], b.hi[2], b.L[0],
                           b.L[1], b.L[2], b.A_x, b.A_y, b.A_z2, b.centre[0], b.centre[1],
                           b.centre[2], b.R, b.S};
      ASSERT_EQ(0, std::memcmp(fa, fb, sizeof fa)) << "shift " << shift << " turn " << turn;
      ASSERT_EQ(a.use_box, b.use_box);
    }
  }
  // Not known for non-finite centres or a centroid not over n atoms.
  std::vector<double> r;
  std::vector<double> P0 = shell(100, 0.0, r);
  EXPECT_FALSE(hs_outermost_atoms(P0.data(), 100, 99, r.data()).known);
  P0[150] = INFINITY;
  EXPECT_FALSE(hs_outermost_atoms(P0.data(), 100, 100, r.data()).known);
}
