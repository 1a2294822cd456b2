// Time to a 1 % standard error, t1 = wall time x (SE %)^2, of the
// Lennard-Jones trajectory method in helium at 301 K on C60+, choline+,
// phenethylammonium, ubiquitin 4+ (1ubq.pdb from CCS_DATA_DIR, else ../shared/data) and, in
// nitrogen with the three-site molecule, choline+; on 1 and 2 threads, with
// the program's weighted entry (second argument 1) and the plug-ins' uniform
// entry (0) for comparison. Default statistics; counters: t1_s, se_pct,
// ccs_A2, trajectories.
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

struct Case {
  const char* name;
  std::string path;
  const char* gas;
  double charge;
  bool three_site;
};

void run_case(benchmark::State& state, const Case& c) {
  const int threads = static_cast<int>(state.range(0));
  std::vector<Structure> s;
  try {
    s = read_structures(c.path, ReadOptions());
  } catch (const std::exception& e) {
    state.SkipWithError(e.what());
    return;
  }
  const std::string dir = params_dir();
  const std::string g = c.gas == std::string("He") ? "he" : "n2";
  const ParamTable lj = load_param_table(dir + "/" + g + "_lj.tsv");
  RunSettings st;
  st.method = Method::LJ;
  for (const Gas& gas : load_gases(dir + "/gases.tsv")) {
    if (gas.name == c.gas) st.conditions.gas = gas;
  }
  st.conditions.temperature = 301.0;
  st.numerics = resolve_numerics(Method::LJ, false, Numerics());
  st.lennard_jones = &lj;
  st.three_site = c.three_site;
  st.charge = c.charge;
  st.weighted_entry = state.range(1) != 0;
  st.seed = 1;
  omp_set_num_threads(threads);
  RunResult r;
  for (auto _ : state) {
    r = run_method(s[0], st);
  }
  const double se_pct = 100.0 * r.ccs_se / r.ccs;
  state.counters["ccs_A2"] = r.ccs;
  state.counters["se_pct"] = se_pct;
  state.counters["t1_s"] = r.seconds * se_pct * se_pct;
  state.counters["trajectories"] = r.trajectories;
}

void register_all() {
  const Case cases[] = {{"lj/c60.xyz/He", example("c60.xyz"), "He", 0.0, false},
                        {"lj/choline.mol2/He", example("choline.mol2"), "He", 0.0, false},
                        {"lj/phenethylammonium.mol2/He", example("phenethylammonium.mol2"), "He",
                         0.0, false},
                        {"lj/1ubq.pdb/He/z4", ubiquitin(), "He", 4.0, false},
                        {"lj/choline.mol2/N2/three-site", example("choline.mol2"), "N2", 0.0, true}};
  for (const Case& c : cases) {
    benchmark::RegisterBenchmark(c.name, [c](benchmark::State& st) { run_case(st, c); })
        ->ArgNames({"threads", "weighted"})
        ->Args({1, 1})
        ->Args({2, 1})
        ->Args({1, 0})
        ->Args({2, 0})
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
