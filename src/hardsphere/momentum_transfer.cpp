#include "hardsphere/momentum_transfer.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "runtime/blas.h"
#include "runtime/constants.h"
#include "runtime/numeric.h"
#include "runtime/random_streams.h"

using ccs::kPi;

namespace {


double length3(const double v[3]) { return std::sqrt((v[0] * v[0] + v[1] * v[1]) + v[2] * v[2]); }

// Mirror direction d in the plane with unit normal n, normalised.
void specular(const double d[3], const double n[3], double out[3]) {
  const double dn = (d[0] * n[0] + d[1] * n[1]) + d[2] * n[2];
  double v[3];
  for (int j = 0; j < 3; ++j) v[j] = d[j] - (n[j] * dn + n[j] * dn);
  const double s = 1.0 / length3(v);
  for (int j = 0; j < 3; ++j) out[j] = v[j] * s;
}

// Speed of a diffusely re-emitted molecule.
double diffuse_speed(const HsEmission& em) {
  // A zero scale selects the reference speed in both modes.
  const double scale = em.v_c2 != 0.0 ? em.v_c2 : em.v_ref;
  if (em.maxwell_speed) {
    // Rejection sampling of x on [0, 5] with density ~ x^3 exp(-x^2), whose
    // bound 2 x^3 exp(-x^2) stays below 0.82; 4/(3 sqrt(pi)) makes the mean
    // speed equal to the scale.
    double x;
    double y;
    do {
      x = 5.0 * rt::rng::rand();
      y = 0.82 * rt::rng::rand();
    } while (!(std::exp(-(x * x)) * (std::pow(x, 3.0) + std::pow(x, 3.0)) >= y));
    return (((x * 4.0) / 3.0) / 1.7724538509055159) * scale;
  }
  return scale;
}

// 3x3 product of column-major matrices, each element summed over k = 1..3.
void mul3(const double A[9], const double B[9], double C[9]) {
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 3; ++c) {
      C[r + 3 * c] = (A[r] * B[3 * c] + A[r + 3] * B[3 * c + 1]) + A[r + 6] * B[3 * c + 2];
    }
  }
}

void rot_z(double x, double R[9]) {
  const double c = std::cos(x);
  const double s = std::sin(x);
  const double m[9] = {c, s, 0.0, -s, c, 0.0, 0.0, 0.0, 1.0};
  std::memcpy(R, m, sizeof m);
}

void rot_y(double x, double R[9]) {
  const double c = std::cos(x);
  const double s = std::sin(x);
  const double m[9] = {c, 0.0, -s, 0.0, 1.0, 0.0, s, 0.0, c};
  std::memcpy(R, m, sizeof m);
}

// Cosine-law direction about the unit normal n: polar angle alpha with
// cos(alpha) = sqrt(U), azimuth psi uniform. Rz(theta) Ry(phi) turns the z
// axis onto n.
void cosine_law(const double n[3], double out[3]) {
  // A normal along z has no azimuth (0/0): any will do. A z component that
  // rounds beyond +-1 still has a polar angle.
  double theta = n[0] == 0.0 && n[1] == 0.0 ? 0.0 : std::atan(n[1] / n[0]);
  const double phi = std::acos(std::fmax(-1.0, std::fmin(1.0, n[2])));
  const double u_psi = rt::rng::rand();
  const double psi = (u_psi + u_psi) * kPi;
  if (n[0] < 0.0) {
    if (n[1] < 0.0) {
      theta += kPi;
    } else if (n[1] > 0.0) {
      theta -= kPi;
    }
  }
  const double alpha = std::acos(std::sqrt(rt::rng::rand()));
  double Rz[9];
  double Ry[9];
  double C[9];
  double Rpsi[9];
  double M[9];
  rot_z(theta, Rz);
  rot_y(phi, Ry);
  mul3(Rz, Ry, C);
  rot_z(psi, Rpsi);
  mul3(C, Rpsi, M);
  const double w[3] = {std::tan(alpha), 0.0, 1.0};
  for (int r = 0; r < 3; ++r) out[r] = (M[r] * w[0] + M[r + 3] * w[1]) + M[r + 6] * w[2];
  const double s = 1.0 / length3(out);
  for (int r = 0; r < 3; ++r) out[r] *= s;
}

// True when all no-contact values equal one finite non-zero value, so that an
// untouched atom's distance is that value exactly.
bool uniform_no_contact(const double* v, int n) {
  const double V = v[0];
  if (!std::isfinite(V) || V == 0.0) return false;
  bool same = true;
  for (int k = 1; k < n; ++k) same = same && v[k] == V;
  return same;
}

// Outcome of the contact search of one flight.
enum class Search { kNone, kFound, kUndecided };

// The turned centres of all atoms (HsAtoms::turn) into `out` (N x 3), or
// the centres themselves when there is no turn.
const double* centres(const HsAtoms& atoms, double* out) {
  if (atoms.turn == nullptr) return atoms.P;
  rt::gemm_rows(atoms.n, 3, 3, atoms.P, atoms.n, atoms.turn, out, atoms.n);
  return out;
}

// D = d d' (column-major).
void outer(const double d[3], double D[9]) {
  for (int c = 0; c < 3; ++c) {
    for (int r = 0; r < 3; ++r) D[r + 3 * c] = d[r] * d[c];
  }
}

// Entry distance of a touched sphere: ((1 - m) V + m |Q|) - sqrt(-h m) with
// m = 1 and the no-contact value V.
inline double entry_distance(double V, double q0, double q1, double q2, double h) {
  const double qn = std::sqrt((q0 * q0 + q1 * q1) + q2 * q2);
  return ((1.0 - 1.0) * V + 1.0 * qn) - std::sqrt(-h * 1.0);
}

// Contact search over all atoms. Relative positions E = P - ones pos', the
// products Q = E (d d') and t = Q d, miss h = |E - Q|^2 - r^2; contact where
// h < 0 and t > 0. Each atom's distance is ((1 - m) dist + m |Q|) - sqrt(-h m)
// with mask m and dist its no-contact value; the contact atom is the first
// smallest distance, NaN skipped.
Search full_search(const HsAtoms& atoms, const HsScratch& work, const double pos[3],
                   const double d[3], int* uniform, int* kc, double* u) {
  const int n = atoms.n;
  const double* P = centres(atoms, work.E);  // turned in place, then made relative
  for (int j = 0; j < 3; ++j) {
    const double p = pos[j];
    const double* Pj = P + static_cast<size_t>(j) * n;
    double* Ej = work.E + static_cast<size_t>(j) * n;
    for (int k = 0; k < n; ++k) Ej[k] = Pj[k] - atoms.ones[k] * p;
  }
  if (atoms.inline_products) {
    const double dd = (d[0] * d[0] + d[1] * d[1]) + d[2] * d[2];
    const double* A0 = work.E;
    const double* A1 = work.E + n;
    const double* A2 = work.E + 2 * static_cast<size_t>(n);
    double* B0 = work.Q;
    double* B1 = work.Q + n;
    double* B2 = work.Q + 2 * static_cast<size_t>(n);
    for (int k = 0; k < n; ++k) {
      const double q = (A0[k] * d[0] + A1[k] * d[1]) + A2[k] * d[2];
      B0[k] = q * d[0];
      B1[k] = q * d[1];
      B2[k] = q * d[2];
      work.t[k] = q * dd;
    }
  } else {
    double D[9];
    outer(d, D);
    rt::gemm(n, 3, 3, work.E, D, work.Q);
    rt::gemm(n, 1, 3, work.Q, d, work.t);
  }

  const double* E0 = work.E;
  const double* E1 = work.E + n;
  const double* E2 = work.E + 2 * static_cast<size_t>(n);
  const double* Q0 = work.Q;
  const double* Q1 = work.Q + n;
  const double* Q2 = work.Q + 2 * static_cast<size_t>(n);
  int n_hits = 0;
  double check = 0.0;  // non-finite when some h or |Q| is (or overflows)
  for (int k = 0; k < n; ++k) {
    const double a0 = E0[k] - Q0[k];
    const double a1 = E1[k] - Q1[k];
    const double a2 = E2[k] - Q2[k];
    const double h = ((a0 * a0 + a1 * a1) + a2 * a2) - atoms.r2[k];
    work.h[k] = h;
    check += h + ((Q0[k] * Q0[k] + Q1[k] * Q1[k]) + Q2[k] * Q2[k]);
    if (h < 0.0 && work.t[k] > 0.0) work.hits[n_hits++] = k;
  }
  if (n_hits == 0) return Search::kNone;

  if (*uniform == 0) *uniform = uniform_no_contact(atoms.no_contact, n) ? 1 : -1;
  if (*uniform == 1 && std::isfinite(check)) {
    // With finite h and |Q| every untouched atom keeps exactly the common
    // value V: only the touched ones need evaluating.
    const double V = atoms.no_contact[0];
    double best = 0.0;
    int best_k = -1;
    for (int c = 0; c < n_hits; ++c) {
      const int k = work.hits[c];
      const double v = entry_distance(V, Q0[k], Q1[k], Q2[k], work.h[k]);
      if (best_k < 0 || v < best) {
        best = v;
        best_k = k;
      }
    }
    // First untouched atom: the first gap in the ascending hit list.
    int first_free = n_hits < n ? n_hits : -1;
    for (int c = 0; c < n_hits; ++c) {
      if (work.hits[c] != c) {
        first_free = c;
        break;
      }
    }
    if (first_free >= 0 && (V < best || (V == best && first_free < best_k))) {
      *kc = first_free;
      *u = V;
    } else {
      *kc = best_k;
      *u = best;
    }
    return Search::kFound;
  }
  std::memcpy(work.dist, atoms.no_contact, sizeof(double) * static_cast<size_t>(n));
  for (int k = 0; k < n; ++k) {
    const double m = (work.h[k] < 0.0 && work.t[k] > 0.0) ? 1.0 : 0.0;
    const double qn = std::sqrt((Q0[k] * Q0[k] + Q1[k] * Q1[k]) + Q2[k] * Q2[k]);
    const double c = std::sqrt(-work.h[k] * m);
    work.dist[k] = ((1.0 - m) * work.dist[k] + m * qn) - c;
  }
  *kc = rt::argmin_skip_nan(work.dist, n);
  *u = work.dist[*kc];
  return Search::kFound;
}

// The contact of a search over all atoms with common no-contact value V:
// the touched atom with the first smallest entry distance `best`, unless the
// first untouched atom's V is smaller (or equal and it comes first).
Search choose_contact(double V, double best, int best_k, int first_free, int* kc, double* u) {
  if (best_k < 0) return Search::kNone;
  if (first_free >= 0 && (V < best || (V == best && first_free < best_k))) {
    *kc = first_free;
    *u = V;
  } else {
    *kc = best_k;
    *u = best;
  }
  return Search::kFound;
}

// The search over all atoms with the products written out (inline_products)
// and common no-contact values, in one pass over the atoms without working
// arrays (turned atoms: their centres turned into E first): the same
// quantities and the same choice as full_search. Returns
// kUndecided (full_search decides) when the no-contact values differ or some
// h or |Q| is not finite.
Search fused_search(const HsAtoms& atoms, const HsScratch& work, const double pos[3],
                    const double d[3], int* uniform, int* kc, double* u) {
  if (*uniform == 0) *uniform = uniform_no_contact(atoms.no_contact, atoms.n) ? 1 : -1;
  if (*uniform != 1) return Search::kUndecided;
  const int n = atoms.n;
  const double V = atoms.no_contact[0];
  const double dd = (d[0] * d[0] + d[1] * d[1]) + d[2] * d[2];
  const double* P = centres(atoms, work.E);
  const double* P0 = P;
  const double* P1 = P + n;
  const double* P2 = P + 2 * static_cast<size_t>(n);
  double best = 0.0;
  int best_k = -1;
  int first_free = -1;
  const double B = kHsCoordinateBound;
  if (atoms.bounded && std::fabs(pos[0]) <= B && std::fabs(pos[1]) <= B &&
      std::fabs(pos[2]) <= B && std::fabs(d[0]) <= 2.0 && std::fabs(d[1]) <= 2.0 &&
      std::fabs(d[2]) <= 2.0 && dd > 0.0) {
    // Every h and |Q| is finite (the inputs are bounded), and an atom with
    // q <= 0 has t = q dd <= 0: not touched, whatever its h. First q and h
    // of every atom (lanes of the same operations), then the touched ones.
    double* qs = work.t;
    double* hs = work.h;
    const double* R2 = atoms.r2;
    const double x = pos[0], y = pos[1], z = pos[2];
    const double d0 = d[0], d1 = d[1], d2 = d[2];
#pragma omp simd
    for (int k = 0; k < n; ++k) {
      const double e0 = P0[k] - x;
      const double e1 = P1[k] - y;
      const double e2 = P2[k] - z;
      const double q = (e0 * d0 + e1 * d1) + e2 * d2;
      const double a0 = e0 - q * d0, a1 = e1 - q * d1, a2 = e2 - q * d2;
      qs[k] = q;
      hs[k] = ((a0 * a0 + a1 * a1) + a2 * a2) - R2[k];
    }
    for (int k = 0; k < n; ++k) {
      if (qs[k] > 0.0 && hs[k] < 0.0) {
        const double q = qs[k];
        const double v = entry_distance(V, q * d[0], q * d[1], q * d[2], hs[k]);
        if (best_k < 0 || v < best) {
          best = v;
          best_k = k;
        }
      } else if (first_free < 0) {
        first_free = k;
      }
    }
    return choose_contact(V, best, best_k, first_free, kc, u);
  }
  double check = 0.0;
  for (int k = 0; k < n; ++k) {
    const double e0 = P0[k] - atoms.ones[k] * pos[0];
    const double e1 = P1[k] - atoms.ones[k] * pos[1];
    const double e2 = P2[k] - atoms.ones[k] * pos[2];
    const double q = (e0 * d[0] + e1 * d[1]) + e2 * d[2];
    const double q0 = q * d[0], q1 = q * d[1], q2 = q * d[2];
    const double a0 = e0 - q0, a1 = e1 - q1, a2 = e2 - q2;
    const double h = ((a0 * a0 + a1 * a1) + a2 * a2) - atoms.r2[k];
    check += h + ((q0 * q0 + q1 * q1) + q2 * q2);
    if (h < 0.0 && q * dd > 0.0) {
      const double v = entry_distance(V, q0, q1, q2, h);
      if (best_k < 0 || v < best) {
        best = v;
        best_k = k;
      }
    } else if (first_free < 0) {
      first_free = k;
    }
  }
  if (!std::isfinite(check)) return Search::kUndecided;
  return choose_contact(V, best, best_k, first_free, kc, u);
}

// Contact search over the grid. The forward ray, clipped to the centre box
// widened by pad, is cut into pieces; the atoms of the cells that meet a
// piece's box widened by pad are evaluated (each once per flight) with the
// same expressions and BLAS products as the full search, on gathered rows.
// Any atom the ray can touch has its closest approach on some piece, so its
// centre lies in that piece's box. Atoms not yet visited have their closest
// approach beyond the current piece, hence an entry distance above its end
// minus pad: once the best distance is below that, the search stops.
// Returns kUndecided when the answer depends on untouched atoms (no contact
// closer than the no-contact value).
// Turned atoms (HsAtoms::turn): the ray is turned back into the frame of the
// grid to choose cells, their boxes widened by a slack far above the rounding
// of the turned centres and of the turned ray (relative 1e-15 of the
// coordinates); the gathered atoms' centres are turned, then evaluated.
Search grid_search(const HsAtoms& atoms, const HsGrid& g, const HsScratch& work,
                   const double pos[3], const double d[3], int* kc, double* u) {
  const double pad = g.pad;
  double gp[3] = {pos[0], pos[1], pos[2]};  // the ray in the grid's frame
  double gd[3] = {d[0], d[1], d[2]};
  double cell_pad = pad;
  if (atoms.turn != nullptr) {
    const double* R = atoms.turn;
    for (int j = 0; j < 3; ++j) {
      gp[j] = (pos[0] * R[j] + pos[1] * R[j + 3]) + pos[2] * R[j + 6];
      gd[j] = (d[0] * R[j] + d[1] * R[j + 3]) + d[2] * R[j + 6];
    }
    const double reach = std::max({std::fabs(gp[0]), std::fabs(gp[1]), std::fabs(gp[2])});
    cell_pad = pad + 1e-12 * ((g.coord_max + pad) + reach);
  }
  // Slab clip of s >= 0 to the widened centre box.
  double s0 = 0.0;
  double s1 = INFINITY;
  for (int j = 0; j < 3; ++j) {
    const double lo = g.lo[j] - cell_pad - gp[j];
    const double hi = g.hi[j] + cell_pad - gp[j];
    if (gd[j] == 0.0) {
      if (lo > 0.0 || hi < 0.0) return Search::kNone;
      continue;
    }
    double a = lo / gd[j];
    double b = hi / gd[j];
    if (a > b) std::swap(a, b);
    s0 = std::max(s0, a);
    s1 = std::min(s1, b);
  }
  if (!(s0 <= s1)) return Search::kNone;
  if (!std::isfinite(s1)) return Search::kUndecided;  // zero direction

  double D[9];
  outer(d, D);
  std::uint32_t stamp = ++*work.stamp_now;
  if (stamp == 0) {  // wrapped: clear the marks
    const size_t cells = static_cast<size_t>(g.dims[0]) * g.dims[1] * g.dims[2];
    std::memset(work.stamp, 0, cells * sizeof(std::uint32_t));
    stamp = *work.stamp_now = 1;
  }
  const double step = g.cell;
  const double V = g.no_contact;
  double best = 0.0;
  int best_k = -1;
  for (double s = s0; s < s1 || s == s0; s += step) {
    const double e = std::min(s + step, s1);
    int m = 0;  // gathered atoms of this piece
    int c_lo[3];
    int c_hi[3];
    bool empty = false;
    for (int j = 0; j < 3; ++j) {
      const double a = gp[j] + s * gd[j];
      const double b = gp[j] + e * gd[j];
      const double lo = std::min(a, b) - cell_pad;
      const double hi = std::max(a, b) + cell_pad;
      c_lo[j] = std::max(0, static_cast<int>(std::floor((lo - g.origin[j]) / g.cell)));
      c_hi[j] = std::min(g.dims[j] - 1, static_cast<int>(std::floor((hi - g.origin[j]) / g.cell)));
      if (c_lo[j] > c_hi[j]) empty = true;
    }
    if (!empty) {
      for (int z = c_lo[2]; z <= c_hi[2]; ++z) {
        for (int y = c_lo[1]; y <= c_hi[1]; ++y) {
          const int row = (z * g.dims[1] + y) * g.dims[0];
          for (int x = c_lo[0]; x <= c_hi[0]; ++x) {
            const int c = row + x;
            if (work.stamp[c] == stamp) continue;
            work.stamp[c] = stamp;
            for (int a = g.start[static_cast<size_t>(c)]; a < g.start[static_cast<size_t>(c) + 1];
                 ++a) {
              work.hits[m++] = a;  // the slot; its atom is g.atoms[a]
            }
          }
        }
      }
    }
    if (m > 0) {
      // Gathered centres, turned (through Q, which is formed next anyway)
      // when the atoms are; the grid holds only atoms whose `ones` are 1.
      const double* X = g.packed.data();
      for (int j = 0; j < 3; ++j) {
        double* Cj = (atoms.turn != nullptr ? work.Q : work.E) + static_cast<size_t>(j) * m;
        for (int q = 0; q < m; ++q) Cj[q] = X[4 * static_cast<size_t>(work.hits[q]) + j];
      }
      if (atoms.turn != nullptr) rt::gemm_rows(m, 3, 3, work.Q, m, atoms.turn, work.E, m);
      for (int j = 0; j < 3; ++j) {
        double* Ej = work.E + static_cast<size_t>(j) * m;
        for (int q = 0; q < m; ++q) Ej[q] = Ej[q] - pos[j];
      }
      if (atoms.inline_products) {
        const double dd = (d[0] * d[0] + d[1] * d[1]) + d[2] * d[2];
        for (int q = 0; q < m; ++q) {
          const double* Eq = work.E + q;
          const double p = (Eq[0] * d[0] + Eq[m] * d[1]) + Eq[2 * static_cast<size_t>(m)] * d[2];
          work.Q[q] = p * d[0];
          work.Q[q + m] = p * d[1];
          work.Q[q + 2 * static_cast<size_t>(m)] = p * d[2];
          work.t[q] = p * dd;
        }
      } else {
        rt::gemm(m, 3, 3, work.E, D, work.Q);
        rt::gemm(m, 1, 3, work.Q, d, work.t);
      }
      const double* E0 = work.E;
      const double* E1 = work.E + m;
      const double* E2 = work.E + 2 * static_cast<size_t>(m);
      const double* Q0 = work.Q;
      const double* Q1 = work.Q + m;
      const double* Q2 = work.Q + 2 * static_cast<size_t>(m);
      for (int q = 0; q < m; ++q) {
        const size_t slot = static_cast<size_t>(work.hits[q]);
        const double a0 = E0[q] - Q0[q];
        const double a1 = E1[q] - Q1[q];
        const double a2 = E2[q] - Q2[q];
        const double h = ((a0 * a0 + a1 * a1) + a2 * a2) - X[4 * slot + 3];
        if (h < 0.0 && work.t[q] > 0.0) {
          const int k = g.atoms[slot];
          const double v = entry_distance(V, Q0[q], Q1[q], Q2[q], h);
          if (best_k < 0 || v < best || (v == best && k < best_k)) {
            best = v;
            best_k = k;
          }
        }
      }
    }
    if (best_k >= 0 && best < e - pad) break;
    if (e >= s1) break;
  }
  if (best_k < 0) return Search::kNone;
  if (!(best < V)) return Search::kUndecided;
  *kc = best_k;
  *u = best;
  return Search::kFound;
}

}  // namespace

bool hs_radii_bounded(const HsAtoms& atoms) {
  const double B = kHsCoordinateBound;
  for (int k = 0; k < atoms.n; ++k) {
    if (atoms.ones[k] != 1.0 || !(atoms.r2[k] <= B * B)) return false;
  }
  return true;
}

bool hs_bounded(const HsAtoms& atoms) {
  const double B = kHsCoordinateBound;
  for (int k = 0; k < atoms.n; ++k) {
    for (int j = 0; j < 3; ++j) {
      if (!(std::fabs(atoms.P[k + static_cast<size_t>(j) * atoms.n]) <= B)) return false;
    }
  }
  return hs_radii_bounded(atoms);
}

bool hs_coordinates_bounded(const ccs::geometry::ColumnSummary& columns) {
  // A sum of coordinates within the bound stays finite (n < 2^31), so a
  // finite sum means no NaN or infinity in the column.
  const double B = kHsCoordinateBound;
  for (int j = 0; j < 3; ++j) {
    if (!std::isfinite(columns.sum[j]) || !(std::fabs(columns.min[j]) <= B) ||
        !(std::fabs(columns.max[j]) <= B))
      return false;
  }
  return true;
}

HsScratch hs_scratch_for(HsScratchStore& store, int n, int cells) {
  const size_t N = static_cast<size_t>(n > 0 ? n : 0);
  if (store.reals.size() < 9 * N) store.reals.resize(9 * N);
  if (store.ints.size() < N) store.ints.resize(N);
  if (store.stamps.size() < static_cast<size_t>(cells)) {
    store.stamps.assign(static_cast<size_t>(cells), 0u);
    store.stamp_now = 0;
  }
  double* b = store.reals.data();
  return HsScratch{b,
                   b + N,
                   b + 4 * N,
                   b + 7 * N,
                   b + 8 * N,
                   store.ints.data(),
                   store.stamps.data(),
                   &store.stamp_now};
}

void hs_momentum_transfer(rt::Context* /*ctx*/, int limit, const HsAtoms& atoms,
                          const HsEmission& em, const HsScratch& work, double position[3],
                          double direction[3], double result[3]) {
  const double* P = atoms.P;
  double d[3] = {direction[0], direction[1], direction[2]};
  const double d0[3] = {direction[0], direction[1], direction[2]};
  for (int j = 0; j < 3; ++j) result[j] = direction[j];
  double speed = em.v_launch;
  int uniform = 0;  // no-contact values all equal, finite, non-zero: 1 yes, -1 no, 0 unknown

  for (int i = 1;; ++i) {
    // Contact atom kc and the distance u along the flight to its entry point.
    int kc = 0;
    double u = 0.0;
    Search found = Search::kUndecided;
    if (atoms.grid != nullptr && std::isfinite(position[0]) && std::isfinite(position[1]) &&
        std::isfinite(position[2]) && std::isfinite(d[0]) && std::isfinite(d[1]) &&
        std::isfinite(d[2])) {
      found = grid_search(atoms, *atoms.grid, work, position, d, &kc, &u);
    }
    if (found == Search::kUndecided && atoms.inline_products)
      found = fused_search(atoms, work, position, d, &uniform, &kc, &u);
    if (found == Search::kUndecided)
      found = full_search(atoms, work, position, d, &uniform, &kc, &u);
    if (found == Search::kNone) {
      if (i == 1) {  // the launch line misses the molecule
        result[0] = 0.0;
        result[1] = 0.0;
        result[2] = 0.0;
        return;
      }
      break;  // escaped
    }

    // Move to the contact point; outward normal of the contact atom.
    for (int j = 0; j < 3; ++j) position[j] = d[j] * u + position[j];
    double e[3];
    double c[3];
    if (atoms.turn != nullptr) {
      rt::gemm_rows(1, 3, 3, P + kc, atoms.n, atoms.turn, c, 1);
    } else {
      for (int j = 0; j < 3; ++j) c[j] = P[kc + static_cast<size_t>(j) * atoms.n];
    }
    for (int j = 0; j < 3; ++j) e[j] = position[j] - c[j];
    const double se = 1.0 / length3(e);
    double nrm[3];
    for (int j = 0; j < 3; ++j) nrm[j] = e[j] * se;

    const double rho = rt::rng::rand();
    if (em.a < rho) {
      specular(d, nrm, result);
      speed = em.v_ref;
    } else if (rho <= em.a) {
      if (em.diffusive == ccs::DiffuseDirection::Specular) {
        speed = diffuse_speed(em);
        specular(d, nrm, result);
      } else if (em.diffusive == ccs::DiffuseDirection::CosineLaw) {
        speed = diffuse_speed(em);
        cosine_law(nrm, result);
      }
    }
    for (int j = 0; j < 3; ++j) {
      d[j] = result[j];
      direction[j] = result[j];
    }
    if (i == limit) break;
  }

  const double s = rt::sign(d0[0]);
  for (int j = 0; j < 3; ++j) result[j] = (result[j] * speed - d0[j] * em.v_ref) * s;
}

void sphere_loop_transfer(rt::Context* ctx, const HsAtoms& atoms, const HsEmission& em,
                               const HsScratch& work, double position[3], double direction[3],
                               double result[3]) {
  hs_momentum_transfer(ctx, kSphereCollisionLimit, atoms, em, work, position, direction, result);
}

void face_loop_transfer(rt::Context* ctx, const HsAtoms& atoms, const HsEmission& em,
                                 const HsScratch& work, double position[3], double direction[3],
                                 double result[3]) {
  hs_momentum_transfer(ctx, kFaceCollisionLimit, atoms, em, work, position, direction, result);
}
