// The work units of one file of a distributed job and the order they are
// handed out in. Plain records, no MPI: the chunking is tested on its own.
#pragma once

#include <cstddef>
#include <vector>

namespace ccs::mpi {

// One run of the job: structure `structure` (index in its file) by the
// job's method number `method`, with `orientations` orientations.
struct RunSpec {
  int structure = 0;
  int method = 0;
  int orientations = 0;
  double cost = 0;  // relative cost of one orientation (atoms x trajectories)
};

// Orientations [first, first + count) of run `run`.
struct Unit {
  int run = 0;
  int first = 0;
  int count = 0;
};

// Chunks per run: at least `kUnitsPerRank` units per rank over the file
// (whole runs when the file has that many runs), never more chunks than a
// run has orientations.
constexpr int kUnitsPerRank = 8;
int chunks_per_run(std::size_t runs, int ranks, int orientations);

// The units of `runs`, costliest first (so that the longest units do not
// start last); ties keep the job's order.
std::vector<Unit> make_units(const std::vector<RunSpec>& runs, int ranks);

}  // namespace ccs::mpi
