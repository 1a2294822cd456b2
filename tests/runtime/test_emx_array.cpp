#include <gtest/gtest.h>

#include "runtime/context.h"
#include "runtime/emx_array.h"

namespace {

emxArray_real_T* make(int dims) {
  emxArray_real_T* a = nullptr;
  emxInit_real_T(nullptr, &a, dims, false);
  return a;
}

void grow_to(emxArray_real_T* a, int rows, int cols) {
  const int old = rt::numel(a);
  a->size[0] = rows;
  a->size[1] = cols;
  emxEnsureCapacity_real_T(a, old);
}

}  // namespace

TEST(EmxArray, NewRecordIsEmptyAndZeroRequestAllocatesNothing) {
  emxArray_real_T* a = make(2);
  EXPECT_EQ(a->size[0], 0);
  EXPECT_EQ(a->size[1], 0);
  EXPECT_EQ(a->allocatedSize, 0);
  EXPECT_EQ(a->data, nullptr);
  EXPECT_TRUE(a->canFreeData);
  emxEnsureCapacity_real_T(a, 0);
  EXPECT_EQ(a->data, nullptr);
  EXPECT_EQ(a->allocatedSize, 0);
  emxFree_real_T(&a);
  EXPECT_EQ(a, nullptr);
  emxFree_real_T(&a);  // freeing through a null pointer is harmless
}

TEST(EmxArray, CapacityGrowsFromSixteenByDoubling) {
  emxArray_real_T* a = make(2);
  grow_to(a, 1, 1);
  EXPECT_EQ(a->allocatedSize, 16);
  grow_to(a, 16, 1);
  EXPECT_EQ(a->allocatedSize, 16);
  grow_to(a, 17, 1);
  EXPECT_EQ(a->allocatedSize, 32);
  emxFree_real_T(&a);
  a = make(2);
  grow_to(a, 4, 5);
  EXPECT_EQ(a->allocatedSize, 32);
  // Shrinking keeps the storage.
  grow_to(a, 1, 1);
  EXPECT_EQ(a->allocatedSize, 32);
  emxFree_real_T(&a);
  EXPECT_EQ(rt::grown_capacity(1073741824, 1073741825), 2147483647);
  EXPECT_EQ(rt::grown_capacity(0, 0), 16);
}

TEST(EmxArray, GrowthKeepsPrefixAndZeroFillsTheRest) {
  emxArray_real_T* a = make(1);
  a->size[0] = 3;
  emxEnsureCapacity_real_T(a, 0);
  for (int i = 0; i < 3; ++i) a->data[i] = i + 1.0;
  a->size[0] = 40;
  emxEnsureCapacity_real_T(a, 3);
  EXPECT_EQ(a->allocatedSize, 64);
  EXPECT_EQ(a->data[0], 1.0);
  EXPECT_EQ(a->data[2], 3.0);
  EXPECT_EQ(a->data[3], 0.0);
  EXPECT_EQ(a->data[39], 0.0);
  emxFree_real_T(&a);
}

TEST(EmxArray, BorrowedDataIsCopiedOnGrowthAndNeverFreed) {
  double borrowed[4] = {1, 2, 3, 4};
  emxArray_real_T* a = make(2);
  a->size[0] = 2;
  a->size[1] = 2;
  a->data = borrowed;
  a->allocatedSize = 4;
  a->canFreeData = false;
  grow_to(a, 3, 2);
  EXPECT_NE(a->data, borrowed);
  EXPECT_TRUE(a->canFreeData);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(a->data[i], borrowed[i]);
  EXPECT_EQ(a->data[4], 0.0);
  EXPECT_EQ(borrowed[3], 4.0);
  emxFree_real_T(&a);
  // A borrowed record frees only itself.
  emxArray_real_T* b = make(2);
  b->data = borrowed;
  b->canFreeData = false;
  emxFree_real_T(&b);
  EXPECT_EQ(borrowed[0], 1.0);
}

TEST(EmxArray, OtherElementTypesFollowTheSameRule) {
  emxArray_creal_T* c = nullptr;
  emxInit_creal_T(nullptr, &c, 2, false);
  c->size[0] = 20;
  c->size[1] = 1;
  emxEnsureCapacity_creal_T(c, 0);
  EXPECT_EQ(c->allocatedSize, 32);
  EXPECT_EQ(c->data[19].im, 0.0);
  emxFree_creal_T(&c);
  emxArray_boolean_T* b = nullptr;
  emxInit_boolean_T(nullptr, &b, 1, false);
  b->size[0] = 17;
  emxEnsureCapacity_boolean_T(b, 0);
  EXPECT_EQ(b->allocatedSize, 32);
  emxFree_boolean_T(&b);
  EXPECT_EQ(b, nullptr);
}

TEST(HeapScope, UnwindFreesOnlyRecordsStillRegistered) {
  rt::RootContext root;
  rt::Context* ctx = root.get();
  emxArray_real_T* kept = nullptr;
  emxArray_real_T* freed = nullptr;
  emxArray_int32_T* ints = nullptr;
  emxInit_real_T(ctx, &kept, 2, true);
  emxInit_real_T(ctx, &freed, 2, true);
  emxInit_int32_T(ctx, &ints, 2, true);
  emxArray_real_T* unregistered = nullptr;
  emxInit_real_T(ctx, &unregistered, 2, false);
  emxFree_real_T(&freed);  // normal path: unlinks itself
  EXPECT_FALSE(ctx->heap.empty());
  ctx->heap.unwind();  // frees `kept` and `ints` (checked by the sanitizer build)
  EXPECT_TRUE(ctx->heap.empty());
  emxFree_real_T(&unregistered);
}

TEST(HeapScope, ErrorUnwindingThroughAScopeFreesItsRecords) {
  rt::RootContext root;
  rt::Context* ctx = root.get();
  try {
    emxArray_real_T* a = nullptr;
    emxInit_real_T(ctx, &a, 2, true);
    rt::resize(a, 10, 3);
    rt::raise("test:fail", "failed");
  } catch (const rt::Error& e) {
    EXPECT_EQ(e.id(), "test:fail");
    EXPECT_STREQ(e.what(), "failed");
    EXPECT_FALSE(ctx->heap.empty());
    ctx->heap.unwind();
  }
  EXPECT_TRUE(ctx->heap.empty());
}
