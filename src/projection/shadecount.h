// Projection approximation: the orientation-averaged area of the shadow the
// ion casts when every atom is a disc of its radius plus the probe radius,
// estimated by Monte Carlo sampling of the bounding rectangle.
#pragma once

#include <cmath>
#include <vector>

#include "runtime/context.h"
#include "runtime/emx_array.h"
#include "runtime/views.h"

namespace ccs::projection {

// Samples per orientation.
constexpr int kShadeSamples = 20000;

// Parameters of one run: one typed record, checked once (validate) by
// whoever fills it (the plug-in entry from its inputs, the program from a
// structure). Lengths in Å.
struct ProjectionParams {
  TableView atoms;          // x, y, z, radius per row
  double Number_atoms = 0;  // equals the row count
  double r_probe = 0;       // added to every radius
  double n_rotations = 0;   // orientations (whole part; NaN and < 1: none)
  double seedn = 0;         // seed of the serial stream (the atom order)
};

struct ProjectionResults {
  double mean_area = NAN;     // mean over the orientations with a non-zero area (Å^2)
  std::vector<double> areas;  // area of every orientation in run order (Å^2)
};

// Raises rt::Error "shadecount:badInput" naming the input unless
// Number_atoms is a whole number >= 1 equal to the row count, the table has
// at least 4 columns and no negative radius, and n_rotations is a count a
// loop can run (below 2^29).
void validate(const ProjectionParams& p);

// Runs the method on validated parameters: the atoms in the order of a
// random permutation (serial stream), the orientations in parallel, each
// from its loop stream (keyed streams when the context has them).
void run_projection_method(rt::Context* ctx, const ProjectionParams& p, ProjectionResults* out);

// The typed record of a plug-in call (not yet validated).
ProjectionParams plugin_params(const emxArray_real_T* DATA_atoms, double Number_atoms,
                               double r_probe, double n_rotations, double seedn);



// Sample points covered by at least one disc: a point (x, y) is covered by
// atom g when |X_g - x| < Rmax, |Y_g - y| < Rmax and dy*dy + dx*dx <= reach2_g.
// X, Y: projected atom centres (n each). The plain scan and the grid give the
// same count.
int count_hits_plain(const double* X, const double* Y, const double* reach2, int n,
                     double Rmax, const double* xs, const double* ys, int samples);

struct DiscGrid;  // per-thread working storage of the grid count
DiscGrid* make_grid();
void free_grid(DiscGrid* g);
int count_hits_grid(DiscGrid* g, const double* X, const double* Y, const double* reach2, int n,
                    double Rmax, const double* xs, const double* ys, int samples);

}  // namespace ccs::projection

// The plug-in's entry computation (positional, as exported): validates and
// runs; r1 receives the mean area (NaN when no orientation has an area), r2
// always 0.
extern "C" void shadecount(rt::Context* ctx, emxArray_real_T* DATA_atoms, double Number_atoms,
                           double r_probe, double n_rotations, double EHSSPA, double seedn,
                           double* r1, double* r2);
