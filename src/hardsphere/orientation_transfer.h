// The trajectories of one orientation: launches through the entry sphere or
// the three faces of the entry box, run in parallel over the loop streams,
// and the summed momentum transfer normalised by the incident flux.
#pragma once

#include <vector>

#include "hardsphere/entry_domain.h"
#include "hardsphere/momentum_transfer.h"
#include "runtime/context.h"

// Per-thread working memory of the kernel; grown on first use, reused after.
struct HsThreadScratch {
  std::vector<HsScratchStore> per_thread;
  int grid_min_atoms = kGridMinAtoms;  // molecules from this size on get a spatial index
};

// Runs the trajectories of one orientation through the box (use_box) or the
// sphere of `dom` and writes the row of the orientation table: the column
// sums of -m_gas * (velocity changes), rows taken in trajectory order (box:
// x-face, y-face, z-face rows), each divided by the flux normaliser.
// `orientation` (0-based) keys the loops' streams when the context asks for
// keyed streams. `launched`, when given, receives the number of trajectories run.
void hs_orientation_transfer(rt::Context* ctx, const HsAtoms& atoms, const HsEmission& em,
                             const HsEntryDomain& dom, bool use_box, double n_total, double rho,
                             double m_gas, HsThreadScratch& scratch, int orientation,
                             double row[3], int* launched = nullptr);
