#include "runtime/geometry.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

#include "runtime/blas.h"
#include "runtime/constants.h"
#include "runtime/numeric.h"
#include "runtime/random_streams.h"

namespace ccs::geometry {
namespace {

// Column-major rotations about x, y and z.
void rotation_x(double t, double M[9]) {
  const double c = std::cos(t), s = std::sin(t);
  const double m[9] = {1.0, 0.0, 0.0, 0.0, c, s, 0.0, -s, c};
  for (int k = 0; k < 9; ++k) M[k] = m[k];
}
void rotation_y(double t, double M[9]) {
  const double c = std::cos(t), s = std::sin(t);
  const double m[9] = {c, 0.0, -s, 0.0, 1.0, 0.0, s, 0.0, c};
  for (int k = 0; k < 9; ++k) M[k] = m[k];
}
void rotation_z(double t, double M[9]) {
  const double c = std::cos(t), s = std::sin(t);
  const double m[9] = {c, s, 0.0, -s, c, 0.0, 0.0, 0.0, 1.0};
  for (int k = 0; k < 9; ++k) M[k] = m[k];
}

// out = u' M for a row vector u and a column-major 3x3 M, summed in order.
void row_times(const double u[3], const double M[9], double out[3]) {
  for (int j = 0; j < 3; ++j) out[j] = (M[3 * j] * u[0] + M[3 * j + 1] * u[1]) + M[3 * j + 2] * u[2];
}

}  // namespace

EulerAngles draw_euler_angles() {
  EulerAngles a;
  a.alpha = kTwoPi * rt::rng::rand();
  a.beta = kTwoPi * rt::rng::rand();
  a.gamma = kTwoPi * rt::rng::rand();
  return a;
}

void rotate_rows(double* P, int rows, const EulerAngles& angles, double* tmp1, double* tmp2) {
  if (rows < 1) return;
  double Rx[9], Ry[9], Rz[9];
  rotation_x(angles.beta, Rx);
  rotation_y(angles.alpha, Ry);
  rotation_z(angles.gamma, Rz);
  rt::gemm(rows, 3, 3, P, Rx, tmp1);
  rt::gemm(rows, 3, 3, tmp1, Ry, tmp2);
  rt::gemm(rows, 3, 3, tmp2, Rz, P);
}

void draw_uniform_rotation(double R[9]) {
  const double u1 = rt::rng::rand();
  const double u2 = rt::rng::rand();
  const double u3 = rt::rng::rand();
  const double a = std::sqrt(1.0 - u1), b = std::sqrt(u1);
  const double w = a * std::sin(kTwoPi * u2), x = a * std::cos(kTwoPi * u2);
  const double y = b * std::sin(kTwoPi * u3), z = b * std::cos(kTwoPi * u3);
  // Row-vector convention (P R): R is the transpose of the usual matrix of q.
  const double m[9] = {1 - 2 * (y * y + z * z), 2 * (x * y - w * z),     2 * (x * z + w * y),
                       2 * (x * y + w * z),     1 - 2 * (x * x + z * z), 2 * (y * z - w * x),
                       2 * (x * z - w * y),     2 * (y * z + w * x),     1 - 2 * (x * x + y * y)};
  for (int k = 0; k < 9; ++k) R[k] = m[k];
}

void rotate_rows_into(const double* P, int rows, const double R[9], double* out) {
  if (rows < 1) return;
  rt::gemm(rows, 3, 3, P, R, out);
}

ColumnSummary summarize_columns(const double* P, int rows) {
  ColumnSummary s;
  for (int j = 0; j < 3; ++j) {
    const double* c = P + static_cast<size_t>(j) * rows;
    s.min[j] = rt::min_skip_nan(c, rows);
    s.max[j] = rt::max_skip_nan(c, rows);
    s.sum[j] = rt::sum_in_order(c, rows);
  }
  return s;
}

namespace {

// summarize_turned_columns for K rotations at once.
template <int K>
void summarize_turned(const double* P, int rows, const double* const R[], ColumnSummary out[]) {
  // Rows per block: the block of P and its K turned copies stay in the
  // first-level cache while P is read from memory once for all K.
  constexpr int kBlock = 256;
  double turned[K * 3 * kBlock];
  double sum[K * 3] = {};
  for (int first = 0; first < rows; first += kBlock) {
    const int m = std::min(kBlock, rows - first);
    for (int t = 0; t < K; ++t) rt::gemm_rows(m, 3, 3, P + first, rows, R[t], turned + t * 3 * kBlock, kBlock);
    int k = 0;
    if (first == 0) {
      for (int c = 0; c < 3 * K; ++c) sum[c] = turned[c * kBlock];
      k = 1;
    }
    // The 3 K sums in parallel chains, each in row order.
    for (; k < m; ++k) {
#pragma GCC unroll 12
      for (int c = 0; c < 3 * K; ++c) sum[c] += turned[c * kBlock + k];
    }
    // A block's extreme folds into the running one as the scan over all
    // rows would: the first block sets it; a block of NaNs changes nothing
    // unless all before were NaN too (then the first row's NaN stays); else
    // it is taken when strictly better.
    for (int c = 0; c < 3 * K; ++c) {
      const double* col = turned + c * kBlock;
      ColumnSummary& s = out[c / 3];
      const int j = c % 3;
      const double lo = rt::min_skip_nan(col, m);
      const double hi = rt::max_skip_nan(col, m);
      if (first == 0) {
        s.min[j] = lo;
        s.max[j] = hi;
      } else if (std::isnan(s.min[j])) {
        if (!std::isnan(lo)) s.min[j] = lo;
        if (!std::isnan(hi)) s.max[j] = hi;
      } else {
        if (lo < s.min[j]) s.min[j] = lo;
        if (hi > s.max[j]) s.max[j] = hi;
      }
    }
  }
  for (int c = 0; c < 3 * K; ++c) out[c / 3].sum[c % 3] = sum[c];
}

}  // namespace

void summarize_turned_columns(const double* P, int rows, const double* const R[], int count,
                              ColumnSummary out[]) {
  if (rows < 1) {
    for (int t = 0; t < count; ++t) out[t] = summarize_columns(P, rows);
    return;
  }
  for (int t = 0; t < count; t += kTurnsPerPass) {
    switch (std::min(kTurnsPerPass, count - t)) {
      case 1: summarize_turned<1>(P, rows, R + t, out + t); break;
      case 2: summarize_turned<2>(P, rows, R + t, out + t); break;
      case 3: summarize_turned<3>(P, rows, R + t, out + t); break;
      default: summarize_turned<4>(P, rows, R + t, out + t); break;
    }
  }
}

void cycle_axes(double* P, int rows) {
  const long long n = rows;
  for (long long a = 0; a < n; ++a) {
    const double x = P[a];
    P[a] = P[a + n];
    P[a + n] = P[a + 2 * n];
    P[a + 2 * n] = x;
  }
}

void row_to_input_axes(int orientation, double row[3]) {
  const double a0 = row[0], a1 = row[1], a2 = row[2];
  if (orientation == 2) {
    row[0] = a2;
    row[1] = a0;
    row[2] = a1;
  } else if (orientation == 3) {
    row[0] = a1;
    row[1] = a2;
    row[2] = a0;
  }
}

double direction_average(const double T[9], Products products) {
  constexpr int kDirections = 2000;
  std::vector<double> q(kDirections);
  double u[3] = {1.0, 0.0, 0.0};
  for (int s = 0; s < kDirections; ++s) {
    const double t1 = kTwoPi * rt::rng::rand();
    const double t2 = kTwoPi * rt::rng::rand();
    const double t3 = kTwoPi * rt::rng::rand();
    double Rx[9], Ry[9], Rz[9], a[3], b[3], uT[3];
    rotation_x(t1, Rx);
    rotation_y(t2, Ry);
    rotation_z(t3, Rz);
    if (products == Products::Blas) {
      rt::gemm(1, 3, 3, u, Rx, a);
      rt::gemm(1, 3, 3, a, Ry, b);
      rt::gemm(1, 3, 3, b, Rz, u);
      rt::gemm(1, 3, 3, u, T, uT);
      rt::gemm(1, 1, 3, uT, u, &q[static_cast<std::size_t>(s)]);
    } else {
      row_times(u, Rx, a);
      row_times(a, Ry, b);
      row_times(b, Rz, u);
      row_times(u, T, uT);
      q[static_cast<std::size_t>(s)] = (u[0] * uT[0] + u[1] * uT[1]) + u[2] * uT[2];
    }
  }
  return rt::mean_in_order(q.data(), kDirections);
}

}  // namespace ccs::geometry
