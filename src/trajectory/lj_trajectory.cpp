// Lennard-Jones trajectory with separate charge positions: a 12-6 force on
// every atom plus the ion-induced-dipole force of the ion's point charges.
#include <cmath>

#include "trajectory/lj_integrator.h"
#include "trajectory/lj_kernels.h"

namespace ccs {
namespace {

struct FieldForces {
  static constexpr double kDtMax = 2e-13;
  static constexpr bool kExitUsesPreStepV = true;
  static constexpr bool kNanDtStays = false;

  // Lennard-Jones atoms: positions (n x 3, m), attractive and repulsive
  // coefficients.
  const double* atoms;
  int n;
  const double* A;
  const double* B;
  // Charges: positions (nc x 3, m) and values.
  const double* qpos;
  int nc;
  const double* q;
  bool single;  // one charge: closed-form force, field kept from the launch
  double q2_1;
  double Fc;
  // Working arrays: r^2 and force factor of a block of atoms (kBlock each);
  // per charge w_k and w_k/r_k^2.
  static constexpr int kBlock = 256;
  double* r2;
  double* f;
  double* w;
  double* wi;
  LjArray near_idx;

  double field2 = 0.0;     // E^2 of the last full field evaluation
  double r2_single = 0.0;  // squared distance to the single charge at the last x

  // Field E = sum_k q_k (r_k - x)/|r_k - x|^3 and S = sum_k q_k/|r_k - x|^3.
  // The per-charge factors are independent (vector loop); the sums run in
  // charge order.
  void field(const double x[3], double E[3], double& S) {
    const double x0 = x[0], x1 = x[1], x2 = x[2];
#pragma omp simd
    for (int k = 0; k < nc; ++k) {
      const double dx = qpos[k] - x0;
      const double dy = qpos[k + nc] - x1;
      const double dz = qpos[k + 2 * nc] - x2;
      const double i = 1.0 / ((dx * dx + dy * dy) + dz * dz);
      const double wk = (i * std::sqrt(i)) * q[k];
      w[k] = wk;
      wi[k] = wk * i;
    }
    double ex = 0.0, ey = 0.0, ez = 0.0, s = 0.0;
    for (int k = 0; k < nc; ++k) {
      ex += w[k] * (qpos[k] - x0);
      ey += w[k] * (qpos[k + nc] - x1);
      ez += w[k] * (qpos[k + 2 * nc] - x2);
      s += w[k];
    }
    E[0] = ex;
    E[1] = ey;
    E[2] = ez;
    S = s;
    field2 = (ey * ey + ex * ex) + ez * ez;
  }

  // Dipole acceleration (K_F/4) grad(E^2) = (K_F/2) (G - E S) of the whole
  // charge set; needs the field of the same position.
  void dipole(const double x[3], const double E[3], double S, double a_ion[3]) const {
    double gx = 0.0, gy = 0.0, gz = 0.0;
    for (int k = 0; k < nc; ++k) {
      const double dx = qpos[k] - x[0];
      const double dy = qpos[k + nc] - x[1];
      const double dz = qpos[k + 2 * nc] - x[2];
      const double p = (dx * E[0] + dy * E[1]) + dz * E[2];
      const double g = (wi[k] * p) * 3.0;
      gx += g * dx;
      gy += g * dy;
      gz += g * dz;
    }
    const double h = Fc * 0.5;
    a_ion[0] = (gx - E[0] * S) * h;
    a_ion[1] = (gy - E[1] * S) * h;
    a_ion[2] = (gz - E[2] * S) * h;
  }

  // Lennard-Jones acceleration sum_i (A_i/r^8 - B_i/r^14) (x_i - x); returns
  // the smallest squared atom distance (lennard_jones_together, below).
  double lennard_jones(const double x[3], double a_lj[3]);

  double launch(const double x[3], double a[3]) {
    double E[3], S;
    field(x, E, S);
    double a_ion[3];
    if (single) {
      const double d[3] = {qpos[0] - x[0], qpos[nc] - x[1], qpos[2 * nc] - x[2]};
      const double P = std::pow(1.0 / ((d[0] * d[0] + d[1] * d[1]) + d[2] * d[2]), 3.0);
      for (int j = 0; j < 3; ++j) a_ion[j] = ((d[j] * q2_1) * Fc) * P;
    } else {
      dipole(x, E, S, a_ion);
    }
    double a_lj[3];
    lennard_jones(x, a_lj);
    for (int j = 0; j < 3; ++j) a[j] = a_lj[j] + a_ion[j];
    return field2;
  }

  // The charges' acceleration at a step's position.
  void ion(const double x[3], double a_ion[3]) {
    if (single) {
      const double d[3] = {qpos[0] - x[0], qpos[nc] - x[1], qpos[2 * nc] - x[2]};
      r2_single = (d[0] * d[0] + d[1] * d[1]) + d[2] * d[2];
      const double P = std::pow(1.0 / r2_single, 3.0);
      for (int j = 0; j < 3; ++j) a_ion[j] = ((d[j] * Fc) * q2_1) * P;
    } else {
      double E[3], S;
      field(x, E, S);
      dipole(x, E, S, a_ion);
    }
  }

  double step(const double x[3], double a[3]) {
    double a_ion[3];
    ion(x, a_ion);
    double a_lj[3];
    const double d2min = lennard_jones(x, a_lj);
    for (int j = 0; j < 3; ++j) a[j] = a_lj[j] + a_ion[j];
    return d2min;
  }

  double near_charge(const double x[3], double dt) const {
    if (single) {
      if (r2_single * 1e20 < kNearChargeRadius2) {
        const double t = dt / (q[0] * q[0]);
        dt = t + t;
      }
      return dt;
    }
    return lj::near_charge_list(x, dt, near_idx, qpos, nc, q);
  }

  // E^2 at the exit position x. With one charge the step loop uses the
  // closed-form force and leaves the field of the launch point, so it is
  // evaluated here; with several it is that of the last step, at x.
  double exit_field2(const double x[3]) {
    if (single) {
      double E[3], S;
      field(x, E, S);
    }
    return field2;
  }
};

// The Lennard-Jones accelerations and nearest squared distances of K
// trajectories (their evaluators fs, positions x) from one pass over the
// atoms, block by block: a block's factors (a vector loop) stay in the
// first-level cache for the sums, so a large molecule is read from memory
// once per step for all K, and each trajectory's sums run over the atoms in
// order.
template <int K>
void lennard_jones_together(FieldForces* const* fs, const double* const* x, double (*a_lj)[3],
                            double* d2min) {
  const FieldForces& f0 = *fs[0];
  const int n = f0.n;
  constexpr int kBlock = FieldForces::kBlock;
  double ax[K], ay[K], az[K], xk[K], yk[K], zk[K];
  const double* fk[K];
  for (int k = 0; k < K; ++k) {
    ax[k] = ay[k] = az[k] = 0.0;
    d2min[k] = 0.0;
    xk[k] = x[k][0];
    yk[k] = x[k][1];
    zk[k] = x[k][2];
    fk[k] = fs[k]->f;
  }
  for (int b = 0; b < n; b += kBlock) {
    const int m = n - b < kBlock ? n - b : kBlock;
    const double* px = f0.atoms + b;
    const double* py = f0.atoms + n + b;
    const double* pz = f0.atoms + 2 * n + b;
    const double* Ab = f0.A + b;
    const double* Bb = f0.B + b;
    for (int k = 0; k < K; ++k) {
      const double x0 = xk[k], x1 = yk[k], x2 = zk[k];
      double* r2 = fs[k]->r2;
      double* f = fs[k]->f;
#pragma omp simd
      for (int i = 0; i < m; ++i) {
        const double dx = px[i] - x0;
        const double dy = py[i] - x1;
        const double dz = pz[i] - x2;
        const double d2 = (dx * dx + dy * dy) + dz * dz;
        const double u = 1.0 / d2;
        const double u6 = (u * u) * u;
        r2[i] = d2;
        f[i] = ((Ab[i] - Bb[i] * u6) * u6) * u;
      }
      const double mb = rt::min_skip_nan(r2, m);
      if (b == 0 || std::isnan(d2min[k]) || mb < d2min[k]) d2min[k] = mb;
    }
    // The K sums are independent chains: they overlap.
    for (int i = 0; i < m; ++i) {
      for (int k = 0; k < K; ++k) {
        const double fi = fk[k][i];
        ax[k] += fi * (px[i] - xk[k]);
        ay[k] += fi * (py[i] - yk[k]);
        az[k] += fi * (pz[i] - zk[k]);
      }
    }
  }
  for (int k = 0; k < K; ++k) {
    a_lj[k][0] = ax[k];
    a_lj[k][1] = ay[k];
    a_lj[k][2] = az[k];
    if (n == 0) d2min[k] = rt::min_skip_nan(fs[k]->r2, 0);
  }
}

double FieldForces::lennard_jones(const double x[3], double a_lj[3]) {
  FieldForces* self = this;
  double a[1][3], d2min;
  lennard_jones_together<1>(&self, &x, a, &d2min);
  for (int j = 0; j < 3; ++j) a_lj[j] = a[0][j];
  return d2min;
}

// Up to kTogether trajectories in lockstep: each is integrated exactly as
// alone (its own evaluator state and flight), the steps of those still in
// flight share one pass over the atoms.
constexpr int kTogether = 4;

void integrate_together(FieldForces* const* fs, const lj::Launch* in, int count, double (*dp)[3]) {
  lj::Flight fl[kTogether];
  const lj::NoObserver none;
  for (int k = 0; k < count; ++k) lj::launch(*fs[k], in[k], fl[k], none);
  for (;;) {
    int act[kTogether];
    int m = 0;
    for (int k = 0; k < count; ++k) {
      if (!fl[k].done) act[m++] = k;
    }
    if (m == 0) break;
    double vh[kTogether][3], a_ion[kTogether][3], a_lj[kTogether][3], d2min[kTogether];
    FieldForces* fa[kTogether];
    const double* xa[kTogether];
    for (int i = 0; i < m; ++i) {
      const int k = act[i];
      lj::drift(fl[k], vh[i]);
      fs[k]->ion(fl[k].x, a_ion[i]);
      fa[i] = fs[k];
      xa[i] = fl[k].x;
    }
    switch (m) {
      case 1: lennard_jones_together<1>(fa, xa, a_lj, d2min); break;
      case 2: lennard_jones_together<2>(fa, xa, a_lj, d2min); break;
      case 3: lennard_jones_together<3>(fa, xa, a_lj, d2min); break;
      default: lennard_jones_together<4>(fa, xa, a_lj, d2min); break;
    }
    for (int i = 0; i < m; ++i) {
      const int k = act[i];
      for (int j = 0; j < 3; ++j) fl[k].a[j] = a_lj[i][j] + a_ion[i][j];
      lj::kick(*fs[k], in[k], fl[k], vh[i], d2min[i], none);
    }
  }
  for (int k = 0; k < count; ++k) lj::transfer(*fs[k], in[k], fl[k], dp[k]);
}

}  // namespace

namespace {

// The input checks of a call, once: a table that does not match the
// molecule would otherwise be read past its end.
void check_field_inputs(LjArray q, LjArray q2, LjArray qpos, bool single, LjArray lj_att,
                        LjArray coords_m, LjArray lj_rep, double near_flag, LjArray near_idx) {
  const int n = coords_m.rows;
  const int nc = qpos.rows;
  lj::require(n == 0 || coords_m.cols == 3, "atom positions must have 3 columns");
  lj::require(lj_numel(lj_att) >= n && lj_numel(lj_rep) >= n,
              "one Lennard-Jones coefficient per atom expected");
  lj::require(nc == 0 || qpos.cols == 3, "charge positions must have 3 columns");
  lj::require(lj_numel(q) >= nc, "one charge value per charge position expected");
  if (single) {
    lj::require(nc >= 1 && lj_numel(q) >= 1 && lj_numel(q2) >= 1, "single charge missing");
  } else if (near_flag == 1.0) {
    lj::require_near_idx(near_idx, nc);
  }
}

// Working doubles of one evaluator.
std::size_t field_work_size(int nc) { return 2 * static_cast<std::size_t>(FieldForces::kBlock) + 2 * nc; }

FieldForces field_forces(double* work, LjArray q, LjArray q2, LjArray qpos, bool single,
                         double Force_const, LjArray lj_att, LjArray coords_m, LjArray lj_rep,
                         LjArray near_idx) {
  constexpr int kBlock = FieldForces::kBlock;
  const int nc = qpos.rows;
  return FieldForces{coords_m.data,
                     coords_m.rows,
                     lj_att.data,
                     lj_rep.data,
                     qpos.data,
                     nc,
                     q.data,
                     single,
                     single ? q2.data[0] : 0.0,
                     Force_const,
                     work,
                     work + kBlock,
                     work + 2 * kBlock,
                     work + 2 * kBlock + nc,
                     near_idx};
}

lj::Launch launch_of(const double box[6], const double pos[3], const double dir[3],
                     double Force_const, double dt0, double x_red, double m_gas, double v_c,
                     double v_c_t, double deltatenhance, double near_flag) {
  return lj::Launch{box,         pos,   dir,
                    Force_const, dt0,   x_red,
                    m_gas,       v_c_t, ((1e-10 / v_c) * 1e20) / deltatenhance,
                    near_flag};
}

}  // namespace

void lj_field_trajectory(LjScratch* ws, LjArray ones_N, const double box[6], LjArray q, LjArray q2,
                         LjArray qpos, double nq, double deltatenhance, double Force_const,
                         double dt0, double x_red, double m_gas, double v_c, double v_c_t,
                         const double pos[3], const double dir[3], LjArray lj_att,
                         LjArray coords_m, LjArray lj_rep, LjArray ones_q, double near_flag,
                         LjArray near_idx, double dp[3], const LjObserver* observer) {
  (void)ones_N;
  (void)ones_q;
  const bool single = nq == 1.0;
  check_field_inputs(q, q2, qpos, single, lj_att, coords_m, lj_rep, near_flag, near_idx);
  LjScratch local;
  LjScratch& scratch = ws != nullptr ? *ws : local;
  double* work = lj::reserve(scratch, field_work_size(qpos.rows));
  FieldForces forces =
      field_forces(work, q, q2, qpos, single, Force_const, lj_att, coords_m, lj_rep, near_idx);
  const lj::Launch in = launch_of(box, pos, dir, Force_const, dt0, x_red, m_gas, v_c, v_c_t,
                                  deltatenhance, near_flag);
  lj::run(forces, in, dp, observer);
}

void lj_field_trajectories(LjScratch* ws, const double box[6], LjArray q, LjArray q2, LjArray qpos,
                           double nq, double deltatenhance, double Force_const, double dt0,
                           double m_gas, double v_c, double v_c_t, LjArray lj_att,
                           LjArray coords_m, LjArray lj_rep, double near_flag, LjArray near_idx,
                           int count, const double (*pos)[3], const double (*dir)[3],
                           const double* x_red, double (*dp)[3]) {
  const bool single = nq == 1.0;
  check_field_inputs(q, q2, qpos, single, lj_att, coords_m, lj_rep, near_flag, near_idx);
  LjScratch local;
  LjScratch& scratch = ws != nullptr ? *ws : local;
  const std::size_t each = field_work_size(qpos.rows);
  double* work = lj::reserve(scratch, kTogether * each);
  for (int k0 = 0; k0 < count; k0 += kTogether) {
    const int g = count - k0 < kTogether ? count - k0 : kTogether;
    FieldForces forces[kTogether] = {};
    FieldForces* fs[kTogether];
    lj::Launch in[kTogether];
    for (int k = 0; k < g; ++k) {
      forces[k] = field_forces(work + k * each, q, q2, qpos, single, Force_const, lj_att, coords_m,
                               lj_rep, near_idx);
      fs[k] = &forces[k];
      in[k] = launch_of(box, pos[k0 + k], dir[k0 + k], Force_const, dt0, x_red[k0 + k], m_gas, v_c,
                        v_c_t, deltatenhance, near_flag);
    }
    integrate_together(fs, in, g, dp + k0);
  }
}

}  // namespace ccs
