#include "hardsphere/momentum_transfer.h"

#include <cmath>
#include <cstring>

#include "runtime/blas.h"
#include "runtime/numeric.h"
#include "runtime/random_streams.h"

namespace {

constexpr double kPi = 3.141592653589793;

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
  if (em.random_C == 1.0) {
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
  double theta = std::atan(n[1] / n[0]);
  const double phi = std::acos(n[2]);
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

}  // namespace

HsScratch hs_scratch_for(HsScratchStore& store, int n) {
  const size_t N = static_cast<size_t>(n > 0 ? n : 0);
  if (store.reals.size() < 9 * N) store.reals.resize(9 * N);
  if (store.ints.size() < N) store.ints.resize(N);
  double* b = store.reals.data();
  return HsScratch{b, b + N, b + 4 * N, b + 7 * N, b + 8 * N, store.ints.data()};
}

void hs_momentum_transfer(rt::Context* /*ctx*/, int limit, const HsAtoms& atoms,
                          const HsEmission& em, const HsScratch& work, double position[3],
                          double direction[3], double result[3]) {
  const int n = atoms.n;
  const double* P = atoms.P;
  double d[3] = {direction[0], direction[1], direction[2]};
  const double d0[3] = {direction[0], direction[1], direction[2]};
  for (int j = 0; j < 3; ++j) result[j] = direction[j];
  double speed = em.v_launch;
  int uniform = 0;  // no-contact values all equal, finite, non-zero: 1 yes, -1 no, 0 unknown

  for (int i = 1;; ++i) {
    // Atom centres relative to the position, projected on the flight line.
    for (int j = 0; j < 3; ++j) {
      const double p = position[j];
      const double* Pj = P + static_cast<size_t>(j) * n;
      double* Ej = work.E + static_cast<size_t>(j) * n;
      for (int k = 0; k < n; ++k) Ej[k] = Pj[k] - atoms.ones[k] * p;
    }
    double D[9];
    for (int c = 0; c < 3; ++c) {
      for (int r = 0; r < 3; ++r) D[r + 3 * c] = d[r] * d[c];
    }
    rt::gemm(n, 3, 3, work.E, D, work.Q);
    rt::gemm(n, 1, 3, work.Q, d, work.t);

    // Contact: the line passes through the sphere and its centre lies ahead.
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
    if (n_hits == 0) {
      if (i == 1) {  // the launch line misses the molecule
        result[0] = 0.0;
        result[1] = 0.0;
        result[2] = 0.0;
        return;
      }
      break;  // escaped
    }

    // Entry distance of each touched sphere: closest approach minus half
    // chord, ((1 - m) dist + m |Q|) - sqrt(-h m) with the contact mask m;
    // untouched atoms keep their no-contact value. Contact atom: the first
    // smallest distance, NaN skipped.
    int kc;
    if (uniform == 0) uniform = uniform_no_contact(atoms.no_contact, n) ? 1 : -1;
    if (uniform == 1 && std::isfinite(check)) {
      // Every untouched atom keeps exactly the common value V (|Q| and h are
      // finite): only the touched ones need evaluating.
      const double V = atoms.no_contact[0];
      double best = 0.0;
      int best_k = -1;
      for (int c = 0; c < n_hits; ++c) {
        const int k = work.hits[c];
        const double qn = std::sqrt((Q0[k] * Q0[k] + Q1[k] * Q1[k]) + Q2[k] * Q2[k]);
        const double v = ((1.0 - 1.0) * V + 1.0 * qn) - std::sqrt(-work.h[k] * 1.0);
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
      kc = best_k;
      if (first_free >= 0 && (V < best || (V == best && first_free < best_k))) kc = first_free;
      work.dist[kc] = kc == best_k ? best : V;
    } else {
      std::memcpy(work.dist, atoms.no_contact, sizeof(double) * static_cast<size_t>(n));
      for (int k = 0; k < n; ++k) {
        const double m = (work.h[k] < 0.0 && work.t[k] > 0.0) ? 1.0 : 0.0;
        const double qn = std::sqrt((Q0[k] * Q0[k] + Q1[k] * Q1[k]) + Q2[k] * Q2[k]);
        const double c = std::sqrt(-work.h[k] * m);
        work.dist[k] = ((1.0 - m) * work.dist[k] + m * qn) - c;
      }
      kc = rt::argmin_skip_nan(work.dist, n);
    }
    const double u = work.dist[kc];

    // Move to the contact point; outward normal of the contact atom.
    for (int j = 0; j < 3; ++j) position[j] = d[j] * u + position[j];
    double e[3];
    for (int j = 0; j < 3; ++j) e[j] = position[j] - P[kc + static_cast<size_t>(j) * n];
    const double se = 1.0 / length3(e);
    double nrm[3];
    for (int j = 0; j < 3; ++j) nrm[j] = e[j] * se;

    const double rho = rt::rng::rand();
    if (em.a < rho) {
      specular(d, nrm, result);
      speed = em.v_ref;
    } else if (rho <= em.a) {
      if (em.diffusive == 0.0) {
        speed = diffuse_speed(em);
        specular(d, nrm, result);
      } else if (em.diffusive == 1.0) {
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

void momtum_transGUIFreeparfor(rt::Context* ctx, const HsAtoms& atoms, const HsEmission& em,
                               const HsScratch& work, double position[3], double direction[3],
                               double result[3]) {
  hs_momentum_transfer(ctx, kSphereCollisionLimit, atoms, em, work, position, direction, result);
}

void b_momtum_transGUIFreeparfor(rt::Context* ctx, const HsAtoms& atoms, const HsEmission& em,
                                 const HsScratch& work, double position[3],
                                 double direction[3], double result[3]) {
  hs_momentum_transfer(ctx, kFaceCollisionLimit, atoms, em, work, position, direction, result);
}
