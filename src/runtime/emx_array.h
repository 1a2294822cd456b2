// Dynamic arrays: column-major blocks with a size vector and a capacity.
//
// A record either owns its data (canFreeData true) or borrows it (host input
// data, or data handed to the host as an output). Growth keeps a minimum of
// 16 elements and doubles, so appends cost amortised constant time.
//
// A record created with registration is linked into the heap-reference scope
// of its context; if an error unwinds that scope, every record still linked
// is freed. emxFree unlinks it, so records freed on the normal path are never
// freed twice.
#pragma once

#include "rt_types.h"

namespace rt {
struct Context;
struct HeapLink {
  HeapLink* prev = nullptr;
  HeapLink* next = nullptr;
  void (*release)(HeapLink*) = nullptr;  // frees the record that holds the link
};
}  // namespace rt

#define RT_EMX_RECORD(NAME, ELEM)                                         \
  struct NAME {                                                           \
    ELEM* data;                                                           \
    int32_T* size;                                                        \
    int32_T allocatedSize;                                                \
    int32_T numDimensions;                                                \
    boolean_T canFreeData;                                                \
    rt::HeapLink link; /* scope registration; not part of the layout */  \
  };

RT_EMX_RECORD(emxArray_real_T, real_T)
RT_EMX_RECORD(emxArray_int32_T, int32_T)
RT_EMX_RECORD(emxArray_uint32_T, uint32_T)
RT_EMX_RECORD(emxArray_boolean_T, boolean_T)
RT_EMX_RECORD(emxArray_creal_T, creal_T)
#undef RT_EMX_RECORD

typedef rt::Context* emlrtCTX;

#define RT_EMX_DECLARE(T)                                                               \
  void emxInit_##T(emlrtCTX ctx, emxArray_##T** pEmxArray, int32_T numDimensions,      \
                   boolean_T doPush);                                                   \
  void emxEnsureCapacity_##T(emxArray_##T* emxArray, int32_T oldNumel);                \
  void emxFree_##T(emxArray_##T** pEmxArray);

extern "C" {
RT_EMX_DECLARE(real_T)
RT_EMX_DECLARE(int32_T)
RT_EMX_DECLARE(uint32_T)
RT_EMX_DECLARE(boolean_T)
RT_EMX_DECLARE(creal_T)
}
#undef RT_EMX_DECLARE

namespace rt {

// Element count of a record: the product of its extents (1 when it has no
// dimensions).
template <class A>
inline int32_T numel(const A* a) {
  int32_T n = 1;
  for (int32_T i = 0; i < a->numDimensions; ++i) n *= a->size[i];
  return n;
}

// Capacity the growth rule gives for a request of `needed` elements starting
// from `allocated`.
int32_T grown_capacity(int32_T allocated, int32_T needed);

// Resize helpers following the calling protocol (old count, new extents,
// ensure capacity).
void resize(emxArray_real_T* a, int32_T rows, int32_T cols);
void resize(emxArray_real_T* a, int32_T n);  // one-dimensional
void resize(emxArray_int32_T* a, int32_T rows, int32_T cols);
void resize(emxArray_boolean_T* a, int32_T rows, int32_T cols);

// Owning handle for code that prefers scope-bound lifetime.
template <class A, void (*Free)(A**)>
class EmxHandle {
 public:
  EmxHandle() = default;
  explicit EmxHandle(A* a) : a_(a) {}
  EmxHandle(const EmxHandle&) = delete;
  EmxHandle& operator=(const EmxHandle&) = delete;
  EmxHandle(EmxHandle&& o) noexcept : a_(o.a_) { o.a_ = nullptr; }
  EmxHandle& operator=(EmxHandle&& o) noexcept {
    if (this != &o) {
      Free(&a_);
      a_ = o.a_;
      o.a_ = nullptr;
    }
    return *this;
  }
  ~EmxHandle() { Free(&a_); }
  A* get() const { return a_; }
  A* operator->() const { return a_; }
  A** out() { return &a_; }

 private:
  A* a_ = nullptr;
};

using RealArray = EmxHandle<emxArray_real_T, emxFree_real_T>;
using Int32Array = EmxHandle<emxArray_int32_T, emxFree_int32_T>;
using BoolArray = EmxHandle<emxArray_boolean_T, emxFree_boolean_T>;

// A fresh unregistered real array of the given extents (zero-filled).
RealArray make_real(int32_T rows, int32_T cols);

}  // namespace rt
