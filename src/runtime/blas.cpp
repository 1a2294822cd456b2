#include "blas.h"

namespace rt {

void gemm(int m, int n, int k, const double* A, const double* B, double* C) {
  if (m < 1 || n < 1) return;
  if (k < 1) {
    for (int i = 0; i < m * n; ++i) C[i] = 0.0;
    return;
  }
  const char t = 'N';
  const double one = 1.0;
  const double zero = 0.0;
  dgemm_(&t, &t, &m, &n, &k, &one, A, &m, B, &k, &zero, C, &m);
}

}  // namespace rt
