// The work units of one file of a distributed job and the order they are
// handed out in. Plain records, no MPI: the chunking is tested on its own.
#pragma once

#include <chrono>
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
// run has orientations. Handed out one by one, the last units leave ranks
// idle for about half a unit each at the end: 32 per rank keeps that loss
// near 1.5 % of a run.
constexpr int kUnitsPerRank = 32;
int chunks_per_run(std::size_t runs, int ranks, int orientations);

// The units of `runs`, costliest first (so that the longest units do not
// start last); ties keep the job's order.
std::vector<Unit> make_units(const std::vector<RunSpec>& runs, int ranks);

// How long rank 0's coordinator sleeps, with nothing to do, before it looks
// for requests of other ranks again: doubling from 100 us with each idle
// round, up to 1/200 of a unit's recent duration (a request waits at most
// 0.5 % of a unit) within [100 us, 5 ms] (5 ms while no unit has finished).
// It shares a core with rank 0's own computation: waking every 100 us
// through a unit of seconds costs that computation a third of its speed.
std::chrono::microseconds idle_poll_interval(double recent_unit_seconds, int idle_rounds);

}  // namespace ccs::mpi
