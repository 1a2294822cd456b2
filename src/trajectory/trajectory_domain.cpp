#include "trajectory/trajectory_domain.h"

#include <cmath>
#include <vector>

#include "runtime/constants.h"
#include "runtime/numeric.h"

namespace ccs::trajectory {
namespace {

// |E|^2 of the charges at p (m).
double field_squared(const double* qpos, const double* q, int nq, const double p[3]) {
  double E[3] = {0.0, 0.0, 0.0};
  for (int j = 0; j < nq; ++j) {
    const double r[3] = {qpos[j] - p[0], qpos[j + nq] - p[1], qpos[j + 2 * nq] - p[2]};
    const double d = std::sqrt((r[0] * r[0] + r[1] * r[1]) + r[2] * r[2]);
    const double d3 = d * d * d;
    for (int i = 0; i < 3; ++i) E[i] += q[j] * r[i] / d3;
  }
  return (E[0] * E[0] + E[1] * E[1]) + E[2] * E[2];
}

// Test point k (k < 3: below the lowest charge along axis k; k >= 3: above
// the highest along axis k - 3): the first charge attaining the extreme,
// moved out until the field is negligible.
void field_test_point(const DomainInputs& in, int k, double extreme, double pt[3]) {
  const int axis = k % 3;
  const int nq = in.nq;
  int which = 0;
  for (int m = 0; m < nq; ++m) {
    if (in.qA[m + axis * nq] == extreme) {
      which = m;
      break;
    }
  }
  pt[0] = in.qA[which];
  pt[1] = in.qA[which + nq];
  pt[2] = in.qA[which + 2 * nq];
  const double base = pt[axis];
  double dist = 10.0;
  for (int tries = 0; tries < 76; ++tries) {
    pt[axis] = k < 3 ? base - dist : base + dist;
    const double pm[3] = {pt[0] * 1e-10, pt[1] * 1e-10, pt[2] * 1e-10};
    if (field_squared(in.qpos, in.q, nq, pm) * in.Kappa <= kNegligibleEnergyFraction) break;
    dist = dist + 1.0;
  }
}

}  // namespace

EntryDomain entry_domain(const DomainInputs& in) {
  const int N = in.N;
  const int nq = in.nq;
  EntryDomain d{};
  double qlo[3], qhi[3];
  for (int j = 0; j < 3; ++j) {
    d.lo[j] = rt::min_skip_nan(in.coords + j * N, N) - in.Rmax - in.pad;
    d.hi[j] = rt::max_skip_nan(in.coords + j * N, N) + in.Rmax + in.pad;
    qlo[j] = rt::min_skip_nan(in.qA + j * nq, nq);
    qhi[j] = rt::max_skip_nan(in.qA + j * nq, nq);
  }

  // Out to the field: margins about a weak single charge, test points otherwise.
  const bool weak_single = nq == 1 && in.q[0] <= 1.0;
  double test_pts[6][3] = {{0}};
  if (weak_single) {
    for (int j = 0; j < 3; ++j) {
      if (in.boxdomain == 1.0) {
        d.lo[j] = std::fmin(d.lo[j] - 1.0, qlo[j] - 1.0);
        d.hi[j] = std::fmax(d.hi[j] + 1.0, qhi[j] + 1.0);
      } else {
        d.lo[j] = std::fmin(d.lo[j], qlo[j] - in.boxdomain);
        d.hi[j] = std::fmax(d.hi[j], qhi[j] + in.boxdomain);
      }
    }
  } else {
    for (int k = 0; k < 6; ++k) field_test_point(in, k, k < 3 ? qlo[k % 3] : qhi[k % 3], test_pts[k]);
    for (int j = 0; j < 3; ++j) {
      d.lo[j] = std::fmin(d.lo[j], test_pts[j][j]);
      d.hi[j] = std::fmax(d.hi[j], test_pts[j + 3][j]);
    }
  }

  for (int j = 0; j < 3; ++j) {
    double s = 0.0;
    for (int a = 0; a < N; ++a) s += in.coords[a + j * N];
    d.centre[j] = s / in.Number_atoms;
  }
  if (in.min_entry_radius > 0.0) {
    for (int j = 0; j < 3; ++j) {
      d.lo[j] = std::fmin(d.lo[j], d.centre[j] - in.min_entry_radius);
      d.hi[j] = std::fmax(d.hi[j], d.centre[j] + in.min_entry_radius);
    }
  }
  for (int j = 0; j < 3; ++j) {
    d.exit_box[2 * j] = d.lo[j] * 1e-10;
    d.exit_box[2 * j + 1] = d.hi[j] * 1e-10;
    d.L[j] = d.hi[j] - d.lo[j];
  }
  d.A = d.L[1] * d.L[2];

  // Sphere: the farthest atom surface, the field, the least radius.
  double R_atoms = 0.0;
  for (int a = 0; a < N; ++a) {
    const double dv[3] = {in.coords[a] - d.centre[0], in.coords[a + N] - d.centre[1],
                          in.coords[a + 2 * N] - d.centre[2]};
    const double r = rt::norm3(dv) + in.R[a];
    if (r > R_atoms) R_atoms = r;
  }
  d.R_surface = R_atoms;
  R_atoms = R_atoms + in.pad;
  if (weak_single) {
    d.Rs = std::fmax(R_atoms, in.boxdomain);
  } else {
    double m = 0.0;
    for (int k = 0; k < 6; ++k) {
      for (int j = 0; j < 3; ++j) m = std::fmax(m, std::fabs(test_pts[k][j] - d.centre[j]));
    }
    d.Rs = std::fmax(R_atoms, m);
  }
  if (in.min_entry_radius > 0.0) d.Rs = std::fmax(d.Rs, in.min_entry_radius);

  // The smaller of the two: box volume against sphere volume.
  d.use_box = d.L[0] * d.A <= d.Rs * 4.0 * kPi * (d.Rs * d.Rs) / 3.0;
  if (!d.use_box) {
    for (int j = 0; j < 3; ++j) {
      d.exit_box[2 * j] = (d.centre[j] - d.Rs) * 1e-10;
      d.exit_box[2 * j + 1] = (d.centre[j] + d.Rs) * 1e-10;
    }
  }
  return d;
}

}  // namespace ccs::trajectory
