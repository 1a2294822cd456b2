#include "trajectory/clearance_scan.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

namespace ccs::trajectory {
namespace {

// The scan written out plainly: every clearance formed, running minimum
// taken over by an equal later one, stop at the first overlap.
ClearanceResult plain_scan(const Molecule& mol, const double pos[3]) {
  ClearanceResult res;
  const int N = mol.N;
  double m = 1e6;
  for (int i = 0; i < N; ++i) {
    const double dx = mol.coords[i] - pos[0];
    const double dy = mol.coords[i + N] - pos[1];
    const double dz = mol.coords[i + 2 * N] - pos[2];
    const double d = std::sqrt((dx * dx + dy * dy) + dz * dz);
    const double c = d - mol.R[i];
    if (c > m) continue;
    m = c;
    res.idx_near = i;
    res.d_near = d;
    if (c > 0.0) continue;
    res.overlap = i;
    break;
  }
  return res;
}

TEST(ClearanceScan, SameResultAsThePlainScan) {
  std::mt19937_64 gen(42);
  std::uniform_real_distribution<double> u(0.0, 1.0);
  int overlaps = 0, ties = 0, skipped_cases = 0;
  for (int trial = 0; trial < 3000; ++trial) {
    const int N = 1 + static_cast<int>(u(gen) * 200);
    const double spread = trial % 3 == 0 ? 40.0 : 8.0;
    std::vector<double> coords(3 * N), R(N), R2(N), d2(N);
    for (int i = 0; i < N; ++i) {
      for (int k = 0; k < 3; ++k) coords[i + k * N] = (u(gen) - 0.5) * spread;
      R[i] = 1.0 + 1.5 * u(gen);
    }
    // Exact duplicates of earlier atoms: equal clearances.
    for (int t = 0; t < N / 10; ++t) {
      const int a = static_cast<int>(u(gen) * N);
      const int b = static_cast<int>(u(gen) * N);
      for (int k = 0; k < 3; ++k) coords[b + k * N] = coords[a + k * N];
      R[b] = R[a];
    }
    if (trial % 50 == 7) R[static_cast<int>(u(gen) * N)] = std::nan("");
    for (int i = 0; i < N; ++i) R2[i] = R[i] * R[i];
    Molecule mol;
    mol.N = N;
    mol.coords = coords.data();
    mol.R = R.data();
    mol.R2 = R2.data();
    const double far = trial % 5 == 0 ? 200.0 : 12.0;
    const double pos[3] = {(u(gen) - 0.5) * far, (u(gen) - 0.5) * far, (u(gen) - 0.5) * far};
    const ClearanceResult want = plain_scan(mol, pos);
    const double r_skip = skip_radius(mol);
    const ClearanceResult got = scan_clearance(mol, pos, r_skip, d2.data());
    ASSERT_EQ(got.overlap, want.overlap) << trial;
    ASSERT_EQ(got.idx_near, want.idx_near) << trial;
    ASSERT_EQ(got.d_near, want.d_near) << trial;
    for (int i = 0; i < N; ++i) {
      const double dx = coords[i] - pos[0];
      const double dy = coords[i + N] - pos[1];
      const double dz = coords[i + 2 * N] - pos[2];
      ASSERT_EQ(d2[i], (dx * dx + dy * dy) + dz * dz);
    }
    overlaps += want.overlap >= 0;
    skipped_cases += std::isinf(r_skip);
    for (int i = 0; i < want.idx_near; ++i)
      ties += want.overlap < 0 && R[i] == R[want.idx_near] &&
              coords[i] == coords[want.idx_near] && coords[i + N] == coords[want.idx_near + N] &&
              coords[i + 2 * N] == coords[want.idx_near + 2 * N];
  }
  // The cases cover overlaps, equal clearances won by the later atom, and
  // radii that are not a number.
  EXPECT_GT(overlaps, 100);
  EXPECT_GT(ties, 10);
  EXPECT_GT(skipped_cases, 10);
}

TEST(ClearanceScan, LaterAtomWinsAnEqualClearance) {
  // Atoms 0 and 2 at the same clearance 3 Å, atom 1 farther.
  const double coords[9] = {5.0, 0.0, -4.5, 0.0, 8.0, 0.0, 0.0, 0.0, 0.0};
  const double R[3] = {2.0, 2.0, 1.5};
  const double R2[3] = {4.0, 4.0, 2.25};
  Molecule mol;
  mol.N = 3;
  mol.coords = coords;
  mol.R = R;
  mol.R2 = R2;
  const double pos[3] = {0.0, 0.0, 0.0};
  double d2[3];
  const ClearanceResult r = scan_clearance(mol, pos, skip_radius(mol), d2);
  EXPECT_EQ(r.overlap, -1);
  EXPECT_EQ(r.idx_near, 2);
  EXPECT_EQ(r.d_near, 4.5);
}

}  // namespace
}  // namespace ccs::trajectory
