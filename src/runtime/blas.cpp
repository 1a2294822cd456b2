#include "blas.h"

#include <cmath>

namespace rt {
namespace {

// C = A * B (leading dimensions lda, ldc), each element accumulated in k
// order with fused multiply-adds from zero, as the library's kernels
// accumulate: with the processor's instruction inlined (when it has one),
// else through the library function.
__attribute__((target("fma"))) void written_gemm_hardware_fma(int m, int n, int k,
                                                            const double* A, int lda,
                                                            const double* B, double* C,
                                                            int ldc) {
  for (int j = 0; j < n; ++j) {
    double* c = C + static_cast<long>(j) * ldc;
    const double* b = B + j * k;
    if (k == 3) {  // rows turned by a rotation: the same chain in vector lanes
      const double* a0 = A;
      const double* a1 = A + lda;
      const double* a2 = A + 2 * static_cast<long>(lda);
#pragma omp simd
      for (int i = 0; i < m; ++i)
        c[i] = __builtin_fma(a2[i], b[2], __builtin_fma(a1[i], b[1], __builtin_fma(a0[i], b[0], 0.0)));
      continue;
    }
    for (int i = 0; i < m; ++i) {
      double acc = 0.0;
      for (int p = 0; p < k; ++p) acc = __builtin_fma(A[i + static_cast<long>(p) * lda], b[p], acc);
      c[i] = acc;
    }
  }
}

void written_gemm_software_fma(int m, int n, int k, const double* A, int lda, const double* B,
                               double* C, int ldc) {
  for (int j = 0; j < n; ++j) {
    for (int i = 0; i < m; ++i) {
      double acc = 0.0;
      for (int p = 0; p < k; ++p)
        acc = std::fma(A[i + static_cast<long>(p) * lda], B[p + j * k], acc);
      C[i + static_cast<long>(j) * ldc] = acc;
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
    gemm_rows(m, n, k, A, m, B, C, m);
    return;
  }
  const char t = 'N';
  const double one = 1.0;
  const double zero = 0.0;
  dgemm_(&t, &t, &m, &n, &k, &one, A, &m, B, &k, &zero, C, &m);
}

void gemm_rows(int m, int n, int k, const double* A, int lda, const double* B, double* C,
               int ldc) {
  static const bool hardware_fma = __builtin_cpu_supports("fma");
  if (hardware_fma) {
    written_gemm_hardware_fma(m, n, k, A, lda, B, C, ldc);
  } else {
    written_gemm_software_fma(m, n, k, A, lda, B, C, ldc);
  }
}

}  // namespace rt
