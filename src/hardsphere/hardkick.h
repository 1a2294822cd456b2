// Exact hard-sphere scattering: mobility and collision cross section of an
// ion from straight-line flights of buffer-gas molecules that reflect off the
// atoms' hard spheres.
#pragma once

#include <vector>

#include "runtime/context.h"
#include "runtime/emx_array.h"

// Computes, for the atom table DATA_atoms (x, y, z, radius in Å per row):
//   r1 = 0;
//   r2, r3 = cross sections (Å²) from r4 and r5;
//   r4, r5 = mobilities (cm²/(V s)): the mean over random orientations
//   (MobcalHS != 0, NaN included; r5 = r4), or in axis-permutation mode
//   (MobcalHS = 0, n_rotations = 3) from the trace of the orientation table
//   and from 2000 random directions through it.
// excelsheet is not read or written. Orientation draws come from the serial
// stream seeded with seedn, trajectory draws from the loop streams.
// Raises "hardkick:badInput" for inputs hardkick_check_inputs rejects.
extern "C" void hardkick(rt::Context* ctx, emxArray_real_T* DATA_atoms, double* excelsheet, double* r1,
              double* r2, double* r3, double Number_atoms, double r_probe, double m_gas, double m_w,
              double z, double N_total, double n_rotations, double a, double diffusive, double v_c2,
              double random_C, double p0, double T0, double seedn, double MobcalHS, double* r4,
              double* r5);

// What hardkick computes for each orientation.
struct HardkickOrientations {
  std::vector<double> mobility;  // K of orientation o + 1 (cm²/(V s))
  double trajectories = 0;       // trajectories run over all orientations
  // Orientation table, n_rotations x 3, column-major: the momentum transfer
  // of each orientation (in axis-permutation mode the three rows in the
  // input axes, the tensor whose eigenvalues give the mobility).
  std::vector<double> table;
};

// The same computation as hardkick, also filling `per` (callers estimate the
// spread over orientations from it).
void hardkick_orientations(rt::Context* ctx, emxArray_real_T* DATA_atoms, double* r1, double* r2,
                           double* r3, double Number_atoms, double r_probe, double m_gas,
                           double m_w, double z, double N_total, double n_rotations, double a,
                           double diffusive, double v_c2, double random_C, double p0, double T0,
                           double seedn, double MobcalHS, double* r4, double* r5,
                           HardkickOrientations* per);

// Rejects (rt::raise "hardkick:badInput") an atom table with fewer than 4
// columns, Number_atoms below 1 or different from its row count,
// axis-permutation mode (MobcalHS = 0) with n_rotations other than 3, and
// n_rotations or N_total of 2^29 or more (NaN and counts below 1 mean none).
void hardkick_check_inputs(const emxArray_real_T* DATA_atoms, double Number_atoms,
                           double n_rotations, double MobcalHS, double N_total = 0.0);

// Gas mass density (kg/m^3) of an ideal gas of molecules of mass m_gas (kg)
// at pressure p0 (Pa) and temperature T0 (K).
double hardkick_gas_density(double p0, double T0, double m_gas);

// Launch and reference speed sqrt(128 k T0 / (9 pi m_gas)) (m/s).
double hardkick_thermal_speed(double T0, double m_gas);
