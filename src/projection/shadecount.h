// Projection approximation: the orientation-averaged area of the shadow the
// ion casts when every atom is a disc of its radius plus the probe radius,
// estimated by Monte Carlo sampling of the bounding rectangle.
#pragma once

#include <vector>

#include "runtime/context.h"
#include "runtime/emx_array.h"

// Samples per orientation.
constexpr int kShadeSamples = 20000;

// Entry computation. DATA_atoms is the computation's private copy (its rows
// are reordered); r1 receives the mean area over orientations with a
// non-zero area (NaN when there is none), r2 always 0.
extern "C" void shadecount(rt::Context* ctx, emxArray_real_T* DATA_atoms, double Number_atoms,
                double r_probe, double n_rotations, double EHSSPA, double seedn, double* r1,
                double* r2);

// The same computation, also handing back the area of every orientation
// (areas[i] for orientation i + 1), from which callers estimate the spread.
void shadecount_areas(rt::Context* ctx, emxArray_real_T* DATA_atoms, double Number_atoms,
                      double r_probe, double n_rotations, double seedn,
                      std::vector<double>* areas, double* r1);

// Checks that the atom table can be read as the computation reads it:
// Number_atoms a whole number >= 1 equal to the row count, at least 4 columns;
// and that n_rotations is a count a loop can run (below 2^29; NaN and values
// below 1 mean no orientation).
void shadecount_check_inputs(const emxArray_real_T* DATA_atoms, double Number_atoms,
                             double n_rotations = 0.0);

namespace projection {

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

}  // namespace projection
