// Projection approximation: the orientation-averaged area of the shadow the
// ion casts when every atom is a disc of its radius plus the probe radius,
// estimated by Monte Carlo sampling of the bounding rectangle.
#pragma once

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

// Checks that the atom table can be read as the computation reads it:
// Number_atoms a whole number >= 1 equal to the row count, at least 4 columns.
void shadecount_check_inputs(const emxArray_real_T* DATA_atoms, double Number_atoms);

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
