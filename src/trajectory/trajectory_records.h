// Plain records the trajectory kernels read and write.
//
// The shared, read-only description of one orientation (molecule, charges,
// run parameters, the no-contact back-off row) is a TrajectoryContext; one
// trajectory's inputs and outputs are a Probe; the working arrays a thread
// reuses from trajectory to trajectory are a TrajectoryScratch. All arrays are
// borrowed (pointers to the caller's storage) and column-major.
//
// Units: molecule geometry in Å; charge positions and the exit box in m;
// speeds in m/s; masses of the gas in kg and of the atoms in g/mol.
#pragma once

#include <vector>

#include "runtime/collision_law.h"

namespace ccs::trajectory {

struct Molecule {
  int N = 0;                       // Number_atoms
  const double* coords = nullptr;  // N x 3 atom coordinates (Å)
  const double* R = nullptr;       // N collision radii: atom radius + probe radius (Å)
  const double* R2 = nullptr;      // N squared collision radii (Å^2)

  // Moving atoms only (moving_atom_trajectory).
  const double* massarray = nullptr;  // N atom masses (g/mol)
  const double* Move_pos = nullptr;   // move_rows x 3 atom positions of stacked frames, 1 fs apart (Å)
  int move_rows = 0;                  // F * N rows of Move_pos
  double cfactor = 0.0;               // factor on the velocity of an atom lighter than the gas molecule
};

struct Charges {
  int nq = 0;                     // number of charges
  const double* q = nullptr;      // nq charge values (e)
  const double* q2 = nullptr;     // nq squared charge values
  const double* qpos = nullptr;   // nq x 3 charge positions (m)
  int n_charged = 0;              // length of the charged-atom index list
  double near_flag = 0.0;         // 1: shorten the time step near strong charges
  const double* near_idx = nullptr;  // 1-based indices of the charges with |q| > 1.5
  int n_near = 0;
};

struct KernelParams {
  double deltatenhance = 1.0;  // divisor of the time-step rule
  bool maxwell_speed = false;  // diffuse re-emission speed from the flux-weighted Maxwell law
  DiffuseDirection diffusive = DiffuseDirection::Specular;  // diffuse re-emission direction
  double r_capture = 0.0;      // capture radius about a single charge (m)
  double Force_const = 0.0;    // ion-induced-dipole force constant K_F (m^6/s^2)
  double dt0 = 0.0;            // initial time step (s)
  double a = 0.0;              // probability that a collision is diffuse
  double m_gas = 0.0;          // gas molecule mass (kg)
  double v_c = 0.0;            // reference speed of the time-step and tie rules (m/s)
  double v_c2 = 0.0;           // mean re-emission speed (m/s); 0: re-emit with v_inf
  double v_c_return = 0.0;     // speed after a diffuse collision of an undefined law (m/s)
  double multiplier = 1.0;     // maximum number of passes
  double v_c_t = 0.0;          // speed scale: v_inf = x_red * v_c_t (m/s)
  double box[6] = {0, 0, 0, 0, 0, 0};  // exit box xmin xmax ymin ymax zmin zmax (m)
};

struct TrajectoryContext {
  Molecule mol;
  Charges charges;
  KernelParams par;
  const double* dist_back_init = nullptr;  // N + 1 entries, all 1000
};

// One trajectory. The kernel leaves dp unchanged unless a transfer rule
// writes it; pos and dir are overwritten as the trajectory proceeds.
struct Probe {
  double x_red = 0.0;                 // reduced speed
  double pos[3] = {0, 0, 0};          // entry point (Å); on return the last checked position
  double dir[3] = {0, 0, 0};          // unit direction of entry
  double dp[3] = {0, 0, 0};           // momentum transfer (kg m/s)
  double* dist_back = nullptr;        // N + 1 back-off distances (Å), all 1000 on entry
};

// Working arrays, sized once and reused by every trajectory a thread runs:
// the squared atom distances of the distance check and the many-charge
// field's products.
struct TrajectoryScratch {
  std::vector<double> d2;  // N squared centre distances (Å^2)

  std::vector<double> D;   // nq x 3 charge offsets
  std::vector<double> r2;  // nq
  std::vector<double> s1;  // nq
  std::vector<double> w;   // nq
  std::vector<double> e;   // nq
  std::vector<double> g;   // nq

  void prepare_atoms(int N) {
    if (N > 0 && d2.size() < static_cast<std::size_t>(N)) d2.resize(static_cast<std::size_t>(N));
  }

  void prepare_charges(int nq) {
    const std::size_t n = nq > 0 ? static_cast<std::size_t>(nq) : 0;
    if (D.size() < 3 * n) D.resize(3 * n);
    for (auto* v : {&r2, &s1, &w, &e, &g})
      if (v->size() < n) v->resize(n);
  }
};

}  // namespace ccs::trajectory
