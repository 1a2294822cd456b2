// Wall time of each method of the ccs program on the shipped examples and
// ubiquitin (1ubq.pdb from CCS_DATA_DIR; reported as an error when absent)
// at the default statistics in helium, on 1 and 2 threads.
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
  const ParamTable lj = load_param_table(dir + "/he_lj.tsv");
  RunSettings st;
  st.method = m;
  for (const Gas& g : load_gases(dir + "/gases.tsv")) {
    if (g.name == "He") st.conditions.gas = g;
  }
  st.numerics = resolve_numerics(m, false, Numerics());
  st.hard_sphere = &hs;
  st.lennard_jones = &lj;
  st.seed = 1;
  omp_set_num_threads(threads);
  RunResult r;
  for (auto _ : state) {
    r = run_method(s[0], st);
  }
  state.counters["ccs_A2"] = r.ccs;
  state.counters["se_pct"] = 100.0 * r.ccs_se / r.ccs;
  state.counters["trajectories"] = r.trajectories;
}

void register_all() {
  const Method methods[] = {Method::PA, Method::EHSS, Method::TM, Method::TMFixed, Method::LJ};
  for (const char* ex : {"c60.xyz", "phenethylammonium.mol2"}) {
    for (Method m : methods) {
      const std::string path = example(ex);
      benchmark::RegisterBenchmark((std::string("ccs/") + ex + "/" + method_name(m)).c_str(),
                                   [path, m](benchmark::State& st) { run_case(st, path, m); })
          ->Arg(1)
          ->Arg(2)
          ->Iterations(1)
          ->Unit(benchmark::kSecond)
          ->UseRealTime();
    }
  }
  // The protein (crystal structure as deposited, waters included).
  for (Method m : methods) {
    const std::string path = ubiquitin();
    benchmark::RegisterBenchmark((std::string("ccs/1ubq.pdb/") + method_name(m)).c_str(),
                                 [path, m](benchmark::State& st) { run_case(st, path, m); })
        ->Arg(1)
        ->Arg(2)
        ->Iterations(1)
        ->Unit(benchmark::kSecond)
        ->UseRealTime();
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
