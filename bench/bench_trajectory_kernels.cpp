// Trajectories per second of the trajectory kernels: helium (298 K) around a
// 60-atom fullerene-like cage and a 1200-atom globule, with one charge at the
// centre or twelve partial charges on atoms (total +1 on the cage, +6 on the
// globule). Entries are drawn on a sphere around the
// molecule with inward cosine-weighted directions and reduced speeds from
// x^4 exp(-x^2), as the trajectory loops do.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "runtime/random_streams.h"
#include "trajectory/trajectory_kernels.h"
#include "support/molecules.h"

namespace {

using namespace ccs::trajectory;

constexpr double kPi = 3.141592653589793;

struct Atoms {
  std::vector<double> xyz;  // rows x y z
};

// C60-like cage with 1.4 Å edges.
Atoms cage60() {
  Atoms a;
  for (const auto& p : ccs::test::c60_cage(1.4)) a.xyz.insert(a.xyz.end(), p.begin(), p.end());
  return a;
}

// n atoms packed at random in a ball of about 14 Å^3 per atom, at least
// 1.4 Å apart.
Atoms globule(int n) {
  std::mt19937_64 gen(7);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  const double rb = std::cbrt(14.0 * n * 3.0 / (4.0 * kPi));
  Atoms a;
  while (static_cast<int>(a.xyz.size()) < 3 * n) {
    const double p[3] = {u(gen) * rb, u(gen) * rb, u(gen) * rb};
    if (p[0] * p[0] + p[1] * p[1] + p[2] * p[2] > rb * rb) continue;
    bool ok = true;
    for (std::size_t i = 0; ok && i < a.xyz.size(); i += 3) {
      const double d[3] = {a.xyz[i] - p[0], a.xyz[i + 1] - p[1], a.xyz[i + 2] - p[2]};
      ok = d[0] * d[0] + d[1] * d[1] + d[2] * d[2] >= 1.96;
    }
    if (ok) a.xyz.insert(a.xyz.end(), p, p + 3);
  }
  return a;
}

enum class Which { Fixed, Moving, Many };

class Setup {
 public:
  Setup(const Atoms& atoms, int nq, double q_site) {
    const double amu = 1.66053906660e-27;
    const double m_gas = 4.0026 * amu;
    const double v = std::sqrt(2.0 * 1.380649e-23 * 298.0 / m_gas);
    const double e = 1.602176634e-19;
    const int N = static_cast<int>(atoms.xyz.size() / 3);
    coords_.resize(3 * N);
    R_.assign(N, 1.7 + 1.0);
    R2_.assign(N, 2.7 * 2.7);
    mass_.assign(N, 12.011);
    double rs = 0.0;
    for (int i = 0; i < N; ++i) {
      double r2 = 0.0;
      for (int k = 0; k < 3; ++k) {
        coords_[i + k * N] = atoms.xyz[3 * i + k];
        r2 += atoms.xyz[3 * i + k] * atoms.xyz[3 * i + k];
      }
      rs = std::max(rs, std::sqrt(r2) + R_[i]);
    }
    // Two frames 1 fs apart with a small thermal displacement.
    std::mt19937_64 gen(3);
    std::normal_distribution<double> jitter(0.0, 5e-4);
    move_.resize(3 * 2 * N);
    for (int f = 0; f < 2; ++f)
      for (int i = 0; i < N; ++i)
        for (int k = 0; k < 3; ++k)
          move_[(f * N + i) + k * 2 * N] = coords_[i + k * N] + (f ? jitter(gen) : 0.0);
    // Charges: one at the centre, or q_site on twelve atoms spread over the list.
    q_.assign(nq, nq == 1 ? 1.0 : q_site);
    q2_.assign(nq, q_[0] * q_[0]);
    qpos_.assign(3 * nq, 0.0);
    if (nq > 1)
      for (int c = 0; c < nq; ++c) {
        const int i = c * N / nq;
        for (int k = 0; k < 3; ++k) qpos_[c + k * nq] = coords_[i + k * N] * 1e-10;
      }
    double r_capture = 0.0;
    if (nq == 1)
      for (int i = 0; i < N; ++i) {
        double d2 = 0.0;
        for (int k = 0; k < 3; ++k) d2 += coords_[i + k * N] * coords_[i + k * N];
        r_capture = std::max(r_capture, (std::sqrt(d2) + R_[i]) * 1e-10);
      }
    init_.assign(N + 1, 1000.0);
    row_.assign(N + 1, 1000.0);
    rs_ = rs + 10.0;

    tc_.mol = {N, coords_.data(), R_.data(), R2_.data(), mass_.data(), move_.data(), 2 * N, 1.0};
    tc_.charges.nq = nq;
    tc_.charges.q = q_.data();
    tc_.charges.q2 = q2_.data();
    tc_.charges.qpos = qpos_.data();
    tc_.charges.n_charged = nq;
    KernelParams& p = tc_.par;
    p.deltatenhance = 10.0;
    p.Force_const = 2.0 * 0.204956e-30 * e * e / (1.11265005545e-10 * m_gas);
    p.r_capture = r_capture;
    p.dt0 = 1e-10 / v / 400.0;
    p.a = 0.0;
    p.m_gas = m_gas;
    p.v_c = v;
    p.v_c_t = v;
    p.multiplier = 100.0;
    for (int k = 0; k < 3; ++k) {
      p.box[2 * k] = -rs_ * 1e-10;
      p.box[2 * k + 1] = rs_ * 1e-10;
    }
    tc_.dist_back_init = init_.data();
    make_entries();
  }

  // Runs the next trajectory; returns its transfer along x.
  double run(Which w) {
    const Entry& en = entries_[next_++ % entries_.size()];
    Probe p;
    p.x_red = en.x_red;
    for (int k = 0; k < 3; ++k) {
      p.pos[k] = en.pos[k];
      p.dir[k] = en.dir[k];
    }
    std::fill(row_.begin(), row_.end(), 1000.0);
    p.dist_back = row_.data();
    switch (w) {
      case Which::Fixed: fixed_atom_trajectory(nullptr, tc_, p, scratch_); break;
      case Which::Moving: moving_atom_trajectory(nullptr, tc_, p, scratch_); break;
      case Which::Many: many_charge_trajectory(nullptr, tc_, p, scratch_); break;
    }
    return p.dp[0];
  }

 private:
  struct Entry {
    double pos[3], dir[3], x_red;
  };

  void make_entries() {
    std::mt19937_64 gen(11);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    entries_.resize(4096);
    for (Entry& en : entries_) {
      // Point on the sphere, inward direction with cosine weight about -n.
      const double ct = 2.0 * u(gen) - 1.0;
      const double st = std::sqrt(1.0 - ct * ct);
      const double ph = 2.0 * kPi * u(gen);
      const double n[3] = {st * std::cos(ph), st * std::sin(ph), ct};
      for (int k = 0; k < 3; ++k) en.pos[k] = 0.999 * rs_ * n[k];
      const double ca = std::sqrt(u(gen));
      const double sa = std::sqrt(1.0 - ca * ca);
      const double ps = 2.0 * kPi * u(gen);
      // Orthonormal frame about n.
      double t1[3] = {-n[1], n[0], 0.0};
      double l = std::sqrt(t1[0] * t1[0] + t1[1] * t1[1]);
      if (l < 1e-8) {
        t1[0] = 1.0;
        t1[1] = 0.0;
        l = 1.0;
      }
      for (double& c : t1) c /= l;
      const double t2[3] = {n[1] * t1[2] - n[2] * t1[1], n[2] * t1[0] - n[0] * t1[2],
                            n[0] * t1[1] - n[1] * t1[0]};
      for (int k = 0; k < 3; ++k)
        en.dir[k] = -ca * n[k] + sa * (std::cos(ps) * t1[k] + std::sin(ps) * t2[k]);
      double x;
      double acc;
      do {
        x = 5.0 * u(gen);
        acc = 0.545 * u(gen);
      } while (std::pow(x, 4.0) * std::exp(-x * x) < acc);
      en.x_red = x;
    }
  }

  std::vector<double> coords_, R_, R2_, mass_, move_, q_, q2_, qpos_, init_, row_;
  TrajectoryContext tc_;
  TrajectoryScratch scratch_;
  std::vector<Entry> entries_;
  std::size_t next_ = 0;
  double rs_ = 0.0;
};

void bench(benchmark::State& state, const Atoms& atoms, int nq, Which w) {
  rt::rng::ensure_initialised();
  rt::rng::rng(1);
  // Total charge +1 on the cage, +6 on the globule when spread over twelve sites.
  Setup s(atoms, nq, atoms.xyz.size() / 3 < 100 ? 1.0 / 12.0 : 0.5);
  for (auto _ : state) benchmark::DoNotOptimize(s.run(w));
  state.SetItemsProcessed(state.iterations());
  state.counters["atoms"] = static_cast<double>(atoms.xyz.size() / 3);
}

const Atoms& cage() {
  static const Atoms a = cage60();
  return a;
}
const Atoms& big() {
  static const Atoms a = globule(1200);
  return a;
}

BENCHMARK_CAPTURE(bench, cage60_q1_fixed, cage(), 1, Which::Fixed)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(bench, cage60_q1_moving, cage(), 1, Which::Moving)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(bench, cage60_q12_many, cage(), 12, Which::Many)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(bench, cage60_q12_loops, cage(), 12, Which::Fixed)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(bench, atoms1200_q1_fixed, big(), 1, Which::Fixed)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(bench, atoms1200_q1_moving, big(), 1, Which::Moving)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(bench, atoms1200_q12_many, big(), 12, Which::Many)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(bench, atoms1200_q12_loops, big(), 12, Which::Fixed)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
