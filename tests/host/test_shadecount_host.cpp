// shadecount through the test host: the atom-table checks of the
// computation, each sent through the host, naming the input, and followed
// by a call that gives the right area.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "host_testing.h"
#include "support/statistics.h"

using testhost::Array;

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

struct Args {
  // One atom of radius 1 at (0.5, -0.25, 2).
  Array atoms = testhost::matrix(1, 4, {0.5, -0.25, 2.0, 1.0});
  Array n_atoms = testhost::scalar(1);
  Array r_probe = testhost::scalar(0.5);
  Array n_rotations = testhost::scalar(4);
  Array ehsspa = testhost::scalar(0);
  Array seedn = testhost::scalar(3);
  std::vector<const mxArray*> all() const {
    return {atoms.get(), n_atoms.get(), r_probe.get(), n_rotations.get(), ehsspa.get(),
            seedn.get()};
  }
};

// A valid call: the shadow of one atom is a disc of radius 1 + 0.5.
void expect_disc_area() {
  Args a;
  testhost::CallResult r = testhost::call(2, a.all());
  ASSERT_TRUE(testhost::succeeded(r));
  const double R = 1.5;
  const double se = 4.0 * R * R * ccs::test::binomial_error(M_PI / 4.0, 20000.0 * 4);
  EXPECT_TRUE(ccs::test::within(testhost::scalar_of(r.outputs[0]), M_PI * R * R, se))
      << testhost::scalar_of(r.outputs[0]);
  EXPECT_EQ(testhost::scalar_of(r.outputs[1]), 0.0);
}

TEST(ShadecountHost, NumberAtomsMustCountTheRows) {
  for (double n : {0.0, -1.0, 2.0, 0.5, 1.5, kNaN, kInf, -kInf, 4294967297.0}) {
    Args a;
    a.n_atoms = testhost::scalar(n);
    EXPECT_TRUE(testhost::failed_with(testhost::call(1, a.all()), "shadecount:badInput",
                                      {"Number_atoms", "(1)"}))
        << n;
    expect_disc_area();
  }
}

TEST(ShadecountHost, EmptyAtomTableIsRefused) {
  for (mwSize cols : {0, 4, 7}) {
    Args a;
    a.atoms = testhost::matrix(0, cols);
    a.n_atoms = testhost::scalar(0);
    EXPECT_TRUE(testhost::failed_with(testhost::call(1, a.all()), "shadecount:badInput",
                                      {"Number_atoms", "(0)"}))
        << cols;
    expect_disc_area();
  }
}

TEST(ShadecountHost, AtomTableNeedsFourColumns) {
  for (mwSize cols : {0, 1, 3}) {
    Args a;
    a.atoms = testhost::matrix(1, cols, {0, 0, 0});
    EXPECT_TRUE(testhost::failed_with(testhost::call(1, a.all()), "shadecount:badInput",
                                      {"DATA_atoms", "4 columns"}))
        << cols;
    expect_disc_area();
  }
}

TEST(ShadecountHost, NegativeRadiusIsRefusedNamingItsRow) {
  Args a;
  a.atoms = testhost::matrix(2, 4, {0, 3, 0, 0, 0, 0, 1.5, -0.1});
  a.n_atoms = testhost::scalar(2);
  EXPECT_TRUE(testhost::failed_with(testhost::call(1, a.all()), "shadecount:badInput",
                                    {"DATA_atoms", "radius", "row 2"}));
  expect_disc_area();
  a.atoms = testhost::matrix(2, 4, {0, 3, 0, 0, 0, 0, 1.5, 0.0});  // a point atom is fine
  EXPECT_TRUE(testhost::succeeded(testhost::call(1, a.all())));
}

// Found by fuzzing: an infinite n_rotations was converted to int (undefined;
// in practice a negative count). Counts of 2^29 or more are refused; NaN and
// counts below 1 mean no orientation, whose mean area is NaN.
TEST(ShadecountHost, OrientationCountMustFitALoop) {
  for (double n : {kInf, 536870912.0, 2147483648.0, 1e300}) {
    Args a;
    a.n_rotations = testhost::scalar(n);
    EXPECT_TRUE(testhost::failed_with(testhost::call(1, a.all()), "shadecount:badInput",
                                      {"n_rotations"}))
        << n;
    expect_disc_area();
  }
  for (double n : {kNaN, -kInf, -1.0, 0.0, 0.5}) {
    Args a;
    a.n_rotations = testhost::scalar(n);
    testhost::CallResult r = testhost::call(1, a.all());
    ASSERT_TRUE(testhost::succeeded(r)) << n;
    EXPECT_TRUE(std::isnan(testhost::scalar_of(r.outputs[0]))) << n;
    expect_disc_area();
  }
}

// Found by fuzzing: atoms at opposite ends of the double range overflowed
// the grid of the hit count (see test_shadecount). The call completes.
TEST(ShadecountHost, AtomsAtTheEndsOfTheDoubleRange) {
  const double big = std::numeric_limits<double>::max();
  Args a;
  a.atoms = testhost::matrix(3, 4, {10, -big, 2, 10, 9, -big, 10, 10, 10, 1, 1, 1});
  a.n_atoms = testhost::scalar(3);
  EXPECT_TRUE(testhost::succeeded(testhost::call(1, a.all())));
  expect_disc_area();
}

TEST(ShadecountHost, CallersAtomTableIsUnchangedAndOutputsFollowTheRequest) {
  // Rows are reordered in the computation's private copy only (the host
  // checks every input is unchanged after each call).
  Args a;
  a.atoms = testhost::matrix(3, 4, {0, 1, 2, 0, 0, 0, 0, 0, 0, 1, 1, 1});
  a.n_atoms = testhost::scalar(3);
  for (int nlhs : {0, 1, 2}) {
    testhost::CallResult r = testhost::call(nlhs, a.all());
    ASSERT_TRUE(testhost::succeeded(r));
    EXPECT_EQ(r.outputs.size(), static_cast<std::size_t>(nlhs > 1 ? nlhs : 1));
  }
}

}  // namespace
