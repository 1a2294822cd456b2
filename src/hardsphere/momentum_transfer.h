// Momentum-transfer kernel of exact hard-sphere scattering: one buffer-gas
// molecule flies in straight lines through a molecule of hard spheres,
// is re-emitted specularly or diffusely at each contact, and the change of
// its velocity between launch and escape is returned.
#pragma once

#include <cstdint>
#include <vector>

#include "hardsphere/contact_grid.h"
#include "runtime/collision_law.h"
#include "runtime/context.h"
#include "runtime/geometry.h"

// Molecule data shared read-only by all trajectories (N atoms).
struct HsAtoms {
  int n;                     // number of atoms N
  const double* ones;        // N entries of 1
  const double* no_contact;  // N entries of 1000: distance of an untouched atom (Å)
  const double* r2;          // N squared collision radii (Å²)
  const double* P;           // N x 3 atom centres, column-major (Å); unturned with `turn`
  const HsGrid* grid;        // spatial index of P, or null: search all atoms
  // The search over all atoms forms Q = E d d' and t = Q d row by row as
  // written (q = E d, Q = q d', t = Q d) instead of through BLAS: the same
  // quantities up to rounding, much faster for small molecules. The
  // plug-in's runs keep the BLAS products (its results are fixed to the bit).
  bool inline_products = false;
  // Set by hs_bounded (with inline_products): every coordinate and radius is
  // finite and far below overflow, and every `ones` entry is 1, so the
  // one-pass search skips the atoms behind the flight without evaluating them.
  bool bounded = false;
  // When set, the atoms are P turned by this rotation R (3 x 3,
  // column-major): centres P R (rows are atoms), each formed when it is
  // needed as rt::gemm_rows forms it, so no turned copy is stored; `grid`
  // indexes the unturned P, so one grid serves every orientation. The
  // caller then sets `bounded` (for the turned centres).
  const double* turn = nullptr;
};

// Whether `atoms` qualifies for HsAtoms::bounded: coordinates within
// kHsCoordinateBound, squared radii finite and within its square, ones all 1.
bool hs_bounded(const HsAtoms& atoms);
constexpr double kHsCoordinateBound = 1e100;
// Its two halves: squared radii and ones (the same for every orientation),
// and the coordinates, decided from their column summary.
bool hs_radii_bounded(const HsAtoms& atoms);
bool hs_coordinates_bounded(const ccs::geometry::ColumnSummary& columns);

// Re-emission settings of a collision.
struct HsEmission {
  ccs::DiffuseDirection diffusive;  // direction of a diffuse re-emission
  double a;            // probability that a collision is diffuse
  double v_ref;        // speed after a specular collision; launch speed in the result (m/s)
  double v_c2;         // diffuse re-emission speed scale; 0 selects v_ref (m/s)
  double v_launch;     // speed before the first collision (m/s)
  bool maxwell_speed;  // diffuse speed from the flux-weighted Maxwell distribution
};

// Working arrays of one thread, N (or N x 3) elements each; allocated once by
// the caller and reused by every call on that thread.
struct HsScratch {
  double* dist;              // N: entry distance of each atom (search over all atoms)
  double* E;                 // N x 3: atom centres relative to the position (or gathered rows)
  double* Q;                 // N x 3: E projected on the flight line
  double* t;                 // N: distance along the flight to the closest approach
  double* h;                 // N: squared miss distance minus squared radius
  int* hits;                 // N: indices of touched (or gathered) atoms
  std::uint32_t* stamp;      // one mark per grid cell: visited in the current flight
  std::uint32_t* stamp_now;  // the current flight's mark
};

// Owned storage of one thread's working arrays.
struct HsScratchStore {
  std::vector<double> reals;
  std::vector<int> ints;
  std::vector<std::uint32_t> stamps;
  std::uint32_t stamp_now = 0;
};
// Grows the store for N atoms and a grid of `cells` cells (no-op when large
// enough) and views it.
HsScratch hs_scratch_for(HsScratchStore& store, int n, int cells = 0);

// Follows one molecule from `position` along the unit vector `direction` for
// at most `limit` collisions. On return `position` is the last contact point,
// `direction` the last flight direction and `result` the velocity change
// (m/s), its sign flipped for launches towards -x; a launch line that touches
// no atom gives exactly (0, 0, 0). Draws from the calling thread's stream:
// per collision one number, then Maxwell pairs (diffuse, random_C = 1), then
// two numbers for a cosine-law direction (diffuse, diffusive = 1).
void hs_momentum_transfer(rt::Context* ctx, int limit, const HsAtoms& atoms, const HsEmission& em,
                          const HsScratch& work, double position[3], double direction[3],
                          double result[3]);

// The kernel of the sphere loop (at most 350 collisions) and of the box-face
// loops (at most 450).
void sphere_loop_transfer(rt::Context* ctx, const HsAtoms& atoms, const HsEmission& em,
                               const HsScratch& work, double position[3], double direction[3],
                               double result[3]);
void face_loop_transfer(rt::Context* ctx, const HsAtoms& atoms, const HsEmission& em,
                                 const HsScratch& work, double position[3], double direction[3],
                                 double result[3]);

constexpr int kSphereCollisionLimit = 350;
constexpr int kFaceCollisionLimit = 450;
