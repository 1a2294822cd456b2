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
  void (*run)(rt::Context* thread_ctx, const void* shared, void* work, const double p[3],
              const double d[3], double x_red, double dp[3]);
  void (*destroy)(void* work);
  const void* shared;
  // Optional (disc loop): `count` trajectories at once, each with the
  // transfer `run` gives it (written whole into dp). Null: one by one.
  void (*run_group)(rt::Context* thread_ctx, const void* shared, void* work, int count,
                    const double (*p)[3], const double (*d)[3], const double* x_red,
                    double (*dp)[3]) = nullptr;
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

// Reduced speed x in [0, 5) with density proportional to x^5 exp(-x^2)
// (x^2 is a gamma(3) variate: three uniforms, no rejection but for the
// tail beyond 5, about 5e-9). Returns x; *weight is the ratio of the
// x^4 exp(-x^2) density to this one at x, so that weighted means are those
// of sample_reduced_speed.
double sample_momentum_weighted_speed(double* weight);

// Entry through the disc facing each direction (the program's sampling):
// the direction d has density |d_x| on the hemisphere of the sign of d_x
// (the first half of the trajectories d_x > 0), the impact point lies on the
// disc of radius Rs through the centre perpendicular to d, and the probe
// starts where the line through it meets the sphere of radius Rs; this is
// the distribution of the sphere loop. Here the impact point is drawn with a
// density in three rings instead of uniformly: relative density 1 within
// inner * S(d), `middle_density` out to outer * S(d) and `outer_density`
// beyond, where S(d) is the shadow radius of the molecule seen along d (the
// largest distance of an atom surface from the axis through the centre).
// Speeds come from sample_momentum_weighted_speed. Every transfer is
// multiplied by the likelihood ratio of the sphere loop's distribution to
// this one, so the weighted sum has the sphere loop's expectation.
struct EntryDisc {
  double centre[3];  // c' (Å)
  double Rs;         // radius (Å)
  double N_total;    // trajectories: (int) N_total
  const double* coords;  // N x 3 atom centres (Å), column-major
  const double* R;       // N atom radii (Å)
  int N;
  double inner, outer;                   // ring radii in shadow radii, 0 < inner <= outer
  double middle_density, outer_density;  // relative to the inner disc, in (0, 1]
};

// Largest distance of an atom surface (centre plus radius) from the line
// through `centre` along the unit vector d (Å).
double shadow_radius(const EntryDisc& s, const double d[3]);

// Each loop fills `result` (count x 3, column-major, leading dimension `ld`,
// rows from `row0`) and adds its launches to *launched under the nest lock.
void run_sphere_loop(rt::Context* ctx, const EntrySphere& s, const TrajectoryRunner& r,
                     double* result, int ld, int row0, double* launched);
void run_disc_loop(rt::Context* ctx, const EntryDisc& s, const TrajectoryRunner& r,
                   double* result, int ld, int row0, double* launched);
// axis 0, 1, 2: the x-, y- and z-face loops.
void run_face_loop(rt::Context* ctx, int axis, int count, const EntryBox& b,
                   const TrajectoryRunner& r, double* result, int ld, int row0,
                   double* launched);

}  // namespace ccs::trajectory
