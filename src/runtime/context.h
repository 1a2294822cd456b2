// Run-time context of one computation: the heap-reference scope, the host's
// print function and the locks that parallel threads share.
//
// Errors are C++ exceptions of type rt::Error (an identifier and a message).
// They unwind to the caller of the computation; only the host boundary turns
// them into host errors, after the scope has freed every registered array.
#pragma once

#include <omp.h>

#include <atomic>
#include <stdexcept>
#include <string>

#include <cstdint>

#include "emx_array.h"
#include "mt19937.h"

namespace rt {

class Error : public std::runtime_error {
 public:
  Error(std::string id, const std::string& message)
      : std::runtime_error(message), id_(std::move(id)) {}
  const std::string& id() const { return id_; }

 private:
  std::string id_;
};

[[noreturn]] void raise(const std::string& id, const std::string& message);

// Records registered by emxInit_<type>(..., doPush = true). unwind() frees all
// records still linked; records freed on the normal path have unlinked
// themselves already.
class HeapScope {
 public:
  HeapScope();
  HeapScope(const HeapScope&) = delete;
  HeapScope& operator=(const HeapScope&) = delete;
  ~HeapScope();
  void push(HeapLink* link);
  void unwind();
  bool empty() const { return head_.next == &head_; }

 private:
  HeapLink head_;
};

using PrintFn = void (*)(const char* text);

struct Context {
  HeapScope heap;
  PrintFn print = nullptr;              // host console; null prints nothing
  omp_lock_t* lock = nullptr;           // serialises host services
  omp_nest_lock_t* nest_lock = nullptr;  // guards shared counters
  int num_procs = 1;
  int thread_num = 0;  // per-thread contexts: the OpenMP thread number

  // Reproducible streams (used by the command-line program): when set, the
  // parallel loops of a computation draw from streams keyed by this seed,
  // the loop and a fixed-size chunk of iterations instead of from the
  // per-thread loop streams, so results do not depend on the thread count.
  bool keyed_streams = false;
  std::uint64_t stream_seed = 0;
  std::uint32_t stream_loop = 0;  // set by the driver before each loop

  // When set, the drivers add 1 here for every orientation they finish (from
  // any thread), so a caller can show progress from a thread of its own.
  std::atomic<long>* orientations_done = nullptr;

  // When set, a computation stops soon after the flag becomes true: the
  // drivers poll it between orientations and the parallel loops between
  // iterations, and raise the error "interrupted" (kInterruptedId). Copied
  // into the per-thread contexts of a parallel region.
  const std::atomic<bool>* cancel = nullptr;

  // Asks the host whether the user wants the computation stopped (Ctrl-C);
  // called only from thread 0 of a region (the calling thread), where the
  // host's state may be read. A true answer must set *cancel, so that every
  // thread stops. Copied into the per-thread contexts.
  bool (*poll_host)() = nullptr;
};

inline constexpr const char* kInterruptedId = "ccs:interrupted";

// Raises "interrupted" when the context's cancel flag is set.
void raise_if_cancelled(const Context* ctx);

// Counts one finished orientation on the context's progress counter, if any,
// and stops the computation when it has been cancelled.
inline void count_orientation(const Context* ctx) {
  if (ctx != nullptr && ctx->orientations_done != nullptr) {
    ctx->orientations_done->fetch_add(1, std::memory_order_relaxed);
  }
  raise_if_cancelled(ctx);
}

// Seeds `s` for chunk `chunk` of the current loop of a context with keyed
// streams.
void seed_chunk_stream(const Context* ctx, std::uint32_t chunk, MtState& s);

// Loop keys of a context with keyed streams that no trajectory loop uses:
// the orientation of each orientation, and the draws after all orientations.
inline constexpr std::uint32_t kOrientationStreams = 0xFFFFFFFFu;
inline constexpr std::uint32_t kSummaryStream = 0xFFFFFFFEu;

// Seeds `s` for orientation `orientation` (0-based) of a context with keyed
// streams: the stream its rotation is drawn from, the same whichever thread,
// process or order runs it.
void seed_orientation_stream(const Context* ctx, std::uint32_t orientation, MtState& s);

// Seeds `s` for the draws after all orientations (the direction average of
// a tensor) of a context with keyed streams.
void seed_summary_stream(const Context* ctx, MtState& s);

// Print through the context's host console (serial code only).
void print(const Context* ctx, const char* text);

// Add to a counter shared by the threads of a region under the nest lock.
void locked_add(Context* ctx, double* counter, double value);

// A root context with its own locks, for computations run outside a host.
class RootContext {
 public:
  explicit RootContext(PrintFn print = nullptr);
  RootContext(const RootContext&) = delete;
  RootContext& operator=(const RootContext&) = delete;
  ~RootContext();
  Context* get() { return &ctx_; }

 private:
  omp_lock_t lock_;
  omp_nest_lock_t nest_lock_;
  Context ctx_;
};

}  // namespace rt
