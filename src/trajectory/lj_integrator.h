// Velocity-Verlet step loop shared by the Lennard-Jones kernels.
//
// The loop is generic over a force evaluator F, which provides
//   double launch(const double x[3], double a[3]);  // a at the launch point; returns E^2
//   double step(const double x[3], double a[3]);    // a at x; returns d^2 to the nearest atom
//   double near_charge(const double x[3], double dt) const;  // dt shortened near strong charges
//   double exit_field2(const double x[3]);          // E^2 at the exit position x
// and the policy constants
//   kDtMax            upper time-step bound (s)
//   kNanDtStays       true: a NaN time step is kept; false: it becomes kDtMax
//   kExitUsesPreStepV true: the fast-exit rule takes the velocity from before
//                     the exit step; false: the velocity after it.
// Every formula keeps the written evaluation order: results are reproduced to
// the last bit, so no term may be regrouped.
#pragma once

#include <cmath>

#include "runtime/constants.h"
#include "runtime/context.h"
#include "runtime/numeric.h"
#include "trajectory/lj_kernels.h"

namespace ccs::lj {

inline constexpr int kMaxSteps = 50000;
inline constexpr double kDtMin = 1e-16;

// Scalars of one trajectory shared by all kernels.
struct Launch {
  const double* box;  // x_min x_max y_min y_max z_min z_max (m)
  const double* pos;  // launch point (A)
  const double* dir;  // launch direction d0
  double Force_const;
  double dt0;
  double x_red;
  double m_gas;
  double v_c_t;
  double dt_factor;  // time step per squared nearest-atom distance (s/m^2)
  double near_flag;
};

struct NoObserver {
  void operator()(int, double, const double*, const double*, const double*) const {}
};

struct CallbackObserver {
  const LjObserver* o;
  void operator()(int n, double dt, const double* x, const double* v, const double* a) const {
    o->step(o->user, n, dt, x, v, a);
  }
};

inline bool outside_box(const double x[3], const double* box) {
  return x[0] > box[1] || x[0] < box[0] || x[1] > box[3] || x[1] < box[2] || x[2] > box[5] ||
         x[2] < box[4];
}

// The state of one trajectory between force evaluations.
struct Flight {
  double x[3], v[3], v_prev[3], a[3];
  double dt = 0;
  double half_kf = 0, v_inf = 0;
  int n = 0;
  bool exited = false;
  bool done = false;
};

// Launch: position, speed sqrt(v_inf^2 + (K_F/2) E^2) along d0 (the probe
// enters with the asymptotic speed plus what the dipole well has already
// added) and the launch acceleration.
template <class F, class Observer>
void launch(F& forces, const Launch& in, Flight& f, const Observer& observe) {
  for (int j = 0; j < 3; ++j) f.x[j] = in.pos[j] * 1e-10;
  const double* d0 = in.dir;
  const double E2 = forces.launch(f.x, f.a);
  f.v_inf = in.v_c_t * in.x_red;
  f.half_kf = (in.Force_const + in.Force_const) * 0.25;
  const double v_mag = std::sqrt((E2 * f.half_kf) / (f.v_inf * f.v_inf) + 1.0) * in.x_red;
  f.v[0] = d0[0] * in.v_c_t * v_mag;
  f.v[1] = d0[1] * in.v_c_t * v_mag;
  f.v[2] = v_mag * d0[2] * in.v_c_t;
  for (int j = 0; j < 3; ++j) f.v_prev[j] = f.v[j];
  f.dt = in.dt0;
  observe(0, 0.0, f.x, f.v, f.a);
}

// First half of a velocity-Verlet step: the half-step velocity and the new
// position (where the forces are evaluated next).
inline void drift(Flight& f, double vh[3]) {
  ++f.n;
  for (int j = 0; j < 3; ++j) {
    vh[j] = (f.a[j] * f.dt) * 0.5 + f.v_prev[j];
    f.x[j] = vh[j] * f.dt + f.x[j];
  }
}

// Second half, with the acceleration f.a and nearest squared atom distance
// d2min at f.x: the velocity, the next time step, and whether the flight
// ended (left the box, or the step limit).
template <class F, class Observer>
void kick(F& forces, const Launch& in, Flight& f, const double vh[3], double d2min,
          const Observer& observe) {
  for (int j = 0; j < 3; ++j) f.v[j] = (f.a[j] * f.dt) * 0.5 + vh[j];
  observe(f.n, f.dt, f.x, f.v, f.a);
  double dt_next = d2min * in.dt_factor;
  if (in.near_flag == 1.0) dt_next = forces.near_charge(f.x, dt_next);
  if (outside_box(f.x, in.box)) {
    f.exited = true;
    f.done = true;
    return;
  }
  if (dt_next < kDtMin) {
    dt_next = kDtMin;
  } else if (F::kNanDtStays ? dt_next > F::kDtMax : !(dt_next <= F::kDtMax)) {
    dt_next = F::kDtMax;
  }
  f.dt = dt_next;
  for (int j = 0; j < 3; ++j) f.v_prev[j] = f.v[j];
  if (f.n >= kMaxSteps) f.done = true;
}

// The momentum transferred by a finished flight.
template <class F>
void transfer(F& forces, const Launch& in, Flight& f, double dp[3]) {
  dp[0] = 0.0;
  dp[1] = 0.0;
  dp[2] = 0.0;
  if (!f.exited || f.n >= kMaxSteps) return;
  const double* d0 = in.dir;
  const double* x = f.x;
  const double* v = f.v;

  // Exit speed: the kinetic speed less the dipole-well contribution, i.e. the
  // asymptotic speed the probe carries away.
  const double vv = (v[0] * v[0] + v[1] * v[1]) + v[2] * v[2];
  double v_f = std::sqrt(vv - forces.exit_field2(x) * f.half_kf);
  const double norm_v = rt::norm3(v);
  if (std::isnan(v_f)) {
    // Negative radicand: the component of the asymptotic velocity along v.
    double u[3];
    for (int j = 0; j < 3; ++j) u[j] = ((d0[j] * in.x_red) * in.v_c_t) * norm_v;
    v_f = rt::projection_ratio(u, v);
  }
  const double s = rt::sign(d0[0]);
  const double neg_m = -in.m_gas;
  if (v_f > 5.0 * in.v_c_t) {
    // Implausibly fast exit: keep the direction, take the asymptotic speed.
    const double* vd = F::kExitUsesPreStepV ? f.v_prev : v;
    const double norm_vd = F::kExitUsesPreStepV ? rt::norm3(f.v_prev) : norm_v;
    for (int j = 0; j < 3; ++j)
      dp[j] = (((vd[j] * f.v_inf) / norm_vd) - (d0[j] * in.x_red) * in.v_c_t) * neg_m * s;
  } else {
    for (int j = 0; j < 3; ++j)
      dp[j] = (((v[j] * v_f) / norm_v) - (d0[j] * in.x_red) * in.v_c_t) * neg_m * s;
  }
}

template <class F, class Observer>
void integrate(F& forces, const Launch& in, double dp[3], const Observer& observe) {
  Flight f;
  launch(forces, in, f, observe);
  while (!f.done) {
    double vh[3];
    drift(f, vh);
    const double d2min = forces.step(f.x, f.a);
    kick(forces, in, f, vh, d2min, observe);
  }
  transfer(forces, in, f, dp);
}

// Runs the loop with or without the caller's observer.
template <class F>
void run(F& forces, const Launch& in, double dp[3], const LjObserver* observer) {
  if (observer != nullptr && observer->step != nullptr) {
    integrate(forces, in, dp, CallbackObserver{observer});
  } else {
    integrate(forces, in, dp, NoObserver{});
  }
}

// Near-charge rule over a list of strong charges (1-based indices stored as
// doubles): each charge closer than 4.7 A to x divides the step by q^2 / 2;
// several hits compound.
inline double near_charge_list(const double x[3], double dt, LjArray near_idx, const double* qpos,
                               int nrows, const double* q) {
  const int m = lj_numel(near_idx);
  for (int i = 0; i < m; ++i) {
    const int k = static_cast<int>(near_idx.data[i]) - 1;
    const double dx = qpos[k] - x[0];
    const double dy = qpos[k + nrows] - x[1];
    const double dz = qpos[k + 2 * nrows] - x[2];
    if (((dx * dx + dy * dy) + dz * dz) * 1e20 < kNearChargeRadius2) dt = (dt / (q[k] * q[k])) * 2.0;
  }
  return dt;
}

// Input checks, once per call: a table that does not match the molecule
// would otherwise be read past its end.
inline void require(bool ok, const char* what) {
  if (!ok) rt::raise("ccs:lj:badInput", what);
}

inline void require_near_idx(LjArray near_idx, int nrows) {
  const int m = lj_numel(near_idx);
  for (int i = 0; i < m; ++i) {
    const double k = near_idx.data[i];
    require(k >= 1.0 && k <= nrows, "strong-charge index outside the charge table");
  }
}

// Working storage of `count` doubles, grown (never shrunk) before the step
// loop.
inline double* reserve(LjScratch& ws, std::size_t count) {
  if (ws.values.size() < count + 1) ws.values.resize(count + 1);
  return ws.values.data();
}

}  // namespace ccs::lj
