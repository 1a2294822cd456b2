#include "mpi/work_units.h"

#include <algorithm>

namespace ccs::mpi {

int chunks_per_run(std::size_t runs, int ranks, int orientations) {
  if (runs == 0 || orientations < 1) return 1;
  const std::size_t target = static_cast<std::size_t>(kUnitsPerRank) * static_cast<std::size_t>(std::max(ranks, 1));
  const std::size_t k = (target + runs - 1) / runs;
  return static_cast<int>(std::min<std::size_t>(k, static_cast<std::size_t>(orientations)));
}

std::vector<Unit> make_units(const std::vector<RunSpec>& runs, int ranks) {
  std::vector<Unit> units;
  std::vector<double> cost;
  for (std::size_t r = 0; r < runs.size(); ++r) {
    const int n = runs[r].orientations;
    const int k = chunks_per_run(runs.size(), ranks, n);
    // k chunks as even as can be: the first n % k hold one more.
    int first = 0;
    for (int c = 0; c < k; ++c) {
      const int count = n / k + (c < n % k ? 1 : 0);
      units.push_back({static_cast<int>(r), first, count});
      cost.push_back(runs[r].cost * count);
      first += count;
    }
  }
  std::vector<std::size_t> order(units.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return cost[a] > cost[b]; });
  std::vector<Unit> sorted;
  sorted.reserve(units.size());
  for (std::size_t i : order) sorted.push_back(units[i]);
  return sorted;
}

std::chrono::microseconds idle_poll_interval(double recent_unit_seconds, int idle_rounds) {
  using std::chrono::microseconds;
  constexpr long kShortest = 100, kLongest = 5000;
  const long cap = recent_unit_seconds > 0
                       ? std::clamp(static_cast<long>(recent_unit_seconds * 1e6 / 200), kShortest, kLongest)
                       : kLongest;
  const long backoff = kShortest << std::clamp(idle_rounds, 0, 10);
  return microseconds(std::min(backoff, cap));
}

}  // namespace ccs::mpi
