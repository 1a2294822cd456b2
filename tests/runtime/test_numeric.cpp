#include "runtime/numeric.h"

#include "runtime/blas.h"
#include "runtime/geometry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kPi = 3.141592653589793;

TEST(NumericNorm, ScaledLengthWithoutOverflowOrUnderflow) {
  const double a[3] = {3.0, 4.0, 0.0};
  EXPECT_EQ(rt::norm3(a), 5.0);
  const double b[3] = {-3.0, 0.0, -4.0};
  EXPECT_EQ(rt::norm3(b), 5.0);
  const double tiny[3] = {1e-200, 0.0, 0.0};
  EXPECT_EQ(rt::norm3(tiny), 1e-200);
  const double tiny2[3] = {0.0, 3e-200, 4e-200};
  EXPECT_DOUBLE_EQ(rt::norm3(tiny2), 5e-200);
  const double huge[3] = {1e200, 1e200, 0.0};
  EXPECT_DOUBLE_EQ(rt::norm3(huge), std::sqrt(2.0) * 1e200);
  const double zero[3] = {0.0, 0.0, 0.0};
  EXPECT_EQ(rt::norm3(zero), 0.0);
  EXPECT_TRUE(std::isnan(rt::norm3(std::vector<double>{1.0, kNaN, 2.0}.data())));
  // norm_of_last_two ignores the first element.
  const double c[3] = {100.0, 3.0, 4.0};
  EXPECT_EQ(rt::norm_of_last_two(c), 5.0);
  const double d[3] = {7.0, 0.0, 0.0};
  EXPECT_EQ(rt::norm_of_last_two(d), 0.0);
}

TEST(NumericNthroot, CubeRootWithNewtonCorrection) {
  EXPECT_EQ(rt::nthroot(-8.0), -2.0);
  EXPECT_EQ(rt::nthroot(0.0), 0.0);
  EXPECT_EQ(rt::nthroot(kInf), kInf);
  EXPECT_EQ(rt::nthroot(-kInf), -kInf);
  EXPECT_TRUE(std::isnan(rt::nthroot(kNaN)));
  // The power function alone misses these by an ulp; the correction fixes it.
  EXPECT_EQ(rt::nthroot(64.0), 4.0);
  EXPECT_EQ(rt::nthroot(1000.0), 10.0);
  EXPECT_EQ(rt::nthroot(-125.0), -5.0);
  EXPECT_DOUBLE_EQ(rt::nthroot(1e-300), 1e-100);
}

TEST(NumericMrdivide, HouseholderLeastSquaresScalar) {
  const double a[3] = {1.0, 2.0, 3.0};
  const double b[3] = {2.0, 4.0, 6.0};
  EXPECT_EQ(rt::projection_ratio(a, b), 0.4999999999999999);
  const double zero[3] = {0.0, 0.0, 0.0};
  EXPECT_EQ(rt::projection_ratio(a, zero), 0.0);
  // b along the first axis only: no reflection.
  const double e1[3] = {2.0, 0.0, 0.0};
  const double a2[3] = {3.0, 5.0, 7.0};
  EXPECT_EQ(rt::projection_ratio(a2, e1), 1.5);
  // General case agrees with (a.b)/(b.b).
  const double b3[3] = {-1.5, 0.25, 2.0};
  const double a3[3] = {0.7, -3.0, 1.1};
  const double expect = (0.7 * -1.5 + -3.0 * 0.25 + 1.1 * 2.0) / (1.5 * 1.5 + 0.25 * 0.25 + 4.0);
  EXPECT_NEAR(rt::projection_ratio(a3, b3), expect, 1e-15);
  // Tiny divisors are rescaled rather than lost.
  const double bt[3] = {2e-300, 4e-300, 6e-300};
  const double at[3] = {1e-300, 2e-300, 3e-300};
  EXPECT_NEAR(rt::projection_ratio(at, bt), 0.5, 1e-15);
  const double bd[3] = {0.0, 3e-310, 0.0};
  const double ad[3] = {0.0, 6e-310, 0.0};
  EXPECT_NEAR(rt::projection_ratio(ad, bd), 2.0, 1e-15);
  // A non-finite divisor gives 0.
  const double binf[3] = {kInf, 0.0, 0.0};
  EXPECT_EQ(rt::projection_ratio(a, binf), 0.0);
}

TEST(NumericSubspace, AngleBetweenRowSpans) {
  const double x[3] = {1.0, 0.0, 0.0};
  const double y[3] = {0.0, 1.0, 0.0};
  const double zero[3] = {0.0, 0.0, 0.0};
  const double nan3[3] = {kNaN, 0.0, 0.0};
  const double inf3[3] = {0.0, -kInf, 0.0};
  EXPECT_EQ(rt::subspace(x, y), 0.0);
  EXPECT_EQ(rt::subspace(zero, y), kPi / 2);
  EXPECT_EQ(rt::subspace(nan3, y), kPi / 2);
  EXPECT_EQ(rt::subspace(x, zero), 0.0);
  EXPECT_EQ(rt::subspace(x, inf3), 0.0);
  EXPECT_EQ(rt::subspace(zero, zero), 0.0);
  const double p[3] = {-1.0, 2.0, 3.0};
  const double q[3] = {4.0, -5.0, 0.5};
  EXPECT_EQ(rt::subspace(p, q), 0.0);
  const double t[3] = {1e-310, 0.0, 0.0};
  EXPECT_EQ(rt::subspace(t, q), 0.0);
  EXPECT_EQ(rt::subspace(q, t), 0.0);
}

TEST(NumericSubspace, OrthBasisAndRank) {
  double U = 0.0;
  const double neg[3] = {-2.0, 1.0, 1.0};
  EXPECT_EQ(rt::modified_orth(neg, &U), 1);
  EXPECT_EQ(U, -1.0);
  const double pos[3] = {0.0, -1.0, 5.0};
  EXPECT_EQ(rt::modified_orth(pos, &U), 1);
  EXPECT_EQ(U, 1.0);
  const double zero[3] = {0.0, 0.0, 0.0};
  EXPECT_EQ(rt::modified_orth(zero, &U), 0);
  const double bad[3] = {1.0, kNaN, 0.0};
  EXPECT_EQ(rt::modified_orth(bad, &U), 0);
  EXPECT_TRUE(std::isnan(U));
}

TEST(NumericSubspace, XrotgClearsOutputs) {
  double a = 3.0, b = 4.0, c = 123.0, s = 456.0;
  rt::givens_rotation(&a, &b, &c, &s);
  EXPECT_DOUBLE_EQ(a, 5.0);
  EXPECT_DOUBLE_EQ(c, 0.6);
  EXPECT_DOUBLE_EQ(s, 0.8);
}

std::vector<double> sorted_re(const creal_T e[3]) {
  std::vector<double> v = {e[0].re, e[1].re, e[2].re};
  std::sort(v.begin(), v.end());
  return v;
}

TEST(NumericEig, SymmetricAndNonFinite) {
  creal_T e[3];
  const double I[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
  rt::eig(I, e);
  for (const creal_T& z : e) {
    EXPECT_EQ(z.re, 1.0);
    EXPECT_EQ(z.im, 0.0);
  }
  // Tridiagonal [2 -1 0; -1 2 -1; 0 -1 2]: 2 - sqrt 2, 2, 2 + sqrt 2.
  const double S[9] = {2, -1, 0, -1, 2, -1, 0, -1, 2};
  rt::eig(S, e);
  std::vector<double> v = sorted_re(e);
  EXPECT_NEAR(v[0], 2.0 - std::sqrt(2.0), 1e-14);
  EXPECT_NEAR(v[1], 2.0, 1e-14);
  EXPECT_NEAR(v[2], 2.0 + std::sqrt(2.0), 1e-14);
  for (const creal_T& z : e) EXPECT_EQ(z.im, 0.0);
  // Full symmetric [2 1 1; 1 2 1; 1 1 2]: 1, 1, 4.
  const double M[9] = {2, 1, 1, 1, 2, 1, 1, 1, 2};
  rt::eig(M, e);
  v = sorted_re(e);
  EXPECT_NEAR(v[0], 1.0, 1e-14);
  EXPECT_NEAR(v[1], 1.0, 1e-14);
  EXPECT_NEAR(v[2], 4.0, 1e-14);
  for (const creal_T& z : e) EXPECT_EQ(z.im, 0.0);

  const double N[9] = {1, 0, 0, 0, kNaN, 0, 0, 0, 1};
  rt::eig(N, e);
  for (const creal_T& z : e) {
    EXPECT_TRUE(std::isnan(z.re));
    EXPECT_EQ(z.im, 0.0);
  }
  const double F[9] = {1, 2, 0, 0, 1, 0, kInf, 0, 1};
  rt::eig(F, e);
  for (const creal_T& z : e) EXPECT_TRUE(std::isnan(z.re));
}

TEST(NumericEig, NonSymmetricGivesConjugatePair) {
  creal_T e[3];
  // Rotation block [0 -1; 1 0] and a 2 on the diagonal.
  const double R[9] = {0, 1, 0, -1, 0, 0, 0, 0, 2};
  rt::eig(R, e);
  int n_real = 0, n_pos = 0, n_neg = 0;
  for (const creal_T& z : e) {
    if (z.im == 0.0) {
      ++n_real;
      EXPECT_NEAR(z.re, 2.0, 1e-14);
    } else {
      EXPECT_NEAR(z.re, 0.0, 1e-14);
      EXPECT_NEAR(std::fabs(z.im), 1.0, 1e-14);
      (z.im > 0 ? n_pos : n_neg)++;
    }
  }
  EXPECT_EQ(n_real, 1);
  EXPECT_EQ(n_pos, 1);
  EXPECT_EQ(n_neg, 1);
  // Non-symmetric with real eigenvalues 1, 2, 3 (upper triangular).
  const double U[9] = {1, 0, 0, 5, 2, 0, -7, 4, 3};
  rt::eig(U, e);
  std::vector<double> v = sorted_re(e);
  EXPECT_NEAR(v[0], 1.0, 1e-13);
  EXPECT_NEAR(v[1], 2.0, 1e-13);
  EXPECT_NEAR(v[2], 3.0, 1e-13);
  for (const creal_T& z : e) EXPECT_NEAR(z.im, 0.0, 1e-13);
}

// Rebuilds [cs -sn; sn cs] [a b; c d] [cs sn; -sn cs] from the standardised block.
void unrotate(double a, double b, double c, double d, double cs, double sn, double out[4]) {
  const double ta = cs * a - sn * c, tb = cs * b - sn * d;
  const double tc = sn * a + cs * c, td = sn * b + cs * d;
  out[0] = ta * cs - tb * sn;
  out[1] = ta * sn + tb * cs;
  out[2] = tc * cs - td * sn;
  out[3] = tc * sn + td * cs;
}

TEST(NumericDlanv2, StandardisesTwoByTwoBlocks) {
  struct Case {
    double a, b, c, d;
    bool complex_pair;
  };
  const Case cases[] = {{4, 1, 2, 3, false},  {0, -1, 1, 0, true}, {1, 0, 5, 2, false},
                        {2, 3, -3, 2, true},  {1, 2, 2, 1, false}, {1, 1e-20, 1e-20, 1, false},
                        {3, 0.5, -4, 1, true}};
  for (const Case& k : cases) {
    double a = k.a, b = k.b, c = k.c, d = k.d, r1r, r1i, r2r, r2i, cs, sn;
    rt::schur_2x2(&a, &b, &c, &d, &r1r, &r1i, &r2r, &r2i, &cs, &sn);
    EXPECT_NEAR(cs * cs + sn * sn, 1.0, 1e-15);
    double back[4];
    unrotate(a, b, c, d, cs, sn, back);
    EXPECT_NEAR(back[0], k.a, 1e-14);
    EXPECT_NEAR(back[1], k.b, 1e-14);
    EXPECT_NEAR(back[2], k.c, 1e-14);
    EXPECT_NEAR(back[3], k.d, 1e-14);
    const double tr = k.a + k.d, det = k.a * k.d - k.b * k.c;
    EXPECT_NEAR(r1r + r2r, tr, 1e-14);
    if (k.complex_pair) {
      EXPECT_EQ(a, d);
      EXPECT_NE(c, 0.0);
      EXPECT_GT(r1i, 0.0);
      EXPECT_EQ(r2i, -r1i);
      EXPECT_NEAR(r1r * r1r + r1i * r1i, det, 1e-13);
    } else {
      EXPECT_EQ(c, 0.0);
      EXPECT_EQ(r1i, 0.0);
      EXPECT_EQ(r2i, 0.0);
      EXPECT_NEAR(r1r * r2r, det, 1e-13);
    }
  }
}

TEST(NumericReductions, MaxMinSkipNaN) {
  const double x[5] = {kNaN, 3.0, kNaN, 7.0, -1.0};
  EXPECT_EQ(rt::max_skip_nan(x, 5), 7.0);
  EXPECT_EQ(rt::min_skip_nan(x, 5), -1.0);
  const double allnan[3] = {kNaN, kNaN, kNaN};
  EXPECT_TRUE(std::isnan(rt::max_skip_nan(allnan, 3)));
  EXPECT_TRUE(std::isnan(rt::min_skip_nan(allnan, 3)));
  EXPECT_EQ(rt::argmin_skip_nan(allnan, 3), 0);
  EXPECT_EQ(rt::argmin_skip_nan(allnan, 0), 0);
  const double ties[6] = {kNaN, 2.0, 1.0, kNaN, 1.0, 5.0};
  EXPECT_EQ(rt::argmin_skip_nan(ties, 6), 2);
  EXPECT_EQ(rt::argmin_skip_nan(x, 5), 4);
  const double lead[3] = {kNaN, 4.0, kNaN};
  EXPECT_EQ(rt::argmin_skip_nan(lead, 3), 1);
  // Column 2 of a 4x3 column-major table.
  const double T[12] = {9, 9, 9, 9, kNaN, -2, 8, kNaN, 0, 0, 0, 0};
  EXPECT_EQ(rt::max_skip_nan(T + 4, 4, 1), 8.0);
  const double R[12] = {kNaN, 1, 1, 6, 1, 1, -3, 1, 1, 2, 1, 1};  // first row of a 3x4 table
  EXPECT_EQ(rt::max_skip_nan(R, 4, 3), 6.0);
  EXPECT_EQ(rt::min_skip_nan(R, 4, 3), -3.0);
}

// The contiguous maximum and minimum (vector lanes) return the bits the
// one-by-one scan returns: NaN skipped, the first of +0 and -0 kept, any length.
TEST(NumericReductions, ContiguousExtremesAreTheScansAnswer) {
  auto scan = [](const double* x, int n, bool larger) {
    if (n < 1) return kNaN;
    int k = 0;
    while (k < n && std::isnan(x[k])) ++k;
    if (k == n) return x[0];
    double m = x[k];
    for (++k; k < n; ++k) m = (larger ? x[k] > m : x[k] < m) ? x[k] : m;
    return m;
  };
  const double pool[] = {kNaN, 0.0, -0.0, 1.5, -2.0, 3.0, -2.0, INFINITY, -INFINITY, 1e-300};
  std::uint32_t state = 7u;
  for (int trial = 0; trial < 4000; ++trial) {
    const int n = trial % 23;
    std::vector<double> x(static_cast<std::size_t>(n) + 1);
    for (double& v : x) {
      state = state * 1664525u + 1013904223u;
      v = pool[(state >> 16) % (trial % 3 == 0 ? 3 : 10)];  // some arrays only NaN and zeros
    }
    const double lo = rt::min_skip_nan(x.data(), n), want_lo = scan(x.data(), n, false);
    const double hi = rt::max_skip_nan(x.data(), n), want_hi = scan(x.data(), n, true);
    EXPECT_EQ(std::memcmp(&lo, &want_lo, sizeof lo), 0) << trial;
    EXPECT_EQ(std::memcmp(&hi, &want_hi, sizeof hi), 0) << trial;
  }
}

TEST(NumericReductions, SumsAndMeans) {
  EXPECT_EQ(rt::sum_in_order(nullptr, 0), 0.0);
  EXPECT_TRUE(std::isnan(rt::mean_in_order(nullptr, 0)));
  // Summed first to last: 1e16 + 1 + 1 rounds each step.
  const double x[3] = {1e16, 1.0, 1.0};
  EXPECT_EQ(rt::sum_in_order(x, 3), 1e16);
  const double y[4] = {1.0, 2.0, 3.0, 6.0};
  EXPECT_EQ(rt::mean_in_order(y, 4), 3.0);
  const double T[6] = {1, 2, 10, 20, -1, kNaN};  // 2x3 column-major
  double s[3];
  rt::sum(T, 2, s);
  EXPECT_EQ(s[0], 3.0);
  EXPECT_EQ(s[1], 30.0);
  EXPECT_TRUE(std::isnan(s[2]));
  rt::sum(nullptr, 0, s);
  EXPECT_EQ(s[0], 0.0);
  EXPECT_EQ(s[1], 0.0);
  EXPECT_EQ(s[2], 0.0);
}

TEST(NumericScalar, RoundHalfAwayAndSign) {
  EXPECT_EQ(rt::round_half_away(2.5), 3.0);
  EXPECT_EQ(rt::round_half_away(-2.5), -3.0);
  EXPECT_EQ(rt::round_half_away(0.49999999999999994), 0.0);
  EXPECT_EQ(rt::round_half_away(-1.4), -1.0);
  EXPECT_EQ(rt::sign(-0.1), -1.0);
  EXPECT_EQ(rt::sign(0.0), 0.0);
  EXPECT_TRUE(std::isnan(rt::sign(kNaN)));
}

}  // namespace

// Counts given as doubles: defined for every double (a plain conversion of
// NaN, Inf or 2^31 is undefined), and a box face never exceeds ceil(N_total).
TEST(Counts, LoopCountFaceCountAndTheCheck) {
  EXPECT_EQ(rt::loop_count(NAN), 0);
  EXPECT_EQ(rt::loop_count(-INFINITY), 0);
  EXPECT_EQ(rt::loop_count(0.999), 0);
  EXPECT_EQ(rt::loop_count(3.7), 3);
  EXPECT_EQ(rt::loop_count(INFINITY), 2147483647);
  EXPECT_EQ(rt::loop_count(1e300), 2147483647);
  EXPECT_EQ(rt::face_count(5.0, 4.5), 5);  // ceil(4.5): a valid box's rounding
  EXPECT_EQ(rt::face_count(6.0, 4.5), 5);
  EXPECT_EQ(rt::face_count(1e300, 4.0), 4);
  EXPECT_EQ(rt::face_count(3.0, -1e308), 0);
  EXPECT_EQ(rt::face_count(NAN, 4.0), 0);
  EXPECT_TRUE(rt::count_fits(536870911.0) && rt::count_fits(NAN) && rt::count_fits(-INFINITY));
  EXPECT_FALSE(rt::count_fits(536870912.0) || rt::count_fits(INFINITY));
}

// The written-out small products against the library's dgemm on the shapes
// the field kernels use (1 x nq by nq x 3, nq x 3 by 3 x 1) and a square
// one. Any summation order of k products is within k units of rounding of
// the sum of their magnitudes, so two correct products differ by at most
// twice that.
TEST(NumericGemm, SmallProductsAgreeWithTheLibrary) {
  std::uint64_t state = 12345;
  auto next = [&state] {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<double>(state >> 11) * 0x1.0p-53 * 2.0 - 1.0;
  };
  const int shapes[][3] = {{1, 3, 2}, {1, 3, 21}, {21, 1, 3}, {1, 3, 200}, {8, 8, 8}};
  for (const auto& s : shapes) {
    const int m = s[0], n = s[1], k = s[2];
    ASSERT_LE(static_cast<long>(m) * n * k, rt::kSmallGemm);
    std::vector<double> A(static_cast<std::size_t>(m * k)), B(static_cast<std::size_t>(k * n));
    for (double& a : A) a = next() * 1e10;
    for (double& b : B) b = next();
    std::vector<double> C(static_cast<std::size_t>(m * n)), D(C.size());
    rt::gemm(m, n, k, A.data(), B.data(), C.data());
    const char t = 'N';
    const double one = 1.0, zero = 0.0;
    dgemm_(&t, &t, &m, &n, &k, &one, A.data(), &m, B.data(), &k, &zero, D.data(), &m);
    for (int j = 0; j < n; ++j) {
      for (int i = 0; i < m; ++i) {
        double magnitude = 0.0;
        for (int p = 0; p < k; ++p) magnitude += std::fabs(A[i + p * m] * B[p + j * k]);
        const double bound = 2.0 * k * std::numeric_limits<double>::epsilon() * magnitude;
        EXPECT_NEAR(C[i + j * m], D[i + j * m], bound) << m << "x" << k << " by " << k << "x" << n;
      }
    }
  }
}

// Rows of a large table turned block by block (leading dimensions larger
// than the block) give the numbers of the whole table at once, and agree
// with the library within the rounding bound of three products.
TEST(NumericGemm, RowBlocksOfALargeTable) {
  std::uint64_t state = 777;
  auto next = [&state] {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<double>(state >> 11) * 0x1.0p-53 * 2.0 - 1.0;
  };
  const int m = 5003;
  std::vector<double> A(3 * static_cast<std::size_t>(m)), B(9);
  for (double& a : A) a = next() * 300.0;
  for (double& b : B) b = next();
  std::vector<double> whole(A.size()), blocks(A.size()), library(A.size());
  rt::gemm_rows(m, 3, 3, A.data(), m, B.data(), whole.data(), m);
  for (int first = 0; first < m; first += 1000) {
    const int rows = std::min(1000, m - first);
    rt::gemm_rows(rows, 3, 3, A.data() + first, m, B.data(), blocks.data() + first, m);
  }
  const char t = 'N';
  const int three = 3;
  const double one = 1.0, zero = 0.0;
  dgemm_(&t, &t, &m, &three, &three, &one, A.data(), &m, B.data(), &three, &zero, library.data(), &m);
  for (std::size_t i = 0; i < A.size(); ++i) {
    ASSERT_EQ(blocks[i], whole[i]) << i;
    const std::size_t row = i % m, col = i / m;
    double magnitude = 0.0;
    for (std::size_t p = 0; p < 3; ++p) magnitude += std::fabs(A[row + p * m] * B[p + 3 * col]);
    ASSERT_NEAR(whole[i], library[i], 6.0 * std::numeric_limits<double>::epsilon() * magnitude);
  }
}

// Column summaries of several turned copies from one pass, against the
// plain reductions of each stored copy: up to five rotations (a pass takes
// four), on columns whose extremes fall in different blocks, with NaN rows
// (they make every turned coordinate of the row NaN) in the first blocks and
// in later ones, and an all-NaN table (its first row's NaN).
TEST(NumericGeometry, TurnedColumnsSummarizedInOnePass) {
  const int n = 5000;
  const double nan = std::numeric_limits<double>::quiet_NaN();
  std::vector<double> P(3 * static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) {
    P[i] = i < 2500 ? nan : std::sin(0.37 * i) * 50.0;
    P[i + n] = 1.0 + std::cos(0.11 * i);
    P[i + 2 * n] = (i / 1024) % 2 == 1 ? nan : 0.25 * i;
  }
  const double turns[5][9] = {{1, 0, 0, 0, 1, 0, 0, 0, 1},
                              {0.36, 0.48, -0.8, -0.8, 0.6, 0.0, 0.48, 0.64, 0.6},
                              {0, 1, 0, 0, 0, 1, 1, 0, 0},
                              {0.6, 0.0, 0.8, 0.0, 1.0, 0.0, -0.8, 0.0, 0.6},
                              {0.48, 0.36, 0.8, 0.6, -0.8, 0.0, 0.64, 0.48, -0.6}};
  const double* R[5] = {turns[0], turns[1], turns[2], turns[3], turns[4]};
  for (int count = 1; count <= 5; ++count) {
    std::vector<ccs::geometry::ColumnSummary> s(static_cast<std::size_t>(count));
    ccs::geometry::summarize_turned_columns(P.data(), n, R, count, s.data());
    for (int t = 0; t < count; ++t) {
      std::vector<double> turned(P.size());
      ccs::geometry::rotate_rows_into(P.data(), n, R[t], turned.data());
      const ccs::geometry::ColumnSummary plain = ccs::geometry::summarize_columns(turned.data(), n);
      for (int j = 0; j < 3; ++j) {
        EXPECT_EQ(0, std::memcmp(&s[t].min[j], &plain.min[j], sizeof(double))) << count << " " << t << " " << j;
        EXPECT_EQ(0, std::memcmp(&s[t].max[j], &plain.max[j], sizeof(double))) << count << " " << t << " " << j;
        EXPECT_EQ(0, std::memcmp(&s[t].sum[j], &plain.sum[j], sizeof(double))) << count << " " << t << " " << j;
      }
      EXPECT_FALSE(std::isnan(s[t].min[1]) || std::isnan(s[t].max[2]));
    }
  }
  std::vector<double> Q(3, nan);
  ccs::geometry::ColumnSummary q;
  ccs::geometry::summarize_turned_columns(Q.data(), 1, R, 1, &q);
  EXPECT_TRUE(std::isnan(q.min[0]) && std::isnan(q.max[0]) && std::isnan(q.sum[0]));
}
