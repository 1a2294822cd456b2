#include "hardsphere/entry_domain.h"

#include <algorithm>
#include <cmath>

#include "hardsphere/momentum_transfer.h"
#include "runtime/blas.h"
#include "runtime/constants.h"
#include "runtime/numeric.h"
#include "runtime/random_streams.h"

using ccs::kHalfPi;
using ccs::kPi;
using ccs::kTwoPi;

namespace {

// Box faces, areas and centroid from the column summary.
void box_of(const ccs::geometry::ColumnSummary& c, double number_atoms, double r_max,
            HsEntryDomain* dom) {
  for (int j = 0; j < 3; ++j) {
    dom->lo[j] = c.min[j] - r_max;
    dom->hi[j] = c.max[j] + r_max;
    dom->L[j] = dom->hi[j] - dom->lo[j];
    dom->centre[j] = c.sum[j] / number_atoms;
  }
  dom->A_x = dom->L[2] * dom->L[1];
  dom->A_y = dom->L[2] * dom->L[0];
  dom->A_z2 = (dom->L[1] * dom->L[0]) * 2.0;
}

// Distance of the surface of atom i (centre c) from the centroid.
double reach_of(const double c[3], double r, const double centre[3]) {
  double v[3];
  for (int j = 0; j < 3; ++j) v[j] = c[j] - centre[j];
  return rt::norm3(v) + r;
}

void sphere_of(double R, HsEntryDomain* dom) {
  dom->R = R;
  dom->S = (R * R) * 12.566370614359172;
  dom->use_box = dom->L[0] * dom->A_x <= (R * dom->S) / 3.0;
}

}  // namespace

void hs_entry_domain(const double* P, int n, double number_atoms, const double* r, double r_max,
                     HsEntryDomain* dom) {
  box_of(ccs::geometry::summarize_columns(P, n), number_atoms, r_max, dom);
  double R = 0.0;
  for (int i = 0; i < n; ++i) {
    const double c[3] = {P[i], P[i + static_cast<size_t>(n)], P[i + 2 * static_cast<size_t>(n)]};
    const double cand = reach_of(c, r[i], dom->centre);
    if (cand > R) R = cand;
  }
  sphere_of(R, dom);
}

HsOutermostAtoms hs_outermost_atoms(const double* P0, int n, double number_atoms, const double* r) {
  HsOutermostAtoms out;
  if (n < 1 || number_atoms != static_cast<double>(n)) return out;
  const double B = kHsCoordinateBound;
  double M = 0.0;
  double r_abs = 0.0;
  double c[3];
  for (int j = 0; j < 3; ++j) {
    const double* col = P0 + static_cast<size_t>(j) * n;
    double sum = 0.0;
    for (int i = 0; i < n; ++i) {
      if (!(std::fabs(col[i]) <= B)) return out;
      M = std::max(M, std::fabs(col[i]));
      sum += col[i];
    }
    c[j] = sum / n;
  }
  for (int i = 0; i < n; ++i) {
    if (!(std::fabs(r[i]) <= B)) return out;
    r_abs = std::max(r_abs, std::fabs(r[i]));
  }
  std::vector<double> a(static_cast<size_t>(n));
  double A = -INFINITY;
  for (int i = 0; i < n; ++i) {
    const double x = P0[i] - c[0], y = P0[i + static_cast<size_t>(n)] - c[1],
                 z = P0[i + 2 * static_cast<size_t>(n)] - c[2];
    a[static_cast<size_t>(i)] = std::sqrt((x * x + y * y) + z * z) + r[i];
    A = std::max(A, a[static_cast<size_t>(i)]);
  }
  // How far a[i], and atom i's reach in any turned copy, can lie from the
  // exact distance plus radius: a sum of n coordinates in order is off by at
  // most (n - 1) u times the sum of their magnitudes, so each centroid by n u
  // sqrt(3) M at most (turned coordinates are up to sqrt(3) M), a distance by
  // 3 n u M; the turned coordinates, the rotation's departure from
  // orthogonality and the norms add some u (M + r_abs). Twice that, doubled
  // again for margin, separates a candidate from the largest.
  const double u = 0x1p-53;
  const double slack = (8.0 * n + 256.0) * u * (M + r_abs) + 1e-290;
  for (int i = 0; i < n; ++i) {
    if (a[static_cast<size_t>(i)] >= A - 2.0 * slack) out.atoms.push_back(i);
  }
  out.known = true;
  return out;
}

void hs_turned_entry_domain(const double* P0, int n, double number_atoms, const double* r,
                            double r_max, const double R[9],
                            const ccs::geometry::ColumnSummary& columns,
                            const HsOutermostAtoms& outermost, HsEntryDomain* dom) {
  box_of(columns, number_atoms, r_max, dom);
  double reach = 0.0;
  auto consider = [&](int i) {
    double c[3];
    rt::gemm_rows(1, 3, 3, P0 + i, n, R, c, 1);
    const double cand = reach_of(c, r[i], dom->centre);
    if (cand > reach) reach = cand;
  };
  if (outermost.known) {
    for (int i : outermost.atoms) consider(i);
  } else {
    for (int i = 0; i < n; ++i) consider(i);
  }
  sphere_of(reach, dom);
}

void hs_box_counts(double n_total, const HsEntryDomain& dom, double* n_x, double* n_y,
                   double* n_z) {
  const double W = ((dom.A_y + dom.A_y) + dom.A_z2) / kPi + dom.A_x;
  *n_x = std::ceil((n_total * dom.A_x) / W);
  *n_y = rt::round_half_away((((dom.A_y + dom.A_y) * n_total) / kPi) / W);
  *n_z = rt::round_half_away(((dom.A_z2 * n_total) / kPi) / W);
}

double hs_sphere_normaliser(double n_total, double rho, double m_gas, const HsEntryDomain& dom) {
  return ((((n_total * 2.6666666666666665) / rho) * m_gas) / dom.S) / 1e-20;
}

double hs_box_normaliser(double n_x, double rho, double m_gas, const HsEntryDomain& dom) {
  return ((m_gas * (n_x / rho)) / dom.A_x) / 1e-20;
}

void hs_sphere_launch(double k, double n_total, const HsEntryDomain& dom, double start[3],
                      double dir[3]) {
  // Point uniform on the sphere, inward direction; the acceptance weights
  // the pair by its flux. After 2000 failures the last angles stand.
  double ct1 = 0.0, st1 = 0.0, cp1 = 0.0, sp1 = 0.0;
  double ct2 = 0.0, st2 = 0.0, cp2 = 0.0, sp2 = 0.0;
  for (int attempt = 0; attempt < 2000; ++attempt) {
    const double t1 = kPi * rt::rng::rand();
    const double p1 = kTwoPi * rt::rng::rand();
    const double t2 = kHalfPi * rt::rng::rand();
    const double p2 = kTwoPi * rt::rng::rand();
    ct1 = std::cos(t1);
    st1 = std::sin(t1);
    cp1 = std::cos(p1);
    sp1 = std::sin(p1);
    ct2 = std::cos(t2);
    st2 = std::sin(t2);
    cp2 = std::cos(p2);
    sp2 = std::sin(p2);
    const double g = ((st1 * (cp2 * st2)) * cp1 + ct1 * ct2) + sp1 * (st1 * (sp2 * st2));
    if (g > 0.0 || std::isnan(g)) continue;
    const double u5 = rt::rng::rand();
    if ((((g * -0.10132118364233778) * ct2) * st2) * st1 >= 0.045 * u5) break;
  }
  const double R = dom.R;
  // Direction components are formed as (d + n) - n.
  const double start_y = (st1 * cp1) * R + dom.centre[1];
  const double start_z = (sp1 * st1) * R + dom.centre[2];
  const double dir_y = (st2 * cp2 + st1 * cp1) - st1 * cp1;
  const double dir_z = (st2 * sp2 + sp1 * st1) - sp1 * st1;
  if (k <= 0.5 * n_total) {
    start[0] = ct1 * R + dom.centre[0];
    dir[0] = (ct2 + ct1) - ct1;
  } else if (k > 0.5 * n_total) {
    start[0] = (-ct1) * R + dom.centre[0];
    dir[0] = ((-ct1) - ct2) + ct1;
  } else {
    for (int j = 0; j < 3; ++j) start[j] = dir[j] = 0.0;
    return;
  }
  start[1] = start_y;
  start[2] = start_z;
  dir[1] = dir_y;
  dir[2] = dir_z;
}

namespace {

// Cosine and sine of a uniform angle: a point uniform in the unit disc
// (rejection from the square), scaled to the circle.
void unit_circle(double* c, double* s) {
  for (;;) {
    const double x = 2.0 * rt::rng::rand() - 1.0;
    const double y = 2.0 * rt::rng::rand() - 1.0;
    const double q = x * x + y * y;
    if (q <= 1.0 && q > 1e-200) {
      const double inv = 1.0 / std::sqrt(q);
      *c = x * inv;
      *s = y * inv;
      return;
    }
  }
}

}  // namespace

void hs_sphere_launch_direct(double k, double n_total, const HsEntryDomain& dom, double start[3],
                             double dir[3]) {
  constexpr double kCap = 0.045 * (kPi * kPi);
  double n[3], d[3];
  for (;;) {
    // Direction: d_x = cos t2 >= 0 with sin^2 t2 uniform, uniform azimuth.
    const double s2 = rt::rng::rand();
    const double st2 = std::sqrt(s2);
    const double ct2 = std::sqrt(1.0 - s2);
    double cp2, sp2;
    unit_circle(&cp2, &sp2);
    d[0] = ct2;
    d[1] = st2 * cp2;
    d[2] = st2 * sp2;
    // Point: c = -n.d with c^2 uniform (the flux factor -g), uniform azimuth
    // about -d in the frame e1, e2 normal to d.
    const double c = std::sqrt(rt::rng::rand());
    const double s = std::sqrt(1.0 - c * c);
    double ca, sa;
    unit_circle(&ca, &sa);
    const double sign = std::copysign(1.0, d[2]);
    const double a = -1.0 / (sign + d[2]);
    const double b = d[0] * d[1] * a;
    const double e1[3] = {1.0 + sign * d[0] * d[0] * a, sign * b, -sign * d[0]};
    const double e2[3] = {b, sign + d[1] * d[1] * a, -d[1]};
    for (int j = 0; j < 3; ++j) n[j] = -c * d[j] + s * (ca * e1[j] + sa * e2[j]);
    // The rest of the weight: min(1, 0.045 pi^2 / (sin t1 cos t2 sin t2 (-g))).
    const double st1 = std::sqrt(n[1] * n[1] + n[2] * n[2]);
    const double rest = kCap / (((st1 * ct2) * st2) * c);
    if (rest >= 1.0 || rt::rng::rand() < rest) break;
  }
  const double R = dom.R;
  start[1] = n[1] * R + dom.centre[1];
  start[2] = n[2] * R + dom.centre[2];
  dir[1] = d[1];
  dir[2] = d[2];
  if (k <= 0.5 * n_total) {
    start[0] = n[0] * R + dom.centre[0];
    dir[0] = d[0];
  } else {
    start[0] = (-n[0]) * R + dom.centre[0];
    dir[0] = -d[0];
  }
}

void hs_x_face_launch(const HsEntryDomain& dom, double start[3], double dir[3]) {
  const double u1 = rt::rng::rand();
  const double c1 = rt::nthroot(1.0 - (u1 + u1));
  const double s = std::sqrt(1.0 - c1 * c1);
  const double psi = kTwoPi * rt::rng::rand();
  dir[0] = c1;
  dir[1] = s * std::cos(psi);
  dir[2] = std::sin(psi) * s;
  const double u3 = rt::rng::rand();
  const double u4 = rt::rng::rand();
  if (c1 < 0.0) {
    start[0] = dom.hi[0];
  } else if (c1 >= 0.0) {
    start[0] = dom.lo[0];
  } else {
    start[0] = start[1] = start[2] = 0.0;
    return;
  }
  start[1] = dom.L[1] * u3 + dom.lo[1];
  start[2] = dom.L[2] * u4 + dom.lo[2];
}

namespace {

// The y-face procedure with the face axis `a` (1 = y, 2 = z) and the
// in-face axis `b` (the other of y, z).
void side_face_launch(const HsEntryDomain& dom, int a, int b, double start[3], double dir[3]) {
  const double q = rt::nthroot(rt::rng::rand());
  const double u2 = rt::rng::rand();
  dir[a] = rt::sign((u2 + u2) - 1.0) * std::sqrt(1.0 - q * q);
  const double u3 = rt::rng::rand();
  const double w = (u3 + u3) - 1.0;
  const double u4 = rt::rng::rand();
  dir[0] = (rt::sign((u4 + u4) - 1.0) * std::sqrt(1.0 - w * w)) * q;
  dir[b] = q * w;
  const double u5 = rt::rng::rand();
  const double u6 = rt::rng::rand();
  if (dir[a] < 0.0) {
    start[a] = dom.hi[a];
  } else if (dir[a] >= 0.0) {
    start[a] = dom.lo[a];
  } else {
    start[0] = start[1] = start[2] = 0.0;
    return;
  }
  start[0] = dom.L[0] * u5 + dom.lo[0];
  start[b] = dom.L[b] * u6 + dom.lo[b];
}

}  // namespace

void hs_y_face_launch(const HsEntryDomain& dom, double start[3], double dir[3]) {
  side_face_launch(dom, 1, 2, start, dir);
}

void hs_z_face_launch(const HsEntryDomain& dom, double start[3], double dir[3]) {
  side_face_launch(dom, 2, 1, start, dir);
}
