// Conservation laws along Lennard-Jones trajectories. The potentials are
// computed here from the pair parameters (eps, sigma, alpha, charges), not
// from the kernels' coefficient arrays.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "lj_test_setup.h"
#include "trajectory/lj_kernels.h"

namespace {

using ljtest::Atom;
using ljtest::Charges;
using ljtest::Scene;
using ljtest::Track;

using Vec = std::array<double, 3>;
using ChargeList = std::vector<std::array<double, 4>>;  // x, y, z (A), q (e)

constexpr double kT = 2.622e-21;                        // orientation weights (J)
constexpr double kHalfBond = 5.488e-11;                 // three-site molecule (m)
constexpr double kSiteCharge = 1.1189573200754354e-28;  // k_e e^2 times the site charge (J m)

// 12-6 energy of a point at y (m) with every atom.
double lj_energy(const Scene& s, const Vec& y) {
  double V = 0.0;
  for (const Atom& a : s.atoms) {
    const double dx = a.x * 1e-10 - y[0], dy = a.y * 1e-10 - y[1], dz = a.z * 1e-10 - y[2];
    const double sr6 = std::pow(a.type.sigma * a.type.sigma / (dx * dx + dy * dy + dz * dz), 3);
    V += 4.0 * a.type.eps * (sr6 * sr6 - sr6);
  }
  return V;
}

// Ion-induced-dipole energy -alpha k_e e^2 |E|^2 / 2 with E = sum q (y - r)/|y - r|^3.
double dipole_energy(const Scene& s, const ChargeList& ch, const Vec& y) {
  Vec E = {0.0, 0.0, 0.0};
  for (const auto& c : ch) {
    const double d[3] = {y[0] - c[0] * 1e-10, y[1] - c[1] * 1e-10, y[2] - c[2] * 1e-10};
    const double r = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
    for (int j = 0; j < 3; ++j) E[j] += c[3] * d[j] / (r * r * r);
  }
  return -0.5 * s.alpha * ljtest::kCoulomb * ljtest::kElementary * ljtest::kElementary *
         (E[0] * E[0] + E[1] * E[1] + E[2] * E[2]);
}

double kinetic(const Scene& s, const Vec& v) {
  return 0.5 * s.m_gas * (v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
}

// Three-site molecule: energy U_j of orientation j (axis along e_j), with the
// Lennard-Jones terms on the end sites, charges -s, 2s, -s on the sites and
// the dipole energy of the centre; the weighted force is minus the gradient
// of the free energy -kT ln sum_j exp(-U_j/kT).
double free_energy(const Scene& s, const ChargeList& ch, const Vec& x) {
  double U[3];
  for (int j = 0; j < 3; ++j) {
    Vec plus = x, minus = x;
    plus[j] += kHalfBond;
    minus[j] -= kHalfBond;
    double Vq = 0.0;
    for (const Atom& a : s.atoms) {
      const Vec r = {a.x * 1e-10, a.y * 1e-10, a.z * 1e-10};
      auto dist = [&r](const Vec& p) {
        return std::sqrt((r[0] - p[0]) * (r[0] - p[0]) + (r[1] - p[1]) * (r[1] - p[1]) +
                         (r[2] - p[2]) * (r[2] - p[2]));
      };
      Vq += kSiteCharge * a.q * (2.0 / dist(x) - 1.0 / dist(plus) - 1.0 / dist(minus));
    }
    U[j] = lj_energy(s, plus) + lj_energy(s, minus) + Vq + dipole_energy(s, ch, x);
  }
  const double m = std::min({U[0], U[1], U[2]});
  double z = 0.0;
  for (double u : U) z += std::exp(-(u - m) / kT);
  return m - kT * std::log(z);
}

enum class Kernel { kField, kSites, kThreeSite };

struct Drift {
  double max_drift;  // largest |E_n - E_0| (J)
  double swing;      // range of the potential energy along the path (J)
  int steps;
};

Drift energy_drift(const Scene& s, Kernel kernel, const Charges& c, const ChargeList& field,
                   const double pos[3], const double dir[3], double x_red) {
  Track t;
  const ccs::LjObserver obs = t.observer();
  double dp[3];
  switch (kernel) {
    case Kernel::kField:
      ljtest::run_field(s, c, pos, dir, x_red, dp, &obs);
      break;
    case Kernel::kSites:
      ljtest::run_sites(s, pos, dir, x_red, dp, &obs);
      break;
    case Kernel::kThreeSite:
      ljtest::run_three_site(s, pos, dir, x_red, dp, &obs);
      break;
  }
  Drift d{0.0, 0.0, static_cast<int>(t.n.size()) - 1};
  double e0 = 0.0, vmin = 0.0, vmax = 0.0;
  for (std::size_t i = 0; i < t.n.size(); ++i) {
    const double V = kernel == Kernel::kThreeSite
                         ? free_energy(s, field, t.x[i])
                         : lj_energy(s, t.x[i]) + dipole_energy(s, field, t.x[i]);
    const double E = kinetic(s, t.v[i]) + V;
    if (i == 0) {
      e0 = E;
      vmin = vmax = V;
    }
    d.max_drift = std::max(d.max_drift, std::fabs(E - e0));
    vmin = std::min(vmin, V);
    vmax = std::max(vmax, V);
  }
  d.swing = vmax - vmin;
  return d;
}

// Velocity Verlet conserves energy up to an error of second order in the
// step: halving every step (doubling deltatenhance) must shrink the largest
// deviation about fourfold (at least 2.5-fold here), and at the finer step
// it must be small against the potential energy the probe ran through.
void expect_conserved(Scene s, Kernel kernel, const Charges& c, const ChargeList& field,
                      const double pos[3], const double dir[3], double x_red) {
  s.deltatenhance = 800.0;
  const Drift coarse = energy_drift(s, kernel, c, field, pos, dir, x_red);
  s.deltatenhance *= 2.0;
  const Drift fine = energy_drift(s, kernel, c, field, pos, dir, x_red);
  ASSERT_GT(fine.steps, 50);
  ASSERT_LT(fine.steps, 50000);
  EXPECT_GT(fine.swing, 0.1 * kinetic(s, {s.v_c_t * x_red, 0.0, 0.0}));
  EXPECT_LT(fine.max_drift, coarse.max_drift / 2.5)
      << "coarse " << coarse.max_drift << " fine " << fine.max_drift;
  EXPECT_LT(fine.max_drift, 1e-3 * fine.swing) << "swing " << fine.swing;
}

ChargeList charges_of(const Scene& s) {
  ChargeList out;
  for (const Atom& a : s.atoms) out.push_back({a.x, a.y, a.z, a.q});
  return out;
}

// Launch toward atom k of the cage from distance `from` (A), offset by b.
void aim_at(const Atom& a, double from, double b, double pos[3], double dir[3]) {
  const double r = std::sqrt(a.x * a.x + a.y * a.y + a.z * a.z);
  const double u[3] = {a.x / r, a.y / r, a.z / r};
  // An offset direction perpendicular to u.
  double w[3] = {-u[1], u[0], 0.0};
  const double wn = std::sqrt(w[0] * w[0] + w[1] * w[1]);
  for (int j = 0; j < 3; ++j) {
    w[j] = wn > 0.0 ? w[j] / wn : (j == 0 ? 1.0 : 0.0);
    dir[j] = -u[j];
    pos[j] = u[j] * from + w[j] * b;
  }
}

TEST(LjEnergy, FieldKernelSingleChargeInCage) {
  Scene s;
  s.atoms = ljtest::c60();
  s.prepare();
  s.set_box(12.0);
  Charges c;
  c.sites = {{0.0, 0.0, 0.0, 1.0}};
  double pos[3], dir[3];
  aim_at(s.atoms[3], 11.5, 0.9, pos, dir);
  expect_conserved(s, Kernel::kField, c, c.sites, pos, dir, 0.6);
}

TEST(LjEnergy, FieldKernelSeveralCharges) {
  Scene s;
  s.atoms = ljtest::c60();
  s.prepare();
  s.set_box(12.0);
  Charges c;
  c.sites = {{1.0, 0.0, 0.0, 1.0}, {-1.0, 0.5, 0.0, 1.0}, {0.0, -0.5, 1.2, -0.5}};
  double pos[3], dir[3];
  aim_at(s.atoms[17], 11.5, 1.4, pos, dir);
  expect_conserved(s, Kernel::kField, c, c.sites, pos, dir, 0.6);
}

TEST(LjEnergy, SiteKernelChargesOnAtoms) {
  Scene s;
  s.atoms = ljtest::c60();
  for (int i = 0; i < s.n(); ++i) s.atoms[i].q = (i % 3 == 0 ? 0.4 : -0.2) + 1.0 / 60.0;
  s.prepare();
  s.set_box(12.0);
  double pos[3], dir[3];
  aim_at(s.atoms[40], 11.5, 0.5, pos, dir);
  expect_conserved(s, Kernel::kSites, Charges{}, charges_of(s), pos, dir, 0.6);
}

TEST(LjEnergy, ThreeSiteKernelConservesTheOrientationFreeEnergy) {
  Scene s;
  s.atoms = ljtest::c60();
  for (int i = 0; i < s.n(); ++i) s.atoms[i].q = (i % 2 == 0 ? 0.5 : -0.5) + 1.0 / 60.0;
  s.m_gas = ljtest::kMassN2;
  s.alpha = ljtest::kAlphaN2;
  s.prepare();
  s.set_box(12.0);
  double pos[3], dir[3];
  aim_at(s.atoms[9], 11.5, 0.7, pos, dir);
  expect_conserved(s, Kernel::kThreeSite, Charges{}, charges_of(s), pos, dir, 1.0);
}

TEST(LjEnergy, InconsistentForceIsDetected) {
  // The same check fails when the kernel's dipole force is twice the
  // potential's: the conservation test can tell a wrong force.
  Scene s;
  s.atoms = ljtest::c60();
  s.prepare();
  s.set_box(12.0);
  Charges c;
  c.sites = {{0.0, 0.0, 0.0, 1.0}};
  double pos[3], dir[3];
  aim_at(s.atoms[3], 11.5, 0.9, pos, dir);
  Scene wrong = s;
  wrong.Force_const *= 2.0;
  wrong.deltatenhance = 1600.0;
  const Drift d = energy_drift(wrong, Kernel::kField, c, c.sites, pos, dir, 0.6);
  EXPECT_GT(d.max_drift, 1e-2 * d.swing);
}

TEST(LjAngularMomentum, ConservedAboutASingleCentre) {
  // Central forces about one atom at the origin: velocity Verlet keeps x x v
  // unchanged up to rounding.
  Scene s;
  s.atoms = {Atom{0.0, 0.0, 0.0, ljtest::kCarbon, 1.0}};
  s.prepare();
  s.set_box(12.0);
  const double pos[3] = {-11.5, 1.7, 0.9};
  const double dir[3] = {0.98, 0.0, std::sqrt(1.0 - 0.98 * 0.98)};
  for (int kernel = 0; kernel < 2; ++kernel) {
    Track t;
    const ccs::LjObserver obs = t.observer();
    double dp[3];
    if (kernel == 0) {
      Charges c;
      c.sites = {{0.0, 0.0, 0.0, 1.0}};
      ljtest::run_field(s, c, pos, dir, 0.5, dp, &obs);
    } else {
      ljtest::run_sites(s, pos, dir, 0.5, dp, &obs);
    }
    ASSERT_GT(t.n.size(), 100u);
    auto L = [&t](std::size_t i) {
      const Vec& x = t.x[i];
      const Vec& v = t.v[i];
      return Vec{x[1] * v[2] - x[2] * v[1], x[2] * v[0] - x[0] * v[2], x[0] * v[1] - x[1] * v[0]};
    };
    const Vec L0 = L(0);
    const double n0 = std::sqrt(L0[0] * L0[0] + L0[1] * L0[1] + L0[2] * L0[2]);
    double turn = 0.0;  // the velocity really turned
    for (std::size_t i = 1; i < t.n.size(); ++i) {
      const Vec Li = L(i);
      for (int j = 0; j < 3; ++j) ASSERT_NEAR(Li[j], L0[j], 1e-10 * n0) << kernel << " " << i;
      turn = std::max(turn, std::fabs(t.v[i][1]) / std::fabs(t.v[i][0]));
    }
    EXPECT_GT(turn, 0.05);
    EXPECT_GT(std::fabs(dp[1]), 0.0);
  }
}

}  // namespace
