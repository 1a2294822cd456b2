#include "trajectory/analytic_deflection.h"

#include <cmath>

#include "runtime/constants.h"
#include "runtime/numeric.h"
#include "trajectory/charge_field.h"

namespace ccs::trajectory {
namespace {


void negate(double u[3]) {
  for (int i = 0; i < 3; ++i) u[i] = -u[i];
}

void copy3(const double a[3], double b[3]) {
  for (int i = 0; i < 3; ++i) b[i] = a[i];
}

}  // namespace

double deflection_angle(double A, bool* rising) {
  using std::pow;
  if (A < 0.82763) {
    *rising = true;
    return 32.469334650785 * pow(A, 6.0) - 67.35857206583 * pow(A, 5.0) +
           54.590550489724 * pow(A, 4.0) - 20.00235234946 * pow(A, 3.0) +
           4.127875292674 * pow(A, 2.0) + 2.11967645504 * A + 0.002816938147;
  }
  if (A <= 0.98) {
    *rising = false;
    return -1075300.75256348 * pow(A, 6.0) + 5743233.62100543 * pow(A, 5.0) -
           12778339.4798543 * pow(A, 4.0) + 15159333.8642692 * pow(A, 3.0) -
           10113149.0495399 * pow(A, 2.0) + 3597158.24137803 * A - 532938.338148084;
  }
  *rising = true;
  return 163010773056.0 * pow(A, 6.0) - 966675664427.28 * pow(A, 5.0) +
         2388537617797.94 * pow(A, 4.0) - 3147604508160.57 * pow(A, 3.0) +
         2333182909740.23 * pow(A, 2.0) - 922389082006.546 * A + 151937954003.367;
}

bool analytic_deflection(const DeflectionInput& in, double dp[3]) {
  const double* d = in.d0;
  const double* w = in.w;
  const double K_F = in.Force_const;

  // Closest approach in the ion-induced-dipole potential.
  const double disc = in.b2 * in.b2 - K_F * 8.0 * in.q2 * 0.25 / in.v2;
  const double r_min = disc < 0.0 ? std::sqrt(in.b2 * 0.5) : std::sqrt((std::sqrt(disc) + in.b2) * 0.5);
  const double C = 2.0 * K_F * in.q2 * 0.25;
  const double A = C / std::pow(r_min, 4.0) / in.v2;

  bool rising = false;
  const double h = deflection_angle(A, &rising) * 0.5;
  const double chi_deg = 2.0 * h * 180.0 / kPi;

  // New directions u = (-(a2 + a1 t), 1, t) in the plane of d0 and w at the
  // angle chi from d0.
  const double den = w[2] * d[1] - w[1] * d[2];
  if (den == 0.0) return false;
  const double a1 = (w[1] * d[0] - w[0] * d[1]) / den;
  const double a2 = (w[0] * d[2] - w[2] * d[0]) / den;
  const double c1 = std::cos(kPi - 2.0 * h);
  const double c2 = std::cos(2.0 * h);
  const double B = d[2] - a1 * d[0];
  const double D = d[1] - d[0] * a2;
  const double Q = B * B - c2 * c2 * (a1 * a1 + 1.0);
  const double P = B * D - a1 * a2 * (c1 * c1);
  const double radicand = (2.0 * P) * (2.0 * P) - (D * D - (a2 * a2 + 1.0) * (c1 * c1)) * Q * 4.0;
  if (Q == 0.0 || !(radicand >= 0.0)) return false;
  const double root = std::sqrt(radicand);
  const double t[2] = {root * 0.5 / Q - 2.0 * P * 0.5 / Q, -P / Q - root * 0.5 / Q};
  double u12[2][3];
  for (int k = 0; k < 2; ++k) {
    double u[3] = {-(a2 + a1 * t[k]), 1.0, t[k]};
    const double len = rt::norm3(u);
    for (int i = 0; i < 3; ++i) {
      u12[k][i] = u[i] / len;
      if (!std::isfinite(u12[k][i])) return false;
    }
  }

  // Pick the side of the line and the sense of the new direction by the branch.
  double bs[3];
  for (int i = 0; i < 3; ++i) bs[i] = in.b[i] * 1e10;
  double u[3];
  copy3(u12[0], u);
  const double g = dot3(d, u12[0]);
  if (rising) {
    if (chi_deg > 90.0) {
      if (g > 0.0) negate(u);
      if (dot3(bs, u) < 0.0) copy3(u12[1], u);
      if (dot3(d, u) > 0.0) negate(u);
    } else {
      if (g < 0.0) negate(u);
      if (dot3(bs, u) < 0.0) {
        copy3(u12[1], u);
        if (dot3(d, u) < 0.0) negate(u);
      }
    }
  } else {
    if (chi_deg < 90.0) {
      if (g < 0.0) negate(u);
      if (dot3(bs, u) > 0.0) copy3(u12[1], u);
      if (dot3(d, u) < 0.0) negate(u);
    } else {
      if (g > 0.0) negate(u);
      if (dot3(bs, u) > 0.0) {
        copy3(u12[1], u);
        if (dot3(d, u) > 0.0) negate(u);
      }
    }
  }

  const double f = -in.m_gas * in.v_inf;
  const double s = rt::sign(d[0]);
  for (int i = 0; i < 3; ++i) dp[i] = (u[i] - d[i]) * f * s;
  return true;
}

}  // namespace ccs::trajectory
