// The trajectory plug-ins through the test host (one file for the three;
// each executable is built with one of them): the input checks of the
// computation, each naming its input and followed by a call that works.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "host_testing.h"
#include "plugin_under_test.h"
#include "typical_inputs.h"

using testhost::Array;

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

const mexentry::Plugin& p = plugin_under_test();
const std::string name = p.name;
const bool moving = name == "tracerun_plus";
const bool well = name == "tracerun_well";

// A valid call: every output built, the cross section finite (tracerun_well's
// atom has no well depth, so it may be 0), U_vel returned unchanged.
void expect_normal_call() {
  testhost::Call c = testhost::typical_call(p);
  testhost::CallResult r = testhost::call(p.max_outputs, c.in);
  ASSERT_TRUE(testhost::succeeded(r));
  const int ccs = well ? 7 : 8;  // output 8 (tracerun_well) or 9 (the others)
  const int u_vel = well ? 3 : 4;
  EXPECT_TRUE(std::isfinite(testhost::scalar_of(r.outputs[ccs])));
  EXPECT_EQ(testhost::scalar_of(r.outputs[u_vel]), 17.0);
  if (!well) {
    EXPECT_EQ(testhost::dims(r.outputs[0].get()), (std::vector<mwSize>{3, 3}));
  }
}

void expect_refused(testhost::Call& c, const char* input) {
  EXPECT_TRUE(testhost::failed_with(testhost::call(1, c.in), "trajectory:badInput", {input}))
      << name;
  expect_normal_call();
}

TEST(TrajectoryHost, NumberAtomsMustCountTheRows) {
  for (double n : {0.0, -1.0, 2.0, 0.5, kNaN, kInf}) {
    testhost::Call c = testhost::typical_call(p);
    c.set(c.position(p, "Number_atoms"), testhost::scalar(n));
    expect_refused(c, "Number_atoms");
  }
}

TEST(TrajectoryHost, AtomTableNeedsFourColumns) {
  testhost::Call c = testhost::typical_call(p);
  c.set(c.position(p, "DATA_atoms"), testhost::matrix(1, 3, {0, 0, 0}));
  expect_refused(c, "DATA_atoms");
}

TEST(TrajectoryHost, AxisModeNeedsThreeOrientations) {
  for (double n : {2.0, 0.0, kNaN}) {
    testhost::Call c = testhost::typical_call(p);
    c.set(c.position(p, "MobcalHS"), testhost::scalar(0));
    c.set(c.position(p, "n_rotations"), testhost::scalar(n));
    expect_refused(c, "n_rotations");
  }
}

TEST(TrajectoryHost, DiffusiveIsZeroOrOne) {
  if (well) GTEST_SKIP() << "tracerun_well has no collisions";
  for (double d : {2.0, 0.5, kNaN}) {
    testhost::Call c = testhost::typical_call(p);
    c.set(c.position(p, "diffusive"), testhost::scalar(d));
    expect_refused(c, "diffusive");
  }
}

TEST(TrajectoryHost, MovingAtomsNeedAMassEachAndTwoFrames) {
  if (!moving) GTEST_SKIP() << "only tracerun_plus moves its atoms";
  testhost::Call c = testhost::typical_call(p);
  c.set(c.position(p, "massarray"), testhost::matrix(0, 1));
  expect_refused(c, "massarray");
  const mwSize shapes[][2] = {{1, 3}, {2, 2}, {0, 3}, {2, 1}};
  for (const auto& shape : shapes) {
    testhost::Call m = testhost::typical_call(p);
    m.set(m.position(p, "Move_pos"), testhost::matrix(shape[0], shape[1]));
    expect_refused(m, "Move_pos");
  }
}

TEST(TrajectoryHost, WellParametersPerAtomAndChargesForTheThreeSiteGas) {
  if (!well) GTEST_SKIP() << "only tracerun_well has Lennard-Jones parameters";
  for (const char* input : {"epsili", "sigmai", "sigma2i"}) {
    testhost::Call c = testhost::typical_call(p);
    c.set(c.position(p, input), testhost::matrix(0, 1));
    expect_refused(c, input);
  }
  testhost::Call c = testhost::typical_call(p);
  c.set(c.position(p, "qpol"), testhost::scalar(1));
  expect_refused(c, "charge");
  c.set(c.position(p, "DATA_atoms"), testhost::matrix(1, 5, {0.3, -0.1, 0.2, 2.0, kNaN}));
  expect_refused(c, "charge");
}

// Counts of 2^29 or more would saturate or overflow the entry box's total:
// refused, by name.
TEST(TrajectoryHost, CountsMustFitALoop) {
  for (const char* input : {"N_total", "n_rotations"}) {
    for (double n : {kInf, 536870912.0, 2147483648.0, 1e300}) {
      testhost::Call c = testhost::typical_call(p);
      c.set(c.position(p, input), testhost::scalar(n));
      expect_refused(c, input);
    }
  }
}

// Found by fuzzing: an atom at 1.4e306 with a radius of 1.4e306 made the
// entry box infinite and its face trajectory counts NaN (converted to int).
// Such a box now launches no trajectory; the call completes.
TEST(TrajectoryHost, AtomsAtTheEndOfTheDoubleRange) {
  const double big = 1.3824172084878715e+306;
  testhost::Call c = testhost::typical_call(p);
  c.set(c.position(p, "DATA_atoms"), testhost::matrix(1, 7, {big, big, big, big, big, big, big}));
  if (moving) {
    c.set(c.position(p, "Move_pos"), testhost::matrix(2, 3, {big, big, big, big, big, big}));
  }
  if (well) {
    // The seventh column holds no charge the well variant needs.
    c.set(c.position(p, "DATA_atoms"),
          testhost::matrix(1, 7, {big, big, big, big, kNaN, big, big}));
  }
  testhost::CallResult r = testhost::call(p.max_outputs, c.in);
  EXPECT_TRUE(testhost::succeeded(r));
  expect_normal_call();
}

// Found by fuzzing: multiplier = 5.4e67 (the number of passes through the
// domain) was converted to long long out of range; saturated instead, a
// trajectory that never leaves would pass for ever. Pass counts of 2^29 or
// more are refused like the other counts.
TEST(TrajectoryHost, MultiplierMustFitALoop) {
  for (double m : {5.3919893334301274e+67, 536870912.0, kInf}) {
    testhost::Call c = testhost::typical_call(p);
    c.set(c.position(p, "multiplier"), testhost::scalar(m));
    expect_refused(c, "multiplier");
  }
}

}  // namespace
