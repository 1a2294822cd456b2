// Lennard-Jones trajectory of a linear three-site gas molecule (a centre and
// two end sites on the molecular axis). The molecule is not rotated along the
// path: each force evaluation takes the three axis orientations, computes the
// acceleration and interaction energy of each, and averages the
// accelerations with Boltzmann weights.
#include <cmath>

#include "trajectory/lj_integrator.h"
#include "trajectory/lj_kernels.h"

namespace ccs {
namespace {

constexpr double kHalfBond = 5.488e-11;  // centre to end site (m)
constexpr double kEnergyCap = 100000000.0;

struct ThreeSiteForces {
  static constexpr double kDtMax = 4e-13;
  static constexpr bool kNanDtStays = true;
  static constexpr bool kExitUsesPreStepV = false;

  const double* atoms;  // n x 3 (m)
  int n;
  const double* q;
  const double* A;  // attractive force coefficient
  const double* B;  // repulsive force coefficient
  const double* C;  // attractive energy coefficient
  double s;         // end-site charge factor; the centre carries 2 s
  const double* k;  // end-site force coefficient per atom
  const double* e;  // site-charge energy coefficient per atom
  double Fc;
  double m_gas;
  double kT;  // energy scale of the orientation weights (J)
  // Working arrays per atom. Centre: r^2, 1/r, w_i = q_i/r^3, w_i/r^2. End
  // sites of one orientation: Lennard-Jones force and energy factors and
  // site-charge force factors of the + and - site; site-charge energy terms.
  double* r2;
  double* rho0;
  double* w;
  double* wu;
  double *fp, *fm, *lp, *lm, *kp, *km, *qt;
  LjArray near_idx;

  double field2 = 0.0;
  double U[3] = {0.0, 0.0, 0.0};  // orientation energies of the last evaluation (J)

  double accel(const double x[3], double a[3], bool at_launch) {
    // Centre: field E, S, dipole acceleration, nearest distance.
    const double x0 = x[0], x1 = x[1], x2 = x[2];
#pragma omp simd
    for (int i = 0; i < n; ++i) {
      const double dx = atoms[i] - x0;
      const double dy = atoms[i + n] - x1;
      const double dz = atoms[i + 2 * n] - x2;
      const double d2 = (dx * dx + dy * dy) + dz * dz;
      const double u = 1.0 / d2;
      const double rho = std::sqrt(u);
      const double wi = (u * rho) * q[i];
      r2[i] = d2;
      rho0[i] = rho;
      w[i] = wi;
      wu[i] = wi * u;
    }
    double ex = 0.0, ey = 0.0, ez = 0.0, S = 0.0;
    for (int i = 0; i < n; ++i) {
      ex += w[i] * (atoms[i] - x0);
      ey += w[i] * (atoms[i + n] - x1);
      ez += w[i] * (atoms[i + 2 * n] - x2);
      S += w[i];
    }
    const double d2min = rt::min_skip_nan(r2, n);
    double gx = 0.0, gy = 0.0, gz = 0.0;
    for (int i = 0; i < n; ++i) {
      const double dx = atoms[i] - x[0];
      const double dy = atoms[i + n] - x[1];
      const double dz = atoms[i + 2 * n] - x[2];
      const double p = (dx * ex + dy * ey) + dz * ez;
      const double g = (wu[i] * p) * 3.0;
      gx += g * dx;
      gy += g * dy;
      gz += g * dz;
    }
    const double E[3] = {ex, ey, ez};
    const double h = Fc * 0.5;
    const double a_ion[3] = {(gx - S * ex) * h, (gy - S * ey) * h, (gz - S * ez) * h};
    field2 = (ex * ex + ey * ey) + ez * ez;
    const double P = at_launch ? (h * 0.5) * field2 : (field2 * h) * 0.5;
    const double two_s = s + s;

    double acc[3][3];
    for (int j = 0; j < 3; ++j) {
      double xp[3], xm[3];
      for (int c = 0; c < 3; ++c) {
        const double delta = c == j ? kHalfBond : 0.0;
        xp[c] = x[c] + delta;
        xm[c] = x[c] - delta;
      }
      // Per-atom terms of both end sites (independent across atoms), then
      // the sums in atom order.
#pragma omp simd
      for (int i = 0; i < n; ++i) {
        const double xi = atoms[i], yi = atoms[i + n], zi = atoms[i + 2 * n];
        double rp, rm;
        {
          const double dx = xi - xp[0], dy = yi - xp[1], dz = zi - xp[2];
          const double u = 1.0 / ((dx * dx + dy * dy) + dz * dz);
          const double rho = std::sqrt(u);
          const double t = u * rho;
          const double hh = t * t;
          const double b = hh * B[i];
          fp[i] = ((A[i] - b) * hh) * u;
          lp[i] = (C[i] - b * 0.08333333333333333) * hh;
          kp[i] = k[i] * t;
          rp = rho;
        }
        {
          const double dx = xi - xm[0], dy = yi - xm[1], dz = zi - xm[2];
          const double u = 1.0 / ((dx * dx + dy * dy) + dz * dz);
          const double rho = std::sqrt(u);
          const double t = u * rho;
          const double hh = t * t;
          const double b = hh * B[i];
          fm[i] = ((A[i] - b) * hh) * u;
          lm[i] = (C[i] - b * 0.08333333333333333) * hh;
          km[i] = k[i] * t;
          rm = rho;
        }
        qt[i] = e[i] * (((rho0[i] + rho0[i]) - rp) - rm);
      }
      double ap[3] = {0.0, 0.0, 0.0}, am[3] = {0.0, 0.0, 0.0};
      double cp[3] = {0.0, 0.0, 0.0}, cm[3] = {0.0, 0.0, 0.0};
      double Lp = 0.0, Lm = 0.0, Q = 0.0;
      for (int i = 0; i < n; ++i) {
        const double xi = atoms[i], yi = atoms[i + n], zi = atoms[i + 2 * n];
        {
          const double dx = xi - xp[0], dy = yi - xp[1], dz = zi - xp[2];
          ap[0] += fp[i] * dx;
          ap[1] += fp[i] * dy;
          ap[2] += fp[i] * dz;
          Lp += lp[i];
          cp[0] += kp[i] * dx;
          cp[1] += kp[i] * dy;
          cp[2] += kp[i] * dz;
        }
        {
          const double dx = xi - xm[0], dy = yi - xm[1], dz = zi - xm[2];
          am[0] += fm[i] * dx;
          am[1] += fm[i] * dy;
          am[2] += fm[i] * dz;
          Lm += lm[i];
          cm[0] += km[i] * dx;
          cm[1] += km[i] * dy;
          cm[2] += km[i] * dz;
        }
        Q += qt[i];
      }
      for (int c = 0; c < 3; ++c)
        acc[j][c] = ((a_ion[c] + ap[c]) + am[c]) - (E[c] * two_s - (cm[c] + cp[c]));
      U[j] = ((Q - (Lm + Lp)) - P) * m_gas;
    }

    double p[3];
    lj_orientation_weights(U, kT, p);
    for (int c = 0; c < 3; ++c) a[c] = (acc[0][c] * p[0] + acc[1][c] * p[1]) + acc[2][c] * p[2];
    return d2min;
  }

  double launch(const double x[3], double a[3]) {
    accel(x, a, true);
    return field2;
  }

  double step(const double x[3], double a[3]) { return accel(x, a, false); }

  double near_charge(const double x[3], double dt) const {
    return lj::near_charge_list(x, dt, near_idx, atoms, n, q);
  }

  // The last evaluation was at the exit position.
  double exit_field2(const double* /*x*/) const { return field2; }
};

ThreeSiteForces make_forces(LjScratch* ws, LjScratch& local, LjArray q, double Force_const,
                            double m_gas, LjArray lj_att, LjArray coords_m, LjArray lj_rep,
                            LjArray near_idx, LjArray lj_energy, double q_site, LjArray q_force,
                            LjArray q_energy, double kT) {
  const int n = coords_m.rows;
  lj::require(n == 0 || coords_m.cols == 3, "atom positions must have 3 columns");
  lj::require(lj_numel(q) >= n, "one charge value per atom expected");
  lj::require(lj_numel(lj_att) >= n && lj_numel(lj_rep) >= n && lj_numel(lj_energy) >= n,
              "one Lennard-Jones coefficient per atom expected");
  lj::require(lj_numel(q_force) >= n && lj_numel(q_energy) >= n,
              "one site-charge coefficient per atom expected");
  LjScratch& scratch = ws != nullptr ? *ws : local;
  double* work = lj::reserve(scratch, 11 * static_cast<std::size_t>(n));
  return ThreeSiteForces{coords_m.data, n,           q.data,        lj_att.data,  lj_rep.data,
                         lj_energy.data, q_site,     q_force.data,  q_energy.data, Force_const,
                         m_gas,          kT,         work,          work + n,     work + 2 * n,
                         work + 3 * n,   work + 4 * n, work + 5 * n, work + 6 * n, work + 7 * n,
                         work + 8 * n,   work + 9 * n, work + 10 * n, near_idx};
}

}  // namespace

double lj_orientation_reference(const double U[3]) {
  double m = U[0];
  if (kEnergyCap <= U[0]) m = kEnergyCap;
  if (!(m <= U[1])) m = U[1];
  if (!(m <= U[2])) m = U[2];
  return m;
}

void lj_orientation_weights(const double U[3], double kT, double p[3]) {
  const double m = lj_orientation_reference(U);
  double w[3];
  for (int j = 0; j < 3; ++j) w[j] = std::exp(-(U[j] - m) / kT);
  const double W = (w[0] + w[1]) + w[2];
  for (int j = 0; j < 3; ++j) p[j] = w[j] / W;
}

void three_site_gas_trajectory(LjScratch* ws, const double box[6], LjArray q, const double pos[3],
                               const double dir[3], double deltatenhance, double Force_const,
                               double dt0, double x_red, double m_gas, double v_c, double v_c_t,
                               double near_flag, LjArray lj_att, LjArray coords_m, LjArray lj_rep,
                               LjArray near_idx, LjArray lj_energy, double q_site,
                               LjArray q_force, LjArray q_energy, double kT, double dp[3],
                               const LjObserver* observer) {
  if (near_flag == 1.0) lj::require_near_idx(near_idx, coords_m.rows);
  LjScratch local;
  ThreeSiteForces forces = make_forces(ws, local, q, Force_const, m_gas, lj_att, coords_m, lj_rep,
                                       near_idx, lj_energy, q_site, q_force, q_energy, kT);
  const lj::Launch in{box,         pos,   dir,
                      Force_const, dt0,   x_red,
                      m_gas,       v_c_t, (((1.0 / v_c) * 1e-10) * 1e20) / deltatenhance,
                      near_flag};
  lj::run(forces, in, dp, observer);
}

void three_site_orientation_energies(LjArray q, double Force_const, double m_gas, LjArray lj_att,
                                     LjArray coords_m, LjArray lj_rep, LjArray lj_energy,
                                     double q_site, LjArray q_force, LjArray q_energy,
                                     const double x[3], double U[3]) {
  LjScratch local;
  ThreeSiteForces forces =
      make_forces(nullptr, local, q, Force_const, m_gas, lj_att, coords_m, lj_rep, LjArray{},
                  lj_energy, q_site, q_force, q_energy, kThreeSitePluginKT);
  double a[3];
  forces.accel(x, a, false);
  for (int j = 0; j < 3; ++j) U[j] = forces.U[j];
}

extern "C" void c_mompolsimpGUIFreeLJparforocto(
    LjScratch* ws, LjArray /*ones_N*/, const double box[6], LjArray q, const double pos[3],
    const double dir[3], double deltatenhance, double Force_const, double dt0, double x_red,
    double m_gas, double v_c, double v_c_t, double near_flag, LjArray lj_att, LjArray coords_m,
    LjArray lj_rep, LjArray near_idx, LjArray lj_energy, double q_site, LjArray q_force,
    LjArray q_energy, double dp[3], const LjObserver* observer) {
  three_site_gas_trajectory(ws, box, q, pos, dir, deltatenhance, Force_const, dt0, x_red, m_gas,
                            v_c, v_c_t, near_flag, lj_att, coords_m, lj_rep, near_idx, lj_energy,
                            q_site, q_force, q_energy, kThreeSitePluginKT, dp, observer);
}

}  // namespace ccs
