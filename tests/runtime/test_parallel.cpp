#include <gtest/gtest.h>
#include <omp.h>

#include <atomic>
#include <vector>

#include "runtime/context.h"
#include "runtime/parallel.h"

TEST(Parallel, StaticSplitGivesTheFirstThreadsOneMore) {
  int b = 0;
  int e = 0;
  const int want[][2] = {{0, 4}, {4, 7}, {7, 10}};
  for (int t = 0; t < 3; ++t) {
    rt::static_block(10, 3, t, &b, &e);
    EXPECT_EQ(b, want[t][0]);
    EXPECT_EQ(e, want[t][1]);
  }
  rt::static_block(2, 4, 3, &b, &e);
  EXPECT_EQ(e - b, 0);
}

TEST(Parallel, EveryIterationRunsOnceInThreadOrder) {
  omp_set_num_threads(2);
  rt::RootContext root;
  std::vector<int> owner(101, -1);
  rt::parallel_blocks(root.get(), 101, [&](rt::Context& tctx, int b, int e) {
    for (int k = b; k < e; ++k) owner[k] = tctx.thread_num;
  });
  for (int k = 0; k < 101; ++k) EXPECT_EQ(owner[k], k < 51 ? 0 : 1) << k;
}

TEST(Parallel, ErrorSkipsTheRestOfItsBlockAndIsRaisedAfterTheRegion) {
  omp_set_num_threads(2);
  rt::RootContext root;
  std::vector<int> ran(10, 0);
  std::atomic<int> scopes_left_dirty{0};
  try {
    rt::parallel_blocks(root.get(), 10, [&](rt::Context& tctx, int b, int e) {
      emxArray_real_T* scratch = nullptr;
      emxInit_real_T(&tctx, &scratch, 2, true);
      rt::resize(scratch, 1, 8);
      for (int k = b; k < e; ++k) {
        if (k == 1) rt::raise("test:iteration", "iteration 2 failed");
        ran[k] = 1;
      }
      emxFree_real_T(&scratch);
      if (!tctx.heap.empty()) ++scopes_left_dirty;
    });
    FAIL() << "no error raised";
  } catch (const rt::Error& e) {
    EXPECT_EQ(e.id(), "test:iteration");
  }
  // Thread 0 ran iteration 0 and stopped at 1; thread 1 finished its block.
  EXPECT_EQ(ran, (std::vector<int>{1, 0, 0, 0, 0, 1, 1, 1, 1, 1}));
  EXPECT_EQ(scopes_left_dirty.load(), 0);
  // The context works normally afterwards.
  int count = 0;
  rt::parallel_blocks(root.get(), 4, [&](rt::Context&, int b, int e) {
#pragma omp atomic
    count += e - b;
  });
  EXPECT_EQ(count, 4);
}

TEST(Parallel, LockedAddIsExactUnderContention) {
  omp_set_num_threads(2);
  rt::RootContext root;
  double counter = 0.0;
  rt::parallel_blocks(root.get(), 20000, [&](rt::Context& tctx, int b, int e) {
    for (int k = b; k < e; ++k) rt::locked_add(&tctx, &counter, 1.0);
  });
  EXPECT_EQ(counter, 20000.0);
}
