#include "trajectory/collision_response.h"

#include <cmath>

#include "runtime/constants.h"
#include "runtime/numeric.h"
#include "runtime/random_streams.h"
#include "trajectory/charge_field.h"

namespace ccs::trajectory {
namespace {


// Specular reflection of s_hat at the plane with normal n, normalised.
void reflect(const double s_hat[3], const double n[3], double u[3]) {
  const double sn = dot3(s_hat, n);
  double r[3];
  for (int i = 0; i < 3; ++i) r[i] = s_hat[i] - 2.0 * sn * n[i];
  const double len = rt::norm3(r);
  for (int i = 0; i < 3; ++i) u[i] = r[i] / len;
}

// Re-emission speed of a diffuse collision.
double reemission_speed(const SurfaceLaw& law) {
  if (law.maxwell_speed) {
    // Flux-weighted Maxwell law: y has density ~ y^3 exp(-y^2) on [0, 5];
    // 0.41 bounds its maximum. 4/(3 sqrt(pi)) makes the mean speed v_c2.
    double y;
    double z;
    do {
      y = 5.0 * rt::rng::rand();
      z = rt::rng::rand();
    } while (std::pow(y, 3.0) * std::exp(-(y * y)) < 0.41 * z);
    return 4.0 * y / 3.0 / 1.7724538509055159 * law.v_c2;
  }
  return law.v_c2 != 0.0 ? law.v_c2 : law.v_inf;
}

// Column-major 3x3 product C = A * B, each entry summed over k in order.
void mat3(const double A[9], const double B[9], double C[9]) {
  for (int j = 0; j < 3; ++j)
    for (int i = 0; i < 3; ++i)
      C[i + 3 * j] = (A[i] * B[3 * j] + A[i + 3] * B[1 + 3 * j]) + A[i + 6] * B[2 + 3 * j];
}

void rot_z(double t, double M[9]) {
  const double c = std::cos(t);
  const double s = std::sin(t);
  M[0] = c; M[3] = -s; M[6] = 0.0;
  M[1] = s; M[4] = c;  M[7] = 0.0;
  M[2] = 0.0; M[5] = 0.0; M[8] = 1.0;
}

// Cosine-law direction about the normal n; draws psi then alpha.
void cosine_law(const double n[3], double u[3]) {
  double phi = std::atan(n[1] / n[0]);
  // A unit normal whose z component rounds beyond +-1 still has a polar angle.
  const double theta = std::acos(std::fmax(-1.0, std::fmin(1.0, n[2])));
  const double psi = 2.0 * kPi * rt::rng::rand();
  if (n[0] < 0.0) {
    // Put phi in the half-plane of n. A normal in the x-z plane pointing to
    // -x needs the half turn as well: without it the molecule would be sent
    // into the atom.
    if (n[1] > 0.0)
      phi -= kPi;
    else
      phi += kPi;
  }
  const double alpha = std::acos(std::sqrt(rt::rng::rand()));
  double Rphi[9];
  if (std::isnan(phi)) {
    for (int i = 0; i < 9; ++i) Rphi[i] = (i % 4 == 0) ? 1.0 : 0.0;
  } else {
    rot_z(phi, Rphi);
  }
  const double ct = std::cos(theta);
  const double st = std::sin(theta);
  const double Ry[9] = {ct, 0.0, -st, 0.0, 1.0, 0.0, st, 0.0, ct};
  double Rpsi[9];
  rot_z(psi, Rpsi);
  double M1[9];
  double M2[9];
  mat3(Rphi, Ry, M1);
  mat3(M1, Rpsi, M2);
  const double t[3] = {std::tan(alpha), 0.0, 1.0};
  double r[3];
  for (int i = 0; i < 3; ++i) r[i] = (M2[i] * t[0] + M2[i + 3] * t[1]) + M2[i + 6] * t[2];
  const double len = rt::norm3(r);
  for (int i = 0; i < 3; ++i) u[i] = r[i] / len;
}

}  // namespace

void contact_point(const double centre[3], double R, double R2, const double x_s[3],
                   const double x_new[3], double s_hat[3], double n[3], double P[3]) {
  double X[3];
  double step[3];
  for (int i = 0; i < 3; ++i) {
    X[i] = x_s[i] * 1e10;
    step[i] = x_new[i] - x_s[i];
  }
  const double len = rt::norm3(step);
  for (int i = 0; i < 3; ++i) s_hat[i] = step[i] / len;
  double w[3];
  for (int i = 0; i < 3; ++i) w[i] = centre[i] - X[i];
  const double ws = dot3(w, s_hat);
  double p[3];
  double perp[3];
  for (int i = 0; i < 3; ++i) {
    p[i] = ws * s_hat[i];
    perp[i] = w[i] - p[i];
  }
  const double back = std::sqrt(R2 - dot3(perp, perp)) - rt::norm3(p);
  double c[3];
  for (int i = 0; i < 3; ++i) c[i] = (X[i] - back * s_hat[i]) - centre[i];
  const double clen = rt::norm3(c);
  for (int i = 0; i < 3; ++i) {
    n[i] = c[i] / clen;
    P[i] = centre[i] + R * n[i];
  }
}

void collision_response(const SurfaceLaw& law, const double s_hat[3], const double n[3], double E2,
                        const double v_new[3], const MovingAtom* atom, double u_hat[3],
                        double* speed, double dir[3]) {
  const double K_half = (law.Force_const + law.Force_const) * 0.25;
  const double r1 = rt::rng::rand();
  if (r1 < law.a) {
    if (law.diffusive == DiffuseDirection::Specular) {
      for (int i = 0; i < 3; ++i) dir[i] = v_new[i];
      const double u = reemission_speed(law);
      *speed = std::sqrt(K_half * E2 + u * u);
      reflect(s_hat, n, u_hat);
    } else if (law.diffusive == DiffuseDirection::CosineLaw) {
      cosine_law(n, u_hat);
      const double u = reemission_speed(law);
      *speed = std::sqrt(K_half * E2 + u * u);
    }
    return;
  }
  // Elastic: the speed at the contact follows from the asymptotic speed.
  const double s = std::sqrt(K_half * E2 + law.v_inf * law.v_inf);
  if (atom == nullptr) {
    reflect(s_hat, n, u_hat);
    *speed = s;
    return;
  }
  double un = dot3(atom->V, n);
  double M = atom->mass;
  if (M < atom->m_gm) {
    M = rt::sum_in_order(atom->massarray, atom->N);
    un = un * atom->cfactor;
  }
  const double k = 2.0 * M / (atom->m_gm + M) * (dot3(s_hat, n) * s - un);
  double v[3];
  for (int i = 0; i < 3; ++i) v[i] = s_hat[i] * s - k * n[i];
  const double len = rt::norm3(v);
  for (int i = 0; i < 3; ++i) u_hat[i] = v[i] / len;
  *speed = s;
}

}  // namespace ccs::trajectory
