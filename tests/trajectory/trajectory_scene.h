// Test scenes for the trajectory kernels: a helium probe around a few atoms
// and charges, with physically consistent constants.
#pragma once

#include <cmath>
#include <vector>

#include "trajectory/trajectory_records.h"

namespace ccs::trajectory::test {

// Helium at room temperature.
struct Helium {
  static constexpr double amu = 1.66053906660e-27;
  static constexpr double kB = 1.380649e-23;
  static constexpr double e = 1.602176634e-19;
  static constexpr double four_pi_eps0 = 1.11265005545e-10;
  static constexpr double alpha = 0.204956e-30;  // polarisability volume (m^3)
  static constexpr double T = 298.0;

  static double m_gas() { return 4.0026 * amu; }
  static double v_c_t() { return std::sqrt(2.0 * kB * T / m_gas()); }
  // 2 alpha e^2 / (4 pi eps0 m_gas): a = K_F q^2 Delta / |Delta|^6.
  static double Force_const() { return 2.0 * alpha * e * e / (four_pi_eps0 * m_gas()); }
};

class Scene {
 public:
  Scene() {
    const double v = Helium::v_c_t();
    par.deltatenhance = 50.0;
    par.Force_const = Helium::Force_const();
    par.dt0 = 1e-10 / v / 400.0;
    par.m_gas = Helium::m_gas();
    par.v_c = v;
    par.v_c_t = v;
    par.multiplier = 100.0;
    par.r_capture = 1.0;  // integrate everything unless a test sets it
    set_box(50.0);
  }

  // Cube of half-width h (Å) about the origin.
  void set_box(double h) {
    for (int i = 0; i < 3; ++i) {
      par.box[2 * i] = -h * 1e-10;
      par.box[2 * i + 1] = h * 1e-10;
    }
  }

  void add_atom(double x, double y, double z, double radius, double mass = 12.011) {
    atoms_.push_back({x, y, z, radius, mass});
  }
  // Position in Å, charge in e.
  void add_charge(double x, double y, double z, double q) { charges_.push_back({x, y, z, q}); }

  // Frames of atom positions (Å), frame after frame, each N rows of x, y, z.
  std::vector<std::vector<double>> frames;

  KernelParams par;
  std::vector<double> near_idx;
  double near_flag = 0.0;
  int n_charged = -1;  // default: one entry per charge (at least 1)

  // Builds the column-major arrays and the shared context.
  const TrajectoryContext& context() {
    const int N = static_cast<int>(atoms_.size());
    coords_.assign(3 * N, 0.0);
    R_.assign(N, 0.0);
    R2_.assign(N, 0.0);
    mass_.assign(N, 0.0);
    for (int i = 0; i < N; ++i) {
      for (int k = 0; k < 3; ++k) coords_[i + k * N] = atoms_[i][k];
      R_[i] = atoms_[i][3];
      R2_[i] = R_[i] * R_[i];
      mass_[i] = atoms_[i][4];
    }
    const int nq = static_cast<int>(charges_.size());
    q_.assign(nq, 0.0);
    q2_.assign(nq, 0.0);
    qpos_.assign(3 * nq, 0.0);
    for (int k = 0; k < nq; ++k) {
      for (int i = 0; i < 3; ++i) qpos_[k + i * nq] = charges_[k][i] * 1e-10;
      q_[k] = charges_[k][3];
      q2_[k] = q_[k] * q_[k];
    }
    const int F = static_cast<int>(frames.size());
    move_.assign(3 * F * N, 0.0);
    for (int f = 0; f < F; ++f)
      for (int i = 0; i < N; ++i)
        for (int k = 0; k < 3; ++k) move_[(f * N + i) + k * F * N] = frames[f][3 * i + k];
    init_.assign(N + 1, 1000.0);
    dist_back_.assign(N + 1, 1000.0);

    tc_.mol.N = N;
    tc_.mol.coords = coords_.data();
    tc_.mol.R = R_.data();
    tc_.mol.R2 = R2_.data();
    tc_.mol.massarray = mass_.data();
    tc_.mol.Move_pos = move_.data();
    tc_.mol.move_rows = F * N;
    tc_.mol.cfactor = cfactor;
    tc_.charges.nq = nq;
    tc_.charges.q = q_.data();
    tc_.charges.q2 = q2_.data();
    tc_.charges.qpos = qpos_.data();
    tc_.charges.n_charged = n_charged >= 0 ? n_charged : (nq > 0 ? nq : 1);
    tc_.charges.near_flag = near_flag;
    tc_.charges.near_idx = near_idx.data();
    tc_.charges.n_near = static_cast<int>(near_idx.size());
    tc_.par = par;
    tc_.dist_back_init = init_.data();
    return tc_;
  }

  // A probe at pos (Å) moving along dir (normalised here) with reduced speed
  // x_red; dp starts at `dp0` so that untouched transfers are visible.
  Probe probe(const double pos[3], const double dir[3], double x_red = 1.0, double dp0 = 0.0) {
    Probe p;
    const double len = std::sqrt(dir[0] * dir[0] + dir[1] * dir[1] + dir[2] * dir[2]);
    for (int i = 0; i < 3; ++i) {
      p.pos[i] = pos[i];
      p.dir[i] = dir[i] / len;
      p.dp[i] = dp0;
    }
    p.x_red = x_red;
    dist_back_.assign(atoms_.size() + 1, 1000.0);
    p.dist_back = dist_back_.data();
    return p;
  }

  const std::vector<double>& dist_back() const { return dist_back_; }
  double cfactor = 1.0;

 private:
  std::vector<std::vector<double>> atoms_;    // x y z radius mass
  std::vector<std::vector<double>> charges_;  // x y z q
  std::vector<double> coords_, R_, R2_, mass_, move_, q_, q2_, qpos_, init_, dist_back_;
  TrajectoryContext tc_;
};

}  // namespace ccs::trajectory::test
