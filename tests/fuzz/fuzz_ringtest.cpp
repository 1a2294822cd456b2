// Fuzz target for ringtest: any input and output count, any class and size,
// and point, node and edge tables full of NaN, Inf, repeated and collinear
// nodes, and edge entries that are not node numbers.
//
// Besides crashes, sanitizer reports and leaks, a run fails when a call
// leaves an array behind or changes an input, or when a classification
// breaks its contract: two logical 1xN rows, a boundary point always counted
// as in, a point with a NaN coordinate neither in nor on the boundary.
#include <algorithm>
#include <cmath>
#include <vector>

#include "fuzz_values.h"

using testhost::Array;

namespace {

// Coordinates drawn mostly from a small grid, so that points fall on nodes
// and edges and edges overlap.
double coordinate(FuzzedDataProvider& fdp) {
  if (fdp.ConsumeIntegralInRange<int>(0, 3) != 0) return fdp.ConsumeIntegralInRange<int>(-2, 2) * 0.5;
  return fuzzvals::any(fdp);
}

Array table(FuzzedDataProvider& fdp, mwSize max_cols, bool points, bool node_numbers,
            mwSize n_nodes) {
  const int mode = fdp.ConsumeIntegralInRange<int>(0, 19);
  const mwSize cols = fdp.ConsumeIntegralInRange<mwSize>(0, max_cols);
  switch (mode) {
    case 0:
      return fuzzvals::wrong_class(fdp, 2, cols);
    case 1:
      return testhost::numeric(mxDOUBLE_CLASS, {2, cols}, mxCOMPLEX);
    case 2:
      return testhost::sparse(2, cols, fdp.ConsumeIntegralInRange<mwSize>(0, 3));
    case 3: {
      Array a = testhost::matrix(fdp.ConsumeIntegralInRange<mwSize>(0, 4), cols);
      fuzzvals::fill(fdp, a);
      return a;
    }
    case 4:
      // More points than one call can sort: refused before being read. (Node
      // and edge tables have no bound: a huge one is legitimate and would be
      // read, but could not be allocated here.)
      if (!points) return testhost::matrix(0, 0);
      return testhost::matrix(2, fdp.PickValueInArray<mwSize>({2147483648LL, 4294967297LL,
                                                               1LL << 40}));
    case 5: {
      Array a = testhost::numeric(mxDOUBLE_CLASS, {2, cols, 2});
      fuzzvals::fill(fdp, a);
      return a;
    }
    default: {
      Array a = testhost::matrix(2, cols);
      double* p = mxGetPr(a.get());
      for (mwSize k = 0; k < 2 * cols; ++k) {
        if (node_numbers) {
          p[k] = fdp.ConsumeIntegralInRange<int>(0, 7) != 0
                     ? static_cast<double>(fdp.ConsumeIntegralInRange<mwSize>(1, std::max<mwSize>(n_nodes, 1)))
                     : fuzzvals::any(fdp);
        } else {
          p[k] = coordinate(fdp);
        }
      }
      return a;
    }
  }
}

}  // namespace


extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider fdp(data, size);
  const int nrhs = fdp.ConsumeIntegralInRange<int>(0, 7) == 0 ? fdp.ConsumeIntegralInRange<int>(0, 4)
                                                              : fdp.ConsumeIntegralInRange<int>(2, 3);
  const int nlhs = fdp.ConsumeIntegralInRange<int>(0, 3);
  std::vector<Array> owned;
  std::vector<const mxArray*> in;
  mwSize n_nodes = 0;
  for (int i = 0; i < nrhs; ++i) {
    owned.push_back(table(fdp, i == 0 ? 24 : 10, i == 0, i == 2, n_nodes));
    if (i == 1) n_nodes = static_cast<mwSize>(mxGetN(owned.back().get()));
    in.push_back(owned.back().get());
  }
  if (fuzzvals::describing()) {
    std::fprintf(stderr, "ringtest: nlhs %d, nrhs %d\n", nlhs, nrhs);
    const char* names[] = {"X", "node", "cnect", "extra"};
    for (int i = 0; i < nrhs; ++i) fuzzvals::describe(names[i], in[i]);
  }
  const testhost::CallResult r = testhost::call(nlhs, in);
  fuzzvals::describe_result(r);
  FUZZ_REQUIRE(r.leftovers == 0);
  FUZZ_REQUIRE(!r.inputs_changed);
  if (!r.ok) {
    FUZZ_REQUIRE(!r.id.empty() && !r.message.empty());
    return 0;
  }
  if (nrhs < 2) {
    FUZZ_REQUIRE(!r.console.empty());
    return 0;
  }
  const mxArray* X = in[0];
  const std::size_t n = mxGetN(X);
  const double* xy = mxGetPr(X);
  const mxArray* in_flags = r.outputs[0].get();
  FUZZ_REQUIRE(in_flags != nullptr && mxIsLogical(in_flags));
  FUZZ_REQUIRE(mxGetM(in_flags) == 1 && mxGetN(in_flags) == n);
  const mxLogical* inside = mxGetLogicals(in_flags);
  const mxLogical* bnd = nullptr;
  if (nlhs >= 2) {
    FUZZ_REQUIRE(r.outputs[1] != nullptr && mxIsLogical(r.outputs[1].get()));
    FUZZ_REQUIRE(mxGetM(r.outputs[1].get()) == 1 && mxGetN(r.outputs[1].get()) == n);
    bnd = mxGetLogicals(r.outputs[1].get());
  }
  for (std::size_t i = 0; i < n; ++i) {
    FUZZ_REQUIRE(inside[i] <= 1);
    if (bnd != nullptr) {
      FUZZ_REQUIRE(bnd[i] <= 1);
      FUZZ_REQUIRE(!bnd[i] || inside[i]);
    }
    if (std::isnan(xy[2 * i]) || std::isnan(xy[2 * i + 1])) {
      FUZZ_REQUIRE(!inside[i] && (bnd == nullptr || !bnd[i]));
    }
  }
  return 0;
}
