// hardkick through the test host: the atom-table and mode checks of the
// computation, each naming its input and followed by a call that works.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "host_testing.h"
#include "plugin_under_test.h"
#include "typical_inputs.h"

using testhost::Array;

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

const mexentry::Plugin& p = plugin_under_test();

// A valid call: finite positive cross sections, excelsheet passed through.
void expect_normal_call() {
  testhost::Call c = testhost::typical_call(p);
  testhost::CallResult r = testhost::call(7, c.in);
  ASSERT_TRUE(testhost::succeeded(r));
  const double ccs = testhost::scalar_of(r.outputs[1]);
  EXPECT_TRUE(std::isfinite(ccs) && ccs > 0) << ccs;
  EXPECT_EQ(testhost::scalar_of(r.outputs[5]), 42.0);
}

void expect_refused(testhost::Call& c, const char* name) {
  EXPECT_TRUE(testhost::failed_with(testhost::call(1, c.in), "hardkick:badInput", {name}));
  expect_normal_call();
}

TEST(HardkickHost, NumberAtomsMustCountTheRows) {
  for (double n : {0.0, -1.0, 2.0, kNaN, kInf}) {
    testhost::Call c = testhost::typical_call(p);
    c.set(c.position(p, "Number_atoms"), testhost::scalar(n));
    expect_refused(c, "Number_atoms");
  }
}

TEST(HardkickHost, AtomTableNeedsFourColumns) {
  testhost::Call c = testhost::typical_call(p);
  c.set(c.position(p, "DATA_atoms"), testhost::matrix(1, 3, {0, 0, 0}));
  expect_refused(c, "DATA_atoms");
}

TEST(HardkickHost, AxisModeNeedsThreeOrientations) {
  for (double n : {2.0, 4.0, kNaN}) {
    testhost::Call c = testhost::typical_call(p);
    c.set(c.position(p, "MobcalHS"), testhost::scalar(0));
    c.set(c.position(p, "n_rotations"), testhost::scalar(n));
    expect_refused(c, "n_rotations");
  }
}

// Found by fuzzing: N_total = 2.45e198 saturated to 2^31 - 1 trajectories
// and asked for 48 GB of working rows. Counts of 2^29 or more are refused.
TEST(HardkickHost, CountsMustFitALoop) {
  for (const char* input : {"N_total", "n_rotations"}) {
    for (double n : {kInf, 536870912.0, 2147483648.0, 2.4512839673949755e+198}) {
      testhost::Call c = testhost::typical_call(p);
      c.set(c.position(p, input), testhost::scalar(n));
      expect_refused(c, input);
    }
  }
}

// Found by fuzzing: atoms of negative radius and N_total = -1.8e308 gave an
// entry box whose face counts saturated, and their sum overflowed. A face
// now launches at most ceil(N_total) trajectories (here none), and a
// negative radius (an inside-out box) is refused, naming its row.
TEST(HardkickHost, InsideOutBoxLaunchesNoMoreThanNTotal) {
  const double big = std::numeric_limits<double>::max();
  testhost::Call c = testhost::typical_call(p);
  c.set(c.position(p, "DATA_atoms"), testhost::matrix(2, 5, {10, 10, 10, 10, 10, 0, 0, 0, -2, -2}));
  c.set(c.position(p, "Number_atoms"), testhost::scalar(2));
  c.set(c.position(p, "N_total"), testhost::scalar(-big));
  c.set(c.position(p, "random_C"), testhost::scalar(1));
  c.set(c.position(p, "p0"), testhost::scalar(1));
  c.set(c.position(p, "MobcalHS"), testhost::scalar(2.9536450515488443e+222));
  EXPECT_TRUE(testhost::succeeded(testhost::call(7, c.in)));
  expect_normal_call();
  c.set(c.position(p, "DATA_atoms"), testhost::matrix(2, 5, {10, 10, 10, 10, 10, 0, 0, -2, -2, -2}));
  EXPECT_TRUE(testhost::failed_with(testhost::call(1, c.in), "hardkick:badInput",
                                    {"DATA_atoms", "radius", "row 2"}));
  expect_normal_call();
}

}  // namespace
