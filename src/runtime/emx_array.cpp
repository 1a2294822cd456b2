#include "emx_array.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "context.h"

namespace rt {

int32_T grown_capacity(int32_T allocated, int32_T needed) {
  int32_T cap = allocated < 16 ? 16 : allocated;
  while (cap < needed) {
    if (cap > 1073741823) {
      cap = 2147483647;
    } else {
      cap *= 2;
    }
  }
  return cap;
}

namespace {

// The link is the last member of every record; recover the record from it.
template <class A>
A* record_of(HeapLink* link) {
  return reinterpret_cast<A*>(reinterpret_cast<char*>(link) - offsetof(A, link));
}

void unlink(HeapLink* link) {
  if (link->prev != nullptr) {
    link->prev->next = link->next;
    link->next->prev = link->prev;
    link->prev = link->next = nullptr;
  }
}

template <class A>
void free_record(A** p) {
  if (p == nullptr || *p == nullptr) return;
  A* a = *p;
  unlink(&a->link);
  if (a->data != nullptr && a->canFreeData) std::free(a->data);
  std::free(a->size);
  a->~A();
  std::free(a);
  *p = nullptr;
}

template <class A>
void release_link(HeapLink* link) {
  A* a = record_of<A>(link);
  free_record(&a);
}

template <class A>
void init_record(Context* ctx, A** p, int32_T numDimensions, bool doPush) {
  void* mem = std::malloc(sizeof(A));
  if (mem == nullptr) throw std::bad_alloc();
  A* a = new (mem) A{};
  *p = a;
  a->link.release = &release_link<A>;
  if (doPush && ctx != nullptr) ctx->heap.push(&a->link);
  a->data = nullptr;
  a->numDimensions = numDimensions;
  a->allocatedSize = 0;
  a->canFreeData = true;
  const int32_T nd = numDimensions > 0 ? numDimensions : 0;
  a->size = static_cast<int32_T*>(std::calloc(nd > 0 ? nd : 1, sizeof(int32_T)));
  if (a->size == nullptr) throw std::bad_alloc();
}

template <class A>
void ensure_capacity(A* a, int32_T oldNumel) {
  using E = std::remove_pointer_t<decltype(a->data)>;
  const int32_T newNumel = numel(a);
  if (newNumel <= a->allocatedSize) return;
  const int32_T cap = grown_capacity(a->allocatedSize, newNumel);
  E* block = static_cast<E*>(std::calloc(static_cast<std::size_t>(cap), sizeof(E)));
  if (block == nullptr) throw std::bad_alloc();
  if (a->data != nullptr) {
    const int32_T keep = oldNumel > 0 ? oldNumel : 0;
    std::memcpy(block, a->data, sizeof(E) * static_cast<std::size_t>(keep));
    if (a->canFreeData) std::free(a->data);
  }
  a->data = block;
  a->allocatedSize = cap;
  a->canFreeData = true;
}

template <class A>
void resize2(A* a, int32_T rows, int32_T cols) {
  const int32_T old = numel(a);
  a->size[0] = rows;
  a->size[1] = cols;
  ensure_capacity(a, old);
}

}  // namespace

void resize(emxArray_real_T* a, int32_T rows, int32_T cols) { resize2(a, rows, cols); }
void resize(emxArray_int32_T* a, int32_T rows, int32_T cols) { resize2(a, rows, cols); }
void resize(emxArray_boolean_T* a, int32_T rows, int32_T cols) { resize2(a, rows, cols); }
void resize(emxArray_real_T* a, int32_T n) {
  const int32_T old = numel(a);
  a->size[0] = n;
  ensure_capacity(a, old);
}

RealArray make_real(int32_T rows, int32_T cols) {
  RealArray h;
  emxInit_real_T(nullptr, h.out(), 2, false);
  resize(h.get(), rows, cols);
  return h;
}

}  // namespace rt

#define RT_EMX_DEFINE(T)                                                                   \
  void emxInit_##T(emlrtCTX ctx, emxArray_##T** pEmxArray, int32_T numDimensions,         \
                   boolean_T doPush) {                                                     \
    rt::init_record(ctx, pEmxArray, numDimensions, doPush);                                \
  }                                                                                        \
  void emxEnsureCapacity_##T(emxArray_##T* emxArray, int32_T oldNumel) {                  \
    rt::ensure_capacity(emxArray, oldNumel);                                               \
  }                                                                                        \
  void emxFree_##T(emxArray_##T** pEmxArray) { rt::free_record(pEmxArray); }

extern "C" {
RT_EMX_DEFINE(real_T)
RT_EMX_DEFINE(int32_T)
RT_EMX_DEFINE(uint32_T)
RT_EMX_DEFINE(boolean_T)
RT_EMX_DEFINE(creal_T)
}
