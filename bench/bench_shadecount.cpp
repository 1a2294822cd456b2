// Projection approximation on a protein-sized molecule: a compact random
// cluster of 20000 atoms at protein density, 100 orientations, on 1 and 2
// threads; and the covered-point count by plain scan against the grid.
#include <benchmark/benchmark.h>
#include <omp.h>

#include <cmath>
#include <random>
#include <vector>

#include "projection/shadecount.h"
#include "runtime/random_streams.h"
#include "support/molecules.h"

namespace {

// Atoms uniformly in a ball at ~0.11 atoms per cubic angstrom (a folded
// protein with hydrogens), radii 1.2-1.9 A, as an n x 4 column-major table.
std::vector<double> cluster(int n, std::uint32_t seed) {
  std::mt19937 gen(seed + 1000u);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  const std::vector<ccs::test::Point> pts = ccs::test::ball_cluster(n, 1.0 / 0.11, seed);
  std::vector<double> t(static_cast<std::size_t>(n) * 4);
  for (int i = 0; i < n; ++i) {
    for (int j = 0; j < 3; ++j) t[i + j * n] = pts[i][j];
    t[i + 3 * n] = 1.55 + 0.35 * u(gen);
  }
  return t;
}

void BM_Shadecount(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  omp_set_num_threads(static_cast<int>(state.range(1)));
  rt::rng::ensure_initialised();
  const std::vector<double> atoms = cluster(n, 7);
  rt::RootContext root;
  for (auto _ : state) {
    rt::RealArray a = rt::make_real(n, 4);
    std::copy(atoms.begin(), atoms.end(), a->data);
    double r1 = 0, r2 = 0;
    shadecount(root.get(), a.get(), n, 1.0, 100, 0, 1, &r1, &r2);
    benchmark::DoNotOptimize(r1);
  }
  state.counters["orientations/s"] =
      benchmark::Counter(100.0 * state.iterations(), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_Shadecount)->Args({20000, 1})->Args({20000, 2})->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// One orientation's count on the projected cluster.
void count_args(benchmark::State& state, bool grid) {
  const int n = static_cast<int>(state.range(0));
  const std::vector<double> t = cluster(n, 7);
  std::vector<double> r2(n);
  double Rmax = 0;
  for (int i = 0; i < n; ++i) {
    const double r = t[i + 3 * n] + 1.0;
    r2[i] = r * r;
    Rmax = std::max(Rmax, r);
  }
  std::mt19937 gen(3);
  std::uniform_real_distribution<double> u(0.0, 1.0);
  const double radius = std::cbrt(3.0 * n / (4.0 * M_PI * 0.11)) + Rmax;
  std::vector<double> xs(ccs::projection::kShadeSamples), ys(ccs::projection::kShadeSamples);
  for (int s = 0; s < ccs::projection::kShadeSamples; ++s) {
    xs[s] = (2 * u(gen) - 1) * radius;
    ys[s] = (2 * u(gen) - 1) * radius;
  }
  auto* g = ccs::projection::make_grid();
  for (auto _ : state) {
    const int hits =
        grid ? ccs::projection::count_hits_grid(g, t.data(), t.data() + n, r2.data(), n, Rmax,
                                           xs.data(), ys.data(), ccs::projection::kShadeSamples)
             : ccs::projection::count_hits_plain(t.data(), t.data() + n, r2.data(), n, Rmax,
                                            xs.data(), ys.data(), ccs::projection::kShadeSamples);
    benchmark::DoNotOptimize(hits);
  }
  ccs::projection::free_grid(g);
}
void BM_CountPlain(benchmark::State& s) { count_args(s, false); }
void BM_CountGrid(benchmark::State& s) { count_args(s, true); }
BENCHMARK(BM_CountPlain)->Arg(1200)->Arg(20000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CountGrid)->Arg(1200)->Arg(20000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
