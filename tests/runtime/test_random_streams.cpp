#include <gtest/gtest.h>
#include <omp.h>

#include <cmath>
#include <vector>

#include "runtime/emx_array.h"
#include "runtime/mt19937.h"
#include "runtime/parallel.h"
#include "runtime/random_streams.h"

namespace {

double first_double(std::uint32_t seed, int skip = 0) {
  rt::MtState s;
  rt::mt_seed(s, seed);
  for (int i = 0; i < skip; ++i) rt::mt_double(s);
  return rt::mt_double(s);
}

class RandomStreams : public ::testing::Test {
 protected:
  void SetUp() override {
    omp_set_num_threads(2);
    rt::rng::reset_for_tests();
    rt::rng::first_time_init();
  }
};

}  // namespace

TEST(Mt19937, KnownFirstOutputsForSeed5489) {
  rt::MtState s;
  rt::mt_seed(s, 5489);
  EXPECT_EQ(s.w[624], 624u);
  EXPECT_EQ(rt::mt_next(s), 3499211612u);
  rt::mt_seed(s, 5489);
  EXPECT_EQ(rt::mt_double(s), 0.8147236863931789);
  EXPECT_EQ(rt::mt_double(s), 0.9057919370756192);
}

TEST(Mt19937, TwistKeepsTheSequenceAcrossTheStateBoundary) {
  // 624 outputs exhaust the vector; the 625th comes from a fresh twist.
  rt::MtState s;
  rt::mt_seed(s, 5489);
  std::uint32_t last = 0;
  for (int i = 0; i < 10000; ++i) last = rt::mt_next(s);
  EXPECT_EQ(last, 4123659995u);  // the standard 10000th output for seed 5489
}

TEST_F(RandomStreams, SeedingTable) {
  const double seed5489 = first_double(5489);
  for (double x : std::vector<double>{0.0, 0.5, -3.0, NAN, -INFINITY}) {
    rt::rng::rng(x);
    EXPECT_EQ(rt::rng::last_seed(), 5489u) << x;
    EXPECT_EQ(rt::rng::rand(), seed5489) << x;
  }
  rt::rng::rng(1.9);
  EXPECT_EQ(rt::rng::last_seed(), 1u);
  EXPECT_EQ(rt::rng::rand(), first_double(1));
  for (double x : std::vector<double>{4294967295.0, 4294967296.0, 1e20, INFINITY}) {
    rt::rng::rng(x);
    EXPECT_EQ(rt::rng::last_seed(), 4294967295u) << x;
    EXPECT_EQ(rt::rng::rand(), first_double(4294967295u)) << x;
  }
}

TEST_F(RandomStreams, RandpermEdgesDrawCounts) {
  emxArray_real_T* p = nullptr;
  emxInit_real_T(nullptr, &p, 2, false);
  rt::rng::rng(5489);
  rt::rng::randperm(0, p);
  EXPECT_EQ(p->size[0], 1);
  EXPECT_EQ(p->size[1], 0);
  EXPECT_EQ(rt::rng::rand(), first_double(5489, 0));  // nothing was drawn
  rt::rng::rng(5489);
  rt::rng::randperm(1, p);
  ASSERT_EQ(p->size[1], 1);
  EXPECT_EQ(p->data[0], 1.0);
  EXPECT_EQ(rt::rng::rand(), first_double(5489, 1));  // exactly one draw
  // randperm(5) orders by the five draws.
  rt::rng::rng(5489);
  rt::rng::randperm(5, p);
  rt::MtState s;
  rt::mt_seed(s, 5489);
  std::vector<double> d(5);
  for (double& x : d) x = rt::mt_double(s);
  for (int k = 1; k < 5; ++k) {
    EXPECT_LT(d[static_cast<int>(p->data[k - 1]) - 1], d[static_cast<int>(p->data[k]) - 1]);
  }
  emxFree_real_T(&p);
}

TEST(Randperm, OrderIsStableOnEqualValues) {
  const double v[] = {0.5, 0.25, 0.5, 0.25, 0.1, 0.5};
  double out[6];
  rt::rng::stable_order(v, 6, out);
  const double want[] = {5, 2, 4, 1, 3, 6};
  for (int k = 0; k < 6; ++k) EXPECT_EQ(out[k], want[k]);
}

TEST_F(RandomStreams, LayoutAfterLoading) {
  // Serial stream from 5489.
  EXPECT_EQ(rt::rng::rand(), first_double(5489));
  // In a loop: thread 0 on the master stream (seed 1), thread t on its own (t + 1).
  std::vector<double> got(4, 0.0);
  std::vector<int> who(4, -1);
  {
    rt::RootContext root;
    rt::rng::LoopStreams loop;
    rt::parallel_blocks(root.get(), 4, [&](rt::Context&, int b, int e) {
      for (int k = b; k < e; ++k) {
        got[k] = rt::rng::rand();
        who[k] = omp_get_thread_num();
      }
    });
  }
  ASSERT_EQ(omp_get_max_threads(), 2);
  EXPECT_EQ(who, (std::vector<int>{0, 0, 1, 1}));
  EXPECT_EQ(got[0], first_double(1, 0));
  EXPECT_EQ(got[1], first_double(1, 1));
  EXPECT_EQ(got[2], first_double(2, 0));
  EXPECT_EQ(got[3], first_double(2, 1));
  // Back on the serial stream, which the loop did not touch.
  EXPECT_EQ(rt::rng::rand(), first_double(5489, 1));
  EXPECT_EQ(rt::rng::thread_id(), 0);
  EXPECT_EQ(rt::rng::method(), 7u);
}

TEST_F(RandomStreams, LoopStreamsContinueAndIgnoreTheSeed) {
  rt::RootContext root;
  auto loop_draws = [&] {
    std::vector<double> v(4);
    rt::rng::rng(99);  // reseeds only the serial stream
    rt::rng::LoopStreams loop;
    rt::parallel_blocks(root.get(), 4, [&](rt::Context&, int b, int e) {
      for (int k = b; k < e; ++k) v[k] = rt::rng::rand();
    });
    return v;
  };
  const std::vector<double> first = loop_draws();
  const std::vector<double> second = loop_draws();
  EXPECT_EQ(second[0], first_double(1, 2));  // master stream continues
  EXPECT_EQ(second[2], first_double(2, 2));  // worker stream continues
  EXPECT_NE(first, second);
}

TEST_F(RandomStreams, ScopedStreamRedirectsAndRestores) {
  rt::MtState own;
  rt::mt_seed(own, 7);
  rt::rng::rng(5489);
  {
    rt::rng::ScopedStream scoped(&own);
    EXPECT_EQ(rt::rng::rand(), first_double(7));
  }
  EXPECT_EQ(rt::rng::rand(), first_double(5489));
}

// Keyed streams: every iteration sees the same draws whatever the thread
// count, and distinct loops or seeds give distinct streams.
TEST_F(RandomStreams, KeyedStreamsDoNotDependOnTheThreadCount) {
  auto draws = [](int threads, std::uint64_t seed, std::uint32_t loop) {
    omp_set_num_threads(threads);
    rt::RootContext root;
    rt::Context* ctx = root.get();
    ctx->keyed_streams = true;
    ctx->stream_seed = seed;
    ctx->stream_loop = loop;
    std::vector<double> v(100);
    rt::parallel_iterations(
        ctx, 100, [](rt::Context&) { return 0; },
        [&](int&, rt::Context&, int k) { v[k] = rt::rng::rand() + rt::rng::rand(); },
        [](int&, rt::Context&) {});
    return v;
  };
  const std::vector<double> one = draws(1, 42, 0);
  EXPECT_EQ(one, draws(2, 42, 0));
  EXPECT_EQ(one, draws(3, 42, 0));
  EXPECT_NE(one, draws(2, 43, 0));
  EXPECT_NE(one, draws(2, 42, 1));
  // The serial stream is left alone.
  rt::rng::rng(5489);
  draws(2, 42, 0);
  EXPECT_EQ(rt::rng::rand(), first_double(5489));
}

TEST(Mt19937, KeyedSeedingMatchesTheStandardArrayInitialisation) {
  // init_by_array({0x123, 0x234, 0x345, 0x456}) gives 1067595299 first.
  const std::uint32_t key[4] = {0x123, 0x234, 0x345, 0x456};
  rt::MtState s;
  rt::mt_seed_key(s, key, 4);
  EXPECT_EQ(rt::mt_next(s), 1067595299u);
  EXPECT_EQ(rt::mt_next(s), 955945823u);
}
