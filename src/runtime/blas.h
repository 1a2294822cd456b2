// BLAS routines the solvers call (Fortran interface, column-major).
#pragma once

extern "C" {
void dgemm_(const char* transa, const char* transb, const int* m, const int* n, const int* k,
            const double* alpha, const double* a, const int* lda, const double* b,
            const int* ldb, const double* beta, double* c, const int* ldc);
double ddot_(const int* n, const double* x, const int* incx, const double* y, const int* incy);
void drotg_(double* a, double* b, double* c, double* s);
}

namespace rt {

// Products of at most this many multiply-adds are written out.
inline constexpr long kSmallGemm = 4096;

// C (m x n) = A (m x k) * B (k x n), all column-major with leading dimensions
// m, k, m: dgemm without transposition, factor 1, adding 0. Empty operands
// give zeros (or nothing).
void gemm(int m, int n, int k, const double* A, const double* B, double* C);

// C = A B written out as gemm writes out its small products, for A (m x k)
// and C (m x n) given as rows of larger column-major tables (leading
// dimensions lda and ldc): the library's numbers for any m, so that a large
// product can be formed block by block while each block is in cache.
void gemm_rows(int m, int n, int k, const double* A, int lda, const double* B, double* C,
               int ldc);

}  // namespace rt
