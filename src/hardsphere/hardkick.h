// Exact hard-sphere scattering: mobility and collision cross section of an
// ion from straight-line flights of buffer-gas molecules that reflect off the
// atoms' hard spheres.
#pragma once

#include <memory>
#include <vector>

#include "runtime/collision_law.h"
#include "runtime/context.h"
#include "runtime/emx_array.h"
#include "runtime/views.h"

namespace ccs::hardsphere {

// Parameters of one run: one typed record, checked once (validate) by
// whoever fills it (the plug-in entry from its inputs, the program from
// physical conditions). SI units except the molecule's lengths (Å).
struct HardSphereParams {
  TableView atoms;          // x, y, z, radius (Å) per row
  double Number_atoms = 0;  // equals the row count
  double r_probe = 0;       // added to every radius (Å)
  double m_gas = 0;         // kg
  double m_w = 0;           // ion mass (kg)
  double z = 1;             // ion charge (e)
  double p0 = 101325.0;     // Pa
  double T0 = 298.15;       // K
  OrientationMode orientations = OrientationMode::Random;
  double n_rotations = 0;   // orientations (3 in AxisTensor)
  double N_total = 0;       // trajectories per orientation
  double seedn = 0;         // seed of the serial stream
  double a = 0;             // probability that a collision is diffuse
  DiffuseDirection diffusive = DiffuseDirection::Specular;
  bool maxwell_speed = false;  // diffuse speed from the flux-weighted Maxwell law
  double v_c2 = 0;             // diffuse speed scale (m/s); 0: the launch speed
};

struct HardSphereResults {
  // The plug-in's results r1..r5: 0; the cross sections (Å^2) of r4 and r5;
  // the mobilities (cm^2/(V s)): the mean over random orientations (NaN
  // included; r5 = r4), or in axis mode from the trace of the orientation
  // table and from 2000 random directions through it.
  double r[5] = {0, 0, 0, 0, 0};
  double trajectories = 0;           // launched over all orientations
  std::vector<double> mobility;      // per orientation (cm^2/(V s))
  std::vector<double> table;         // n_rotations x 3 transfers (axis mode: input axes)
  std::vector<double> per_orientation_ccs;  // random mode: r2 r4 / K_i (Å^2)
};

// Raises rt::Error "hardkick:badInput" naming the input for an atom table
// with fewer than 4 columns or a negative radius, Number_atoms below 1 or
// different from its row count, axis mode with n_rotations other than 3, and
// n_rotations or N_total of 2^29 or more (NaN and counts below 1 mean none).
void validate(const HardSphereParams& p);

// Runs the method on validated parameters. Without keyed streams (the
// plug-in) the orientations follow one another from the serial stream seeded
// with seedn, each turning the molecule on from the last, and the
// trajectories run on the loop streams. With keyed streams (the program)
// every orientation is independent: the molecule turned by a uniform rotation
// from the orientation's own stream, its trajectories keyed by it.
void run_hard_sphere_method(rt::Context* ctx, const HardSphereParams& p, HardSphereResults* out);

// The rows of a block of orientations of a run with keyed streams.
struct HardSphereRows {
  int first = 0;                 // 0-based index of the block's first orientation
  std::vector<double> table;     // count x 3, column-major (axis mode: input axes)
  std::vector<double> mobility;  // per orientation (cm^2/(V s))
  std::vector<int> launched;     // trajectories per orientation
};

// A run's molecule prepared once for the many blocks of its orientations
// that a caller runs one after the other (the distributed program's units):
// a block then neither prepares nor copies the molecule (at 10^6 atoms that
// is about 100 MB, more than a block of one orientation costs).
struct HardSphereBlocks;
std::shared_ptr<HardSphereBlocks> prepare_hard_sphere_blocks(const HardSphereParams& p);

// Keyed streams only: orientations [first, first + count) (whole
// orientations in parallel when there are enough, else the trajectories of
// each), and the results of a run from the rows of all its orientations.
// `prepared` (of the same p) or null; the numbers are the same.
void run_hard_sphere_orientations(rt::Context* ctx, const HardSphereParams& p, int first,
                                  int count, HardSphereRows* rows,
                                  HardSphereBlocks* prepared = nullptr);
void summarize_hard_sphere_orientations(rt::Context* ctx, const HardSphereParams& p,
                                        const HardSphereRows& rows, HardSphereResults* out);

// The plug-in's inputs by name, as it takes them.
struct HardkickInputs {
  const emxArray_real_T* DATA_atoms = nullptr;
  double Number_atoms = 0, r_probe = 0, m_gas = 0, m_w = 0, z = 0, N_total = 0;
  double n_rotations = 0, a = 0, diffusive = 0, v_c2 = 0, random_C = 0, p0 = 0, T0 = 0;
  double seedn = 0, MobcalHS = 0;
};

// The typed record of a plug-in call: MobcalHS 0 selects the axis
// orientations, diffusive 0/1 the specular/cosine direction, random_C 1 the
// Maxwell speed. Not yet validated.
HardSphereParams plugin_params(const HardkickInputs& in);

}  // namespace ccs::hardsphere

// The plug-in's entry computation (positional, as exported): validates and
// runs. excelsheet is not read or written.
extern "C" void hardkick(rt::Context* ctx, emxArray_real_T* DATA_atoms, double* excelsheet,
                         double* r1, double* r2, double* r3, double Number_atoms, double r_probe,
                         double m_gas, double m_w, double z, double N_total, double n_rotations,
                         double a, double diffusive, double v_c2, double random_C, double p0,
                         double T0, double seedn, double MobcalHS, double* r4, double* r5);

// Gas mass density (kg/m^3) of an ideal gas of molecules of mass m_gas (kg)
// at pressure p0 (Pa) and temperature T0 (K), with the method's own k_B.
double hardkick_gas_density(double p0, double T0, double m_gas);

// Launch and reference speed sqrt(128 k T0 / (9 pi m_gas)) (m/s).
double hardkick_thermal_speed(double T0, double m_gas);
