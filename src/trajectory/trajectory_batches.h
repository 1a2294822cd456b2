// Batches of trajectories for one orientation: the sphere loop and the three
// box-face loops. Each iteration draws its entry point, direction and reduced
// speed from the executing thread's loop stream, in a fixed order, runs one
// trajectory through the caller's kernel and stores the returned momentum
// transfer as one row of the batch's result matrix. Each thread adds the
// number of trajectories it launched to a shared counter at the end of its
// share.
#pragma once

#include "runtime/context.h"

namespace ccs::trajectory {

// Per-thread trajectory runner: `make` creates the thread's working storage
// (once per thread and loop), `run` computes one trajectory's momentum
// transfer dp (zeroed by the caller) from its entry point p (Å), unit
// direction d and reduced speed x_red, `destroy` frees the storage.
struct TrajectoryRunner {
  void* (*make)(const void* shared);
  void (*run)(const void* shared, void* work, const double p[3], const double d[3],
              double x_red, double dp[3]);
  void (*destroy)(void* work);
  const void* shared;
};

// Entry geometry of an orientation.
struct EntrySphere {
  double centre[3];  // c' (Å)
  double Rs;         // radius (Å)
  double N_total;    // trajectories: (int) N_total; the first half enters from +x
};

struct EntryBox {
  double lo[3];  // x_lo, y_lo, z_lo (Å)
  double hi[3];  // x_hi, y_hi, z_hi (Å)
  double L[3];   // edge lengths (Å)
};

// Reduced speed x in [0, 5) with density proportional to x^4 exp(-x^2).
double sample_reduced_speed();

// Each loop fills `result` (count x 3, column-major, leading dimension `ld`,
// rows from `row0`) and adds its launches to *launched under the nest lock.
void run_sphere_loop(rt::Context* ctx, const EntrySphere& s, const TrajectoryRunner& r,
                     double* result, int ld, int row0, double* launched);
// axis 0, 1, 2: the x-, y- and z-face loops.
void run_face_loop(rt::Context* ctx, int axis, int count, const EntryBox& b,
                   const TrajectoryRunner& r, double* result, int ld, int row0,
                   double* launched);

}  // namespace ccs::trajectory
