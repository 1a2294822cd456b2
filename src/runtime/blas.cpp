#include "blas.h"

#include <cmath>

namespace rt {
namespace {

// C = A * B, each element accumulated in k order with fused multiply-adds
// from zero, as the library's kernels accumulate: with the processor's
// instruction inlined (when it has one), else through the library function.
__attribute__((target("fma"))) void small_gemm_hardware_fma(int m, int n, int k, const double* A,
                                                          const double* B, double* C) {
  for (int j = 0; j < n; ++j) {
    for (int i = 0; i < m; ++i) {
      double acc = 0.0;
      for (int p = 0; p < k; ++p) acc = __builtin_fma(A[i + p * m], B[p + j * k], acc);
      C[i + j * m] = acc;
    }
  }
}

void small_gemm_software_fma(int m, int n, int k, const double* A, const double* B, double* C) {
  for (int j = 0; j < n; ++j) {
    for (int i = 0; i < m; ++i) {
      double acc = 0.0;
      for (int p = 0; p < k; ++p) acc = std::fma(A[i + p * m], B[p + j * k], acc);
      C[i + j * m] = acc;
    }
  }
}

}  // namespace

void gemm(int m, int n, int k, const double* A, const double* B, double* C) {
  if (m < 1 || n < 1) return;
  if (k < 1) {
    for (int i = 0; i < m * n; ++i) C[i] = 0.0;
    return;
  }
  // Small products (the trajectory kernels' field terms: a few charges by
  // three axes) are written out: the library's call costs more than the
  // product (packing, and a work buffer taken under a lock that threads
  // calling at once contend for).
  if (static_cast<long>(m) * n * k <= kSmallGemm) {
    static const bool hardware_fma = __builtin_cpu_supports("fma");
    if (hardware_fma) {
      small_gemm_hardware_fma(m, n, k, A, B, C);
    } else {
      small_gemm_software_fma(m, n, k, A, B, C);
    }
    return;
  }
  const char t = 'N';
  const double one = 1.0;
  const double zero = 0.0;
  dgemm_(&t, &t, &m, &n, &k, &one, A, &m, B, &k, &zero, C, &m);
}

}  // namespace rt
