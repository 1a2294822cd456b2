// The trajectory method: mobility and CCS of an ion from the momentum that
// gas molecules, launched from an entry sphere or box around the ion,
// transfer to it. One driver serves three plug-ins:
//   tracerun_plus  hard-sphere atoms that may move along stored frames,
//   tracerun       hard-sphere atoms held fixed,
//   tracerun_well  a soft Lennard-Jones field on every atom instead.
#pragma once

#include "runtime/context.h"
#include "runtime/emx_array.h"
#include "trajectory/lj_kernels.h"

namespace ccs::trajectory {

enum class Variant { Moving, Fixed, Well };

// Inputs of the three plug-ins (names as the plug-ins call them). Arrays are
// read only, except Move_pos, which is centred and rotated in place (the
// caller hands over a private copy).
struct TrajectoryInputs {
  double boxdomain = 0, deltatenhance = 1, random_C = 0, diffusive = 0, multiplier = 1;
  double z = 1, e = 1.602e-19, m_w = 0, Kb = 1.380649e-23, T0 = 298.15, N_total = 0;
  double rho_g = 0, Kappa = 0, n_rotations = 0, Force_const = 0, a = 0, m_gas = 0;
  double v_c = 0, v_c2 = 0, v_c_return = 0, Number_atoms = 0, r_probe = 0, v_c_t = 0;
  double seedn = 0, MobcalHS = 0, cfactor = 1, qpol = 0;
  // Not plug-in inputs (the plug-ins keep these defaults):
  // energy scale of the three-site orientation weights (J); the program
  // passes k_B T of the run.
  double three_site_kT = kThreeSitePluginKT;
  // Least radius (Å) of the entry domain about the centroid of every
  // orientation, whatever the charges; 0: none. The program sets it to cover
  // the reach of the Lennard-Jones attraction.
  double min_entry_radius = 0;
  const emxArray_real_T* DATA_atoms = nullptr;
  const emxArray_real_T* massarray = nullptr;  // Moving
  emxArray_real_T* Move_pos = nullptr;         // Moving
  const emxArray_real_T* epsili = nullptr;     // Well
  const emxArray_real_T* sigmai = nullptr;     // Well
  const emxArray_real_T* sigma2i = nullptr;    // Well
};

// Scalar results 1..11 (result k of the plug-ins' output tables).
struct TrajectoryResults {
  double r[11] = {0};
  double launched_total = 0;  // trajectories launched over all orientations
};

// Raises rt::Error naming the input when the arrays cannot be read as the
// driver reads them, or when a mode would read past the orientation table.
void trajectory_check_inputs(Variant v, const TrajectoryInputs& in);

// Runs the method. `table` receives the n_rotations x 3 orientation table.
void run_trajectory_method(rt::Context* ctx, Variant v, const TrajectoryInputs& in,
                           emxArray_real_T* table, TrajectoryResults* out);

}  // namespace ccs::trajectory
