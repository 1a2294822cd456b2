// The shared entry layer through the test host, with a plug-in of every
// input kind: conversion (borrowed, protected, column, in/out), output
// assembly, and every failure path (serial error with registered arrays,
// out of memory, foreign exception, error in a parallel region), each
// followed by a call that works normally.
#include <gtest/gtest.h>

#include <new>
#include <stdexcept>

#include "host_testing.h"
#include "mex/entry_layer.h"
#include "runtime/parallel.h"

using mexentry::Kind;
using testhost::Array;

namespace {

const mexentry::InputSpec kinds_inputs[] = {
    {"s", Kind::Scalar},       {"M", Kind::Matrix, 4, 3}, {"P", Kind::Protected, 10, 2},
    {"c", Kind::Column, 5, 1}, {"io", Kind::InOut},       {"mode", Kind::Scalar},
};
const mexentry::Plugin kinds_plugin = {"kinds", 6, 4, kinds_inputs};

// What the computation saw of its inputs.
struct Seen {
  const double* M_data = nullptr;
  const double* P_data = nullptr;
  const double* c_data = nullptr;
  int M_dims = 0, c_dims = 0;
  bool M_owned = true, P_owned = false;
  int c_size = -1;
} seen;

void kinds_compute(rt::Context* ctx, mexentry::Inputs& in, mexentry::Outputs& out) {
  const int mode = static_cast<int>(in.scalar(5));
  emxArray_real_T* M = in.array(1);
  emxArray_real_T* P = in.array(2);
  emxArray_real_T* c = in.array(3);
  seen.M_data = M->data;
  seen.P_data = P->data;
  seen.c_data = c->data;
  seen.M_dims = M->numDimensions;
  seen.c_dims = c->numDimensions;
  seen.M_owned = M->canFreeData;
  seen.P_owned = P->canFreeData;
  seen.c_size = c->size[0];
  // A registered working array: freed by the scope whatever happens next.
  emxArray_real_T* work = nullptr;
  emxInit_real_T(ctx, &work, 2, true);
  rt::resize(work, 3, 3);
  switch (mode) {
    case 1:
      rt::raise("kinds:failed", "the computation failed on purpose");
    case 2:
      throw std::bad_alloc();
    case 3:
      throw std::runtime_error("not an rt::Error");
    case 4:
      rt::parallel_blocks(ctx, 8, [&](rt::Context& tctx, int begin, int end) {
        emxArray_real_T* scratch = nullptr;
        emxInit_real_T(&tctx, &scratch, 2, true);
        rt::resize(scratch, 1, 10);
        for (int k = begin; k < end; ++k) {
          if (k >= 2) rt::raise("kinds:iteration" + std::to_string(k), "iteration failed");
        }
        emxFree_real_T(&scratch);
      });
      break;
    case 5:
      rt::print(ctx, "printed by the computation\n");
      break;
    default:
      break;
  }
  for (int k = 0; k < rt::numel(P); ++k) P->data[k] = -1.0;
  *in.inout(4) += 1.0;
  emxFree_real_T(&work);
  out.matrix(M);
  out.scalar(in.scalar(0));
  out.scalar(*in.inout(4));
  out.empty();
}

}  // namespace

CCS_MEX_PLUGIN(kinds)

namespace {

struct Args {
  Array s = testhost::scalar(2.5);
  Array M = testhost::matrix(2, 3, {1, 2, 3, 4, 5, 6});
  Array P = testhost::matrix(3, 2, {1, 2, 3, 4, 5, 6});
  Array c = testhost::matrix(4, 1, {7, 8, 9, 10});
  Array io = testhost::scalar(41);
  Array mode = testhost::scalar(0);
  std::vector<const mxArray*> all() const {
    return {s.get(), M.get(), P.get(), c.get(), io.get(), mode.get()};
  }
};

TEST(EntryLayerHost, ConvertsEveryKindAndBuildsTheOutputsInOrder) {
  Args a;
  testhost::CallResult r = testhost::call(4, a.all());
  ASSERT_TRUE(testhost::succeeded(r));
  // Matrix and column inputs borrow the host's data; a protected input is a
  // private copy the computation may write (the caller's P is unchanged).
  EXPECT_EQ(seen.M_data, mxGetPr(a.M.get()));
  EXPECT_FALSE(seen.M_owned);
  EXPECT_EQ(seen.M_dims, 2);
  EXPECT_EQ(seen.c_data, mxGetPr(a.c.get()));
  EXPECT_EQ(seen.c_dims, 1);
  EXPECT_EQ(seen.c_size, 4);
  EXPECT_NE(seen.P_data, mxGetPr(a.P.get()));
  EXPECT_TRUE(seen.P_owned);
  ASSERT_EQ(r.outputs.size(), 4u);
  EXPECT_EQ(testhost::dims(r.outputs[0].get()), (std::vector<mwSize>{2, 3}));
  EXPECT_EQ(testhost::values(r.outputs[0].get()), (std::vector<double>{1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(testhost::scalar_of(r.outputs[1]), 2.5);
  EXPECT_EQ(testhost::scalar_of(r.outputs[2]), 42.0);
  EXPECT_EQ(testhost::dims(r.outputs[3].get()), (std::vector<mwSize>{0, 0}));
  EXPECT_TRUE(mxIsDouble(r.outputs[3].get()));
}

TEST(EntryLayerHost, BuildsOutputOneAlwaysAndOnlyTheRequestedOthers) {
  Args a;
  for (int nlhs : {0, 1, 2}) {
    testhost::CallResult r = testhost::call(nlhs, a.all());
    ASSERT_TRUE(testhost::succeeded(r));
    const std::size_t want = nlhs > 1 ? nlhs : 1;
    ASSERT_EQ(r.outputs.size(), want);
    for (const Array& o : r.outputs) EXPECT_NE(o, nullptr);
  }
}

TEST(EntryLayerHost, BoundsAreInclusiveAndEmptyMatricesPass) {
  Args a;
  a.M = testhost::matrix(4, 3);
  a.P = testhost::matrix(10, 2);
  a.c = testhost::matrix(5, 1);
  EXPECT_TRUE(testhost::succeeded(testhost::call(1, a.all())));
  a.M = testhost::matrix(0, 3);
  a.P = testhost::matrix(0, 0);
  a.c = testhost::matrix(0, 1);
  testhost::CallResult r = testhost::call(1, a.all());
  ASSERT_TRUE(testhost::succeeded(r));
  EXPECT_EQ(testhost::dims(r.outputs[0].get()), (std::vector<mwSize>{0, 3}));
  a.c = testhost::matrix(6, 1);
  EXPECT_TRUE(testhost::failed_with(testhost::call(1, a.all()), "EMLRT:runTime:InputSizeMismatch",
                                    {"'c' (argument 4 of kinds)", "6x1"}));
}

// Every failure path ends the call with the failure's identifier, frees all
// the call created (AddressSanitizer's leak check sees the rest), and the
// next call works normally.
TEST(EntryLayerHost, FailuresBecomeHostErrorsAndTheNextCallWorks) {
  Args a;
  const std::size_t live = testhost::live_arrays();
  const struct {
    double mode;
    const char* id;
    const char* text;
  } cases[] = {
      {1, "kinds:failed", "failed on purpose"},
      {2, "MATLAB:nomem", "kinds"},
      {3, "EMLRT:runTime:InternalError", "not an rt::Error"},
      // The lowest failing thread's error (thread 0's block is 0..3 with
      // two threads, 0..7 with one: iteration 2 fails first either way).
      {4, "kinds:iteration2", "iteration failed"},
  };
  for (const auto& c : cases) {
    a.mode = testhost::scalar(c.mode);
    EXPECT_TRUE(testhost::failed_with(testhost::call(4, a.all()), c.id, {c.text})) << c.mode;
    a.mode = testhost::scalar(0);
    testhost::CallResult r = testhost::call(3, a.all());
    ASSERT_TRUE(testhost::succeeded(r)) << "after mode " << c.mode;
    EXPECT_EQ(testhost::values(r.outputs[0].get()), (std::vector<double>{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(testhost::scalar_of(r.outputs[2]), 42.0);
  }
  EXPECT_EQ(testhost::live_arrays(), live);
}

TEST(EntryLayerHost, PrintsThroughTheHostConsole) {
  Args a;
  a.mode = testhost::scalar(5);
  testhost::CallResult r = testhost::call(1, a.all());
  ASSERT_TRUE(testhost::succeeded(r));
  EXPECT_EQ(r.console, "printed by the computation\n");
}

TEST(EntryLayerHost, UnloadingRunsTheExitHandlerAndALaterCallStartsAfresh) {
  Args a;
  ASSERT_TRUE(testhost::succeeded(testhost::call(1, a.all())));
  EXPECT_TRUE(testhost::has_exit_handler());
  EXPECT_EQ(emlrtGetRootTLSGlobal(), nullptr);  // a context lives for one call only
  testhost::unload();
  EXPECT_FALSE(testhost::has_exit_handler());
  ASSERT_TRUE(testhost::succeeded(testhost::call(1, a.all())));
  EXPECT_TRUE(testhost::has_exit_handler());
}

}  // namespace
