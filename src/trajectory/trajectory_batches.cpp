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

void run_disc_loop(rt::Context* ctx, const EntryDisc& s, const TrajectoryRunner& r,
                   double* result, int ld, int row0, double* launched) {
  const int count = rt::loop_count(s.N_total);
  const double Rs = s.Rs;
  const double Rs2 = Rs * Rs;
  auto draw = [&](int k, double p[3], double d[3], double* x_red, double* w) {
    double w_speed;
    *x_red = sample_momentum_weighted_speed(&w_speed);
    const double sgn = (k + 1.0 <= 0.5 * s.N_total) ? 1.0 : -1.0;
    const double cx = std::sqrt(rand());
    const double sx = std::sqrt(1.0 - cx * cx);
    const double psi = kTwoPi * rand();
    const double cp = std::cos(psi);
    const double sp = std::sin(psi);
    d[0] = sgn * cx;
    d[1] = sx * cp;
    d[2] = sx * sp;
    // The rings seen along d: squared radii and area fractions of the disc.
    const double S = shadow_radius(s, d);
    const double q1 = std::fmin(s.inner * S * (s.inner * S), Rs2);
    const double q2 = std::fmin(s.outer * S * (s.outer * S), Rs2);
    const double a1 = q1 / Rs2;
    const double a2 = (q2 - q1) / Rs2;
    const double a3 = 1.0 - q2 / Rs2;
    const double m1 = a1;
    const double m2 = s.middle_density * a2;
    const double m3 = s.outer_density * a3;
    const double Z = (m1 + m2) + m3;
    const double u = Z * rand();
    double lo2, hi2, density;
    if (u < m1) {
      lo2 = 0.0, hi2 = q1, density = 1.0;
    } else if (u < m1 + m2) {
      lo2 = q1, hi2 = q2, density = s.middle_density;
    } else {
      lo2 = q2, hi2 = Rs2, density = s.outer_density;
    }
    const double b = std::sqrt(lo2 + (hi2 - lo2) * rand());
    const double phi = kTwoPi * rand();
    // Orthonormal pair spanning the disc: e1 = (-sx, cx cos psi, cx sin psi)
    // (sign of x folded in), e2 = (0, -sin psi, cos psi).
    const double e1[3] = {-sx, sgn * cx * cp, sgn * cx * sp};
    const double e2[3] = {0.0, -sp, cp};
    const double b1 = b * std::cos(phi);
    const double b2 = b * std::sin(phi);
    const double back = std::sqrt(std::fmax(Rs2 - b * b, 0.0));
    for (int j = 0; j < 3; ++j) p[j] = s.centre[j] + b1 * e1[j] + b2 * e2[j] - back * d[j];
    *w = w_speed * (Z / density);
  };
  rt::parallel_iterations(
      ctx, count, [&](rt::Context&) { return RunnerWork(&r); },
      [&](RunnerWork& rw, rt::Context& tctx, int k) {
        double p[3];
        double d[3];
        double x_red;
        double w;
        draw(k, p, d, &x_red, &w);
        rw.launched += 1.0;
        double dp[3] = {0.0, 0.0, 0.0};
        r.run(&tctx, r.shared, rw.work, p, d, x_red, dp);
        for (int j = 0; j < 3; ++j) result[row0 + k + j * ld] = dp[j] * w;
      },
      [&](RunnerWork& rw, rt::Context& tctx) { rt::locked_add(&tctx, launched, rw.launched); });
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
