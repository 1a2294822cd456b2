#include "trajectory/analytic_deflection.h"

#include <gtest/gtest.h>

#include <cmath>

#include "trajectory_scene.h"

namespace ccs::trajectory {
namespace {

constexpr double kPi = 3.141592653589793;

double dot(const double a[3], const double b[3]) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

TEST(DeflectionAngle, BranchesAndTheirJoins) {
  bool rising = false;
  EXPECT_NEAR(deflection_angle(0.0, &rising), 0.002816938147, 1e-15);
  EXPECT_TRUE(rising);
  // First branch rises to pi, the middle one falls to about 0, the third
  // rises again.
  double prev = -1.0;
  for (double A = 0.0; A < 0.8276; A += 0.01) {
    const double chi = deflection_angle(A, &rising);
    EXPECT_TRUE(rising);
    EXPECT_GT(chi, prev);
    prev = chi;
  }
  prev = 4.0;
  for (double A = 0.83; A <= 0.98; A += 0.005) {
    const double chi = deflection_angle(A, &rising);
    EXPECT_FALSE(rising);
    EXPECT_LT(chi, prev);
    prev = chi;
  }
  prev = -1.0;
  for (double A = 0.981; A <= 0.9995; A += 0.002) {
    const double chi = deflection_angle(A, &rising);
    EXPECT_TRUE(rising);
    EXPECT_GT(chi, prev);
    prev = chi;
  }
  // Continuous at 0.82763 (both near pi) but on different branches.
  bool below_rising = false;
  bool above_rising = true;
  const double below = deflection_angle(std::nextafter(0.82763, 0.0), &below_rising);
  const double above = deflection_angle(0.82763, &above_rising);
  EXPECT_TRUE(below_rising);
  EXPECT_FALSE(above_rising);
  EXPECT_NEAR(below, kPi, 0.005);
  EXPECT_NEAR(above, kPi, 0.005);
  EXPECT_NEAR(below, above, 0.005);
  // 0.98 belongs to the middle branch; both sides of it are near 0.
  EXPECT_NEAR(deflection_angle(0.98, &rising), 0.0078, 1e-3);
  EXPECT_FALSE(rising);
  EXPECT_NEAR(deflection_angle(std::nextafter(0.98, 1.0), &rising), 0.0078, 2e-3);
  EXPECT_TRUE(rising);
}

// Geometry with a prescribed reduced parameter A: closest approach r_min
// (m), b^2 = r_min^2 (1 + A) and C / v^2 = A r_min^4.
DeflectionInput geometry(double A, const double d_raw[3], const double side[3]) {
  DeflectionInput in;
  const double rho = 5e-10 * 5e-10;
  double d[3];
  const double dl = std::sqrt(dot(d_raw, d_raw));
  for (int i = 0; i < 3; ++i) d[i] = d_raw[i] / dl;
  // b: the part of `side` perpendicular to d, scaled to |b|^2 = rho (1 + A).
  double b[3];
  const double sd = dot(side, d);
  for (int i = 0; i < 3; ++i) b[i] = side[i] - sd * d[i];
  const double bl = std::sqrt(dot(b, b));
  const double blen = std::sqrt(rho * (1.0 + A));
  for (int i = 0; i < 3; ++i) {
    in.d0[i] = d[i];
    in.b[i] = b[i] / bl * blen;
    in.w[i] = in.b[i] + 30e-10 * d[i];
  }
  in.b2 = dot(in.b, in.b);
  in.v2 = 1.0e6;
  in.q2 = 1.0;
  in.Force_const = 2.0 * A * rho * rho * in.v2;  // C = K_F q2 / 2
  in.v_inf = 1000.0;
  in.m_gas = test::Helium::m_gas();
  return in;
}

// New direction recovered from the transfer.
void new_direction(const DeflectionInput& in, const double dp[3], double u[3]) {
  const double f = -in.m_gas * in.v_inf * (in.d0[0] > 0 ? 1.0 : -1.0);
  for (int i = 0; i < 3; ++i) u[i] = in.d0[i] + dp[i] / f;
}

TEST(AnalyticDeflection, NewDirectionLiesInThePlaneAtTheDeflectionAngle) {
  const double d[3] = {0.9, 0.3, -0.2};
  const double side[3] = {0.1, 1.0, 0.7};
  for (double A : {0.05, 0.3, 0.6, 0.8, 0.85, 0.9, 0.95, 0.97, 0.985, 0.99, 0.999}) {
    const DeflectionInput in = geometry(A, d, side);
    double dp[3];
    ASSERT_TRUE(analytic_deflection(in, dp)) << A;
    double u[3];
    new_direction(in, dp, u);
    EXPECT_NEAR(dot(u, u), 1.0, 1e-9) << A;
    bool rising;
    const double chi = deflection_angle(A, &rising);
    // The third branch's coefficients (~1e12) cancel to ~1e-4 resolution:
    // rounding of A moves chi by that much.
    const double tol = A > 0.98 ? 2e-3 : 1e-6;
    EXPECT_NEAR(std::acos(std::fmax(-1.0, std::fmin(1.0, dot(u, in.d0)))), chi, tol) << A;
    // In the plane of d0 and the charge.
    const double normal[3] = {in.w[1] * in.d0[2] - in.w[2] * in.d0[1],
                              in.w[2] * in.d0[0] - in.w[0] * in.d0[2],
                              in.w[0] * in.d0[1] - in.w[1] * in.d0[0]};
    EXPECT_NEAR(dot(u, normal) / std::sqrt(dot(normal, normal)), 0.0, 1e-9) << A;
    // The rising branches turn the molecule to the charge's side of the
    // line, the middle branch to the other side.
    if (rising)
      EXPECT_GT(dot(u, in.b), 0.0) << A;
    else
      EXPECT_LT(dot(u, in.b), 0.0) << A;
  }
}

TEST(AnalyticDeflection, SmallAngleTurnsTowardsTheCharge) {
  const double d[3] = {0.9, 0.3, -0.2};
  const double side[3] = {0.1, 1.0, 0.7};
  const DeflectionInput in = geometry(0.2, d, side);
  double dp[3];
  ASSERT_TRUE(analytic_deflection(in, dp));
  double u[3];
  new_direction(in, dp, u);
  EXPECT_GT(dot(u, in.b), 0.0);
  EXPECT_GT(dot(u, in.d0), 0.0);
}

TEST(AnalyticDeflection, SideSwitchesAtTheBranchJoin) {
  const double d[3] = {0.7, -0.5, 0.4};
  const double side[3] = {0.3, 0.6, -0.2};
  double u_below[3], u_above[3], dp[3];
  const DeflectionInput below = geometry(0.8275, d, side);
  const DeflectionInput above = geometry(0.8278, d, side);
  ASSERT_TRUE(analytic_deflection(below, dp));
  new_direction(below, dp, u_below);
  ASSERT_TRUE(analytic_deflection(above, dp));
  new_direction(above, dp, u_above);
  // Both nearly reversed, but on opposite sides of the initial line.
  EXPECT_LT(dot(u_below, below.d0), -0.99);
  EXPECT_LT(dot(u_above, above.d0), -0.99);
  EXPECT_GT(dot(u_below, below.b), 0.0);
  EXPECT_LT(dot(u_above, above.b), 0.0);
}

TEST(AnalyticDeflection, TransferSignFollowsTheFirstDirectionComponent) {
  double d[3] = {0.7, -0.5, 0.4};
  const double side[3] = {0.3, 0.6, -0.2};
  double dp_pos[3], dp_neg[3];
  const DeflectionInput in = geometry(0.4, d, side);
  ASSERT_TRUE(analytic_deflection(in, dp_pos));
  // The mirrored geometry x -> -x.
  DeflectionInput m = in;
  m.d0[0] = -in.d0[0];
  m.b[0] = -in.b[0];
  m.w[0] = -in.w[0];
  ASSERT_TRUE(analytic_deflection(m, dp_neg));
  EXPECT_NEAR(dp_neg[0], dp_pos[0], 1e-12 * std::fabs(dp_pos[0]));
  EXPECT_NEAR(dp_neg[1], -dp_pos[1], 1e-12 * std::fabs(dp_pos[1]));
  EXPECT_NEAR(dp_neg[2], -dp_pos[2], 1e-12 * std::fabs(dp_pos[2]));
}

TEST(AnalyticDeflection, DegenerateGeometryIsRefused) {
  // A direction along x makes the plane parametrisation singular.
  const double d[3] = {1.0, 0.0, 0.0};
  const double side[3] = {0.0, 1.0, 0.3};
  const DeflectionInput in = geometry(0.4, d, side);
  double dp[3] = {5.0, 6.0, 7.0};
  EXPECT_FALSE(analytic_deflection(in, dp));
  EXPECT_EQ(dp[0], 5.0);
  EXPECT_EQ(dp[1], 6.0);
  EXPECT_EQ(dp[2], 7.0);
}

}  // namespace
}  // namespace ccs::trajectory
