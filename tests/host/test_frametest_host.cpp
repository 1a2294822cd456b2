// The test-only plug-in through the test host: its parallel loop on the
// per-thread loop streams, run from the host's thread (the thread-sanitizer
// configuration watches it), an error in an iteration, and the serial stream.
#include <gtest/gtest.h>
#include <omp.h>

#include <set>

#include "host_testing.h"

using testhost::Array;

namespace {

struct Args {
  Array s = testhost::scalar(40);
  Array M = testhost::matrix(2, 2, {1, 2, 3, 4});
  Array P = testhost::matrix(3, 2, {1, 2, 3, 4, 5, 6});
  Array io = testhost::scalar(0);
  Array mode = testhost::scalar(2);
  std::vector<const mxArray*> all() const {
    return {s.get(), M.get(), P.get(), io.get(), mode.get()};
  }
};

TEST(FrametestHost, LoopStreamsDrawPerThreadAndContinueFromCallToCall) {
  Args a;
  testhost::CallResult first = testhost::call(1, a.all());
  testhost::CallResult second = testhost::call(1, a.all());
  ASSERT_TRUE(testhost::succeeded(first));
  ASSERT_TRUE(testhost::succeeded(second));
  const std::vector<double> x = testhost::values(first.outputs[0].get());
  const std::vector<double> y = testhost::values(second.outputs[0].get());
  ASSERT_EQ(x.size(), 80u);
  // Iterations split statically: thread numbers never decrease; every draw
  // lies in (0, 1); no draw repeats within or across the two calls.
  std::set<double> draws;
  for (int k = 0; k < 40; ++k) {
    if (k > 0) {
      EXPECT_GE(x[40 + k], x[40 + k - 1]);
    }
    EXPECT_LT(x[40 + k], omp_get_max_threads());
    EXPECT_GT(x[k], 0.0);
    EXPECT_LT(x[k], 1.0);
    draws.insert(x[k]);
    draws.insert(y[k]);
  }
  EXPECT_EQ(draws.size(), 80u);
}

TEST(FrametestHost, ErrorInAnIterationThenANormalCall) {
  Args a;
  a.mode = testhost::scalar(1);
  EXPECT_TRUE(testhost::failed_with(testhost::call(1, a.all()), "frametest:iteration",
                                    {"iteration 4"}));
  a.mode = testhost::scalar(3);
  a.s = testhost::scalar(5489);
  testhost::CallResult r = testhost::call(1, a.all());
  ASSERT_TRUE(testhost::succeeded(r));
  EXPECT_EQ(testhost::values(r.outputs[0].get())[0], 0.8147236863931789);
}

}  // namespace
