#include "hardsphere/orientation_transfer.h"

#include <cstdint>
#include <cmath>

#include "runtime/numeric.h"
#include "runtime/parallel.h"
#include "runtime/random_streams.h"

namespace {

using Kernel = void (*)(rt::Context*, const HsAtoms&, const HsEmission&, const HsScratch&, double*,
                        double*, double*);

// With keyed streams, trajectories per iteration of the parallel loop: a
// stream serves rt::kStreamChunk iterations, so 16 x 16 = 256 trajectories
// (a stream's seeding costs about as much as a few trajectories of a small
// ion, and the loops of one orientation are short when whole orientations
// run in parallel).
constexpr int kHsKeyedTrajectoriesPerIteration = 16;

// Runs `count` trajectories in parallel on the loop streams (or, with keyed
// streams, on the streams of loop `loop_key`); trajectory k (0-based) is
// launched by launch(k, start, dir) and its velocity change is written to row
// offset + k of `rows` (column-major, `ld` rows).
template <class Launch>
void run_loop(rt::Context* ctx, std::uint32_t loop_key, int count, Kernel kernel,
              const HsAtoms& atoms, const HsEmission& em, HsThreadScratch& scratch,
              const Launch& launch, double* rows, int ld, int offset) {
  const int cells =
      atoms.grid == nullptr ? 0 : atoms.grid->dims[0] * atoms.grid->dims[1] * atoms.grid->dims[2];
  if (count <= 0) return;
  rt::rng::LoopStreams streams;
  ctx->stream_loop = loop_key;
  const int per = ctx->keyed_streams ? kHsKeyedTrajectoriesPerIteration : 1;
  rt::parallel_iterations(
      ctx, (count + per - 1) / per,
      [&](rt::Context& tctx) {
        return hs_scratch_for(scratch.per_thread[static_cast<size_t>(tctx.thread_num)], atoms.n,
                              cells);
      },
      [&](const HsScratch& work, rt::Context& tctx, int it) {
        const int end = count - it * per < per ? count : (it + 1) * per;
        for (int k = it * per; k < end; ++k) {
          double start[3];
          double dir[3];
          double dv[3];
          launch(k, start, dir);
          kernel(&tctx, atoms, em, work, start, dir, dv);
          const size_t row = static_cast<size_t>(offset) + k;
          for (int j = 0; j < 3; ++j) rows[row + static_cast<size_t>(j) * ld] = dv[j];
        }
      },
      [](const HsScratch&, rt::Context&) {});
}

}  // namespace

void hs_orientation_transfer(rt::Context* ctx, const HsAtoms& all_atoms, const HsEmission& em,
                             const HsEntryDomain& dom, bool use_box, double n_total, double rho,
                             double m_gas, HsThreadScratch& scratch, int orientation,
                             double row[3], int* launched) {
  // Large molecules get a spatial index of their oriented atoms.
  HsAtoms atoms = all_atoms;
  HsGrid grid;
  if (atoms.grid == nullptr && atoms.n >= scratch.grid_min_atoms && hs_grid_build(atoms, &grid)) {
    atoms.grid = &grid;
  }
  // Keyed streams (the program): loop 4 o for the sphere, 4 o + 1 + axis for
  // the faces; the sphere launches drawn directly, and the contact search
  // with its products written out.
  const bool keyed = ctx->keyed_streams;
  if (keyed) {
    atoms.inline_products = true;
    if (atoms.turn == nullptr) atoms.bounded = hs_bounded(atoms);
  }
  const std::uint32_t key = 4u * static_cast<std::uint32_t>(orientation);
  const size_t threads = static_cast<size_t>(rt::region_threads());
  if (scratch.per_thread.size() < threads) scratch.per_thread.resize(threads);
  std::vector<double> rows;
  int total = 0;
  double G;
  if (use_box) {
    double nx;
    double ny;
    double nz;
    hs_box_counts(n_total, dom, &nx, &ny, &nz);
    // At most ceil(n_total) each (the input check keeps n_total below 2^29),
    // so that the total stays an int whatever the extents.
    const int cx = rt::face_count(nx, n_total);
    const int cy = rt::face_count(ny, n_total);
    const int cz = rt::face_count(nz, n_total);
    total = cx + cy + cz;
    rows.assign(3 * static_cast<size_t>(total), 0.0);
    run_loop(
        ctx, key + 1, cx, face_loop_transfer, atoms, em, scratch,
        [&](int, double* s, double* d) { hs_x_face_launch(dom, s, d); }, rows.data(), total, 0);
    run_loop(
        ctx, key + 2, cy, face_loop_transfer, atoms, em, scratch,
        [&](int, double* s, double* d) { hs_y_face_launch(dom, s, d); }, rows.data(), total, cx);
    run_loop(
        ctx, key + 3, cz, face_loop_transfer, atoms, em, scratch,
        [&](int, double* s, double* d) { hs_z_face_launch(dom, s, d); }, rows.data(), total,
        cx + cy);
    G = hs_box_normaliser(nx, rho, m_gas, dom);
  } else {
    total = rt::loop_count(n_total);
    rows.assign(3 * static_cast<size_t>(total), 0.0);
    run_loop(
        ctx, key, total, sphere_loop_transfer, atoms, em, scratch,
        [&](int k, double* s, double* d) {
          if (keyed) {
            hs_sphere_launch_direct(k + 1.0, n_total, dom, s, d);
          } else {
            hs_sphere_launch(k + 1.0, n_total, dom, s, d);
          }
        },
        rows.data(), total, 0);
    G = hs_sphere_normaliser(n_total, rho, m_gas, dom);
  }
  const double neg_m = -m_gas;
  for (double& v : rows) v = v * neg_m;
  for (int j = 0; j < 3; ++j) {
    row[j] = rt::sum_in_order(rows.data() + static_cast<size_t>(j) * total, total) / G;
  }  if (launched != nullptr) *launched = total;
}
