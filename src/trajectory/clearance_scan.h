// Distance check of the trajectory kernels: the atom with the smallest
// clearance (centre distance minus collision radius) to the probe, scanning
// the atoms in index order with a running minimum that a later atom takes
// over on an equal clearance, and stopping at the first atom the probe
// overlaps (clearance <= 0, or not a number).
//
// The squared centre distances of all atoms are formed first in one
// vectorisable pass and kept for the contact search. The scan then takes a
// square root only where the atom could beat the running minimum: an atom
// with d^2 > (m + R_max)^2 (1 + 1e-12) has a rounded clearance above m for
// certain, so skipping it changes nothing. Blocks of atoms that all lie
// beyond that distance are passed over with one vector test.
#pragma once

#include <cmath>
#include <limits>

#include "trajectory/trajectory_records.h"

namespace ccs::trajectory {

struct ClearanceResult {
  int overlap = -1;     // first overlapped atom (0-based), -1 if none
  int idx_near = -1;    // atom of the running minimum (unchanged if N = 0)
  double d_near = 0.0;  // its centre distance (Å)
};

// Largest collision radius, or +inf when a radius is not a number (then
// nothing is skipped).
inline double skip_radius(const Molecule& mol) {
  double r = -std::numeric_limits<double>::infinity();
  for (int i = 0; i < mol.N; ++i) {
    if (std::isnan(mol.R[i])) return std::numeric_limits<double>::infinity();
    if (mol.R[i] > r) r = mol.R[i];
  }
  return r;
}

// Squared distance below which an atom may have a clearance <= m.
inline double skip_threshold(double m, double r_skip) {
  const double s = m + r_skip;
  if (!(s > 1e-100) || std::isinf(s)) return std::numeric_limits<double>::infinity();
  return s * s * (1.0 + 1e-12);
}

// Fills d2[0..N) with the squared centre distances (Å^2) to pos and scans.
inline ClearanceResult scan_clearance(const Molecule& mol, const double pos[3], double r_skip,
                                      double* __restrict d2) {
  const int N = mol.N;
  const double* __restrict cx = mol.coords;
  const double* __restrict cy = cx + N;
  const double* __restrict cz = cy + N;
  const double px = pos[0];
  const double py = pos[1];
  const double pz = pos[2];
#pragma omp simd
  for (int i = 0; i < N; ++i) {
    const double dx = cx[i] - px;
    const double dy = cy[i] - py;
    const double dz = cz[i] - pz;
    d2[i] = (dx * dx + dy * dy) + dz * dz;
  }
  ClearanceResult res;
  double m = 1e6;
  double T = skip_threshold(m, r_skip);
  constexpr int kBlock = 8;
  int i = 0;
  while (i < N) {
    // Pass over whole blocks of atoms that all lie beyond the threshold.
    if (i + kBlock <= N) {
      int near = 0;
#pragma omp simd reduction(| : near)
      for (int j = 0; j < kBlock; ++j) near |= !(d2[i + j] > T);
      if (!near) {
        i += kBlock;
        continue;
      }
    }
    const int end = i + kBlock < N ? i + kBlock : N;
    for (; i < end; ++i) {
      if (d2[i] > T) continue;
      const double d = std::sqrt(d2[i]);
      const double c = d - mol.R[i];
      if (c > m) continue;
      m = c;
      res.idx_near = i;
      res.d_near = d;
      if (c > 0.0) {
        T = skip_threshold(m, r_skip);
        continue;
      }
      res.overlap = i;
      return res;
    }
  }
  return res;
}

}  // namespace ccs::trajectory
