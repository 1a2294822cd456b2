// The chunking of a distributed job's runs: every orientation of every run
// in exactly one unit, enough units per rank, costliest first.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "mpi/work_units.h"

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
    // 8 per rank, but never more units than orientations (64 ranks: 500).
    EXPECT_EQ(units.size(), static_cast<std::size_t>(std::min(8 * ranks, 500))) << ranks;
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
  for (int s = 0; s < 40; ++s) batch.push_back({s, 0, 30, 21.0 * 300});
  const std::vector<Unit> units = make_units(batch, 2);
  EXPECT_EQ(units.size(), batch.size());
  expect_cover(batch, units);

  const std::vector<RunSpec> tensor = {{0, 0, 3, 1e5}};
  const std::vector<Unit> t = make_units(tensor, 16);
  EXPECT_EQ(t.size(), 3u);
  expect_cover(tensor, t);
}

TEST(WorkUnits, CostliestUnitsComeFirstAndTiesKeepTheJobsOrder) {
  const std::vector<RunSpec> runs = {{0, 0, 10, 1.0}, {0, 1, 10, 100.0}, {1, 0, 10, 1.0}, {1, 1, 10, 100.0}};
  const std::vector<Unit> units = make_units(runs, 1);
  expect_cover(runs, units);
  ASSERT_EQ(units.size(), 8u);  // 2 chunks per run
  const std::vector<int> order = {1, 1, 3, 3, 0, 0, 2, 2};
  for (std::size_t i = 0; i < units.size(); ++i) EXPECT_EQ(units[i].run, order[i]) << i;
  EXPECT_EQ(units[0].first, 0);
  EXPECT_EQ(units[1].first, 5);
}
