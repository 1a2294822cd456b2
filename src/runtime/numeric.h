// Small numeric kernels shared by the solvers, with fixed rounding order and
// NaN behaviour.
#pragma once

#include <cmath>

#include "rt_types.h"

namespace rt {

// Host scalar math: sign gives -1, 0 or +1 (NaN for NaN); round_half_away
// rounds halves away from zero.
inline double sign(double x) { return x > 0.0 ? 1.0 : (x < 0.0 ? -1.0 : (x == 0.0 ? 0.0 : x)); }
double round_half_away(double x);

// Counts given as doubles (orientations, trajectories): loop_count is the
// whole part of v, 0 when v is NaN or below 1, saturating at 2^31 - 1 (a
// plain conversion of NaN, Inf or a value of 2^31 or more is undefined).
// Input checks refuse counts of kMaxCount (2^29) or more (count_fits false):
// an entry box splits N_total over three faces, each face count at most
// ceil(N_total) (face_count), and their sum must still be an int.
constexpr double kMaxCount = 536870912.0;
inline bool count_fits(double v) { return !(v >= kMaxCount); }
inline int loop_count(double v) {
  if (!(v >= 1.0)) return 0;
  return v < 2147483648.0 ? static_cast<int>(v) : 2147483647;
}
// Trajectories launched from one face of an entry box: the face's share
// `face` (a whole number by construction), never more than ceil(n_total),
// which a box of finite, non-negative extents cannot exceed anyway.
inline int face_count(double face, double n_total) {
  const int c = loop_count(face);
  const int cap = loop_count(std::ceil(n_total));
  return c < cap ? c : cap;
}

// Atom tables (rows x columns, column-major): the first row whose value in
// column `col` (0-based) is negative, or -1. The entry domains of the
// hard-sphere methods and their flux normalisers assume radii of at least 0.
inline int first_negative_row(const double* table, int rows, int col) {
  for (int i = 0; i < rows; ++i) {
    if (table[i + static_cast<long long>(col) * rows] < 0.0) return i;
  }
  return -1;
}

// Euclidean length of a 3-vector by the scaled algorithm (no overflow or
// underflow for finite input).
double norm3(const double x[3]);
// The same over elements 2 and 3 of x.
double norm_of_last_two(const double x[3]);

// Real cube root with one Newton correction.
double nthroot(double x);

// Least-squares scalar s with s*b ~ a for row 3-vectors, by a Householder QR
// of b' (a zero b gives 0).
double projection_ratio(const double a[3], const double b[3]);

// Angle between the spans of two row 3-vectors.
double subspace(const double u[3], const double v[3]);

// Eigenvalues of a real 3x3 matrix (column-major), unsorted.
void eig(const double A[9], creal_T out[3]);

// Eigenvalues (ascending) and orthonormal eigenvectors (the columns of
// `vectors`, column-major) of the symmetric part (A + A')/2 of a real 3x3
// matrix (column-major), by LAPACK dsyev. False (outputs NaN) when A is not
// finite or LAPACK fails.
bool symmetric_eigen3(const double A[9], double values[3], double vectors[9]);

// Supporting operations of subspace and eig.
// True if some element of a 3x3 matrix is infinite or NaN.
bool any_non_finite(const double A[9]);
// Givens rotation (BLAS drotg) with c and s cleared before the call.
void givens_rotation(double* a, double* b, double* c, double* s);
// Orthonormal basis of the column space of a row 3-vector w: writes the
// basis value (+1 or -1; NaN for non-finite w) to *U and returns the rank
// (0 or 1).
int modified_orth(const double w[3], double* U);

// Standardisation of a real 2x2 block [a b; c d] (LAPACK dlanv2).
void schur_2x2(double* a, double* b, double* c, double* d, double* rt1r, double* rt1i,
             double* rt2r, double* rt2i, double* cs, double* sn);

// Maximum / minimum skipping NaN: the scan starts at the first non-NaN
// element and takes only strictly larger (smaller) ones; all-NaN gives the
// first element, n = 0 gives NaN. `stride` walks a column of a column-major table.
double max_skip_nan(const double* x, int n, int stride = 1);
double min_skip_nan(const double* x, int n, int stride = 1);
// 0-based index of the first minimum (NaN skipped); 0 when all are NaN or n = 0.
int argmin_skip_nan(const double* x, int n);

// Sum from first to last (0 for n = 0); mean = sum / n (NaN for n = 0).
double sum_in_order(const double* x, int n);
double mean_in_order(const double* x, int n);
// Column sums of an n x 3 column-major table, each added from the first row to
// the last (all 0 for n = 0).
void sum(const double* x, int n, double out[3]);

}  // namespace rt
