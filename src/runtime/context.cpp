#include "context.h"

namespace rt {

void raise(const std::string& id, const std::string& message) { throw Error(id, message); }

HeapScope::HeapScope() { head_.prev = head_.next = &head_; }

HeapScope::~HeapScope() { unwind(); }

void HeapScope::push(HeapLink* link) {
  link->next = head_.next;
  link->prev = &head_;
  head_.next->prev = link;
  head_.next = link;
}

void HeapScope::unwind() {
  while (head_.next != &head_) {
    HeapLink* link = head_.next;
    link->release(link);  // unlinks and frees the record
  }
}

void raise_if_cancelled(const Context* ctx) {
  if (ctx == nullptr) return;
  if (ctx->poll_host != nullptr && ctx->thread_num == 0) ctx->poll_host();
  if (ctx->cancel != nullptr && ctx->cancel->load(std::memory_order_relaxed)) {
    raise(kInterruptedId, "interrupted");
  }
}

void seed_chunk_stream(const Context* ctx, std::uint32_t chunk, MtState& s) {
  const std::uint32_t key[4] = {static_cast<std::uint32_t>(ctx->stream_seed),
                                static_cast<std::uint32_t>(ctx->stream_seed >> 32),
                                ctx->stream_loop, chunk};
  mt_seed_key(s, key, 4);
}

namespace {
void seed_keyed(const Context* ctx, std::uint32_t loop, std::uint32_t chunk, MtState& s) {
  const std::uint32_t key[4] = {static_cast<std::uint32_t>(ctx->stream_seed),
                                static_cast<std::uint32_t>(ctx->stream_seed >> 32), loop, chunk};
  mt_seed_key(s, key, 4);
}
}  // namespace

void seed_orientation_stream(const Context* ctx, std::uint32_t orientation, MtState& s) {
  seed_keyed(ctx, kOrientationStreams, orientation, s);
}

void seed_summary_stream(const Context* ctx, MtState& s) { seed_keyed(ctx, kSummaryStream, 0, s); }

void print(const Context* ctx, const char* text) {
  if (ctx != nullptr && ctx->print != nullptr) ctx->print(text);
}

void locked_add(Context* ctx, double* counter, double value) {
  if (ctx->nest_lock != nullptr) {
    omp_set_nest_lock(ctx->nest_lock);
    *counter += value;
    omp_unset_nest_lock(ctx->nest_lock);
  } else {
#pragma omp critical(rt_locked_add)
    *counter += value;
  }
}

RootContext::RootContext(PrintFn print) {
  omp_init_lock(&lock_);
  omp_init_nest_lock(&nest_lock_);
  ctx_.print = print;
  ctx_.lock = &lock_;
  ctx_.nest_lock = &nest_lock_;
  ctx_.num_procs = omp_get_num_procs();
}

RootContext::~RootContext() {
  ctx_.heap.unwind();
  omp_destroy_nest_lock(&nest_lock_);
  omp_destroy_lock(&lock_);
}

}  // namespace rt
