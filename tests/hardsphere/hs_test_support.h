// Molecules, kernel set-ups and driver calls shared by the hard-sphere tests.
#pragma once

#include <omp.h>

#include <array>
#include <cmath>
#include <vector>

#include "hardsphere/hardkick.h"
#include "hardsphere/momentum_transfer.h"
#include "runtime/emx_array.h"
#include "runtime/geometry.h"
#include "runtime/random_streams.h"

namespace hs_test {

using Atom = std::array<double, 4>;  // x, y, z, radius (Å)

constexpr double kPi = 3.141592653589793;
constexpr double kAmu = 1.66054e-27;
constexpr double kNitrogenMass = 28.0134 * kAmu;

// The kernel's molecule records over owned storage (radii are collision radii).
struct KernelMolecule {
  explicit KernelMolecule(const std::vector<Atom>& atoms) {
    const size_t n = atoms.size();
    P.resize(3 * n);
    r2.resize(n);
    ones.assign(n, 1.0);
    no_contact.assign(n, 1000.0);
    for (size_t i = 0; i < n; ++i) {
      for (size_t j = 0; j < 3; ++j) P[i + j * n] = atoms[i][j];
      r2[i] = atoms[i][3] * atoms[i][3];
    }
  }
  HsAtoms atoms() const {
    HsAtoms a{static_cast<int>(r2.size()), ones.data(), no_contact.data(), r2.data(), P.data(),
              use_grid ? &grid : nullptr, inline_products};
    a.bounded = inline_products && hs_bounded(a);
    if (!turn.empty()) {
      a.turn = turn.data();
      a.bounded = inline_products && turned_bounded;
    }
    return a;
  }
  // Searches contacts through a spatial index from now on.
  bool build_grid() {
    use_grid = hs_grid_build(atoms(), &grid);
    return use_grid;
  }
  // The atoms from now on are these turned by R (P R), formed by the kernel.
  void turn_by(const double R[9]) {
    ccs::geometry::ColumnSummary c;
    ccs::geometry::summarize_turned_columns(P.data(), static_cast<int>(r2.size()), &R, 1, &c);
    turned_bounded = hs_radii_bounded(atoms()) && hs_coordinates_bounded(c);
    turn.assign(R, R + 9);
  }
  HsScratch scratch() {
    const int cells = use_grid ? grid.dims[0] * grid.dims[1] * grid.dims[2] : 0;
    return hs_scratch_for(store, static_cast<int>(r2.size()), cells);
  }
  std::vector<double> P, r2, ones, no_contact;
  HsScratchStore store;
  HsGrid grid;
  std::vector<double> turn;  // the rotation the atoms are turned by, when set
  bool turned_bounded = false;
  bool use_grid = false;
  bool inline_products = false;  // the program's written-out products
};

// The atoms turned by R (rows times R, as the program turns a molecule).
inline std::vector<Atom> turned(const std::vector<Atom>& atoms, const double R[9]) {
  const size_t n = atoms.size();
  std::vector<double> P(3 * n), T(3 * n);
  for (size_t i = 0; i < n; ++i)
    for (size_t j = 0; j < 3; ++j) P[i + j * n] = atoms[i][j];
  ccs::geometry::rotate_rows_into(P.data(), static_cast<int>(n), R, T.data());
  std::vector<Atom> out(atoms);
  for (size_t i = 0; i < n; ++i)
    for (size_t j = 0; j < 3; ++j) out[i][j] = T[i + j * n];
  return out;
}

// Saves and restores the stream the calling thread draws from now.
struct StreamSnapshot {
  StreamSnapshot() : saved(*rt::rng::current_state()) {}
  void restore() const { *rt::rng::current_state() = saved; }
  rt::MtState saved;
};

// Number of doubles drawn from the current stream since `snap`, found by
// replaying from the snapshot (up to `max_draws`; -1 if not found).
inline int draws_since(const StreamSnapshot& snap, int max_draws = 5000) {
  const rt::MtState now = *rt::rng::current_state();
  rt::MtState replay = snap.saved;
  for (int k = 0; k <= max_draws; ++k) {
    bool same = true;
    for (int w = 0; w < 625 && same; ++w) same = replay.w[w] == now.w[w];
    if (same) return k;
    rt::mt_double(replay);
  }
  return -1;
}

// An atom table (rows x 4) owned by the caller.
inline rt::RealArray atom_table(const std::vector<Atom>& atoms) {
  rt::RealArray t = rt::make_real(static_cast<int32_T>(atoms.size()), 4);
  const size_t n = atoms.size();
  for (size_t i = 0; i < n; ++i) {
    for (size_t j = 0; j < 4; ++j) t->data[i + j * n] = atoms[i][j];
  }
  return t;
}

struct Params {
  double r_probe = 0.0;
  double m_gas = kNitrogenMass;
  double m_w = 1000.0 * kAmu;
  double z = 1.0;
  double N_total = 1000;
  double n_rotations = 1;
  double a = 0.0;
  double diffusive = 1.0;
  double v_c2 = 0.0;
  double random_C = 0.0;
  double p0 = 101325.0;
  double T0 = 298.0;
  double seedn = 1;
  double MobcalHS = 1;
};

struct Outputs {
  double r1, r2, r3, r4, r5, excelsheet;
};

inline Outputs run(const std::vector<Atom>& atoms, const Params& p, double excelsheet = 7.5) {
  rt::RootContext root;
  rt::RealArray table = atom_table(atoms);
  Outputs o{NAN, NAN, NAN, NAN, NAN, excelsheet};
  hardkick(root.get(), table.get(), &o.excelsheet, &o.r1, &o.r2, &o.r3,
           static_cast<double>(atoms.size()), p.r_probe, p.m_gas, p.m_w, p.z, p.N_total,
           p.n_rotations, p.a, p.diffusive, p.v_c2, p.random_C, p.p0, p.T0, p.seedn, p.MobcalHS,
           &o.r4, &o.r5);
  return o;
}

// Ring of n overlapping spheres of radius r on a circle of radius R (xy plane).
inline std::vector<Atom> ring(int n, double R, double r) {
  std::vector<Atom> atoms;
  for (int i = 0; i < n; ++i) {
    const double t = 2.0 * kPi * i / n;
    atoms.push_back({R * std::cos(t), R * std::sin(t), 0.0, r});
  }
  return atoms;
}

}  // namespace hs_test
