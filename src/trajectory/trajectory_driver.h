// The trajectory method: mobility and cross section of an ion from the
// momentum that gas molecules, launched from an entry sphere or box around
// the ion, transfer to it. One driver serves three plug-ins:
//   tracerun_plus  hard-sphere atoms that may move along stored frames,
//   tracerun       hard-sphere atoms held fixed,
//   tracerun_well  a soft Lennard-Jones field on every atom instead.
#pragma once

#include <vector>

#include "runtime/context.h"
#include "trajectory/trajectory_params.h"

namespace ccs::trajectory {

struct TrajectoryResults {
  // The plug-ins' scalar results 1..11: 1, 0, 0, 0, trajectories of the last
  // orientation, 0, cross section (Å^2) and mobility (cm^2/(V s)) of the
  // orientation average (random mode) or of the tensor's eigenvalues (axis
  // mode), the same from 2000 directions through the tensor, 0.
  double r[11] = {0};
  double launched_total = 0;  // trajectories launched over all orientations
  // n_rotations x 3 orientation table, column-major: per orientation the
  // flux-normalised momentum transfer (axis mode: in the input axes).
  std::vector<double> table;
  // Random mode: the cross section of each orientation (Å^2) by the same
  // relation as the mean; 0 rows give infinity, NaN rows NaN.
  std::vector<double> per_orientation_ccs;
};

// Runs the method on validated parameters (see validate). Raises rt::Error
// "interrupted" when the context's cancel flag is set.
void run_trajectory_method(rt::Context* ctx, const TrajectoryParams& p, TrajectoryResults* out);

}  // namespace ccs::trajectory
