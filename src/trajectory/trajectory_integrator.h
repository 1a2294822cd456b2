// One gas-molecule trajectory through the field of the ion and off the atoms
// (hard spheres): the pass loop, the velocity-Verlet step, the distance
// check, the contact search with its refinement, the end-of-pass
// classification and the momentum-transfer rules, shared by all trajectory
// kernels.
//
// The kernels differ only in the policies:
//   Field  (charge_field.h): field term, acceleration, capture test, start
//          acceleration of the refinement trials, near-charge time-step rule;
//   Atoms  (atom_motion.h): atom velocities at the distance checks and the
//          non-diffuse collision law;
//   Observer: sees every accepted step (tests); NoObserver costs nothing.
//
// Nothing is allocated here: the working state is a few fixed arrays and
// the per-thread scratch.
#pragma once

#include <cmath>
#include <limits>

#include "runtime/numeric.h"
#include "trajectory/analytic_deflection.h"
#include "trajectory/charge_field.h"
#include "trajectory/clearance_scan.h"
#include "trajectory/collision_response.h"
#include "trajectory/trajectory_records.h"

namespace ccs::trajectory {

struct NoObserver {
  void on_step(const double* /*x*/, const double* /*v*/) {}
};

// Accepted steps per pass.
constexpr int kMaxStepsPerPass = 50000;
// A trajectory whose last pass is this one gets the speed-preserving transfer.
constexpr long long kPassRule = 800;
// Refinement trials per contact.
constexpr int kMaxRefinementTrials = 1000;

template <class Field, class Atoms, class Observer = NoObserver>
class TrajectoryIntegrator {
 public:
  TrajectoryIntegrator(const TrajectoryContext& tc, Probe& pr, TrajectoryScratch& scratch,
                       Field& field, Atoms& atoms, Observer& obs)
      : mol_(tc.mol), ch_(tc.charges), par_(tc.par), init_(tc.dist_back_init), pr_(pr),
        field_(field), atoms_(atoms), obs_(obs) {
    scratch.prepare_atoms(tc.mol.N);
    d2_ = scratch.d2.data();
  }

  void run() {
    setup();
    const double mult = par_.multiplier;
    // floor(multiplier) passes; a multiplier beyond the range of long long
    // (or +Inf) saturates instead of converting out of range.
    const long long passes =
        !(mult >= 1.0) ? 0
                       : (mult < 9.0e18 ? static_cast<long long>(std::floor(mult))
                                        : std::numeric_limits<long long>::max());
    long long last_pass = 0;
    for (long long p = 1; p <= passes; ++p) {
      last_pass = p;
      if (p > 1) {
        for (int i = 0; i <= mol_.N; ++i) pr_.dist_back[i] = init_[i];
        skin_ = 0.6000000000000001;
      }
      if (analytic_) break;
      if (!run_pass()) break;
    }
    if (analytic_) {
      if (ch_.n_charged == 1)
        for (int i = 0; i < 3; ++i) pr_.dp[i] = dp_analytic_[i];
      return;
    }
    transfer(last_pass);
  }

 private:
  // Start state, initial speed from energy conservation, capture test.
  void setup() {
    for (int i = 0; i < 3; ++i) {
      x_[i] = pr_.pos[i] * 1e-10;
      x_s_[i] = x_[i];
      x_chk_[i] = x_[i];
      d0_[i] = pr_.dir[i];
    }
    K_F_ = par_.Force_const;
    v_inf_ = pr_.x_red * par_.v_c_t;
    const double E2 = field_.field2(x_);
    const double vt = pr_.x_red * par_.v_c_t;
    const double root = std::sqrt(1.0 + K_F_ / 2.0 * E2 / (vt * vt));
    const double v_start = pr_.x_red * par_.v_c_t * root;
    const double scale = pr_.x_red * root;
    for (int i = 0; i < 3; ++i) {
      v_init_[i] = par_.v_c_t * d0_[i] * scale;
      v_[i] = v_init_[i];
      // Before any collision a diffuse law other than 0 and 1 leaves the
      // molecule with these.
      u_prev_[i] = v_init_[i];
    }
    speed_prev_ = par_.v_c_return;
    dt_ = par_.dt0;

    if (!field_.has_capture_test()) return;
    const double q2 = ch_.q2[0];
    const double rc = par_.r_capture;
    const double C = 2.0 * K_F_ * q2 * 0.25;
    const double v2 = v_start * v_start;
    const double A = C / std::pow(rc, 4.0) / v2;
    double b2crit;
    if (A < 1.0) {
      b2crit = (A + 1.0) * (rc * rc);
    } else {
      const double r4 = std::pow(C / v2, 0.25);
      b2crit = 2.0 * (r4 * r4);
    }
    DeflectionInput in;
    for (int i = 0; i < 3; ++i) {
      in.d0[i] = d0_[i];
      in.w[i] = ch_.qpos[i] - x_[i];
    }
    const double wd = dot3(in.w, in.d0);
    for (int i = 0; i < 3; ++i) in.b[i] = in.w[i] - wd * in.d0[i];
    in.b2 = dot3(in.b, in.b);
    if (!(in.b2 > b2crit)) return;
    analytic_ = true;
    if (ch_.n_charged != 1) return;
    in.v2 = v2;
    in.Force_const = K_F_;
    in.q2 = q2;
    in.v_inf = v_inf_;
    in.m_gas = par_.m_gas;
    // Where the deflection construction degenerates the trajectory is
    // integrated instead of returning a transfer that is not a number.
    if (!analytic_deflection(in, dp_analytic_)) analytic_ = false;
  }

  // One pass; returns false when the pass loop ends.
  bool run_pass() {
    field_.accel(x_, a_);
    out_ = false;
    contact_ = false;
    int n = 0;
    for (int i = 0; i < 3; ++i) x_chk_[i] = x_[i];
    while (!out_ && !contact_ && n < kMaxStepsPerPass) {
      step(n);
      if (!contact_) {
        if (dt_ < 1e-16)
          dt_ = 1e-16;
        else if (!(dt_ <= 2e-13))
          dt_ = 2e-13;
        ++n;
        for (int i = 0; i < 3; ++i) {
          x_[i] = x_new_[i];
          v_[i] = v_new_[i];
          a_[i] = a_new_[i];
        }
        obs_.on_step(x_, v_);
      }
    }
    return classify();
  }

  // Velocity-Verlet step from (x, v, a); dt for the next step.
  void step(int n) {
    t_ += dt_;
    double v_h[3];
    for (int i = 0; i < 3; ++i) {
      v_h[i] = v_[i] + 0.5 * a_[i] * dt_;
      x_new_[i] = x_[i] + v_h[i] * dt_;
    }
    field_.accel(x_new_, a_new_);
    for (int i = 0; i < 3; ++i) {
      v_new_[i] = v_h[i] + 0.5 * a_new_[i] * dt_;
      x_s_[i] = x_[i];
      v_s_[i] = v_[i];
      a_s_[i] = a_[i];
    }
    if (n == 0) d_near_ = 0.0;  // the first step of a pass always checks
    double moved[3];
    for (int i = 0; i < 3; ++i) moved[i] = x_new_[i] - x_chk_[i];
    const double R_near = mol_.N > 0 ? mol_.R[idx_near_] : 0.0;
    if (rt::norm3(moved) * 1e10 >= (d_near_ - R_near) * skin_) distance_check();
    dt_ = 1e-10 / par_.v_c / par_.deltatenhance * d_near_ * d_near_;
    if (ch_.near_flag == 1.0) field_.near_charge(dt_, x_s_, x_new_);
    const double* box = par_.box;
    if (x_new_[0] > box[1] || x_new_[0] < box[0] || x_new_[1] > box[3] || x_new_[1] < box[2] ||
        x_new_[2] > box[5] || x_new_[2] < box[4]) {
      out_ = true;
      exited_ = true;
      dt_ = 1e-15;
    }
    if (contact_) dt_ = 1e-17;
  }

  // Clearance scan over all atoms at x_new; a later atom wins an equal
  // clearance. An overlap starts the contact search.
  void distance_check() {
    double pos[3];
    for (int i = 0; i < 3; ++i) pos[i] = pr_.pos[i] = x_new_[i] * 1e10;
    atoms_.at_distance_check(t_);
    if (!have_r_skip_) {
      r_skip_ = skip_radius(mol_);
      have_r_skip_ = true;
    }
    const ClearanceResult res = scan_clearance(mol_, pos, r_skip_, d2_);
    if (res.idx_near >= 0) {
      idx_near_ = res.idx_near;
      d_near_ = res.d_near;
    }
    if (res.overlap >= 0) contact_search(res.overlap, pos);
    for (int i = 0; i < 3; ++i) x_chk_[i] = x_new_[i];
  }

  // Back-off distance (Å) from pos along -s_hat to where the step entered
  // the surface of atom i: sqrt(R^2 - perp^2) - (centre - pos).s_hat. An
  // atom whose centre lies behind pos (the step went past its middle) was
  // entered sqrt(R^2 - perp^2) + |p| back; taking |p| with the same sign for
  // both cases would measure the distance to the exit ahead instead and could
  // strike the atom the step entered last.
  double back_off(int i, const double pos[3], const double s_hat[3]) const {
    const int N = mol_.N;
    const double D[3] = {mol_.coords[i] - pos[0], mol_.coords[i + N] - pos[1],
                         mol_.coords[i + 2 * N] - pos[2]};
    const double Ds = dot3(D, s_hat);
    double p[3];
    double perp[3];
    for (int k = 0; k < 3; ++k) {
      p[k] = Ds * s_hat[k];
      perp[k] = D[k] - p[k];
    }
    const double chord = std::sqrt(mol_.R2[i] - dot3(perp, perp));
    return Ds >= 0.0 ? chord - rt::norm3(p) : chord + rt::norm3(p);
  }

  // The probe overlaps atom i at x_new: strike the atom whose surface the
  // step crossed first and refine the contact onto its surface.
  void contact_search(int i, const double pos[3]) {
    const int N = mol_.N;  // d2_ holds the squared centre distances to pos
    double step_v[3];
    for (int k = 0; k < 3; ++k) step_v[k] = x_new_[k] - x_s_[k];
    const double len = rt::norm3(step_v);
    double s_hat[3];
    for (int k = 0; k < 3; ++k) s_hat[k] = step_v[k] / len;

    int j = i;
    double best = back_off(i, pos, s_hat);
    pr_.dist_back[i] = best;
    for (int k = i + 1; k < N; ++k) {
      const double d2 = d2_[k];
      if (d2 - mol_.R2[k] <= 0.0) {
        const double b = back_off(k, pos, s_hat);
        pr_.dist_back[k] = b;
        if (b > best) {
          best = b;
          j = k;
          d_near_ = std::sqrt(d2);
        }
      }
    }
    const double Rj = mol_.R[j];
    if (!(d_near_ >= 0.99999 * Rj)) refine(j);
    pr_.dist_back[j] = 0.0;
    contact_ = true;
  }

  // Repeated halving from the start of the colliding step until the probe
  // lies within [0.99999 R, R] of the struck centre.
  void refine(int j) {
    const int N = mol_.N;
    const double centre[3] = {mol_.coords[j], mol_.coords[j + N], mol_.coords[j + 2 * N]};
    const double Rj = mol_.R[j];
    const double inner = 0.99999 * Rj;
    double h = dt_ / 2.0;
    double a_kick[3] = {a_s_[0], a_s_[1], a_s_[2]};
    for (int trial = 0; trial < kMaxRefinementTrials; ++trial) {
      double v_h[3];
      double x_t[3];
      double a_t[3];
      double v_t[3];
      for (int k = 0; k < 3; ++k) {
        v_h[k] = v_s_[k] + 0.5 * a_kick[k] * h;
        x_t[k] = x_s_[k] + v_h[k] * h;
      }
      field_.accel(x_t, a_t);
      double off[3];
      for (int k = 0; k < 3; ++k) {
        v_t[k] = v_h[k] + 0.5 * a_t[k] * h;
        pr_.pos[k] = x_t[k] * 1e10;
        off[k] = centre[k] - pr_.pos[k];
      }
      const double delta = rt::norm3(off);
      if (inner <= delta && delta <= Rj) {
        for (int k = 0; k < 3; ++k) {
          x_new_[k] = x_t[k];
          v_new_[k] = v_t[k];
        }
        return;
      }
      if (delta < inner) {
        h = h / 2.0;
      } else if (delta > Rj) {
        for (int k = 0; k < 3; ++k) {
          x_s_[k] = x_t[k];
          v_s_[k] = v_t[k];
          a_s_[k] = a_t[k];
          if (Field::kKickFromAdvancedStart) a_kick[k] = a_t[k];
        }
      }
    }
    // No convergence: the contact stays at the unrefined point.
  }

  // End of a pass: a single smallest back-off is a collision; several equal
  // ones are either no contact (1000) or an exact tie. Returns false when
  // the pass loop ends.
  bool classify() {
    const int n = mol_.N + 1;
    const double* db = pr_.dist_back;
    const double mn = rt::min_skip_nan(db, n);
    if (std::isnan(mn)) return true;
    int count = 0;
    int first = -1;
    for (int i = 0; i < n; ++i) {
      if (db[i] == mn) {
        if (count == 0) first = i;
        ++count;
      }
    }
    if (count == 1) {
      // The extra last entry is no atom: a lone 1000 there means no contact.
      if (first == mol_.N) return false;
      collide(first);
      return true;
    }
    if (mn == 1000.0) return false;
    tie(first);
    return true;
  }

  void collide(int j) {
    const int N = mol_.N;
    const double centre[3] = {mol_.coords[j], mol_.coords[j + N], mol_.coords[j + 2 * N]};
    double s_hat[3];
    double n[3];
    double P[3];
    contact_point(centre, mol_.R[j], mol_.R2[j], x_s_, x_new_, s_hat, n, P);
    double Pm[3];
    for (int k = 0; k < 3; ++k) Pm[k] = P[k] * 1e-10;
    const double E2 = field_.field2(Pm);
    SurfaceLaw law;
    law.a = par_.a;
    law.diffusive = par_.diffusive;
    law.maxwell_speed = par_.maxwell_speed;
    law.v_c2 = par_.v_c2;
    law.v_inf = v_inf_;
    law.Force_const = K_F_;
    collision_response(law, s_hat, n, E2, v_new_, atoms_.impact(j), u_prev_, &speed_prev_, pr_.dir);
    for (int k = 0; k < 3; ++k) {
      x_[k] = x_s_[k] = Pm[k];
      v_[k] = u_prev_[k] * speed_prev_;
    }
  }

  // Exact tie between atoms: a transfer from the first of them; the state is
  // kept, so the next pass repeats the colliding step.
  void tie(int j) {
    const int N = mol_.N;
    double nv[3];
    const double centre[3] = {mol_.coords[j], mol_.coords[j + N], mol_.coords[j + 2 * N]};
    for (int k = 0; k < 3; ++k) nv[k] = (pr_.pos[k] + pr_.dir[k] * pr_.dist_back[j]) - centre[k];
    const double len = rt::norm3(nv);
    double n[3];
    for (int k = 0; k < 3; ++k) n[k] = nv[k] / len;
    const double c = std::cos(rt::subspace(pr_.dir, n));
    const double s = rt::sign(pr_.dir[0]);
    for (int k = 0; k < 3; ++k) pr_.dp[k] = -2.0 * par_.m_gas * par_.v_c * c * n[k] * s;
  }

  // Transfer of an integrated trajectory: the 800-pass rule, overridden by
  // the exit rule.
  void transfer(long long last_pass) {
    const double s = rt::sign(d0_[0]);
    const double nv = rt::norm3(v_);
    if (last_pass == kPassRule) {
      const double ni = rt::norm3(v_init_);
      for (int k = 0; k < 3; ++k) pr_.dp[k] = -par_.m_gas * (v_[k] * ni / nv - v_init_[k]) * s;
    }
    if (!exited_) return;
    const double E2 = field_.field2(x_);
    double vf = std::sqrt(dot3(v_, v_) - K_F_ / 2.0 * E2);
    if (std::isnan(vf)) {
      double lhs[3];
      for (int k = 0; k < 3; ++k) lhs[k] = d0_[k] * v_inf_ * nv;
      vf = rt::projection_ratio(lhs, v_);
    }
    if (vf <= 10.0 * v_inf_) {
      for (int k = 0; k < 3; ++k) pr_.dp[k] = -par_.m_gas * (v_[k] * vf / nv - d0_[k] * v_inf_) * s;
    } else {
      pr_.dp[0] = pr_.dp[1] = pr_.dp[2] = 0.0;
    }
  }

  const Molecule& mol_;
  const Charges& ch_;
  const KernelParams& par_;
  const double* init_;
  Probe& pr_;
  Field& field_;
  Atoms& atoms_;
  Observer& obs_;
  double* d2_ = nullptr;  // squared centre distances at the last distance check
  double r_skip_ = 0.0;
  bool have_r_skip_ = false;

  double K_F_ = 0.0;
  double v_inf_ = 0.0;
  double x_[3], v_[3], a_[3];
  double x_s_[3], v_s_[3], a_s_[3];
  double x_new_[3], v_new_[3], a_new_[3];
  double x_chk_[3];
  double d0_[3], v_init_[3];
  double u_prev_[3];
  double speed_prev_ = 0.0;
  double dt_ = 0.0;
  double t_ = 0.0;
  double skin_ = 0.9;
  double d_near_ = 0.0;
  int idx_near_ = 0;
  bool analytic_ = false;
  bool exited_ = false;
  bool out_ = false;
  bool contact_ = false;
  double dp_analytic_[3] = {0.0, 0.0, 0.0};
};

}  // namespace ccs::trajectory
