// The chunking of a distributed job's runs: every orientation of every run
// in exactly one unit, enough units per rank, costliest first; and how long
// rank 0 sleeps between looks for requests.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <vector>

#include "mpi/work_units.h"

using ccs::mpi::idle_poll_interval;
using ccs::mpi::kUnitsPerRank;
using ccs::mpi::make_units;
using ccs::mpi::RunSpec;
using ccs::mpi::Unit;

namespace {

// Each orientation of each run covered once.
void expect_cover(const std::vector<RunSpec>& runs, const std::vector<Unit>& units) {
  std::vector<std::vector<int>> seen(runs.size());
  for (std::size_t r = 0; r < runs.size(); ++r) seen[r].assign(static_cast<std::size_t>(runs[r].orientations), 0);
  for (const Unit& u : units) {
    ASSERT_GE(u.count, 1);
    for (int i = u.first; i < u.first + u.count; ++i) ++seen[static_cast<std::size_t>(u.run)].at(static_cast<std::size_t>(i));
  }
  for (const auto& s : seen) {
    for (int c : s) EXPECT_EQ(c, 1);
  }
}

}  // namespace

TEST(WorkUnits, OneLargeRunIsSplitIntoEnoughUnitsPerRankForAnyRankCount) {
  for (int ranks : {1, 2, 3, 7, 64}) {
    const std::vector<RunSpec> runs = {{0, 0, 500, 1e6}};
    const std::vector<Unit> units = make_units(runs, ranks);
    // kUnitsPerRank per rank, but never more units than orientations (64 ranks: 500).
    EXPECT_EQ(units.size(), static_cast<std::size_t>(std::min(kUnitsPerRank * ranks, 500))) << ranks;
    expect_cover(runs, units);
    // Even chunks: sizes differ by at most one orientation.
    int lo = 1 << 30, hi = 0;
    for (const Unit& u : units) {
      lo = std::min(lo, u.count);
      hi = std::max(hi, u.count);
    }
    EXPECT_LE(hi - lo, 1);
  }
}

TEST(WorkUnits, ManyRunsStayWholeAndFewOrientationsAreNeverSplitFurther) {
  std::vector<RunSpec> batch;
  for (int s = 0; s < 2 * kUnitsPerRank; ++s) batch.push_back({s, 0, 30, 21.0 * 300});
  const std::vector<Unit> units = make_units(batch, 2);
  EXPECT_EQ(units.size(), batch.size());
  expect_cover(batch, units);

  const std::vector<RunSpec> tensor = {{0, 0, 3, 1e5}};
  const std::vector<Unit> t = make_units(tensor, 16);
  EXPECT_EQ(t.size(), 3u);
  expect_cover(tensor, t);
}

TEST(WorkUnits, CostliestUnitsComeFirstAndTiesKeepTheJobsOrder) {
  // Four runs of kUnitsPerRank orientations on one rank: a quarter of the
  // units per run, of 4 orientations each.
  const int n = kUnitsPerRank;
  const std::vector<RunSpec> runs = {{0, 0, n, 1.0}, {0, 1, n, 100.0}, {1, 0, n, 1.0}, {1, 1, n, 100.0}};
  const std::vector<Unit> units = make_units(runs, 1);
  expect_cover(runs, units);
  ASSERT_EQ(units.size(), static_cast<std::size_t>(kUnitsPerRank));
  const std::vector<int> run_order = {1, 3, 0, 2};
  const std::size_t per_run = units.size() / 4;
  for (std::size_t i = 0; i < units.size(); ++i) {
    EXPECT_EQ(units[i].run, run_order[i / per_run]) << i;
    EXPECT_EQ(units[i].first, static_cast<int>(i % per_run) * 4) << i;
  }
}

TEST(WorkUnits, IdlePollDoublesUpToAShareOfAUnitWithinItsBounds) {
  using us = std::chrono::microseconds;
  // Doubling from 100 us while idle, up to 5 ms before any unit finished.
  EXPECT_EQ(idle_poll_interval(0, 0), us(100));
  EXPECT_EQ(idle_poll_interval(0, 1), us(200));
  EXPECT_EQ(idle_poll_interval(0, 5), us(3200));
  EXPECT_EQ(idle_poll_interval(0, 6), us(5000));
  EXPECT_EQ(idle_poll_interval(0, 1000), us(5000));
  // Units of 0.2 s: at most 1 ms (1/200 of a unit).
  EXPECT_EQ(idle_poll_interval(0.2, 3), us(800));
  EXPECT_EQ(idle_poll_interval(0.2, 4), us(1000));
  // Short units never push it below 100 us; long ones never above 5 ms.
  EXPECT_EQ(idle_poll_interval(1e-4, 4), us(100));
  EXPECT_EQ(idle_poll_interval(30.0, 20), us(5000));
}
