// Parallel regions: one OpenMP team, iterations split statically in
// contiguous blocks, errors captured per thread and raised after the region
// on the calling thread.
#pragma once

#include <omp.h>

#include <exception>
#include <vector>

#include "context.h"

namespace rt {

// Block of thread t among T threads for n iterations: the first n mod T
// threads take one iteration more; blocks follow thread order.
inline void static_block(int n, int T, int t, int* begin, int* end) {
  const int q = n / T;
  const int r = n % T;
  if (t < r) {
    *begin = t * (q + 1);
    *end = *begin + q + 1;
  } else {
    *begin = t * q + r;
    *end = *begin + q;
  }
}

// Number of threads a region started now would get.
inline int region_threads() { return omp_in_parallel() ? 1 : omp_get_max_threads(); }

// Runs body(Context& thread_ctx, int begin, int end) once per thread of the
// team on that thread's block of [0, n). A thread whose body throws skips the
// rest of its block and frees what it registered in its own scope; the other
// threads finish. After the region the error of the lowest-numbered failing
// thread is rethrown here.
template <class Body>
void parallel_blocks(Context* ctx, int n, Body&& body) {
  const int T = region_threads();
  std::vector<std::exception_ptr> errors(static_cast<std::size_t>(T));
#pragma omp parallel num_threads(T)
  {
    const int t = omp_get_thread_num();
    const int nt = omp_get_num_threads();
    Context tctx;
    tctx.print = nullptr;  // the host console is not thread-safe
    tctx.lock = ctx->lock;
    tctx.nest_lock = ctx->nest_lock;
    tctx.num_procs = ctx->num_procs;
    tctx.thread_num = t;
    tctx.cancel = ctx->cancel;
    tctx.poll_host = ctx->poll_host;
    tctx.orientations_done = ctx->orientations_done;
    tctx.keyed_streams = ctx->keyed_streams;
    tctx.stream_seed = ctx->stream_seed;
    tctx.stream_loop = ctx->stream_loop;
    int begin = 0;
    int end = 0;
    static_block(n, nt, t, &begin, &end);
    try {
      body(tctx, begin, end);
    } catch (...) {
      errors[static_cast<std::size_t>(t)] = std::current_exception();
      tctx.heap.unwind();
    }
  }
  for (const std::exception_ptr& e : errors) {
    if (e) std::rethrow_exception(e);
  }
}

}  // namespace rt

#include <atomic>

#include "random_streams.h"

namespace rt {

// Runs body(state, thread_ctx, k) for k in [begin, end), each iteration on
// whichever thread asks first (iterations of very different cost keep every
// thread busy), with state = make_state(thread_ctx) created once per thread.
// Errors are captured per thread and raised after the region as in
// parallel_blocks; a cancelled context stops every thread at its next
// iteration. Results must not depend on which thread runs an iteration:
// each iteration draws from streams of its own (seed_orientation_stream and
// the keyed loop streams).
template <class MakeState, class Body>
void parallel_dynamic(Context* ctx, int begin, int end, MakeState&& make_state, Body&& body) {
  std::atomic<int> next{begin};
  parallel_blocks(ctx, end > begin ? region_threads() : 0, [&](Context& tctx, int b, int e) {
    if (b >= e) return;
    auto state = make_state(tctx);
    for (int k = next.fetch_add(1); k < end; k = next.fetch_add(1)) {
      raise_if_cancelled(&tctx);
      body(state, tctx, k);
    }
  });
}

// Iterations per chunk of a loop with keyed streams.
constexpr int kStreamChunk = 16;

// Runs body(state, thread_ctx, k) for k in [0, n), with
// state = make_state(thread_ctx) created once per thread (and destroyed with
// it, also on error) and finish(state, thread_ctx) run at the end of a
// thread's share unless the thread failed.
// With the per-thread loop streams (the default) each thread runs its static
// block in order. With keyed streams (ctx->keyed_streams) the iterations are
// cut into chunks of kStreamChunk; every chunk runs on whichever thread asks
// first (a thread slowed by other work on its core holds no one up) from a
// stream of its own, so each iteration sees the same draws whatever the
// thread count; the state must then carry nothing from one iteration to the
// next.
template <class MakeState, class Body, class Finish>
void parallel_iterations(Context* ctx, int n, MakeState&& make_state, Body&& body,
                         Finish&& finish) {
  if (!ctx->keyed_streams) {
    parallel_blocks(ctx, n, [&](Context& tctx, int b, int e) {
      if (b >= e) return;
      auto state = make_state(tctx);
      for (int k = b; k < e; ++k) {
        raise_if_cancelled(&tctx);
        body(state, tctx, k);
      }
      finish(state, tctx);
    });
    return;
  }
  const int chunks = n > 0 ? (n + kStreamChunk - 1) / kStreamChunk : 0;
  std::atomic<int> next{0};
  parallel_blocks(ctx, chunks, [&](Context& tctx, int b, int e) {
    if (b >= e) return;
    auto state = make_state(tctx);
    MtState s;
    for (int c = next.fetch_add(1); c < chunks; c = next.fetch_add(1)) {
      raise_if_cancelled(&tctx);
      seed_chunk_stream(ctx, static_cast<std::uint32_t>(c), s);
      rng::ScopedStream scoped(&s);
      const int end = (c + 1) * kStreamChunk < n ? (c + 1) * kStreamChunk : n;
      for (int k = c * kStreamChunk; k < end; ++k) body(state, tctx, k);
    }
    finish(state, tctx);
  });
}

}  // namespace rt
