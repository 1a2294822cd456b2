#include "trajectory/trajectory_kernels.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "runtime/random_streams.h"
#include "trajectory/analytic_deflection.h"
#include "trajectory/atom_motion.h"
#include "trajectory/charge_field.h"
#include "trajectory/trajectory_integrator.h"
#include "trajectory_scene.h"

namespace ccs::trajectory {
namespace {

using test::Helium;
using test::Scene;

enum class Kernel { Moving, Fixed, Many };

void run(Kernel k, Scene& sc, Probe& p) {
  static TrajectoryScratch scratch;
  const TrajectoryContext& tc = sc.context();
  switch (k) {
    case Kernel::Moving: moving_atom_trajectory(nullptr, tc, p, scratch); break;
    case Kernel::Fixed: fixed_atom_trajectory(nullptr, tc, p, scratch); break;
    case Kernel::Many: many_charge_trajectory(nullptr, tc, p, scratch); break;
  }
}

double dot(const double a[3], const double b[3]) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

double dist(const double a[3], const double b[3]) {
  const double d[3] = {a[0] - b[0], a[1] - b[1], a[2] - b[2]};
  return std::sqrt(dot(d, d));
}

// How many doubles the calling thread's stream delivered since it was
// seeded with `seed` (searching the replayed stream for the next draw).
int draws_since(double seed) {
  const double next = rt::rng::rand();
  rt::rng::rng(seed);
  for (int i = 0; i < 10000; ++i)
    if (rt::rng::rand() == next) return i;
  return -1;
}

class Kernels : public ::testing::Test {
 protected:
  void SetUp() override {
    rt::rng::first_time_init();
    rt::rng::rng(1234);
  }
  double v_inf() const { return Helium::v_c_t(); }  // x_red = 1
  double m() const { return Helium::m_gas(); }
};

// ---------------------------------------------------------------------------
// Single charge: capture test and analytic deflection

TEST_F(Kernels, ProbeOutsideCaptureRadiusIsNotIntegrated) {
  Scene sc;
  sc.add_charge(0, 0, 0, 1.0);
  sc.add_atom(0, 0, 0, 3.0);
  sc.par.r_capture = 3.0e-10;
  const double pos[3] = {-40.0, 12.0, 5.0};
  const double dir[3] = {1.0, 0.05, -0.02};
  for (Kernel k : {Kernel::Moving, Kernel::Fixed}) {
    rt::rng::rng(1234);
    Probe p = sc.probe(pos, dir, 1.0, 7.0);
    run(k, sc, p);
    EXPECT_EQ(draws_since(1234), 0);
    for (double db : sc.dist_back()) EXPECT_EQ(db, 1000.0);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(p.pos[i], pos[i]);
    // Transfer of a pure turn: the new direction is a unit vector.
    double u[3];
    for (int i = 0; i < 3; ++i) u[i] = p.dir[i] + p.dp[i] / (-m() * v_inf());
    EXPECT_NEAR(dot(u, u), 1.0, 1e-9);
    EXPECT_GT(std::fabs(p.dp[1]), 0.0);
  }
  // The many-charge kernel has no capture test: it integrates.
  Probe p = sc.probe(pos, dir, 1.0, 7.0);
  run(Kernel::Many, sc, p);
  EXPECT_NE(p.pos[0], pos[0]);
}

TEST_F(Kernels, AnalyticTransferNeedsExactlyOneChargedAtom) {
  Scene sc;
  sc.add_charge(0, 0, 0, 1.0);
  sc.add_atom(0, 0, 0, 3.0);
  sc.par.r_capture = 3.0e-10;
  sc.n_charged = 2;
  const double pos[3] = {-40.0, 12.0, 5.0};
  const double dir[3] = {1.0, 0.05, -0.02};
  Probe p = sc.probe(pos, dir, 1.0, 7.0);
  run(Kernel::Fixed, sc, p);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(p.dp[i], 7.0);
    EXPECT_EQ(p.pos[i], pos[i]);
  }
}

TEST_F(Kernels, ProbeInsideCaptureRadiusIsIntegrated) {
  Scene sc;
  sc.add_charge(0, 0, 0, 1.0);
  sc.add_atom(0, 0, 0, 3.0);
  sc.par.r_capture = 3.0e-10;
  const double pos[3] = {-40.0, 1.0, 0.5};
  const double dir[3] = {1.0, 0.0, 0.01};
  Probe p = sc.probe(pos, dir, 1.0, 7.0);
  run(Kernel::Fixed, sc, p);
  EXPECT_NE(p.pos[0], pos[0]);
  EXPECT_EQ(draws_since(1234), 1);  // one elastic collision
}

TEST_F(Kernels, DegenerateDeflectionGeometryIsIntegratedInstead) {
  Scene sc;
  sc.add_charge(0, 0, 0, 1.0);
  sc.add_atom(0, 0, 0, 3.0);
  sc.par.r_capture = 3.0e-10;
  // Direction exactly along x: the deflection construction is singular.
  const double pos[3] = {-40.0, 12.0, 5.0};
  const double dir[3] = {1.0, 0.0, 0.0};
  Probe p = sc.probe(pos, dir, 1.0, 7.0);
  run(Kernel::Fixed, sc, p);
  EXPECT_NE(p.pos[0], pos[0]);
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(std::isfinite(p.dp[i]));
  // The same trajectory integrated by the matrix form.
  Probe q = sc.probe(pos, dir, 1.0, 7.0);
  run(Kernel::Many, sc, q);
  for (int i = 0; i < 3; ++i) EXPECT_NEAR(p.dp[i], q.dp[i], 1e-6 * m() * v_inf());
  // Attracted towards the charge: the transfer points away from it.
  EXPECT_GT(p.dp[1], 0.0);
  EXPECT_GT(p.dp[2], 0.0);
}

// ---------------------------------------------------------------------------
// Exit rule and collisions in a field-free space

TEST_F(Kernels, FieldFreeProbeWithoutContactTransfersNothing) {
  Scene sc;
  sc.par.Force_const = 0.0;
  sc.add_charge(0, 0, 0, 1.0);
  sc.add_atom(0, 30, 0, 2.0);
  const double pos[3] = {-40.0, 0.0, 0.0};
  const double dir[3] = {1.0, 0.1, -0.05};
  for (Kernel k : {Kernel::Moving, Kernel::Fixed, Kernel::Many}) {
    Probe p = sc.probe(pos, dir, 1.0, 7.0);
    run(k, sc, p);
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(p.dp[i], 0.0, 1e-14 * m() * v_inf());
  }
}

TEST_F(Kernels, HeadOnProbeBouncesStraightBack) {
  for (double K_F : {0.0, Helium::Force_const()}) {
    Scene sc;
    sc.par.Force_const = K_F;
    sc.par.deltatenhance = 2000.0;  // small steps: energy error well below 1e-3
    sc.add_charge(0, 0, 0, 1.0);
    sc.add_atom(0, 0, 0, 3.0);
    const double pos[3] = {-40.0, 0.0, 0.0};
    const double dir[3] = {1.0, 0.0, 0.0};
    for (Kernel k : {Kernel::Moving, Kernel::Fixed, Kernel::Many}) {
      rt::rng::rng(1234);
      Probe p = sc.probe(pos, dir, 1.0, 7.0);
      run(k, sc, p);
      EXPECT_EQ(draws_since(1234), 1);  // exactly one draw: one elastic collision
      EXPECT_NEAR(p.dp[0], 2.0 * m() * v_inf(), 1e-3 * m() * v_inf());
      EXPECT_EQ(p.dp[1], 0.0);
      EXPECT_EQ(p.dp[2], 0.0);
    }
  }
}

TEST_F(Kernels, OffCentreFieldFreeBounceIsSpecular) {
  Scene sc;
  sc.par.Force_const = 0.0;
  sc.add_charge(0, 0, 0, 1.0);
  const double R = 3.0;
  sc.add_atom(0, 0, 0, R, 1e15);  // moving-atom law: infinitely heavy at rest
  const double bimp = 1.7;  // impact parameter along y
  const double pos[3] = {-40.0, bimp, 0.0};
  const double dir[3] = {1.0, 0.0, 0.0};
  const double n[3] = {-std::sqrt(R * R - bimp * bimp) / R, bimp / R, 0.0};
  double u[3];
  for (int i = 0; i < 3; ++i) u[i] = dir[i] - 2.0 * dot(dir, n) * n[i];
  for (Kernel k : {Kernel::Moving, Kernel::Fixed, Kernel::Many}) {
    Probe p = sc.probe(pos, dir, 1.0, 7.0);
    run(k, sc, p);
    for (int i = 0; i < 3; ++i)
      EXPECT_NEAR(p.dp[i], -m() * v_inf() * (u[i] - dir[i]), 1e-9 * m() * v_inf());
  }
}

TEST_F(Kernels, DiffuseCosineBounceDrawsThreeNumbers) {
  Scene sc;
  sc.par.Force_const = 0.0;
  sc.par.a = 1.0;
  sc.par.diffusive = DiffuseDirection::CosineLaw;
  sc.add_charge(0, 0, 0, 1.0);
  sc.add_atom(0, 0, 0, 3.0);
  const double pos[3] = {-40.0, 0.5, 0.2};
  const double dir[3] = {1.0, 0.0, 0.0};
  rt::rng::rng(1234);
  Probe p = sc.probe(pos, dir, 1.0, 7.0);
  run(Kernel::Fixed, sc, p);
  EXPECT_EQ(draws_since(1234), 3);
}

TEST_F(Kernels, TransferMirrorsWithTheFirstDirectionComponent) {
  // A field and an off-centre collision; the scene mirrored x -> -x.
  double dp[2][3];
  for (int s = 0; s < 2; ++s) {
    const double f = s == 0 ? 1.0 : -1.0;
    Scene sc;
    sc.add_charge(0.5 * f, 0, 0, 1.0);
    sc.add_charge(-0.7 * f, 0.4, 0, 1.0);
    sc.add_atom(0.5 * f, 0, 0, 2.5);
    sc.add_atom(-0.7 * f, 0.4, 0.3, 2.0);
    const double pos[3] = {-40.0 * f, 2.0, 1.0};
    const double dir[3] = {1.0 * f, -0.05, -0.02};
    Probe p = sc.probe(pos, dir, 1.1, 7.0);
    run(Kernel::Fixed, sc, p);
    for (int i = 0; i < 3; ++i) dp[s][i] = p.dp[i];
  }
  EXPECT_GT(std::fabs(dp[0][1]), 1e-3 * m() * v_inf());
  EXPECT_DOUBLE_EQ(dp[1][0], dp[0][0]);
  EXPECT_DOUBLE_EQ(dp[1][1], -dp[0][1]);
  EXPECT_DOUBLE_EQ(dp[1][2], -dp[0][2]);
  // A zero first direction component gives no transfer at all.
  Scene sc;
  sc.add_charge(0, 0, 0, 1.0);
  sc.add_atom(0, 0, 0, 2.5);
  const double pos[3] = {0.5, -40.0, 1.0};
  const double dir[3] = {0.0, 1.0, 0.0};
  Probe p = sc.probe(pos, dir, 1.0, 7.0);
  run(Kernel::Fixed, sc, p);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(p.dp[i], 0.0);
}

// ---------------------------------------------------------------------------
// Steps, distance checks, contact search and refinement

TEST_F(Kernels, FirstStepOfAPassChecksDistances) {
  Scene sc;
  sc.par.Force_const = 0.0;
  sc.add_charge(0, 0, 500, 1.0);
  sc.add_atom(0, 1000, 0, 2.0);  // far: later steps skip the check
  sc.set_box(10.0);
  const double pos[3] = {0.0, 0.0, 0.0};
  const double dir[3] = {1.0, 0.2, 0.1};
  for (Kernel k : {Kernel::Moving, Kernel::Fixed, Kernel::Many}) {
    Probe p = sc.probe(pos, dir, 1.0, 7.0);
    const double d0[3] = {p.dir[0], p.dir[1], p.dir[2]};
    run(k, sc, p);
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(p.pos[i], d0[i] * v_inf() * sc.par.dt0 * 1e10, 1e-12);
  }
}

TEST_F(Kernels, FirstStepAfterACollisionChecksDistances) {
  // One step along +x ends inside a small atom A (scanned first) and a
  // larger atom B whose surface it crossed earlier: B is struck at y = 0 and
  // the probe leaves towards -y. The last clearance measured (B's centre
  // distance minus A's radius) would let the skin test skip the first step
  // of the next pass, which crosses the box face just below y = 0.
  Scene sc;
  sc.par.Force_const = 0.0;
  sc.add_charge(0, 0, 20, 1.0);
  sc.add_atom(-0.1, 0.0, 0.0, 0.5);
  sc.add_atom(-1.0, 1.2, 0.0, 1.5);
  sc.par.multiplier = 2.0;
  sc.par.dt0 = 9.7e-10 / v_inf();
  sc.par.box[2] = -5e-5 * 1e-10;
  const double pos[3] = {-10.0, 0.0, 0.0};
  const double dir[3] = {1.0, 0.0, 0.0};
  Probe p = sc.probe(pos, dir, 1.0, 7.0);
  run(Kernel::Fixed, sc, p);
  EXPECT_LT(p.pos[1], -5e-5);  // checked after leaving the box
  EXPECT_GT(p.pos[1], -5e-4);  // in the first step of the second pass
}

TEST_F(Kernels, RefinementPutsTheContactOnTheSurface) {
  Scene sc;
  sc.add_charge(0.5, 0, 0, 0.5);
  sc.add_charge(-0.5, 0, 0, 0.5);
  const double R = 3.0;
  sc.add_atom(0, 0, 0, R);
  sc.par.multiplier = 1.0;
  // The first step ends deep inside the atom.
  sc.par.dt0 = 18.5e-10 / v_inf();
  const double pos[3] = {-20.0, 0.7, 0.3};
  const double dir[3] = {1.0, 0.0, 0.0};
  const double centre[3] = {0, 0, 0};
  for (Kernel k : {Kernel::Moving, Kernel::Fixed, Kernel::Many}) {
    Probe p = sc.probe(pos, dir, 1.0, 7.0);
    run(k, sc, p);
    const double d = dist(p.pos, centre);
    EXPECT_GE(d, 0.99999 * R);
    EXPECT_LE(d, R);
    EXPECT_EQ(sc.dist_back()[0], 0.0);
  }
}

TEST_F(Kernels, OfTwoOverlappedAtomsTheOneCrossedFirstIsStruck) {
  // A single step along +x ends at x = -0.3 inside both atoms; it entered B
  // (x = -1.9, centre already passed) well before A (x = -0.6, centre ahead).
  const double A[4] = {-0.1, 0.0, 0.0, 0.5};
  const double B[4] = {-1.0, 1.2, 0.0, 1.5};
  for (bool a_first : {true, false}) {
    Scene sc;
    sc.par.Force_const = 0.0;
    sc.add_charge(0, 0, 20, 1.0);
    sc.par.multiplier = 1.0;
    sc.par.dt0 = 9.7e-10 / v_inf();
    const double* first = a_first ? A : B;
    const double* second = a_first ? B : A;
    sc.add_atom(first[0], first[1], first[2], first[3]);
    sc.add_atom(second[0], second[1], second[2], second[3]);
    const double pos[3] = {-10.0, 0.0, 0.0};
    const double dir[3] = {1.0, 0.0, 0.0};
    Probe p = sc.probe(pos, dir, 1.0, 7.0);
    run(Kernel::Fixed, sc, p);
    const int b = a_first ? 1 : 0;
    EXPECT_EQ(sc.dist_back()[b], 0.0);
    EXPECT_GT(sc.dist_back()[1 - b], 0.0);
    EXPECT_LT(sc.dist_back()[1 - b], 1000.0);
    const double d = dist(p.pos, B);
    EXPECT_GE(d, 0.99999 * B[3]);
    EXPECT_LE(d, B[3]);
  }
}

TEST_F(Kernels, PassEndsAfterFiftyThousandSteps) {
  // Field free, nearest atom far away: after the first step (dt0) every
  // step is the largest, 2e-13 s. The box edge is put between two step ends.
  auto run_to = [&](double steps_to_edge, double multiplier) {
    Scene sc;
    sc.par.Force_const = 0.0;
    sc.par.multiplier = multiplier;
    sc.add_charge(0, 0, 500, 1.0);
    sc.add_atom(0, 1000, 0, 2.0);
    const double v = v_inf();
    const double edge = v * (sc.par.dt0 + (steps_to_edge - 1.0) * 2e-13);
    sc.par.box[0] = -1e-9;
    sc.par.box[1] = edge;
    sc.par.box[2] = sc.par.box[4] = -1e-6;
    sc.par.box[3] = sc.par.box[5] = 1e-6;
    const double pos[3] = {0.0, 0.0, 0.0};
    const double dir[3] = {1.0, 0.0, 0.0};
    Probe p = sc.probe(pos, dir, 1.0, 7.0);
    run(Kernel::Fixed, sc, p);
    return p.dp[0];
  };
  EXPECT_NE(run_to(49999.5, 1.0), 7.0);  // leaves in step 50000
  EXPECT_EQ(run_to(50000.5, 1.0), 7.0);  // would leave in step 50001
  // A pass ended by the limit ends the trajectory.
  EXPECT_EQ(run_to(50000.5, 5.0), 7.0);
}

// A probe trapped in a closed shell of six overlapping atoms collides once
// per pass and never leaves.
Scene cage(double multiplier) {
  Scene sc;
  sc.par.Force_const = 0.0;
  sc.par.multiplier = multiplier;
  sc.add_charge(0, 0, 0, 1.0);
  for (int axis = 0; axis < 3; ++axis)
    for (double s : {-10.0, 10.0}) {
      double c[3] = {0, 0, 0};
      c[axis] = s;
      sc.add_atom(c[0], c[1], c[2], 9.0);
    }
  return sc;
}

TEST_F(Kernels, EightHundredthPassKeepsTheSpeed) {
  const double pos[3] = {0.3, -0.2, 0.1};
  const double dir[3] = {0.6, 0.5, -0.3};
  for (double mult : {799.0, 801.0}) {
    Scene sc = cage(mult);
    Probe p = sc.probe(pos, dir, 1.0, 7.0);
    run(Kernel::Fixed, sc, p);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(p.dp[i], 7.0) << mult;
  }
  Scene sc = cage(800.0);
  rt::rng::rng(1234);
  Probe p = sc.probe(pos, dir, 1.0, 7.0);
  const double d0[3] = {p.dir[0], p.dir[1], p.dir[2]};
  run(Kernel::Fixed, sc, p);
  EXPECT_EQ(draws_since(1234), 800);  // one collision per pass
  // dp = -m (v |v_init| / |v| - v_init): the implied final velocity has the
  // initial speed and differs from the initial velocity.
  double v[3];
  for (int i = 0; i < 3; ++i) v[i] = p.dp[i] / -m() + v_inf() * d0[i];
  EXPECT_NEAR(std::sqrt(dot(v, v)), v_inf(), 1e-9 * v_inf());
  EXPECT_GT(std::fabs(p.dp[0] - 7.0), 1.0e-3 * m() * v_inf());
}

// ---------------------------------------------------------------------------
// Field forms and physics

TEST(ChargeFields, LoopAndMatrixFormsGiveTheSameAcceleration) {
  rt::rng::first_time_init();
  rt::rng::rng(77);
  for (int nq : {2, 3, 5, 12}) {
    std::vector<double> q(nq), q2(nq), qpos(3 * nq);
    for (int k = 0; k < nq; ++k) {
      q[k] = rt::rng::rand() < 0.3 ? -1.0 : 0.5 + 2.0 * rt::rng::rand();
      q2[k] = q[k] * q[k];
      for (int i = 0; i < 3; ++i) qpos[k + i * nq] = (rt::rng::rand() - 0.5) * 8e-10;
    }
    Charges ch;
    ch.nq = nq;
    ch.q = q.data();
    ch.q2 = q2.data();
    ch.qpos = qpos.data();
    TrajectoryScratch scratch;
    LoopField loop(ch, Helium::Force_const());
    MatrixField mat(ch, Helium::Force_const(), scratch);
    for (int t = 0; t < 200; ++t) {
      double x[3];
      for (int i = 0; i < 3; ++i) x[i] = (rt::rng::rand() - 0.5) * 30e-10;
      double a1[3], a2[3];
      loop.accel(x, a1);
      mat.accel(x, a2);
      const double scale = std::sqrt(dot(a1, a1));
      for (int i = 0; i < 3; ++i) EXPECT_NEAR(a1[i], a2[i], 1e-12 * scale) << nq;
      const double e1 = loop.field2(x);
      EXPECT_NEAR(e1, mat.field2(x), 1e-12 * e1);
    }
  }
}

TEST(ChargeFields, AccelerationIsTheGradientOfTheFieldTerm) {
  // a = (K_F / 4) grad E^2: the potential energy per mass is -(K_F/4) E^2.
  const int nq = 3;
  const double q[nq] = {1.0, -0.5, 2.0};
  const double q2[nq] = {1.0, 0.25, 4.0};
  const double qpos[3 * nq] = {0, 3e-10, -2e-10, 0, 1e-10, 2e-10, 0, -1e-10, 1e-10};
  Charges ch;
  ch.nq = nq;
  ch.q = q;
  ch.q2 = q2;
  ch.qpos = qpos;
  const double K = Helium::Force_const();
  LoopField f(ch, K);
  const double x[3] = {5e-10, 4e-10, -3e-10};
  double a[3];
  f.accel(x, a);
  for (int i = 0; i < 3; ++i) {
    const double h = 1e-15;
    double xp[3] = {x[0], x[1], x[2]};
    double xm[3] = {x[0], x[1], x[2]};
    xp[i] += h;
    xm[i] -= h;
    const double grad = (f.field2(xp) - f.field2(xm)) / (2 * h);
    EXPECT_NEAR(a[i], K / 4 * grad, 1e-6 * std::sqrt(dot(a, a)));
  }
}

struct Recorder {
  std::vector<double> xs, vs;
  void on_step(const double* x, const double* v) {
    xs.insert(xs.end(), x, x + 3);
    vs.insert(vs.end(), v, v + 3);
  }
};

// Largest relative deviation of the speed from energy conservation along a
// collision-free trajectory past three charges.
double energy_error(double deltatenhance, int* steps) {
  Scene sc;
  sc.par.deltatenhance = deltatenhance;
  sc.add_charge(0.0, 0.0, 0.0, 1.0);
  sc.add_charge(1.0, 0.5, 0.0, 0.5);
  sc.add_charge(-0.5, 1.0, 0.3, 0.5);
  sc.add_atom(0, 0, 0, 2.0);  // sets the time step; not struck
  const double pos[3] = {-30.0, 6.0, 1.0};
  const double dir[3] = {1.0, 0.0, 0.0};
  Probe p = sc.probe(pos, dir, 1.0, 7.0);
  const TrajectoryContext& tc = sc.context();
  LoopField field(tc.charges, tc.par.Force_const);
  FixedAtoms atoms;
  Recorder rec;
  TrajectoryScratch scratch;
  rt::rng::rng(5);
  TrajectoryIntegrator<LoopField, FixedAtoms, Recorder>(tc, p, scratch, field, atoms, rec).run();
  EXPECT_EQ(draws_since(5), 0);  // no collision
  const double K = tc.par.Force_const;
  const double vinf2 = Helium::v_c_t() * Helium::v_c_t();
  double worst = 0.0;
  double deepest = 0.0;
  *steps = static_cast<int>(rec.xs.size() / 3);
  for (std::size_t s = 0; s < rec.xs.size(); s += 3) {
    const double E2 = field.field2(&rec.xs[s]);
    const double expected = vinf2 + K / 2 * E2;
    const double v2 = dot(&rec.vs[s], &rec.vs[s]);
    worst = std::max(worst, std::fabs(v2 / expected - 1.0));
    deepest = std::max(deepest, K / 2 * E2 / vinf2);
  }
  EXPECT_GT(deepest, 0.05);  // the field does change the speed noticeably
  return worst;
}

TEST(Physics, SpeedFollowsEnergyConservation) {
  rt::rng::first_time_init();
  int n1 = 0, n2 = 0;
  // Steps short enough that the upper bound on the step does not apply.
  const double coarse = energy_error(1000.0, &n1);
  const double fine = energy_error(4000.0, &n2);
  EXPECT_GT(n2, 3 * n1);
  EXPECT_LT(coarse, 2e-3);
  // Second-order integrator: four times smaller steps, error down by more
  // than four.
  EXPECT_LT(fine, coarse / 4.0);
}

TEST_F(Kernels, FewAndManyChargeKernelsAgreeWithoutCollisions) {
  Scene sc;
  sc.add_charge(0.0, 0.0, 0.0, 1.0);
  sc.add_charge(1.0, 0.5, 0.0, 0.5);
  sc.add_charge(-0.5, 1.0, 0.3, 0.5);
  sc.add_atom(0, 0, 0, 2.0);
  const double pos[3] = {-30.0, 6.0, 1.0};
  const double dir[3] = {1.0, 0.02, 0.0};
  Probe p = sc.probe(pos, dir, 0.8, 7.0);
  run(Kernel::Fixed, sc, p);
  Probe q = sc.probe(pos, dir, 0.8, 7.0);
  run(Kernel::Many, sc, q);
  const double scale = std::sqrt(dot(p.dp, p.dp));
  EXPECT_GT(scale, 1e-3 * m() * v_inf());
  for (int i = 0; i < 3; ++i) EXPECT_NEAR(p.dp[i], q.dp[i], 1e-8 * scale);
}

TEST_F(Kernels, EmptyStrongChargeListNeverShortensTheStep) {
  double dp[2][3];
  for (int flag = 0; flag < 2; ++flag) {
    Scene sc;
    sc.near_flag = flag;
    for (int k = 0; k < 12; ++k) sc.add_charge(std::cos(k) * 2, std::sin(k) * 2, 0.3 * k - 1.5, 0.25);
    sc.add_atom(0, 0, 0, 2.0);
    sc.add_atom(1.5, 1.0, 0.5, 1.8);
    const double pos[3] = {-30.0, 1.0, 0.5};
    const double dir[3] = {1.0, 0.01, 0.0};
    Probe p = sc.probe(pos, dir, 1.0, 7.0);
    run(Kernel::Many, sc, p);
    for (int i = 0; i < 3; ++i) dp[flag][i] = p.dp[i];
  }
  for (int i = 0; i < 3; ++i) EXPECT_EQ(dp[0][i], dp[1][i]);
}

// ---------------------------------------------------------------------------
// Moving atoms

Scene cluster() {
  Scene sc;
  sc.add_charge(0.2, 0.1, 0.0, 1.0);
  sc.add_atom(0, 0, 0, 2.0, 1e12);
  sc.add_atom(2.2, 1.0, 0.0, 1.9, 1e12);
  sc.add_atom(-1.0, 2.3, 0.8, 2.1, 1e12);
  return sc;
}

TEST_F(Kernels, HeavyAtomsAtRestActLikeFixedAtoms) {
  const double pos[3] = {-30.0, 1.5, 0.6};
  const double dir[3] = {1.0, 0.0, -0.01};
  Scene fixed = cluster();
  Probe pf = fixed.probe(pos, dir, 1.0, 7.0);
  run(Kernel::Fixed, fixed, pf);
  ASSERT_GT(std::fabs(pf.dp[1]), 1e-2 * m() * v_inf());  // struck
  std::vector<double> rest = {0, 0, 0, 2.2, 1.0, 0.0, -1.0, 2.3, 0.8};
  for (int frames : {1, 2, 3}) {  // a single frame means: at rest
    Scene sc = cluster();
    sc.frames.assign(frames, rest);
    Probe p = sc.probe(pos, dir, 1.0, 7.0);
    run(Kernel::Moving, sc, p);
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(p.dp[i], pf.dp[i], 1e-9 * m() * v_inf()) << frames;
  }
}

TEST_F(Kernels, AtomVelocitiesComeFromTheFrames) {
  const double pos[3] = {-30.0, 1.5, 0.6};
  const double dir[3] = {1.0, 0.0, -0.01};
  std::vector<double> rest = {0, 0, 0, 2.2, 1.0, 0.0, -1.0, 2.3, 0.8};
  std::vector<double> moved = rest;
  for (double& c : moved) c += 0.01;  // 1 pm per fs: 1000 m/s
  Scene a = cluster();
  a.frames = {rest, rest};
  Scene b = cluster();
  b.frames = {rest, moved};
  Probe pa = a.probe(pos, dir, 1.0, 7.0);
  Probe pb = b.probe(pos, dir, 1.0, 7.0);
  run(Kernel::Moving, a, pa);
  run(Kernel::Moving, b, pb);
  // Atoms of 1e12 g/mol moving at 1000 m/s reflect the probe differently.
  EXPECT_GT(std::fabs(pa.dp[1] - pb.dp[1]) + std::fabs(pa.dp[2] - pb.dp[2]),
            1e-3 * m() * v_inf());
}

}  // namespace
}  // namespace ccs::trajectory
