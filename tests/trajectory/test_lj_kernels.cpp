// Step-loop limits, launch and exit rules, orientation weights and the
// coefficient preparation of the Lennard-Jones kernels.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <vector>

#include "lj_test_setup.h"
#include "trajectory/lj_kernels.h"

namespace {

using ljtest::Atom;
using ljtest::Charges;
using ljtest::Scene;
using ljtest::Track;

constexpr double kT = 2.622e-21;  // energy scale of the orientation weights (J)

double norm3(const std::array<double, 3>& v) {
  return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
}

// ---------------------------------------------------------------- weights

TEST(LjOrientationWeights, EqualEnergiesShareEqually) {
  for (double u : {-4e-21, 0.0, 3e-20, 1e8}) {
    const double U[3] = {u, u, u};
    double p[3];
    ccs::lj_orientation_weights(U, kT, p);
    for (double pj : p) EXPECT_DOUBLE_EQ(pj, 1.0 / 3.0) << u;
  }
}

TEST(LjOrientationWeights, OrientationManyKtHigherGetsZeroWithoutNaN) {
  // 1000 kT above the others: exp(-1000) underflows to exactly 0.
  const double U[3] = {-2e-21, -2e-21 + 1000.0 * kT, -2e-21};
  double p[3];
  ccs::lj_orientation_weights(U, kT, p);
  EXPECT_EQ(p[1], 0.0);
  EXPECT_DOUBLE_EQ(p[0], 0.5);
  EXPECT_DOUBLE_EQ(p[2], 0.5);

  // An infinite energy (probe inside an atom in one orientation) as well.
  const double inf = std::numeric_limits<double>::infinity();
  const double V[3] = {inf, 1e-21, 1e-21 + kT};
  ccs::lj_orientation_weights(V, kT, p);
  EXPECT_EQ(p[0], 0.0);
  EXPECT_NEAR(p[1], 1.0 / (1.0 + std::exp(-1.0)), 1e-15);
  EXPECT_NEAR(p[2], std::exp(-1.0) / (1.0 + std::exp(-1.0)), 1e-15);
}

TEST(LjOrientationWeights, ReferenceStartsAtTheCapForHugeFirstEnergy) {
  const double all_high[3] = {2e8, 3e8, 5e8};
  EXPECT_EQ(ccs::lj_orientation_reference(all_high), 1e8);
  const double first_high[3] = {1e8, 4e8, 2e8};
  EXPECT_EQ(ccs::lj_orientation_reference(first_high), 1e8);
  const double lower_later[3] = {7e8, 5e-21, 2e8};
  EXPECT_EQ(ccs::lj_orientation_reference(lower_later), 5e-21);
  const double below_cap[3] = {3e7, 4e7, 5e7};
  EXPECT_EQ(ccs::lj_orientation_reference(below_cap), 3e7);

  // Weights relative to 1e8: the orientations at exactly 1e8 share, the rest
  // (1e8 or more above in units of kT) get 0.
  const double U[3] = {1e8, 2e8, 1e8};
  double p[3];
  ccs::lj_orientation_weights(U, kT, p);
  EXPECT_DOUBLE_EQ(p[0], 0.5);
  EXPECT_EQ(p[1], 0.0);
  EXPECT_DOUBLE_EQ(p[2], 0.5);
}

// A nitrogen molecule's quadrupole (negative end sites, positive centre)
// prefers to point an end at a cation and to lie side-on to an anion. The
// site charges belong to the gas, so only the ion's charge changes sign.
TEST(LjThreeSite, CationPrefersEndOnAnionSideOn) {
  for (double q : {1.0, -1.0}) {
    Scene s;
    s.m_gas = ljtest::kMassN2;
    s.alpha = ljtest::kAlphaN2;
    s.atoms = {Atom{0.0, 0.0, 0.0, ljtest::LjType{0.0, 3e-10}, q}};  // a bare charge
    s.prepare();
    for (double r_A : {3.0, 4.5, 6.0}) {
      const double x[3] = {r_A * 1e-10, 0.0, 0.0};
      double U[3];
      ljtest::three_site_energies(s, x, U);
      // Orientation 1 has its axis along x, pointing at the charge; 2 and 3
      // are side-on and equal by symmetry.
      EXPECT_DOUBLE_EQ(U[1], U[2]) << r_A;
      if (q > 0.0) {
        EXPECT_LT(U[0], U[1]) << "cation at " << r_A << " A";
      } else {
        EXPECT_GT(U[0], U[1]) << "anion at " << r_A << " A";
      }
    }
  }
}

// ----------------------------------------------------------- coefficients

TEST(LjCoefficients, WellHasDepthEpsAtTwoToTheSixthSigma) {
  for (const ljtest::LjType& t : {ljtest::kCarbon, ljtest::kHydrogen}) {
    const double m = ljtest::kMassHe;
    const double s6 = std::pow(t.sigma, 6), s12 = std::pow(t.sigma, 12);
    double A, B, C;
    ccs::lj_coefficients(&t.eps, &s6, &s12, 1, m, &A, &B, &C);
    const double r = std::pow(2.0, 1.0 / 6.0) * t.sigma;
    const double u = 1.0 / (r * r), u6 = u * u * u;
    // Force per mass vanishes at the minimum, relative to either term.
    EXPECT_NEAR((A - B * u6) * u6 * u, 0.0, 1e-12 * A * u6 * u);
    // Potential per mass B/(12 r^12) - C/r^6 reaches -eps/m there.
    EXPECT_NEAR(B / 12.0 * u6 * u6 - C * u6, -t.eps / m, 1e-12 * t.eps / m);
    // and crosses zero at sigma.
    const double us = std::pow(t.sigma, -6);
    EXPECT_NEAR(B / 12.0 * us * us - C * us, 0.0, 1e-12 * t.eps / m);
  }
}

TEST(LjCoefficients, SiteChargeConstants) {
  const double m = ljtest::kMassN2;
  const double K = ccs::lj_polarisation_constant(m);
  EXPECT_EQ(K, 1.1189573200754354e-28 / m);
  const double q[3] = {1.0, -0.5, 0.0};
  double col[3], row[3];
  ccs::lj_charge_coefficients(q, 3, -K, col, row);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(col[i], -K * q[i]);
    EXPECT_EQ(row[i], col[i]);
  }
}

// -------------------------------------------------------- step-loop limits

// A probe flying along +x at the largest time step, past a distant single
// charge that deflects it slightly; the only atom is far away and inert.
Scene straight_flight_scene() {
  Scene s;
  s.atoms = {Atom{0.0, 1e5, 0.0, ljtest::LjType{0.0, 3e-10}, 0.0}};
  s.prepare();
  s.dt0 = 2e-13;
  return s;
}

TEST(LjStepLimit, ExactlyFiftyThousandStepsGiveZeroEvenWhenTheLastStepLeaves) {
  Scene s = straight_flight_scene();
  Charges c;
  c.sites = {{5.5e4, 10.0, 0.0, 1.0}};
  const double pos[3] = {0.0, 0.0, 0.0};
  const double dir[3] = {1.0, 0.0, 0.0};
  const double x_red = 1.0;
  s.box[0] = -1e-10;
  s.box[1] = 1.0;  // not reached
  s.box[2] = s.box[4] = -1e-3;
  s.box[3] = s.box[5] = 1e-3;

  Track t;
  const ccs::LjObserver obs = t.observer();
  double dp[3] = {7.0, 7.0, 7.0};
  ljtest::run_field(s, c, pos, dir, x_red, dp, &obs);
  ASSERT_EQ(t.n.back(), 50000);  // never left: stopped by the limit
  EXPECT_EQ(dp[0], 0.0);
  EXPECT_EQ(dp[1], 0.0);
  EXPECT_EQ(dp[2], 0.0);
  for (std::size_t i = 1; i < t.dt.size(); ++i) ASSERT_EQ(t.dt[i], 2e-13);
  const double x49998 = t.x[49998][0], x49999 = t.x[49999][0], x50000 = t.x[50000][0];

  // Leaving on step 50000 still counts as not having left.
  s.box[1] = 0.5 * (x49999 + x50000);
  ljtest::run_field(s, c, pos, dir, x_red, dp);
  EXPECT_EQ(dp[0], 0.0);
  EXPECT_EQ(dp[1], 0.0);
  EXPECT_EQ(dp[2], 0.0);

  // Leaving one step earlier returns the charge's deflection.
  s.box[1] = 0.5 * (x49998 + x49999);
  ljtest::run_field(s, c, pos, dir, x_red, dp);
  EXPECT_TRUE(std::isfinite(dp[1]));
  EXPECT_LT(dp[1], 0.0);  // dp = -m (v_out - v_in): pulled toward the charge at +y
}

TEST(LjStepLimit, NaNTimeStepIsBoundedExceptInTheThreeSiteKernel) {
  // Without atoms the nearest distance is NaN, and so is the time step.
  Scene s;
  s.prepare();
  s.set_box(10.0);
  const double pos[3] = {0.0, 0.0, 0.0};
  const double dir[3] = {1.0, 0.0, 0.0};
  double dp[3];

  Track field;
  const ccs::LjObserver o1 = field.observer();
  ljtest::run_field(s, Charges{}, pos, dir, 1.0, dp, &o1);
  // After the tiny first step dt0, 2e-13 s at 1116 m/s is 2.23 A per step:
  // the probe is at 11.2 A after step 6.
  EXPECT_EQ(field.n.back(), 6);
  for (std::size_t i = 2; i < field.dt.size(); ++i) EXPECT_EQ(field.dt[i], 2e-13);

  Track sites;
  const ccs::LjObserver o2 = sites.observer();
  ljtest::run_sites(s, pos, dir, 1.0, dp, &o2);
  EXPECT_EQ(sites.n.back(), 6);

  Track three;
  const ccs::LjObserver o3 = three.observer();
  ljtest::run_three_site(s, pos, dir, 1.0, dp, &o3);
  EXPECT_EQ(three.n.back(), 50000);
  EXPECT_TRUE(std::isnan(three.dt.back()));
  EXPECT_EQ(dp[0], 0.0);
  EXPECT_EQ(dp[1], 0.0);
  EXPECT_EQ(dp[2], 0.0);
}

// Time step taken after each step: 1e-10 d^2[A^2] / (v_c deltatenhance),
// halved per strong charge within 4.7 A (q = 2: factor 2/q^2), then clamped.
double expected_step(const Scene& s, const std::array<double, 3>& x,
                     const std::vector<std::array<double, 4>>& strong, double dt_max) {
  double d2 = std::numeric_limits<double>::infinity();
  for (const Atom& at : s.atoms) {
    const double dx = at.x - x[0] * 1e10, dy = at.y - x[1] * 1e10, dz = at.z - x[2] * 1e10;
    d2 = std::min(d2, dx * dx + dy * dy + dz * dz);
  }
  double dt = 1e-10 * d2 / (s.v_c * s.deltatenhance);
  for (const auto& c : strong) {
    const double dx = c[0] - x[0] * 1e10, dy = c[1] - x[1] * 1e10, dz = c[2] - x[2] * 1e10;
    if (dx * dx + dy * dy + dz * dz < 4.7 * 4.7) dt *= 2.0 / (c[3] * c[3]);
  }
  return std::clamp(dt, 1e-16, dt_max);
}

void expect_step_rule(const Scene& s, const Track& t,
                      const std::vector<std::array<double, 4>>& strong, double dt_max,
                      int* near_steps) {
  ASSERT_GT(t.n.size(), 3u);
  for (std::size_t i = 1; i + 1 < t.n.size(); ++i) {
    const double want = expected_step(s, t.x[i], strong, dt_max);
    ASSERT_NEAR(t.dt[i + 1], want, 1e-12 * want) << "step " << t.n[i + 1];
    for (const auto& c : strong) {
      const double dx = c[0] - t.x[i][0] * 1e10, dy = c[1] - t.x[i][1] * 1e10;
      const double dz = c[2] - t.x[i][2] * 1e10;
      if (dx * dx + dy * dy + dz * dz < 4.7 * 4.7) ++*near_steps;
    }
  }
}

TEST(LjTimeStep, DistanceRuleNearChargeRuleAndBounds) {
  Scene s;
  s.atoms = ljtest::c60();
  s.atoms[0].q = 2.0;  // strong charges on two atoms of the cage
  s.atoms[30].q = -2.0;
  s.near_flag = 1.0;
  s.prepare();
  s.set_box(16.0);
  const std::vector<std::array<double, 4>> strong = {
      {s.atoms[0].x, s.atoms[0].y, s.atoms[0].z, 2.0},
      {s.atoms[30].x, s.atoms[30].y, s.atoms[30].z, -2.0}};
  // Aim at the first strong charge from outside.
  const double r0 = std::sqrt(s.atoms[0].x * s.atoms[0].x + s.atoms[0].y * s.atoms[0].y +
                              s.atoms[0].z * s.atoms[0].z);
  const double dir[3] = {-s.atoms[0].x / r0, -s.atoms[0].y / r0, -s.atoms[0].z / r0};
  const double pos[3] = {-dir[0] * 15.5, -dir[1] * 15.5 + 0.7, -dir[2] * 15.5};
  double dp[3];

  // Separate charges: the two strong ones.
  Charges c;
  c.sites = {strong[0], strong[1]};
  c.near_idx = {1.0, 2.0};
  Track t1;
  const ccs::LjObserver o1 = t1.observer();
  ljtest::run_field(s, c, pos, dir, 0.8, dp, &o1);
  int near1 = 0;
  expect_step_rule(s, t1, strong, 2e-13, &near1);
  EXPECT_GT(near1, 0);

  // Single charge: its own distance, whatever the list says.
  Charges single;
  single.sites = {strong[0]};
  Track t2;
  const ccs::LjObserver o2 = t2.observer();
  ljtest::run_field(s, single, pos, dir, 0.8, dp, &o2);
  int near2 = 0;
  expect_step_rule(s, t2, {strong[0]}, 2e-13, &near2);
  EXPECT_GT(near2, 0);

  // Charges on the atoms; the three-site kernel rounds 1/v_c first and
  // allows 4e-13 s.
  Track t3;
  const ccs::LjObserver o3 = t3.observer();
  ljtest::run_sites(s, pos, dir, 0.8, dp, &o3);
  int near3 = 0;
  expect_step_rule(s, t3, strong, 2e-13, &near3);
  EXPECT_GT(near3, 0);

  Scene n2 = s;
  n2.m_gas = ljtest::kMassN2;
  n2.alpha = ljtest::kAlphaN2;
  n2.prepare();
  Track t4;
  const ccs::LjObserver o4 = t4.observer();
  ljtest::run_three_site(n2, pos, dir, 0.8, dp, &o4);
  int near4 = 0;
  expect_step_rule(n2, t4, strong, 4e-13, &near4);
  EXPECT_GT(near4, 0);
  bool above_2e13 = false;
  for (double dt : t4.dt) above_2e13 = above_2e13 || dt > 2e-13;
  EXPECT_TRUE(above_2e13);
}

// ------------------------------------------------------------ launch, exit

TEST(LjLaunch, SpeedIsAsymptoticSpeedPlusDipoleWell) {
  Scene s;
  s.atoms = ljtest::c60();
  for (Atom& a : s.atoms) a.q = 1.0 / 60.0;
  s.prepare();
  s.set_box(12.0);
  const double pos[3] = {-11.0, 2.0, 1.0};
  const double dir[3] = {1.0, 0.0, 0.0};
  const double x_red = 0.7;
  const double v_inf = s.v_c_t * x_red;
  double dp[3];

  // No charges at all: exactly the asymptotic speed.
  Track t0;
  const ccs::LjObserver o0 = t0.observer();
  Charges none;
  none.nq = 0.0;
  ljtest::run_field(s, none, pos, dir, x_red, dp, &o0);
  EXPECT_NEAR(norm3(t0.v[0]), v_inf, 4e-16 * v_inf);
  EXPECT_NEAR(t0.v[0][1], 0.0, 0.0);

  // With charges: (1/2) m v^2 = (1/2) m v_inf^2 - V_dip, where
  // V_dip = -(alpha k_e e^2 / 2) |sum_k q_k (x - r_k)/|x - r_k|^3|^2.
  auto speed_with_well = [&](const std::vector<std::array<double, 4>>& ch) {
    double E[3] = {0.0, 0.0, 0.0};
    for (const auto& c : ch) {
      const double d[3] = {(pos[0] - c[0]) * 1e-10, (pos[1] - c[1]) * 1e-10,
                           (pos[2] - c[2]) * 1e-10};
      const double r = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
      for (int j = 0; j < 3; ++j) E[j] += c[3] * d[j] / (r * r * r);
    }
    const double V = -0.5 * s.alpha * ljtest::kCoulomb * ljtest::kElementary * ljtest::kElementary *
                     (E[0] * E[0] + E[1] * E[1] + E[2] * E[2]);
    return std::sqrt(v_inf * v_inf - 2.0 * V / s.m_gas);
  };
  Charges one;
  one.sites = {{0.0, 0.0, 0.0, 1.0}};
  Track t1;
  const ccs::LjObserver o1 = t1.observer();
  ljtest::run_field(s, one, pos, dir, x_red, dp, &o1);
  const double want1 = speed_with_well(one.sites);
  EXPECT_GT(want1, v_inf * (1.0 + 1e-4));
  EXPECT_NEAR(norm3(t1.v[0]), want1, 1e-13 * want1);

  std::vector<std::array<double, 4>> on_atoms;
  for (const Atom& a : s.atoms) on_atoms.push_back({a.x, a.y, a.z, a.q});
  const double want2 = speed_with_well(on_atoms);
  Track t2;
  const ccs::LjObserver o2 = t2.observer();
  ljtest::run_sites(s, pos, dir, x_red, dp, &o2);
  EXPECT_NEAR(norm3(t2.v[0]), want2, 1e-13 * want2);
  Track t3;
  const ccs::LjObserver o3 = t3.observer();
  ljtest::run_three_site(s, pos, dir, x_red, dp, &o3);
  EXPECT_NEAR(norm3(t3.v[0]), want2, 1e-13 * want2);
  for (int j = 0; j < 3; ++j) EXPECT_NEAR(t2.v[0][j] / want2, dir[j], 1e-15);
}

TEST(LjExit, ZeroLaunchXComponentGivesZeroTransfer) {
  Scene s;
  s.atoms = ljtest::c60();
  for (Atom& a : s.atoms) a.q = 1.0 / 60.0;
  s.prepare();
  s.set_box(12.0);
  const double pos[3] = {0.5, -11.5, 0.3};
  const double along_y[3] = {0.0, 1.0, 0.0};
  const double tilted[3] = {std::sin(0.01), std::cos(0.01), 0.0};
  Charges centre;
  centre.sites = {{0.0, 0.0, 0.0, 1.0}};

  for (int kernel = 0; kernel < 3; ++kernel) {
    double dp[3] = {1.0, 1.0, 1.0};
    double dp_tilted[3];
    const double x_red = 1.0;
    if (kernel == 0) {
      ljtest::run_field(s, centre, pos, along_y, x_red, dp);
      ljtest::run_field(s, centre, pos, tilted, x_red, dp_tilted);
    } else if (kernel == 1) {
      ljtest::run_sites(s, pos, along_y, x_red, dp);
      ljtest::run_sites(s, pos, tilted, x_red, dp_tilted);
    } else {
      ljtest::run_three_site(s, pos, along_y, x_red, dp);
      ljtest::run_three_site(s, pos, tilted, x_red, dp_tilted);
    }
    for (int j = 0; j < 3; ++j) EXPECT_EQ(dp[j], 0.0) << "kernel " << kernel;
    // The collision itself transfers momentum: the zero comes from the sign.
    EXPECT_GT(std::fabs(dp_tilted[1]), 1e-3 * s.m_gas * s.v_c_t) << "kernel " << kernel;
  }
}

// The probe starts close to a charge and flies straight out along +x; the
// exit-speed correction subtracts (K_F/2) E^2 at the exit from v^2, so the
// probe leaves with the asymptotic speed it was launched with (energy
// conservation), with one charge as with several.
TEST(LjExit, ExitSpeedCorrection) {
  Scene s;
  s.atoms = {Atom{0.0, 0.0, 0.0, ljtest::LjType{0.0, 3e-10}, 0.0}};  // inert, sets dt
  s.deltatenhance = 1000.0;  // fine steps: energy kept to about 1e-5 of v_inf^2
  s.prepare();
  s.set_box(20.0);
  const double dir[3] = {1.0, 0.0, 0.0};
  const double m_v = s.m_gas * s.v_c_t;
  // (K_F/2) E^2 = alpha k_e e^2 q^2 / (m r^4)
  auto half_kf_E2 = [&](double r_A) {
    return s.alpha * ljtest::kCoulomb * ljtest::kElementary * ljtest::kElementary /
           (s.m_gas * std::pow(r_A * 1e-10, 4));
  };
  Charges one;
  one.sites = {{0.0, 0.0, 0.0, 1.0}};
  Charges halves;  // the same field as two charges
  halves.sites = {{0.0, 0.0, 0.0, 0.5}, {0.0, 0.0, 0.0, 0.5}};
  double dp[3];

  const double from3[3] = {3.0, 0.0, 0.0};
  const double v_inf = s.v_c_t;
  // Taking the launch point's field instead would lose more than 30 % of the
  // speed: far outside the tolerance below.
  const double v_launch_field = std::sqrt(v_inf * v_inf + half_kf_E2(20.0) - half_kf_E2(3.0));
  ASSERT_GT(v_inf - v_launch_field, 0.3 * v_inf);
  for (const Charges* c : {&one, &halves}) {
    ljtest::run_field(s, *c, from3, dir, 1.0, dp);
    for (double d : dp) EXPECT_NEAR(d, 0.0, 1e-3 * m_v) << c->sites.size() << " charge(s)";
  }

  // Faster than 5 v_c_t: the asymptotic speed along the velocity, so no
  // transfer for a straight flight.
  ljtest::run_field(s, one, from3, dir, 6.0, dp);
  for (double d : dp) EXPECT_NEAR(d, 0.0, 1e-9 * m_v);
}

// A negative radicand: the probe leaves the box inside a repulsive wall it
// could only climb with the dipole energy it still has near the charge, so
// v^2 - (K_F/2) E^2 < 0 at the exit. The speed becomes the asymptotic
// velocity's component along v: no transfer for a straight flight.
TEST(LjExit, NegativeRadicandTakesTheAsymptoticVelocityAlongV) {
  Scene s;
  const double sigma = 3.5e-10;
  auto V4 = [&](double r) {  // 12-6 energy per eps at r (m)
    const double sr6 = std::pow(sigma / r, 6);
    return 4.0 * (sr6 * sr6 - sr6);
  };
  s.deltatenhance = 1000.0;
  s.atoms = {Atom{0.0, 0.0, 0.0, ljtest::LjType{0.0, 3e-10}, 0.0},
             Atom{6.0, 0.0, 0.0, ljtest::LjType{1.0, sigma}, 0.0}};
  s.prepare();  // sets v_c_t; eps follows from it
  // Climb from r = 4 A to 3 A of the wall: 2 dV / m = 1.25 v_inf^2, more than
  // the asymptotic kinetic energy, less than what the field adds at 3 A.
  const double eps = 1.25 * 0.5 * s.m_gas * s.v_c_t * s.v_c_t / (V4(3e-10) - V4(4e-10));
  s.atoms[1].type.eps = eps;
  s.prepare();
  const double box[6] = {-3e-10, 3e-10, -3e-10, 3e-10, -3e-10, 3e-10};
  for (int j = 0; j < 6; ++j) s.box[j] = box[j];
  Charges one;
  one.sites = {{0.0, 0.0, 0.0, 1.0}};
  const double from2[3] = {2.0, 0.0, 0.0};
  const double dir[3] = {1.0, 0.0, 0.0};
  Track t;
  const ccs::LjObserver obs = t.observer();
  double dp[3];
  ljtest::run_field(s, one, from2, dir, 1.0, dp, &obs);
  ASSERT_GT(t.x.size(), 10u);
  const auto& x = t.x.back();
  const auto& v = t.v.back();
  ASSERT_GT(x[0], 3e-10) << "left through another face";
  const double r = std::sqrt(x[0] * x[0] + x[1] * x[1] + x[2] * x[2]);
  const double half_kf_E2 = s.alpha * ljtest::kCoulomb * ljtest::kElementary *
                            ljtest::kElementary / (s.m_gas * std::pow(r, 4));
  ASSERT_LT(v[0] * v[0] + v[1] * v[1] + v[2] * v[2] - half_kf_E2, 0.0);
  for (double d : dp) EXPECT_NEAR(d, 0.0, 1e-9 * s.m_gas * s.v_c_t);
}

TEST(LjExit, NoForcesNoDeflection) {
  // One atom with eps = 0 and K_F = 0: the probe flies straight through it.
  Scene s;
  s.atoms = {Atom{0.0, 0.0, 0.0, ljtest::LjType{0.0, 3.0e-10}, 1.0}};
  s.alpha = 0.0;
  s.prepare();
  s.set_box(10.0);
  const double pos[3] = {-9.9, 0.8, -0.3};
  const double dir[3] = {0.96, 0.28, 0.0};
  Charges c;
  c.sites = {{0.0, 0.0, 0.0, 1.0}};
  const double scale = s.m_gas * s.v_c_t;
  double dp[3];
  ljtest::run_field(s, c, pos, dir, 1.3, dp);
  for (double d : dp) EXPECT_NEAR(d, 0.0, 1e-14 * scale);
  ljtest::run_sites(s, pos, dir, 1.3, dp);
  for (double d : dp) EXPECT_NEAR(d, 0.0, 1e-14 * scale);
  // The three-site molecule's own charges still see the atom's charge.
  s.atoms[0].q = 0.0;
  s.prepare();
  ljtest::run_three_site(s, pos, dir, 1.3, dp);
  for (double d : dp) EXPECT_NEAR(d, 0.0, 1e-14 * scale);
}

TEST(LjDeflection, WellAttractsWallRepels) {
  // One carbon atom at the origin, probe along +x at impact parameter b in y.
  // dp = -m sign(d0_x) (v_out - v_in): attraction toward -y gives dp_y > 0.
  Scene s;
  s.atoms = {Atom{0.0, 0.0, 0.0, ljtest::kCarbon, 0.0}};
  s.prepare();
  s.set_box(15.0);
  const double dir[3] = {1.0, 0.0, 0.0};
  Charges none;
  none.nq = 0.0;
  double dp[3];
  const double far[3] = {-14.5, 5.5, 0.0};
  ljtest::run_field(s, none, far, dir, 0.5, dp);
  EXPECT_GT(dp[1], 0.0);
  EXPECT_NEAR(dp[2], 0.0, 1e-12 * std::fabs(dp[1]));
  const double near[3] = {-14.5, 1.5, 0.0};
  ljtest::run_field(s, none, near, dir, 0.5, dp);
  EXPECT_LT(dp[1], 0.0);
  EXPECT_GT(dp[0], 0.0);  // slowed along x: v_out,x < v_in,x

  // The ion-induced dipole alone attracts (outside its capture radius of
  // about 5.5 A at this speed, where the probe would spiral into the charge).
  Scene d = s;
  d.atoms[0].type.eps = 0.0;
  d.prepare();
  Charges one;
  one.sites = {{0.0, 0.0, 0.0, 1.0}};
  const double wide[3] = {-14.5, 8.0, 0.0};
  ljtest::run_field(d, one, wide, dir, 0.5, dp);
  EXPECT_GT(dp[1], 0.0);
}

TEST(LjKernels, FieldAndSiteKernelsAgreeWhenEveryAtomIsCharged) {
  Scene s;
  s.atoms = ljtest::c60();
  for (int i = 0; i < s.n(); ++i) s.atoms[i].q = (i % 2 == 0 ? 0.3 : -0.3) + 1.0 / 60.0;
  s.atoms[7].q = 2.0;
  s.near_flag = 1.0;
  s.prepare();
  s.set_box(12.0);
  Charges c;
  for (const Atom& a : s.atoms) c.sites.push_back({a.x, a.y, a.z, a.q});
  c.near_idx = s.near_idx;
  ASSERT_EQ(c.near_idx.size(), 1u);

  ccs::LjScratch ws1, ws2;  // reused across trajectories
  int compared = 0;
  for (int k = 0; k < 6; ++k) {
    const double b = 0.8 * k;
    const double pos[3] = {-11.9, b, 0.5 * b - 1.0};
    const double dir[3] = {0.9, 0.3, std::sqrt(1.0 - 0.9 * 0.9 - 0.3 * 0.3)};
    double dp1[3], dp2[3];
    ljtest::run_field(s, c, pos, dir, 0.9, dp1, nullptr, &ws1);
    ljtest::run_sites(s, pos, dir, 0.9, dp2, nullptr, &ws2);
    const double scale = std::sqrt(dp1[0] * dp1[0] + dp1[1] * dp1[1] + dp1[2] * dp1[2]);
    if (scale > 0.0) ++compared;
    for (int j = 0; j < 3; ++j) EXPECT_NEAR(dp1[j], dp2[j], 1e-9 * scale) << k;
  }
  EXPECT_GE(compared, 5);
}

// The field kernel takes a large molecule's atoms block by block. Without
// charges every step's acceleration must be the plain sum over all atoms in
// order, to the bit, and the next step must come from the nearest of them
// all (700 atoms: blocks of 256 and a partial one).
TEST(LjKernels, BlockedForceIsThePlainSumOverAllAtoms) {
  Scene s;
  s.atoms = ljtest::globule(700);
  s.prepare();
  s.set_box(30.0);
  const int n = s.n();
  const double pos[3] = {-29.9, 3.0, -2.0};
  const double dir[3] = {0.96, 0.2, std::sqrt(1.0 - 0.96 * 0.96 - 0.2 * 0.2)};
  Track t;
  const ccs::LjObserver o = t.observer();
  Charges none;
  none.nq = 0.0;
  double dp[3];
  ljtest::run_field(s, none, pos, dir, 0.8, dp, &o);
  ASSERT_GT(t.x.size(), 50u);
  const double dt_factor = ((1e-10 / s.v_c) * 1e20) / s.deltatenhance;
  std::vector<double> f(static_cast<std::size_t>(n));
  for (std::size_t k = 1; k + 1 < t.x.size(); ++k) {
    const std::array<double, 3>& x = t.x[k];
    double d2min = std::numeric_limits<double>::infinity();
    for (int i = 0; i < n; ++i) {
      const double dx = s.coords[i] - x[0], dy = s.coords[i + n] - x[1], dz = s.coords[i + 2 * n] - x[2];
      const double d2 = (dx * dx + dy * dy) + dz * dz;
      const double u = 1.0 / d2;
      const double u6 = (u * u) * u;
      f[i] = ((s.A[i] - s.B[i] * u6) * u6) * u;
      d2min = std::min(d2min, d2);
    }
    double a[3] = {0.0, 0.0, 0.0};
    for (int i = 0; i < n; ++i) {
      for (int j = 0; j < 3; ++j) a[j] += f[i] * (s.coords[i + j * n] - x[j]);
    }
    for (int j = 0; j < 3; ++j) ASSERT_EQ(t.a[k][j], a[j]) << "step " << k;
    const double dt = std::clamp(d2min * dt_factor, 1e-16, 2e-13);
    ASSERT_EQ(t.dt[k + 1], dt) << "step " << k;
  }
}

// Trajectories advanced in lockstep (groups of a few sharing each pass over
// the atoms, finishing after different numbers of steps) transfer exactly
// what each transfers alone, with one charge or several (with the
// near-charge rule), over several atom blocks.
TEST(LjKernels, LockstepTrajectoriesAreTheTrajectoriesAlone) {
  Scene s;
  s.atoms = ljtest::globule(700);
  s.near_flag = 1.0;
  s.prepare();
  s.set_box(30.0);
  Charges one, several;
  one.sites = {{0.0, 0.0, 0.0, 1.0}};
  several.sites = {{1.0, 0.0, 0.0, 2.0}, {-1.0, 0.5, 0.0, 0.5}};
  several.near_idx = {1.0};
  constexpr int kCount = 7;  // a group of four and one of three
  double pos[kCount][3], dir[kCount][3], x_red[kCount];
  for (int k = 0; k < kCount; ++k) {
    pos[k][0] = -29.9;
    pos[k][1] = 4.0 * k - 12.0;  // some pass the molecule by, some hit it
    pos[k][2] = 1.0 - 0.5 * k;
    const double c = 0.9 + 0.01 * k;
    dir[k][0] = c;
    dir[k][1] = std::sqrt(1.0 - c * c);
    dir[k][2] = 0.0;
    x_red[k] = 0.4 + 0.2 * k;
  }
  for (const Charges* c : {&one, &several}) {
    double together[kCount][3];
    ljtest::run_field_together(s, *c, kCount, pos, dir, x_red, together);
    bool deflected = false;
    for (int k = 0; k < kCount; ++k) {
      double alone[3];
      ljtest::run_field(s, *c, pos[k], dir[k], x_red[k], alone);
      for (int j = 0; j < 3; ++j) EXPECT_EQ(together[k][j], alone[j]) << k;
      deflected = deflected || alone[1] != 0.0;
    }
    EXPECT_TRUE(deflected);
  }
}

TEST(LjKernels, MismatchedTablesAreRejected) {
  Scene s;
  s.atoms = ljtest::c60();
  s.prepare();
  s.q.resize(10);  // fewer charges than sites
  const double pos[3] = {-11.0, 0.0, 0.0};
  const double dir[3] = {1.0, 0.0, 0.0};
  double dp[3];
  EXPECT_ANY_THROW(ljtest::run_sites(s, pos, dir, 1.0, dp));
  EXPECT_ANY_THROW(ljtest::run_three_site(s, pos, dir, 1.0, dp));
}

}  // namespace
