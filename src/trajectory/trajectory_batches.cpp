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
