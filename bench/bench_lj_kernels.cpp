// Trajectories per second of the Lennard-Jones kernels, single thread, for a
// 60-atom cage and a ~1200-atom globule in helium (N2 for the three-site
// kernel), launched as the sphere loop does: entry points on a sphere around
// the molecule, inward directions, reduced speeds from x^4 exp(-x^2).
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "lj_test_setup.h"
#include "runtime/blas.h"
#include "trajectory/lj_kernels.h"

namespace {

using ljtest::Atom;
using ljtest::Scene;

constexpr double kDeltatEnhance = 400.0;

struct Shot {
  double pos[3];
  double dir[3];
  double x_red;
};

struct Case {
  Scene scene;
  ljtest::Charges centre;  // single charge at the centroid
  ljtest::Charges all;     // the atoms' charges as a separate charge set
  std::vector<Shot> shots;
};

double uniform(std::uint64_t& s) {
  s = s * 6364136223846793005ULL + 1442695040888963407ULL;
  return static_cast<double>(s >> 11) * (1.0 / 9007199254740992.0);
}

Case make_case(std::vector<Atom> atoms, bool n2) {
  Case c;
  const int n = static_cast<int>(atoms.size());
  double R = 0.0;
  for (Atom& a : atoms) {
    a.q = 1.0 / n;
    R = std::max(R, std::sqrt(a.x * a.x + a.y * a.y + a.z * a.z) + a.type.sigma * 1e10);
  }
  c.scene.atoms = atoms;
  if (n2) {
    c.scene.m_gas = ljtest::kMassN2;
    c.scene.alpha = ljtest::kAlphaN2;
  }
  c.scene.deltatenhance = kDeltatEnhance;
  c.scene.prepare();
  const double Rs = R + 2.0;
  c.scene.set_box(Rs);
  c.centre.sites = {{0.0, 0.0, 0.0, 1.0}};
  for (const Atom& a : atoms) c.all.sites.push_back({a.x, a.y, a.z, a.q});

  std::uint64_t s = 2024;
  for (int k = 0; k < 256; ++k) {
    Shot sh;
    // Entry point uniform on the sphere, direction cosine-weighted inward.
    const double cz = 2.0 * uniform(s) - 1.0, phi = 2.0 * M_PI * uniform(s);
    const double sz = std::sqrt(1.0 - cz * cz);
    const double nrm[3] = {sz * std::cos(phi), sz * std::sin(phi), cz};
    const double ct = std::sqrt(uniform(s)), st = std::sqrt(1.0 - ct * ct);
    const double psi = 2.0 * M_PI * uniform(s);
    double t1[3] = {-nrm[1], nrm[0], 0.0};
    double tn = std::sqrt(t1[0] * t1[0] + t1[1] * t1[1]);
    if (tn == 0.0) {
      t1[0] = 1.0;
      tn = 1.0;
    }
    for (double& v : t1) v /= tn;
    const double t2[3] = {nrm[1] * t1[2] - nrm[2] * t1[1], nrm[2] * t1[0] - nrm[0] * t1[2],
                          nrm[0] * t1[1] - nrm[1] * t1[0]};
    for (int j = 0; j < 3; ++j) {
      sh.pos[j] = nrm[j] * Rs * 0.999;
      sh.dir[j] = -ct * nrm[j] + st * (std::cos(psi) * t1[j] + std::sin(psi) * t2[j]);
    }
    double x, u;
    do {
      x = 5.0 * uniform(s);
      u = 0.545 * uniform(s);
    } while (std::pow(x, 4) * std::exp(-x * x) < u);
    sh.x_red = x;
    c.shots.push_back(sh);
  }
  return c;
}

const Case& cage() {
  static const Case c = make_case(ljtest::c60(), false);
  return c;
}
const Case& globule() {
  static const Case c = make_case(ljtest::globule(1200), false);
  return c;
}
const Case& cage_n2() {
  static const Case c = make_case(ljtest::c60(), true);
  return c;
}
const Case& globule_n2() {
  static const Case c = make_case(ljtest::globule(1200), true);
  return c;
}

struct StepCounter {
  long steps = 0;
  static void on_step(void* user, int n, double, const double*, const double*, const double*) {
    if (n > 0) ++static_cast<StepCounter*>(user)->steps;
  }
};

// Average steps per trajectory over the shot set (not timed).
double mean_steps(const Case& c, int kernel) {
  StepCounter counter;
  const ccs::LjObserver obs{&StepCounter::on_step, &counter};
  double dp[3];
  const int m = 32;
  for (int k = 0; k < m; ++k) {
    const Shot& sh = c.shots[k];
    if (kernel == 0) ljtest::run_field(c.scene, c.centre, sh.pos, sh.dir, sh.x_red, dp, &obs);
    if (kernel == 1) ljtest::run_field(c.scene, c.all, sh.pos, sh.dir, sh.x_red, dp, &obs);
    if (kernel == 2) ljtest::run_sites(c.scene, sh.pos, sh.dir, sh.x_red, dp, &obs);
    if (kernel == 3) ljtest::run_three_site(c.scene, sh.pos, sh.dir, sh.x_red, dp, &obs);
  }
  return static_cast<double>(counter.steps) / m;
}

void BM_Trajectory(benchmark::State& state, int kernel, const Case& (*make)()) {
  const Case& c = make();
  ccs::LjScratch ws;
  double dp[3];
  std::size_t k = 0;
  for (auto _ : state) {
    const Shot& sh = c.shots[k++ % c.shots.size()];
    switch (kernel) {
      case 0:
        ljtest::run_field(c.scene, c.centre, sh.pos, sh.dir, sh.x_red, dp, nullptr, &ws);
        break;
      case 1:
        ljtest::run_field(c.scene, c.all, sh.pos, sh.dir, sh.x_red, dp, nullptr, &ws);
        break;
      case 2:
        ljtest::run_sites(c.scene, sh.pos, sh.dir, sh.x_red, dp, nullptr, &ws);
        break;
      default:
        ljtest::run_three_site(c.scene, sh.pos, sh.dir, sh.x_red, dp, nullptr, &ws);
    }
    benchmark::DoNotOptimize(dp);
  }
  state.SetItemsProcessed(state.iterations());
  const double steps = mean_steps(c, kernel);
  state.counters["atoms"] = c.scene.n();
  state.counters["steps/traj"] = steps;
  state.counters["time/step/atom"] =
      benchmark::Counter(static_cast<double>(state.iterations()) * steps * c.scene.n(),
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// Field kernel, single charge at the centre (tracerun_well without partial charges).
BENCHMARK_CAPTURE(BM_Trajectory, field_single_charge_c60, 0, &cage);
BENCHMARK_CAPTURE(BM_Trajectory, field_single_charge_globule1200, 0, &globule);
// Field kernel with every atom charged as a separate charge set.
BENCHMARK_CAPTURE(BM_Trajectory, field_all_charged_c60, 1, &cage);
BENCHMARK_CAPTURE(BM_Trajectory, field_all_charged_globule1200, 1, &globule);
// Partial-charge kernel.
BENCHMARK_CAPTURE(BM_Trajectory, partial_charge_c60, 2, &cage);
BENCHMARK_CAPTURE(BM_Trajectory, partial_charge_globule1200, 2, &globule);
// Three-site kernel (N2).
BENCHMARK_CAPTURE(BM_Trajectory, three_site_c60, 3, &cage_n2);
BENCHMARK_CAPTURE(BM_Trajectory, three_site_globule1200, 3, &globule_n2);

// The 1 x N by N x 3 product of one force evaluation: BLAS dgemm against the
// sequential loop the kernels use (same order as the reference dgemm).
void BM_RowTimesTable(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const bool blas = state.range(1) != 0;
  std::vector<double> f(n), D(3 * static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) {
    f[i] = 1.0 + 1e-3 * i;
    for (int j = 0; j < 3; ++j) D[i + j * n] = std::sin(0.1 * i + j);
  }
  double out[3];
  for (auto _ : state) {
    if (blas) {
      rt::gemm(1, 3, n, f.data(), D.data(), out);
    } else {
      double ax = 0.0, ay = 0.0, az = 0.0;
      for (int i = 0; i < n; ++i) {
        ax += f[i] * D[i];
        ay += f[i] * D[i + n];
        az += f[i] * D[i + 2 * n];
      }
      out[0] = ax;
      out[1] = ay;
      out[2] = az;
    }
    benchmark::DoNotOptimize(out);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_RowTimesTable)->ArgNames({"n", "blas"})->ArgsProduct({{60, 1200}, {0, 1}});

}  // namespace

BENCHMARK_MAIN();
