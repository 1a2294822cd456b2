// Values and arrays the fuzz targets build from the fuzzer's bytes.
#pragma once

#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

#include "host.h"

namespace fuzzvals {

// Values that break numeric code: signed zeros, denormals, extremes,
// non-finite values, and the edges of the 32-bit integer range.
inline double special(FuzzedDataProvider& fdp) {
  constexpr double inf = std::numeric_limits<double>::infinity();
  return fdp.PickValueInArray<double>(
      {0.0, -0.0, 1.0, -1.0, 2.0, 3.0, 0.5, 1.5, 1e-300, 5e-324, 1e300,
       std::numeric_limits<double>::max(), -std::numeric_limits<double>::max(),
       std::numeric_limits<double>::quiet_NaN(), inf, -inf, 2147483647.0, 2147483648.0,
       4294967296.0, -2147483649.0, 1e-10, 1e10});
}

// Any double: a special value, a small whole number, a moderate value, or
// raw bits.
inline double any(FuzzedDataProvider& fdp) {
  switch (fdp.ConsumeIntegralInRange<int>(0, 3)) {
    case 0:
      return special(fdp);
    case 1:
      return fdp.ConsumeIntegralInRange<int>(-3, 12);
    case 2:
      return fdp.ConsumeFloatingPointInRange<double>(-20.0, 20.0);
    default: {
      double d;
      const std::uint64_t bits = fdp.ConsumeIntegral<std::uint64_t>();
      std::memcpy(&d, &bits, sizeof d);
      return d;
    }
  }
}

// A count that sets the amount of work: anything that is not a large
// positive count (non-finite, negative, fractional, beyond the 32-bit
// range) or a whole number up to `cap`. Values between cap and 2^31 are
// legitimate but slow and are left out.
inline double count(FuzzedDataProvider& fdp, double cap) {
  if (fdp.ConsumeBool()) return fdp.ConsumeIntegralInRange<int>(0, static_cast<int>(cap));
  const double v = any(fdp);
  if (std::isfinite(v) && v > cap && v < 2147483648.0) return cap;
  return v;
}

// A wrong-class array (never double).
inline testhost::Array wrong_class(FuzzedDataProvider& fdp, mwSize rows, mwSize cols) {
  switch (fdp.ConsumeIntegralInRange<int>(0, 7)) {
    case 0: return testhost::numeric(mxSINGLE_CLASS, {rows, cols});
    case 1: return testhost::numeric(mxINT32_CLASS, {rows, cols});
    case 2: return testhost::numeric(mxUINT8_CLASS, {rows, cols});
    case 3: return testhost::numeric(mxINT64_CLASS, {rows, cols});
    case 4: return testhost::numeric(mxLOGICAL_CLASS, {rows, cols});
    case 5: return testhost::string(rows * cols > 0 ? "abc" : "");
    case 6: return testhost::cell(rows, cols);
    default: return testhost::record(rows, cols);
  }
}

// Sizes far beyond any bound; the arrays are never allocated unless read.
inline mwSize huge_extent(FuzzedDataProvider& fdp) {
  return fdp.PickValueInArray<mwSize>({150001, 10000001, 2147483647, 2147483648LL,
                                       4294967297LL, 1LL << 40});
}

// Fills the real part of a full double array.
inline void fill(FuzzedDataProvider& fdp, testhost::Array& a) {
  double* p = mxGetPr(a.get());
  const std::size_t n = mxGetNumberOfElements(a.get());
  for (std::size_t k = 0; k < n; ++k) p[k] = any(fdp);
}

// With CCS_FUZZ_DESCRIBE set, the targets print each call they make (to turn
// a failing input into a readable regression test).
inline bool describing() {
  static const bool on = std::getenv("CCS_FUZZ_DESCRIBE") != nullptr;
  return on;
}

inline void describe(const char* label, const mxArray* a) {
  if (!describing()) return;
  std::fprintf(stderr, "  %s: %s%s%s ", label, mxGetClassName(a), mxIsComplex(a) ? " complex" : "",
               mxIsSparse(a) ? " sparse" : "");
  const mwSize nd = mxGetNumberOfDimensions(a);
  for (mwSize k = 0; k < nd; ++k) {
    std::fprintf(stderr, "%s%lld", k > 0 ? "x" : "", static_cast<long long>(mxGetDimensions(a)[k]));
  }
  if (mxIsDouble(a) && !mxIsSparse(a) && mxGetNumberOfElements(a) <= 64) {
    std::fprintf(stderr, " [");
    const double* p = mxGetPr(a);
    for (std::size_t k = 0; k < mxGetNumberOfElements(a); ++k) {
      std::fprintf(stderr, "%s%.17g", k > 0 ? " " : "", p[k]);
    }
    std::fprintf(stderr, "]");
  }
  std::fprintf(stderr, "\n");
}

inline void describe_result(const testhost::CallResult& r) {
  if (!describing()) return;
  if (r.ok) {
    std::fprintf(stderr, "  -> ok\n");
    for (const testhost::Array& o : r.outputs) describe("out", o.get());
  } else {
    std::fprintf(stderr, "  -> %s: %s\n", r.id.c_str(), r.message.c_str());
  }
}

// Stops the run (the fuzzer records the input) when a property fails.
#define FUZZ_REQUIRE(cond)                                                   \
  do {                                                                       \
    if (!(cond)) {                                                           \
      std::fprintf(stderr, "fuzz property failed: %s (%s:%d)\n", #cond,      \
                   __FILE__, __LINE__);                                      \
      std::abort();                                                          \
    }                                                                        \
  } while (0)

}  // namespace fuzzvals
