// Random-number streams of a loaded library.
//
// Every OS thread has its own generator state and a pointer to the state it
// draws from. Outside parallel loops the calling thread draws from its own
// state (the serial stream, reseeded by rng). Around a parallel loop the
// calling thread switches to the master-thread loop stream, and pool thread t
// draws from its own state, seeded t + 1 at the first call after loading.
// Loop streams are never reseeded: they continue from loop to loop and from
// call to call while the library stays loaded.
#pragma once

#include <cstdint>

#include "emx_array.h"
#include "mt19937.h"

namespace rt::rng {

// First-time initialisation, in order: thread numbers, stored seed,
// generator kinds, generator states (thread t seeded t + 1; the master loop
// stream takes the calling thread's seed-1 state; the serial stream 5489),
// normal-generator word.
void first_time_init();

// Runs first_time_init unless it ran since the library was loaded.
void ensure_initialised();
bool initialised();

// Seeds the calling thread's current state from a double.
void rng(double seed);

// The seed last applied by rng (0 before the first).
std::uint32_t last_seed();

// One double in (0, 1) from the calling thread's current state.
double rand();

// n doubles in storage order.
void rand_fill(double* out, int n);

// 1-based indices 1..n ordered by n fresh draws, stable on equal draws
// (a 1 x n row; 1 x 0 for n = 0).
void randperm(double n, emxArray_real_T* out);

// 1-based indices of v[0..n) in ascending order of value; an index whose value
// equals a later one's comes first.
void stable_order(const double* v, int n, double* out);

// Switch the calling thread to (useMaster) or back from the master loop
// stream; also exchanges the generator-kind words. Does nothing inside a
// parallel region.
void enter_loop_streams();
void leave_loop_streams();

// The state the calling thread draws from now.
MtState* current_state();

// Makes the calling thread draw from `s` until destroyed (used where each
// orientation or chunk has a stream of its own).
class ScopedStream {
 public:
  explicit ScopedStream(MtState* s);
  ScopedStream(const ScopedStream&) = delete;
  ScopedStream& operator=(const ScopedStream&) = delete;
  ~ScopedStream();

 private:
  MtState* saved_;
};

// Switches to the loop streams for the lifetime of the guard.
class LoopStreams {
 public:
  LoopStreams() { enter_loop_streams(); }
  LoopStreams(const LoopStreams&) = delete;
  LoopStreams& operator=(const LoopStreams&) = delete;
  ~LoopStreams() { leave_loop_streams(); }
};

// Introspection for tests: the thread-local thread number and generator kind.
std::int32_t thread_id();
std::uint32_t method();

// Forgets the first-time initialisation (tests only: simulates a fresh load
// for the calling thread and the pool).
void reset_for_tests();

}  // namespace rt::rng
