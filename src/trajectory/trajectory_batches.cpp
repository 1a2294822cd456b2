#include "trajectory/trajectory_batches.h"

#include <cmath>

#include "runtime/constants.h"
#include "runtime/numeric.h"
#include "runtime/parallel.h"
#include "runtime/random_streams.h"

namespace ccs::trajectory {

using rt::rng::rand;

double sample_reduced_speed() {
  double x;
  double u;
  do {
    x = 5.0 * rand();
    u = 0.545 * rand();
  } while (!(std::pow(x, 4.0) * std::exp(0.0 - x * x) >= u));
  return x;
}

double sample_momentum_weighted_speed(double* weight) {
  // Normalisers of x^4 exp(-x^2) and x^5 exp(-x^2) on [0, 5).
  static const double z4 = 0.375 * std::sqrt(kPi) * std::erf(5.0) -
                           std::exp(-25.0) * (62.5 + 3.75);
  static const double z5 = 1.0 - std::exp(-25.0) * (312.5 + 25.0 + 1.0);
  double x2;
  do {
    x2 = -std::log((rand() * rand()) * rand());
  } while (!(x2 < 25.0));
  const double x = std::sqrt(x2);
  *weight = (z5 / z4) / x;
  return x;
}

namespace {

// Thread-local working storage of a runner, freed also when the thread fails.
struct RunnerWork {
  const TrajectoryRunner* r;
  void* work;
  double launched = 0.0;
  explicit RunnerWork(const TrajectoryRunner* runner)
      : r(runner), work(runner->make(runner->shared)) {}
  RunnerWork(RunnerWork&& o) noexcept : r(o.r), work(o.work), launched(o.launched) {
    o.work = nullptr;
  }
  RunnerWork(const RunnerWork&) = delete;
  RunnerWork& operator=(const RunnerWork&) = delete;
  ~RunnerWork() {
    if (work != nullptr) r->destroy(work);
  }
};

// Each iteration: `draw` fills p, d, x_red from the stream; the runner
// computes dp; row k of the result receives it.
template <class Draw>
void run_loop(rt::Context* ctx, int count, const TrajectoryRunner& r, double* result, int ld,
              int row0, double* launched, Draw draw) {
  rt::parallel_iterations(
      ctx, count, [&](rt::Context&) { return RunnerWork(&r); },
      [&](RunnerWork& w, rt::Context& tctx, int k) {
        double p[3];
        double d[3];
        double x_red;
        draw(k, p, d, &x_red);
        w.launched += 1.0;
        double dp[3] = {0.0, 0.0, 0.0};
        r.run(&tctx, r.shared, w.work, p, d, x_red, dp);
        for (int j = 0; j < 3; ++j) result[row0 + k + j * ld] = dp[j];
      },
      [&](RunnerWork& w, rt::Context& tctx) { rt::locked_add(&tctx, launched, w.launched); });
}

}  // namespace

void run_sphere_loop(rt::Context* ctx, const EntrySphere& s, const TrajectoryRunner& r,
                     double* result, int ld, int row0, double* launched) {
  const int count = rt::loop_count(s.N_total);
  run_loop(ctx, count, r, result, ld, row0, launched,
           [&](int k, double p[3], double d[3], double* x_red) {
             double th, ph, al, be;
             int t = 0;
             for (;;) {
               th = kPi * rand();
               ph = kTwoPi * rand();
               al = kHalfPi * rand();
               be = kTwoPi * rand();
               ++t;
               if (t == 1000) break;
               const double nd = std::sin(al) * std::cos(be) * std::sin(th) * std::cos(ph) +
                                 std::cos(th) * std::cos(al) +
                                 std::sin(be) * std::sin(al) * std::sin(th) * std::sin(ph);
               if (nd <= 0.0) {
                 const double u = rand();
                 if (nd * -0.10132118364233778 * std::cos(al) * std::sin(al) * std::sin(th) >=
                     0.045 * u) {
                   break;
                 }
               }
             }
             *x_red = sample_reduced_speed();
             const double sgn = (k + 1.0 <= 0.5 * s.N_total) ? 1.0 : -1.0;
             const double ct = std::cos(th);
             const double st = std::sin(th);
             const double ca = std::cos(al);
             const double sa = std::sin(al);
             const double cp = std::cos(ph);
             const double sp = std::sin(ph);
             const double cb = std::cos(be);
             const double sb = std::sin(be);
             d[0] = (sgn * ct + sgn * ca) - sgn * ct;
             d[1] = (sa * cb + st * cp) - st * cp;
             d[2] = (sa * sb + st * sp) - st * sp;
             p[0] = sgn * ct * s.Rs + s.centre[0];
             p[1] = st * cp * s.Rs + s.centre[1];
             p[2] = st * sp * s.Rs + s.centre[2];
           });
}

double shadow_radius(const EntryDisc& s, const double d[3]) {
  const int N = s.N;
  double best = 0.0;
  for (int a = 0; a < N; ++a) {
    const double r0 = s.coords[a] - s.centre[0];
    const double r1 = s.coords[a + N] - s.centre[1];
    const double r2 = s.coords[a + 2 * N] - s.centre[2];
    const double t = (r0 * d[0] + r1 * d[1]) + r2 * d[2];
    const double h2 = std::fmax(((r0 * r0 + r1 * r1) + r2 * r2) - t * t, 0.0);
    const double h = std::sqrt(h2) + s.R[a];
    if (h > best) best = h;
  }
  return best;
}

namespace {

// Per-thread state of the disc loop: the runner's storage and the shifts of
// the current chunk's evenly spread points.
struct DiscWork {
  RunnerWork runner;
  double shift_b = 0.0, shift_dx = 0.0;
  // Launches drawn and not yet run, for a runner that takes them in groups
  // (the draws never depend on the runs): their rows, weights and launches.
  static constexpr int kGroup = 4;
  int pending = 0;
  int row[kGroup] = {};
  double w[kGroup] = {}, x_red[kGroup] = {}, p[kGroup][3] = {}, d[kGroup][3] = {};
  explicit DiscWork(const TrajectoryRunner* r) : runner(r) {
    shift_b = rand();
    shift_dx = rand();
  }
};

}  // namespace

void run_disc_loop(rt::Context* ctx, const EntryDisc& s, const TrajectoryRunner& r,
                   double* result, int ld, int row0, double* launched) {
  const int count = rt::loop_count(s.N_total);
  const double Rs = s.Rs;
  const double Rs2 = Rs * Rs;
  constexpr int kSpread = rt::kStreamChunk;
  // Trajectory k is point j = k mod kSpread of its chunk: its impact-point
  // quantile is frac(j / kSpread + shift_b) and its d_x^2 is
  // frac(perm(j) / kSpread + shift_dx), with the shifts uniform and drawn
  // at the chunk's start. Each quantile alone is uniform (every trajectory
  // has the distribution described in the header), and the points of a chunk
  // cover both ranges evenly, which removes most of the variance that comes
  // from where the probe passes the molecule.
  auto draw = [&](DiscWork& dw, int k, double p[3], double d[3], double* x_red, double* w) {
    const int j = k % kSpread;
    if (j == 0) {
      dw.shift_b = rand();
      dw.shift_dx = rand();
    }
    auto spread = [](double t) { return t >= 1.0 ? t - 1.0 : t; };
    const double u_b = spread(j / static_cast<double>(kSpread) + dw.shift_b);
    const double u_dx = spread(((5 * j) % kSpread) / static_cast<double>(kSpread) + dw.shift_dx);
    double w_speed;
    *x_red = sample_momentum_weighted_speed(&w_speed);
    const double sgn = (k + 1.0 <= 0.5 * s.N_total) ? 1.0 : -1.0;
    const double cx = std::sqrt(u_dx);
    const double sx = std::sqrt(1.0 - cx * cx);
    const double psi = kTwoPi * rand();
    const double cp = std::cos(psi);
    const double sp = std::sin(psi);
    d[0] = sgn * cx;
    d[1] = sx * cp;
    d[2] = sx * sp;
    // The rings seen along d: squared radii and their masses (area fraction
    // of the disc times relative density).
    const double S = shadow_radius(s, d);
    const double q1 = std::fmin(s.inner * S * (s.inner * S), Rs2);
    const double q2 = std::fmin(s.outer * S * (s.outer * S), Rs2);
    const double m1 = q1 / Rs2;
    const double m2 = s.middle_density * ((q2 - q1) / Rs2);
    const double m3 = s.outer_density * (1.0 - q2 / Rs2);
    const double Z = (m1 + m2) + m3;
    // Squared impact parameter at quantile u_b of the ring mixture.
    const double t = Z * u_b;
    double b2, density;
    if (t < m1) {
      b2 = t * Rs2, density = 1.0;
    } else if (t < m1 + m2) {
      b2 = q1 + (t - m1) / s.middle_density * Rs2, density = s.middle_density;
    } else {
      b2 = q2 + (t - m1 - m2) / s.outer_density * Rs2, density = s.outer_density;
    }
    const double b = std::sqrt(std::fmin(b2, Rs2));
    const double phi = kTwoPi * rand();
    // Orthonormal pair spanning the disc: e1 = (-sx, cx cos psi, cx sin psi)
    // (sign of x folded in), e2 = (0, -sin psi, cos psi).
    const double e1[3] = {-sx, sgn * cx * cp, sgn * cx * sp};
    const double e2[3] = {0.0, -sp, cp};
    const double b1 = b * std::cos(phi);
    const double bb2 = b * std::sin(phi);
    const double back = std::sqrt(std::fmax(Rs2 - b * b, 0.0));
    for (int i = 0; i < 3; ++i) p[i] = s.centre[i] + b1 * e1[i] + bb2 * e2[i] - back * d[i];
    *w = w_speed * (Z / density);
  };
  auto run_pending = [&](DiscWork& dw, rt::Context& tctx) {
    if (dw.pending == 0) return;
    double dp[DiscWork::kGroup][3];
    r.run_group(&tctx, r.shared, dw.runner.work, dw.pending, dw.p, dw.d, dw.x_red, dp);
    for (int g = 0; g < dw.pending; ++g) {
      for (int i = 0; i < 3; ++i) result[row0 + dw.row[g] + i * ld] = dp[g][i] * dw.w[g];
    }
    dw.pending = 0;
  };
  rt::parallel_iterations(
      ctx, count, [&](rt::Context&) { return DiscWork(&r); },
      [&](DiscWork& dw, rt::Context& tctx, int k) {
        if (r.run_group != nullptr) {
          const int g = dw.pending;
          draw(dw, k, dw.p[g], dw.d[g], &dw.x_red[g], &dw.w[g]);
          dw.runner.launched += 1.0;
          dw.row[g] = k;
          if (++dw.pending == DiscWork::kGroup) run_pending(dw, tctx);
          return;
        }
        double p[3];
        double d[3];
        double x_red;
        double w;
        draw(dw, k, p, d, &x_red, &w);
        dw.runner.launched += 1.0;
        double dp[3] = {0.0, 0.0, 0.0};
        r.run(&tctx, r.shared, dw.runner.work, p, d, x_red, dp);
        for (int i = 0; i < 3; ++i) result[row0 + k + i * ld] = dp[i] * w;
      },
      [&](DiscWork& dw, rt::Context& tctx) {
        run_pending(dw, tctx);
        rt::locked_add(&tctx, launched, dw.runner.launched);
      });
}

void run_face_loop(rt::Context* ctx, int axis, int count, const EntryBox& b,
                   const TrajectoryRunner& r, double* result, int ld, int row0,
                   double* launched) {
  if (axis == 0) {
    run_loop(ctx, count, r, result, ld, row0, launched,
             [&](int, double p[3], double d[3], double* x_red) {
               *x_red = sample_reduced_speed();
               const double c = rt::nthroot(1.0 - 2.0 * rand());
               const double s = std::sqrt(1.0 - c * c);
               const double psi = kTwoPi * rand();
               d[0] = c;
               d[1] = s * std::cos(psi);
               d[2] = s * std::sin(psi);
               p[0] = c < 0.0 ? b.hi[0] : b.lo[0];
               p[1] = b.L[1] * rand() + b.lo[1];
               p[2] = b.L[2] * rand() + b.lo[2];
             });
    return;
  }
  // y face (axis 1) or z face (axis 2): the normal component along `axis`,
  // the in-plane component c*w along the other of y, z.
  const int other = axis == 1 ? 2 : 1;
  run_loop(ctx, count, r, result, ld, row0, launched,
           [&](int, double p[3], double d[3], double* x_red) {
             const double c = rt::nthroot(rand());
             const double g1 = rt::sign(2.0 * rand() - 1.0);
             const double dn = g1 * std::sqrt(1.0 - c * c);
             const double w = 2.0 * rand() - 1.0;
             const double g2 = rt::sign(2.0 * rand() - 1.0);
             d[0] = std::sqrt(1.0 - w * w) * g2 * c;
             d[axis] = dn;
             d[other] = c * w;
             *x_red = sample_reduced_speed();
             p[axis] = dn < 0.0 ? b.hi[axis] : b.lo[axis];
             p[0] = b.L[0] * rand() + b.lo[0];
             p[other] = b.L[other] * rand() + b.lo[other];
           });
}

}  // namespace ccs::trajectory
