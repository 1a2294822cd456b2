#include "random_streams.h"

#include <omp.h>

#include <algorithm>
#include <climits>
#include <numeric>
#include <vector>

namespace rt::rng {
namespace {

// Per OS thread; zero at thread start.
struct ThreadRandom {
  std::int32_t threadID;
  bool method_not_empty;
  std::uint32_t method;
  MtState* state_ptr;
  bool state_not_empty;
  bool own_state_built;  // `state` holds a constructed generator
  MtState state;
};
thread_local ThreadRandom tls;

// Per loaded library.
std::uint32_t g_seed = 0;
MtState g_state_master;
bool g_state_not_empty_master = false;
std::uint32_t g_method_master = 0;
bool g_method_not_empty_master = false;
std::uint32_t g_randn_method = 0;
bool g_initialised = false;

// State construction: thread number + 1 inside a parallel region
// (saturating), 5489 outside.
void construct_state(MtState& s, bool in_region) {
  std::uint32_t seed = 5489u;
  if (in_region) {
    const std::int64_t t = static_cast<std::int64_t>(tls.threadID) + 1;
    seed = t > INT32_MAX ? static_cast<std::uint32_t>(INT32_MAX)
                         : (t < 0 ? 0u : static_cast<std::uint32_t>(t));
  }
  mt_seed(s, seed);
}

// A thread that joined the pool after the first-time initialisation has no
// state yet: give it the one it would have received then.
void ensure_own_state() {
  if (!tls.own_state_built) {
    const bool in_region = omp_in_parallel() != 0;
    if (in_region) tls.threadID = omp_get_thread_num();
    construct_state(tls.state, in_region);
    tls.own_state_built = true;
    tls.state_not_empty = true;
    tls.method = 7;
    tls.method_not_empty = true;
  }
  if (tls.state_ptr == nullptr) tls.state_ptr = &tls.state;
}

template <class F>
void for_each_pool_thread(F f) {
  const int T = omp_get_max_threads();
#pragma omp parallel num_threads(T)
  {
    const int n = T;
    const int nt = omp_get_num_threads();
    const int t = omp_get_thread_num();
    // Static split of T iterations: every thread that runs one acts.
    const int q = n / nt;
    const int r = n % nt;
    const int count = t < r ? q + 1 : q;
    if (count > 0) f();
  }
}

}  // namespace

void first_time_init() {
  // 1. thread numbers
  for_each_pool_thread([] { tls.threadID = omp_get_thread_num(); });
  // 2. stored seed
  g_seed = 0;
  // 3. generator kinds
  for_each_pool_thread([] {
    tls.method = 7;
    tls.method_not_empty = true;
  });
  g_method_master = tls.method;
  g_method_not_empty_master = true;
  tls.method = 7;
  tls.method_not_empty = true;
  // 4. generator states
  for_each_pool_thread([] {
    tls.state_ptr = &tls.state;
    construct_state(tls.state, true);
    tls.own_state_built = true;
    tls.state_not_empty = true;
  });
  g_state_master = tls.state;
  construct_state(tls.state, false);
  tls.state_ptr = &tls.state;
  tls.own_state_built = true;
  tls.state_not_empty = true;
  // 5. normal-generator word
  g_randn_method = 0;
  g_initialised = true;
}

void ensure_initialised() {
  if (!g_initialised) first_time_init();
}

bool initialised() { return g_initialised; }

void rng(double x) {
  ensure_own_state();
  std::uint32_t s = 0;
  if (x < 4294967296.0 && x >= 0.0) s = static_cast<std::uint32_t>(x);
  if (x >= 4294967296.0) {
    s = 4294967295u;
  } else if (!(x >= 0.0) || s == 0) {  // negative, NaN, or truncating to 0
    s = 5489u;
  }
  g_seed = s;
  mt_seed(*tls.state_ptr, s);
  g_randn_method = 0;
}

std::uint32_t last_seed() { return g_seed; }

double rand() {
  if (tls.state_ptr == nullptr) ensure_own_state();
  return mt_double(*tls.state_ptr);
}

void rand_fill(double* out, int n) {
  if (tls.state_ptr == nullptr) ensure_own_state();
  MtState& s = *tls.state_ptr;
  for (int i = 0; i < n; ++i) out[i] = mt_double(s);
}

void stable_order(const double* v, int n, double* out) {
  std::vector<int> idx(static_cast<std::size_t>(n > 0 ? n : 0));
  std::iota(idx.begin(), idx.end(), 0);
  std::stable_sort(idx.begin(), idx.end(), [&](int a, int b) { return v[a] < v[b]; });
  for (std::size_t k = 0; k < idx.size(); ++k) out[k] = idx[k] + 1.0;
}

void randperm(double n_in, emxArray_real_T* out) {
  const int n = n_in > 0.0 ? static_cast<int>(n_in) : 0;
  std::vector<double> p(static_cast<std::size_t>(n));
  rand_fill(p.data(), n);
  rt::resize(out, 1, n);
  stable_order(p.data(), n, out->data);
}

void enter_loop_streams() {
  if (omp_in_parallel()) return;
  ensure_own_state();
  tls.state_ptr = &g_state_master;
  std::swap(tls.state_not_empty, g_state_not_empty_master);
  std::swap(tls.method, g_method_master);
  std::swap(tls.method_not_empty, g_method_not_empty_master);
}

void leave_loop_streams() {
  if (omp_in_parallel()) return;
  tls.state_ptr = &tls.state;
  std::swap(tls.state_not_empty, g_state_not_empty_master);
  std::swap(tls.method, g_method_master);
  std::swap(tls.method_not_empty, g_method_not_empty_master);
}

MtState* current_state() {
  if (tls.state_ptr == nullptr) ensure_own_state();
  return tls.state_ptr;
}

ScopedStream::ScopedStream(MtState* s) : saved_(tls.state_ptr) { tls.state_ptr = s; }
ScopedStream::~ScopedStream() { tls.state_ptr = saved_; }

std::int32_t thread_id() { return tls.threadID; }
std::uint32_t method() { return tls.method; }

void reset_for_tests() {
  g_initialised = false;
  g_seed = 0;
  g_state_not_empty_master = false;
  g_method_master = 0;
  g_method_not_empty_master = false;
  tls.state_ptr = &tls.state;
}

}  // namespace rt::rng
