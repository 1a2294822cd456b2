// Ion-induced-dipole field of the point charges, in the two evaluation forms
// the trajectory kernels use.
//
// Both give, at a position x (m):
//   field2(x): E^2 = |sum_k q_k (x - qpos_k) / |x - qpos_k|^3|^2, the field term
//              that sets the local speed sqrt(v_inf^2 + (K_F/2) E^2);
//   accel(x):  the acceleration (m/s^2) of the gas molecule.
// LoopField sums the charges in loops (closed form for a single charge);
// MatrixField uses row-by-matrix products (dgemm for two or more charges).
// They also carry what differs between the two kernels besides the field:
// the capture test, the start acceleration of the refinement trials, and the
// near-charge time-step rule.
#pragma once

#include <cmath>

#include "runtime/blas.h"
#include "runtime/constants.h"
#include "runtime/numeric.h"
#include "trajectory/trajectory_records.h"

namespace ccs::trajectory {

inline double dot3(const double a[3], const double b[3]) {
  return (a[0] * b[0] + a[1] * b[1]) + a[2] * b[2];
}

// Squared distance (m^2) between charge k and x.
inline double charge_dist2(const double* qpos, int nq, int k, const double x[3]) {
  const double d0 = qpos[k] - x[0];
  const double d1 = qpos[k + nq] - x[1];
  const double d2 = qpos[k + 2 * nq] - x[2];
  return (d0 * d0 + d1 * d1) + d2 * d2;
}

class LoopField {
 public:
  LoopField(const Charges& ch, double K_F) : ch_(ch), K_F_(K_F) {}

  // Refinement trials kick with the acceleration at the advanced start.
  static constexpr bool kKickFromAdvancedStart = true;

  bool has_capture_test() const { return ch_.nq == 1; }

  double field2(const double x[3]) const {
    double E[3] = {0.0, 0.0, 0.0};
    const int nq = ch_.nq;
    for (int k = 0; k < nq; ++k) {
      const double d[3] = {x[0] - ch_.qpos[k], x[1] - ch_.qpos[k + nq], x[2] - ch_.qpos[k + 2 * nq]};
      const double r3 = std::pow((d[0] * d[0] + d[1] * d[1]) + d[2] * d[2], 1.5);
      for (int i = 0; i < 3; ++i) E[i] += ch_.q[k] * d[i] / r3;
    }
    return dot3(E, E);
  }

  void accel(const double x[3], double a[3]) {
    const int nq = ch_.nq;
    if (nq < 1) {
      a[0] = a[1] = a[2] = 0.0;
      return;
    }
    if (nq == 1) {
      // K_F q^2 Delta / |Delta|^6
      last_[0] = x[0];
      last_[1] = x[1];
      last_[2] = x[2];
      const double d[3] = {ch_.qpos[0] - x[0], ch_.qpos[1] - x[1], ch_.qpos[2] - x[2]};
      const double inv3 = std::pow(1.0 / ((d[0] * d[0] + d[1] * d[1]) + d[2] * d[2]), 3.0);
      const double c = K_F_ * ch_.q2[0];
      for (int i = 0; i < 3; ++i) a[i] = c * d[i] * inv3;
      return;
    }
    double E[3] = {0.0, 0.0, 0.0};
    double S = 0.0;
    for (int k = 0; k < nq; ++k) {
      const double d[3] = {ch_.qpos[k] - x[0], ch_.qpos[k + nq] - x[1], ch_.qpos[k + 2 * nq] - x[2]};
      const double r3 = std::pow((d[0] * d[0] + d[1] * d[1]) + d[2] * d[2], 1.5);
      for (int i = 0; i < 3; ++i) E[i] += ch_.q[k] * d[i] / r3;
      S += ch_.q[k] / r3;
    }
    double G[3] = {0.0, 0.0, 0.0};
    for (int k = 0; k < nq; ++k) {
      const double d[3] = {ch_.qpos[k] - x[0], ch_.qpos[k + nq] - x[1], ch_.qpos[k + 2 * nq] - x[2]};
      const double r5 = std::pow((d[0] * d[0] + d[1] * d[1]) + d[2] * d[2], 2.5);
      const double ed = dot3(E, d);
      for (int i = 0; i < 3; ++i) G[i] += ch_.q[k] * ed * d[i] / r5;
    }
    for (int i = 0; i < 3; ++i) a[i] = (3.0 * G[i] * K_F_ - E[i] * S * K_F_) * 0.5;
  }

  // Shortens dt near strong charges: a single charge is measured from the
  // last point where its force was evaluated, several from the step's end.
  void near_charge(double& dt, const double* /*x_s*/, const double x_new[3]) const {
    if (ch_.nq == 1) {
      if (charge_dist2(ch_.qpos, 1, 0, last_) * 1e20 < kNearChargeRadius2) dt = 2.0 * (dt / (ch_.q[0] * ch_.q[0]));
      return;
    }
    for (int i = 0; i < ch_.n_near; ++i) {
      const int k = static_cast<int>(ch_.near_idx[i]) - 1;
      if (charge_dist2(ch_.qpos, ch_.nq, k, x_new) * 1e20 < kNearChargeRadius2)
        dt = 2.0 * (dt / (ch_.q[k] * ch_.q[k]));
    }
  }

 private:
  const Charges& ch_;
  double K_F_;
  double last_[3] = {0.0, 0.0, 0.0};
};

class MatrixField {
 public:
  MatrixField(const Charges& ch, double K_F, TrajectoryScratch& s) : ch_(ch), K_F_(K_F), s_(s) {
    s_.prepare_charges(ch.nq);
  }

  // Refinement trials kick with the acceleration at the colliding step's start.
  static constexpr bool kKickFromAdvancedStart = false;

  bool has_capture_test() const { return false; }

  double field2(const double x[3]) {
    double E[3];
    weights(x);
    row_times_D(s_.w.data(), E);
    return dot3(E, E);
  }

  void accel(const double x[3], double a[3]) {
    const int nq = ch_.nq;
    double E[3];
    weights(x);
    row_times_D(s_.w.data(), E);
    // e = D * E'
    double* e = s_.e.data();
    if (nq >= 2) {
      rt::gemm(nq, 1, 3, s_.D.data(), E, e);
    } else if (nq == 1) {
      e[0] = 0.0;
      for (int j = 0; j < 3; ++j) e[0] += s_.D[j] * E[j];
    }
    const double S = rt::sum_in_order(s_.w.data(), nq);
    for (int k = 0; k < nq; ++k) s_.g[k] = s_.w[k] * s_.s1[k] * e[k] * 3.0;
    double G[3];
    row_times_D(s_.g.data(), G);
    const double c = K_F_ * 0.5;
    for (int i = 0; i < 3; ++i) a[i] = (G[i] - E[i] * S) * c;
  }

  // Shortens dt near strong charges, measured from the step's start.
  void near_charge(double& dt, const double x_s[3], const double* /*x_new*/) const {
    for (int i = 0; i < ch_.n_near; ++i) {
      const int k = static_cast<int>(ch_.near_idx[i]) - 1;
      if (charge_dist2(ch_.qpos, ch_.nq, k, x_s) * 1e20 < kNearChargeRadius2)
        dt = 2.0 * (dt / (ch_.q[k] * ch_.q[k]));
    }
  }

 private:
  // D = qpos - ones * x; w_k = q_k / |D_k|^3 (as 1/r2 * sqrt(1/r2) * q).
  void weights(const double x[3]) {
    const int nq = ch_.nq;
    double* D = s_.D.data();
    for (int j = 0; j < 3; ++j)
      for (int k = 0; k < nq; ++k) D[k + j * nq] = ch_.qpos[k + j * nq] - x[j];
    for (int k = 0; k < nq; ++k) {
      const double r2 = (D[k] * D[k] + D[k + nq] * D[k + nq]) + D[k + 2 * nq] * D[k + 2 * nq];
      s_.r2[k] = r2;
      s_.s1[k] = 1.0 / r2;
      s_.w[k] = s_.s1[k] * std::sqrt(s_.s1[k]) * ch_.q[k];
    }
  }

  // out (1 x 3) = row (1 x nq) * D (nq x 3).
  void row_times_D(const double* row, double out[3]) const {
    const int nq = ch_.nq;
    if (nq >= 2) {
      rt::gemm(1, 3, nq, row, s_.D.data(), out);
    } else {
      for (int j = 0; j < 3; ++j) {
        out[j] = 0.0;
        for (int k = 0; k < nq; ++k) out[j] += row[k] * s_.D[k + j * nq];
      }
    }
  }

  const Charges& ch_;
  double K_F_;
  TrajectoryScratch& s_;
};

}  // namespace ccs::trajectory
