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

// Samples per orientation of the plug-in.
constexpr int kShadeSamples = 20000;

// Keyed streams (the program): each orientation is a uniformly drawn rotation
// of the molecule seen along the six axes of a regular icosahedron fixed in
// it; the orientation's value is the mean of the six shadow areas. Each axis
// alone is uniform over all directions, so the mean is unbiased; the six
// axes average every even polynomial of the direction up to degree 4
// exactly, so most of the variance between orientations cancels. A shadow's
// area is integrated over probe lines: the shadow's height cut into equal
// bands, one uniformly placed line across each, the covered length of every
// line exact (union_area_lines).
constexpr int kShadeDirections = 6;
// Probe lines per shadow when none are given (the measured trade-off is in
// README.md).
constexpr int kDefaultLinesPerShadow = 32;

// Parameters of one run: one typed record, checked once (validate) by
// whoever fills it (the plug-in entry from its inputs, the program from a
// structure). Lengths in Å.
struct ProjectionParams {
  TableView atoms;          // x, y, z, radius per row
  double Number_atoms = 0;  // equals the row count
  double r_probe = 0;       // added to every radius
  double n_rotations = 0;   // orientations (whole part; NaN and < 1: none)
  double seedn = 0;         // seed of the serial stream (the atom order)
  // Keyed streams only: probe lines per orientation over all its shadows
  // (whole part; below 1: the default above). The plug-in always samples
  // kShadeSamples points on one shadow.
  double lines = 0;
};

// Probe lines per shadow of `p`.
int lines_per_shadow(const ProjectionParams& p);

struct ProjectionResults {
  double mean_area = NAN;     // mean over the orientations with a non-zero area (Å^2)
  std::vector<double> areas;  // area of every orientation in run order (Å^2)
};

// Raises rt::Error "shadecount:badInput" naming the input unless
// Number_atoms is a whole number >= 1 equal to the row count, the table has
// at least 4 columns and no negative radius, and n_rotations is a count a
// loop can run (below 2^29).
void validate(const ProjectionParams& p);

// Runs the method on validated parameters, the orientations in parallel.
// Without keyed streams (the plug-in) the atoms are taken in the order of a
// random permutation (serial stream) and each thread's orientations draw from
// its loop stream; with keyed streams (the program) every orientation draws
// from its own stream (seed_orientation_stream), whichever thread runs it.
void run_projection_method(rt::Context* ctx, const ProjectionParams& p, ProjectionResults* out);

// Keyed streams only: the mean shadow area of orientations [first, first +
// count) (kShadeDirections shadows each, see above).
void run_projection_orientations(rt::Context* ctx, const ProjectionParams& p, int first, int count,
                                 std::vector<double>* areas);

// The typed record of a plug-in call (not yet validated).
ProjectionParams plugin_params(const emxArray_real_T* DATA_atoms, double Number_atoms,
                               double r_probe, double n_rotations, double seedn);



// Sample points covered by at least one disc: a point (x, y) is covered by
// atom g when |X_g - x| < Rmax, |Y_g - y| < Rmax and dy*dy + dx*dx <= reach2_g.
// X, Y: projected atom centres (n each). The plain scan and the grid give the
// same count.
int count_hits_plain(const double* X, const double* Y, const double* reach2, int n,
                     double Rmax, const double* xs, const double* ys, int samples);

// Exact area of the union of discs (centres X, Y; squared radii reach2; n
// each): the boundary arcs of the union integrated by Green's theorem. The
// plain oracle of union_area_lines (a few hundred times slower on C60).
// Discs with a non-finite centre or radius, or radius 0, add nothing; of
// identical discs the first counts. `work` is reused working storage.
struct UnionScratch;
UnionScratch* make_union_scratch();
void free_union_scratch(UnionScratch* w);
double union_area(UnionScratch* w, const double* X, const double* Y, const double* reach2, int n);

// The same area integrated over `lines` probe lines: the discs' vertical
// extent cut into equal bands, in each a line at a uniform height (one draw
// of the calling thread's stream per band, in band order); the covered
// length of each line is exact (its chords merged). Unbiased for union_area.
struct LineScratch;
LineScratch* make_line_scratch();
void free_line_scratch(LineScratch* w);
double union_area_lines(LineScratch* w, const double* X, const double* Y, const double* reach2,
                        int n, int lines);

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
