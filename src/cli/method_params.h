// The typed parameter records of the methods, filled from a structure and
// the settings of a run (physical conditions, parameter tables, numerics),
// with the storage they point into. Internal to the program's library.
#pragma once

#include <string>
#include <vector>

#include "cli/physics.h"
#include "cli/run.h"
#include "cli/structure.h"
#include "projection/shadecount.h"
#ifdef CCS_CLI_HAVE_HARDKICK
#include "hardsphere/hardkick.h"
#endif
#ifdef CCS_CLI_HAVE_TRAJECTORY
#include "trajectory/trajectory_params.h"
#endif

namespace ccs::cli {

// Collision radius per atom from the hard-sphere table. Raises InputError
// (naming the file) for an element without one.
std::vector<double> radii(const Structure& s, const RunSettings& st);

// N x 4 atom table, column-major: x, y, z, radius.
std::vector<double> radius_table(const Structure& s, const std::vector<double>& radius);

// The projection approximation of `s` (atoms in `table`).
ccs::projection::ProjectionParams projection_params(const Structure& s, const RunSettings& st,
                                                   std::vector<double>& table);

#ifdef CCS_CLI_HAVE_HARDKICK
// Exact hard-sphere scattering of `s` with ion charge z (atoms in `table`).
ccs::hardsphere::HardSphereParams hard_sphere_params(const Structure& s, const RunSettings& st,
                                                     double z, std::vector<double>& table);
#endif

#ifdef CCS_CLI_HAVE_TRAJECTORY
// Storage the trajectory method's parameter record points into.
struct TrajectoryStore {
  std::vector<double> atoms;         // N x 5: x, y, z, size (Å), charge (e; NaN: none)
  std::vector<double> masses;        // g/mol
  std::vector<double> frames;        // F N x 3 (Å)
  std::vector<double> eps, s6, s12;  // soft field, per atom (J, m^6, m^12)
  std::vector<LjCentre> centres;     // soft field: for the reach of the attraction
};


// The trajectory method of `s` (filling `store`); notes and the model go to r.
ccs::trajectory::TrajectoryParams trajectory_params(const Structure& s, const RunSettings& st,
                                                    TrajectoryStore& store, RunResult& r);
#endif

}  // namespace ccs::cli
