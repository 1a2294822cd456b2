// Test-only plug-in with a trivial driver, built on the shared entry layer to
// exercise it from the host: inputs s (scalar), M (matrix <= 4x3), P
// (protected matrix <= 10x2), io (in/out scalar), mode (scalar); outputs
// 1 a matrix, 2 s*2, 3 io as left by the driver, 4 an empty placeholder,
// 5 the number of elements of P.
//
// mode 0: out1 = M; the driver overwrites its copy of P with -1 and adds 1 to io.
// mode 1: a parallel loop of 8 iterations whose iteration 4 raises an error.
// mode 2: a parallel loop of s iterations; out1(k,:) = [draw from the loop
//         stream, OpenMP thread number] of iteration k.
// mode 3: rng(s) and three draws on the serial stream (out1 is 1x3).
#include <omp.h>

#include <vector>

#include "mex/entry_layer.h"
#include "runtime/parallel.h"
#include "runtime/random_streams.h"

using mexentry::Kind;

static const mexentry::InputSpec frametest_inputs[] = {
    {"s", Kind::Scalar},
    {"M", Kind::Matrix, 4, 3},
    {"P", Kind::Protected, 10, 2},
    {"io", Kind::InOut},
    {"mode", Kind::Scalar},
};

static const mexentry::Plugin frametest_plugin = {"frametest", 5, 5, frametest_inputs};

static void frametest_compute(rt::Context* ctx, mexentry::Inputs& in, mexentry::Outputs& out) {
  const double s = in.scalar(0);
  const int mode = static_cast<int>(in.scalar(4));
  emxArray_real_T* M = in.array(1);
  emxArray_real_T* P = in.array(2);
  rt::RealArray result;
  emxInit_real_T(ctx, result.out(), 2, true);
  if (mode == 0) {
    rt::resize(result.get(), M->size[0], M->size[1]);
    for (int k = 0; k < rt::numel(M); ++k) result->data[k] = M->data[k];
    for (int k = 0; k < rt::numel(P); ++k) P->data[k] = -1.0;
    *in.inout(3) += 1.0;
  } else if (mode == 1) {
    rt::rng::LoopStreams streams;
    rt::parallel_blocks(ctx, 8, [&](rt::Context& tctx, int begin, int end) {
      // A registered array per thread, freed by the thread's scope on error.
      emxArray_real_T* scratch = nullptr;
      emxInit_real_T(&tctx, &scratch, 2, true);
      rt::resize(scratch, 1, 100);
      for (int k = begin; k < end; ++k) {
        if (k == 3) rt::raise("frametest:iteration", "iteration 4 failed on purpose");
      }
      emxFree_real_T(&scratch);
    });
  } else if (mode == 2) {
    const int n = static_cast<int>(s);
    rt::resize(result.get(), n, 2);
    rt::rng::LoopStreams streams;
    rt::parallel_blocks(ctx, n, [&](rt::Context&, int begin, int end) {
      for (int k = begin; k < end; ++k) {
        result->data[k] = rt::rng::rand();
        result->data[k + n] = omp_get_thread_num();
      }
    });
  } else if (mode == 3) {
    rt::rng::rng(s);
    rt::resize(result.get(), 1, 3);
    for (int k = 0; k < 3; ++k) result->data[k] = rt::rng::rand();
  }
  out.matrix(result.get());
  out.scalar(2.0 * s);
  out.scalar(*in.inout(3));
  out.empty();
  out.scalar(rt::numel(P));
}

CCS_MEX_PLUGIN(frametest)
