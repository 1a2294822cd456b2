// Point-in-polygon classification: 10^6 random points against a non-convex
// 10^4-edge polygon, and the index sort alone for comparison.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <numeric>
#include <random>
#include <vector>

#include "polygon/point_in_polygon.h"

namespace {

// Star-shaped polygon: radius 1 modulated by 0.3 sin(7 a) plus jitter, so that
// it is non-convex at two scales.
std::vector<double> wavy_ring(std::size_t n_nodes, std::mt19937_64& gen) {
  std::uniform_real_distribution<double> jitter(-0.02, 0.02);
  std::vector<double> node(2 * n_nodes);
  for (std::size_t k = 0; k < n_nodes; ++k) {
    const double a = 2 * M_PI * static_cast<double>(k) / static_cast<double>(n_nodes);
    const double r = 1 + 0.3 * std::sin(7 * a) + jitter(gen);
    node[2 * k] = r * std::cos(a);
    node[2 * k + 1] = r * std::sin(a);
  }
  return node;
}

std::vector<double> random_points(std::size_t n, std::mt19937_64& gen) {
  std::uniform_real_distribution<double> u(-1.5, 1.5);
  std::vector<double> xy(2 * n);
  for (double& v : xy) v = u(gen);
  return xy;
}

void BM_PointInPolygon(benchmark::State& state) {
  const auto n_points = static_cast<std::size_t>(state.range(0));
  const auto n_edges = static_cast<std::size_t>(state.range(1));
  std::mt19937_64 gen(42);
  const std::vector<double> node = wavy_ring(n_edges, gen);
  const std::vector<double> xy = random_points(n_points, gen);
  std::vector<unsigned char> in(n_points), bnd(n_points);
  const ccs::polygon::PointSet points{xy.data(), n_points};
  const ccs::polygon::Polygon polygon{node.data(), n_edges, nullptr, 0};
  for (auto _ : state) {
    ccs::polygon::point_in_polygon(points, polygon, in.data(), bnd.data());
    benchmark::DoNotOptimize(in.data());
    benchmark::DoNotOptimize(bnd.data());
  }
  state.counters["inside"] = static_cast<double>(std::accumulate(in.begin(), in.end(), 0));
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(n_points));
}
BENCHMARK(BM_PointInPolygon)
    ->Args({1000000, 10000})
    ->Args({100000, 10000})
    ->Args({1000000, 1000})
    ->Unit(benchmark::kMillisecond);

void BM_QsIndex(benchmark::State& state) {
  const auto n = static_cast<std::size_t>(state.range(0));
  std::mt19937_64 gen(42);
  const std::vector<double> xy = random_points(n, gen);
  std::vector<double> key(n);
  std::vector<std::int32_t> idx(n);
  for (auto _ : state) {
    state.PauseTiming();
    for (std::size_t i = 0; i < n; ++i) key[i] = xy[2 * i + 1];
    std::iota(idx.begin(), idx.end(), 0);
    state.ResumeTiming();
    ccs::polygon::qsindex(key.data(), idx.data(), 0, static_cast<std::int32_t>(n - 1));
    benchmark::DoNotOptimize(key.data());
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(n));
}
BENCHMARK(BM_QsIndex)->Arg(1000000)->Unit(benchmark::kMillisecond);

}  // namespace
