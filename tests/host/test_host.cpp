// The test host's own guarantees, on which every host-level test relies: it
// counts what a call leaves behind, sees changed inputs, frees the outputs
// of a failed call, keeps data blocks exactly sized, and stops the process
// when a host service is used from a worker thread or an input is destroyed.
#include <gtest/gtest.h>
#include <omp.h>

#include <cmath>
#include <cstring>

#include "host_testing.h"

using testhost::Array;

namespace {

void leaves_an_array(int, mxArray*[], int, const mxArray*[]) {
  mxCreateDoubleMatrix(2, 2, mxREAL);
}
void leaves_a_block(int, mxArray*[], int, const mxArray*[]) { mxMalloc(16); }
void frees_what_it_makes(int, mxArray* plhs[], int, const mxArray*[]) {
  mxArray* kept = mxCreateDoubleScalar(1);
  mxArray* record_field = mxCreateString("held by the record");
  const char* names[] = {"f"};
  mxArray* record = mxCreateStructMatrix(1, 1, 1, names);
  mxSetField(record, 0, "f", record_field);
  mxDestroyArray(record);
  mxFree(mxMalloc(8));
  plhs[0] = kept;
}
void writes_its_input(int, mxArray*[], int, const mxArray* prhs[]) { mxGetPr(prhs[0])[1] = 5; }
void fails_after_an_output(int, mxArray* plhs[], int, const mxArray*[]) {
  plhs[0] = mxCreateDoubleScalar(1);
  mexErrMsgIdAndTxt("test:fail", "failed with %d and %s", 7, "text");
}
void prints(int, mxArray*[], int, const mxArray*[]) { mexPrintf("%s %d\n", "value", 3); }
void throws_foreign(int, mxArray*[], int, const mxArray*[]) { throw std::runtime_error("x"); }
void prints_from_a_worker(int, mxArray*[], int, const mxArray*[]) {
#pragma omp parallel num_threads(2)
  if (omp_get_thread_num() == 1) mexPrintf("from a worker\n");
}
void destroys_its_input(int, mxArray*[], int, const mxArray* prhs[]) {
  mxDestroyArray(const_cast<mxArray*>(prhs[0]));
}

TEST(TestHost, CountsWhatACallLeavesBehind) {
  const std::size_t live = testhost::live_arrays();
  EXPECT_EQ(testhost::call(&leaves_an_array, 0, {}).leftovers, 1);
  EXPECT_EQ(testhost::call(&leaves_a_block, 0, {}).leftovers, 1);
  testhost::CallResult r = testhost::call(&frees_what_it_makes, 1, {});
  EXPECT_TRUE(testhost::succeeded(r));
  ASSERT_EQ(r.outputs.size(), 1u);
  EXPECT_EQ(testhost::scalar_of(r.outputs[0]), 1.0);
  r.outputs.clear();
  EXPECT_EQ(testhost::live_arrays(), live);
}

TEST(TestHost, SeesAChangedInput) {
  Array m = testhost::matrix(2, 1, {1, 2});
  testhost::CallResult r = testhost::call(&writes_its_input, 0, {m.get()});
  EXPECT_TRUE(r.ok);
  EXPECT_TRUE(r.inputs_changed);
  EXPECT_FALSE(testhost::succeeded(r));
}

TEST(TestHost, AHostErrorEndsTheCallAndFreesItsOutputs) {
  const std::size_t live = testhost::live_arrays();
  testhost::CallResult r = testhost::call(&fails_after_an_output, 1, {});
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.id, "test:fail");
  EXPECT_EQ(r.message, "failed with 7 and text");
  EXPECT_TRUE(r.outputs.empty());
  EXPECT_EQ(r.leftovers, 1);
  EXPECT_EQ(testhost::live_arrays(), live);
}

TEST(TestHost, CapturesTheConsole) {
  EXPECT_EQ(testhost::call(&prints, 0, {}).console, "value 3\n");
}

TEST(TestHost, AForeignExceptionLeavingTheEntryIsADefect) {
  EXPECT_THROW(testhost::call(&throws_foreign, 0, {}), std::logic_error);
}

TEST(TestHost, ArraysAreStrict) {
  // Empty arrays have no data; sparse arrays store only their nonzeros;
  // the data of other classes is their own elements.
  Array e = testhost::matrix(0, 3);
  EXPECT_EQ(mxGetPr(e.get()), nullptr);
  Array sp = testhost::sparse(100, 100, 2);
  EXPECT_EQ(testhost::values(sp.get()).size(), 2u);
  EXPECT_TRUE(mxIsSparse(sp.get()) && mxIsDouble(sp.get()));
  Array i8 = testhost::numeric(mxINT8_CLASS, {1, 1});
  EXPECT_STREQ(mxGetClassName(i8.get()), "int8");
  EXPECT_NE(mxGetData(i8.get()), nullptr);
  // Sizes as the host reports them: trailing singleton dimensions dropped,
  // N counting every dimension after the first.
  Array nd = testhost::numeric(mxDOUBLE_CLASS, {2, 3, 4, 1});
  EXPECT_EQ(mxGetNumberOfDimensions(nd.get()), 3);
  EXPECT_EQ(mxGetM(nd.get()), 2u);
  EXPECT_EQ(mxGetN(nd.get()), 12u);
  // Huge arrays are described without being allocated until read.
  Array huge = testhost::matrix(4000000000LL, 0);
  EXPECT_EQ(mxGetM(huge.get()), 4000000000u);
  EXPECT_EQ(mxGetNumberOfElements(huge.get()), 0u);
  Array big = testhost::matrix(10000001, 3);
  EXPECT_EQ(mxGetN(big.get()), 3u);
  // Beyond every input bound: the data pointer exists but faults when read.
  Array unreadable = testhost::matrix(2, 4294967296LL);
  EXPECT_NE(mxGetPr(unreadable.get()), nullptr);
}

using TestHostDeathTest = ::testing::Test;

TEST(TestHostDeathTest, HostServicesOnAWorkerThreadStopTheProcess) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(testhost::call(&prints_from_a_worker, 0, {}), "thread other than the host's");
}

TEST(TestHostDeathTest, ReadingAnArrayBeyondEveryBoundStopsTheProcess) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  Array unreadable = testhost::matrix(2, 4294967296LL);
  const volatile double* p = mxGetPr(unreadable.get());
  EXPECT_DEATH((void)p[0], "");
}

TEST(TestHostDeathTest, DestroyingAnInputStopsTheProcess) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  Array m = testhost::scalar(1);
  EXPECT_DEATH(testhost::call(&destroys_its_input, 0, {m.get()}), "mxDestroyArray of an input");
}

}  // namespace
