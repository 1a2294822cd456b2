// Time to a 1 % answer, t1 = wall time x (standard error in %)^2, of the ccs
// program's runs at their default statistics in helium at 301 K, on 1 and 2
// threads: projection approximation and exact hard-sphere scattering on
// C60+, choline+ and ubiquitin (1ubq.pdb from CCS_DATA_DIR; reported as an
// error when absent). Each run is repeated (3 iterations); the time is
// their mean, the standard error that of the run (seed 1).
#include <benchmark/benchmark.h>
#include <omp.h>

#include <cstdlib>
#include <string>

#include "bench_inputs.h"
#include "cli/params.h"
#include "cli/readers.h"
#include "cli/run.h"

using namespace ccs::cli;

namespace {

void run_case(benchmark::State& state, const std::string& path, Method m) {
  const int threads = static_cast<int>(state.range(0));
  std::vector<Structure> s;
  try {
    s = read_structures(path, ReadOptions());
  } catch (const std::exception& e) {
    state.SkipWithError(e.what());
    return;
  }
  const std::string dir = params_dir();
  const ParamTable hs = load_param_table(dir + "/he_hs.tsv");
  RunSettings st;
  st.method = m;
  for (const Gas& g : load_gases(dir + "/gases.tsv")) {
    if (g.name == "He") st.conditions.gas = g;
  }
  st.conditions.temperature = 301.0;
  st.numerics = resolve_numerics(m, false, Numerics());
  st.hard_sphere = &hs;
  st.seed = 1;
  omp_set_num_threads(threads);
  RunResult r;
  double seconds = 0.0;
  int runs = 0;
  for (auto _ : state) {
    r = run_method(s[0], st);
    seconds += r.seconds;
    ++runs;
  }
  const double se_pct = 100.0 * r.ccs_se / r.ccs;
  state.counters["ccs_A2"] = r.ccs;
  state.counters["se_pct"] = se_pct;
  state.counters["t1_s"] = seconds / runs * se_pct * se_pct;
  state.counters["samples"] = r.trajectories;
}

void register_all() {
  const std::string files[] = {example("c60.xyz"), example("choline.mol2"), ubiquitin()};
  const char* names[] = {"c60", "choline", "1ubq"};
  for (Method m : {Method::PA, Method::EHSS}) {
    for (int f = 0; f < 3; ++f) {
      const std::string path = files[f];
      benchmark::RegisterBenchmark((std::string("t1/") + method_name(m) + "/" + names[f]).c_str(),
                                   [path, m](benchmark::State& st) { run_case(st, path, m); })
          ->Arg(1)
          ->Arg(2)
          ->Iterations(3)
          ->Unit(benchmark::kMillisecond)
          ->UseRealTime();
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  register_all();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
