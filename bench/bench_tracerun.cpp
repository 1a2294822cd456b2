// The trajectory method end to end (tracerun_plus's driver, fixed atoms at
// rest through the moving-atom kernel's sibling): a 60-atom carbon cage and a
// ~1200-atom globule in helium at 298 K, on 1 and 2 threads. Counters give
// trajectories per second and per core.
#include <benchmark/benchmark.h>
#include <omp.h>

#include <cmath>
#include <vector>

#include "lj_test_setup.h"
#include "runtime/random_streams.h"
#include "trajectory/trajectory_driver.h"
#include "trajectory/trajectory_entries.h"

namespace {

using TrajectoryInputs = ccs::trajectory::PluginInputs;

constexpr double kB = 1.380649e-23;
constexpr double kE = 1.602176634e-19;
constexpr double kU = 1.66053906660e-27;

rt::RealArray atom_table(const std::vector<ljtest::Atom>& atoms) {
  const int n = static_cast<int>(atoms.size());
  rt::RealArray t = rt::make_real(n, 4);
  for (int i = 0; i < n; ++i) {
    t->data[i] = atoms[i].x;
    t->data[i + n] = atoms[i].y;
    t->data[i + 2 * n] = atoms[i].z;
    t->data[i + 3 * n] = atoms[i].type.sigma < 2.5e-10 ? 2.2 : 2.7;  // He collision radii
  }
  return t;
}

// Gas inputs at 298 K and 1 atm (relations of the README).
TrajectoryInputs gas_inputs(double m_gas, double alpha) {
  TrajectoryInputs in;
  const double T = 298.0;
  in.m_gas = m_gas;
  in.m_w = 720.0 * kU;
  in.Kb = kB;
  in.e = kE;
  in.T0 = T;
  in.rho_g = 101325.0 / (kB * T) * in.m_gas;
  in.v_c_t = std::sqrt(2.0 * kB * T / in.m_gas);
  in.v_c = in.v_c_t;
  in.v_c2 = std::sqrt(9.0 * M_PI * kB * T / (8.0 * in.m_gas));
  in.Force_const = ljtest::force_constant(alpha, in.m_gas);
  in.Kappa = in.Force_const / (2.0 * in.v_c_t * in.v_c_t);
  in.n_rotations = 2;
  in.MobcalHS = 1.0;
  return in;
}

void BM_Tracerun(benchmark::State& state) {
  const bool big = state.range(0) == 1;
  const int threads = static_cast<int>(state.range(1));
  const int n_total = big ? 2000 : 4000;
  omp_set_num_threads(threads);
  rt::rng::ensure_initialised();
  const rt::RealArray atoms = atom_table(big ? ljtest::globule(1200) : ljtest::c60());
  TrajectoryInputs in = gas_inputs(ljtest::kMassHe, ljtest::kAlphaHe);
  in.deltatenhance = 20.0;
  in.multiplier = 100.0;
  in.boxdomain = 10.0;
  in.N_total = n_total;
  in.DATA_atoms = atoms.get();
  in.Number_atoms = atoms->size[0];
  rt::RootContext root;
  double launched = 0.0;
  for (auto _ : state) {
    ccs::trajectory::TrajectoryResults r;
    ccs::trajectory::run_trajectory_method(
        root.get(), ccs::trajectory::plugin_params(ccs::trajectory::Variant::Fixed, in), &r);
    benchmark::DoNotOptimize(r.r[6]);
    launched += 2.0 * n_total;
  }
  state.counters["traj/s"] = benchmark::Counter(launched, benchmark::Counter::kIsRate);
  state.counters["traj/s/core"] =
      benchmark::Counter(launched / threads, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_Tracerun)
    ->Args({0, 1})
    ->Args({0, 2})
    ->Args({1, 1})
    ->Args({1, 2})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// tracerun_well: the atom-field kernel (one charge at the centroid), the
// partial-charge kernel (a charge on every atom) and the three-site nitrogen
// kernel (qpol = 1), on 1 and 2 threads.
void BM_TracerunWell(benchmark::State& state) {
  const bool big = state.range(0) == 1;
  const int kernel = static_cast<int>(state.range(1));
  const int threads = static_cast<int>(state.range(2));
  const int n_total = kernel == 2 ? (big ? 10 : 100) : (big ? 40 : 400);
  omp_set_num_threads(threads);
  rt::rng::ensure_initialised();
  const std::vector<ljtest::Atom> mol = big ? ljtest::globule(1200) : ljtest::c60();
  const int n = static_cast<int>(mol.size());
  rt::RealArray atoms = atom_table(mol);
  if (kernel >= 1) {
    // Alternating partial charges summing to +1.
    rt::RealArray charged = rt::make_real(n, 5);
    for (int k = 0; k < 4 * n; ++k) charged->data[k] = atoms->data[k];
    for (int i = 0; i < n; ++i) charged->data[i + 4 * n] = (i % 2 == 0 ? 0.2 : -0.2) + 1.0 / n;
    atoms = std::move(charged);
  }
  const bool n2 = kernel == 2;
  rt::RealArray eps = rt::make_real(n, 1), s6 = rt::make_real(n, 1), s12 = rt::make_real(n, 1);
  for (int i = 0; i < n; ++i) {
    eps->data[i] = mol[i].type.eps;
    s6->data[i] = std::pow(mol[i].type.sigma, 6);
    s12->data[i] = std::pow(mol[i].type.sigma, 12);
  }
  TrajectoryInputs in = n2 ? gas_inputs(ljtest::kMassN2, ljtest::kAlphaN2)
                           : gas_inputs(ljtest::kMassHe, ljtest::kAlphaHe);
  in.deltatenhance = 80.0;
  in.boxdomain = 10.0;
  in.N_total = n_total;
  in.qpol = n2 ? 1.0 : 0.0;
  in.DATA_atoms = atoms.get();
  in.Number_atoms = n;
  in.epsili = eps.get();
  in.sigmai = s6.get();
  in.sigma2i = s12.get();
  rt::RootContext root;
  double launched = 0.0;
  for (auto _ : state) {
    ccs::trajectory::TrajectoryResults r;
    ccs::trajectory::run_trajectory_method(
        root.get(), ccs::trajectory::plugin_params(ccs::trajectory::Variant::Well, in), &r);
    benchmark::DoNotOptimize(r.r[6]);
    launched += 2.0 * n_total;
  }
  state.counters["traj/s"] = benchmark::Counter(launched, benchmark::Counter::kIsRate);
  state.counters["traj/s/core"] =
      benchmark::Counter(launched / threads, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_TracerunWell)
    ->ArgsProduct({{0, 1}, {0, 1, 2}, {1, 2}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
