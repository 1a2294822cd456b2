// One double from the library's stream against std::mt19937 drawing two
// 32-bit words per double the same way.
#include <benchmark/benchmark.h>

#include <random>

#include "runtime/random_streams.h"

static void BM_LibraryRand(benchmark::State& state) {
  rt::rng::ensure_initialised();
  rt::rng::rng(5489);
  for (auto _ : state) benchmark::DoNotOptimize(rt::rng::rand());
}
BENCHMARK(BM_LibraryRand);

static void BM_LibraryRandFill(benchmark::State& state) {
  rt::rng::ensure_initialised();
  rt::rng::rng(5489);
  double buf[1024];
  for (auto _ : state) {
    rt::rng::rand_fill(buf, 1024);
    benchmark::DoNotOptimize(buf);
  }
  state.SetItemsProcessed(state.iterations() * 1024);
}
BENCHMARK(BM_LibraryRandFill);

static void BM_StdMt19937TwoWords(benchmark::State& state) {
  std::mt19937 gen(5489);
  for (auto _ : state) {
    const std::uint32_t a = gen() >> 5;
    const std::uint32_t b = gen() >> 6;
    benchmark::DoNotOptimize((a * 67108864.0 + b) * 1.1102230246251565e-16);
  }
}
BENCHMARK(BM_StdMt19937TwoWords);

BENCHMARK_MAIN();
