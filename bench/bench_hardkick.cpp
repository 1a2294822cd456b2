// Throughput of exact hard-sphere scattering (trajectories per second) for a
// 60-atom cage, a 1200-atom and a 20000-atom compact molecule, on 1 and 2
// threads.
#include <benchmark/benchmark.h>
#include <omp.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <random>
#include <vector>

#include "hardsphere/hardkick.h"
#include "hardsphere/orientation_transfer.h"
#include "runtime/context.h"
#include "support/molecules.h"
#include "runtime/random_streams.h"

namespace {

using Atom = std::array<double, 4>;

// C60-like cage with 1.4 Å edges and 1.7 Å radii.
std::vector<Atom> cage60() {
  std::vector<Atom> atoms;
  for (const auto& p : ccs::test::c60_cage(1.4)) atoms.push_back({p[0], p[1], p[2], 1.7});
  return atoms;
}

// Compact random cluster: n atoms uniform in a ball of about 11 Å³ per atom,
// radii 1.5-1.9 Å.
std::vector<Atom> cluster(int n, unsigned seed) {
  std::mt19937 gen(seed + 1000u);
  std::uniform_real_distribution<double> U(-1.0, 1.0);
  std::vector<Atom> atoms;
  for (const auto& p : ccs::test::ball_cluster(n, 11.0, seed)) {
    atoms.push_back({p[0], p[1], p[2], 1.7 + 0.2 * U(gen)});
  }
  return atoms;
}

void run_hardkick(benchmark::State& state, const std::vector<Atom>& atoms, double n_total) {
  omp_set_num_threads(static_cast<int>(state.range(0)));
  rt::rng::ensure_initialised();
  const int n = static_cast<int>(atoms.size());
  rt::RealArray table = rt::make_real(n, 4);
  for (int i = 0; i < n; ++i) {
    for (int j = 0; j < 4; ++j)
      table->data[i + j * n] = atoms[static_cast<size_t>(i)][static_cast<size_t>(j)];
  }
  rt::RootContext root;
  double excel = 0, r1, r2, r3, r4, r5;
  const double m_gas = 28.0134 * 1.66054e-27;
  double seed = 1;
  for (auto _ : state) {
    hardkick(root.get(), table.get(), &excel, &r1, &r2, &r3, n, 1.0, m_gas, 1e4 * 1.66054e-27, 1.0,
             n_total, 1.0, 0.0, 1.0, 0.0, 0.0, 101325.0, 298.0, seed, 1.0, &r4, &r5);
    seed += 1;
    benchmark::DoNotOptimize(r2);
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * n_total));
  state.counters["CCS_A2"] = r2;
}

void BM_Cage60(benchmark::State& state) {
  static const std::vector<Atom> atoms = cage60();
  run_hardkick(state, atoms, 20000);
}
void BM_Cluster1200(benchmark::State& state) {
  static const std::vector<Atom> atoms = cluster(1200, 11);
  run_hardkick(state, atoms, 20000);
}
void BM_Cluster20000(benchmark::State& state) {
  static const std::vector<Atom> atoms = cluster(20000, 12);
  run_hardkick(state, atoms, 5000);
}

// One orientation through the entry sphere, one thread, with the spatial
// index (arg 1 = 1) or the search over all atoms (0); arg 0 selects the
// molecule (0: cage, 1: 1200 atoms, 2: 20000 atoms).
void BM_ContactSearch(benchmark::State& state) {
  static const std::vector<Atom> molecules[3] = {cage60(), cluster(1200, 11), cluster(20000, 12)};
  const std::vector<Atom>& atoms = molecules[state.range(0)];
  omp_set_num_threads(1);
  rt::rng::ensure_initialised();
  const int n = static_cast<int>(atoms.size());
  std::vector<double> P(3 * static_cast<size_t>(n)), r(n), r2(n), ones(n, 1.0),
      no_contact(n, 1000.0);
  double r_max = 0.0;
  for (int k = 0; k < n; ++k) {
    for (int j = 0; j < 3; ++j) P[k + static_cast<size_t>(j) * n] = atoms[k][j];
    r[k] = atoms[k][3] + 1.0;
    r2[k] = r[k] * r[k];
    r_max = std::max(r_max, r[k]);
  }
  const HsAtoms mol{n, ones.data(), no_contact.data(), r2.data(), P.data(), nullptr};
  const double m_gas = 28.0134 * 1.66054e-27;
  const double vbar = hardkick_thermal_speed(298.0, m_gas);
  const HsEmission em{ccs::DiffuseDirection::CosineLaw, 0.0, vbar, 0.0, vbar, false};
  HsEntryDomain dom;
  hs_entry_domain(P.data(), n, n, r.data(), r_max, &dom);
  HsThreadScratch scratch;
  scratch.grid_min_atoms = state.range(1) ? 0 : n + 1;
  rt::RootContext root;
  const double n_total = n > 5000 ? 500 : 5000;
  for (auto _ : state) {
    double row[3];
    hs_orientation_transfer(root.get(), mol, em, dom, false, n_total, 1.2, m_gas, scratch, 0, row);
    benchmark::DoNotOptimize(row[0]);
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * n_total));
}

BENCHMARK(BM_ContactSearch)
    ->ArgsProduct({{0, 1, 2}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_Cage60)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Cluster1200)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Cluster20000)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
