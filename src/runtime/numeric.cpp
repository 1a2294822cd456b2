#include "numeric.h"

#include <cmath>
#include <complex>
#include <limits>

#include "blas.h"

#define lapack_complex_float std::complex<float>
#define lapack_complex_double std::complex<double>
#include <lapacke.h>

namespace rt {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Scaled sum of squares over elements [first, last) of x.
double scaled_norm(const double* x, int first, int last) {
  double scale = 3.312168642111238e-170;  // 2^-563
  double y = 0.0;
  for (int k = first; k < last; ++k) {
    const double ax = std::fabs(x[k]);
    if (k == first) {
      if (ax > scale) {
        y = 1.0;
        scale = ax;
      } else {
        const double t = ax * 3.019169939857233e169;  // ax / 2^-563
        y = t * t;
      }
    } else if (scale < ax) {
      const double t = scale / ax;
      y = t * (y * t) + 1.0;
      scale = ax;
    } else {
      const double t = ax / scale;
      y = t * t + y;
    }
  }
  return std::sqrt(y) * scale;
}

// LAPACK dlapy2: sqrt(x^2 + y^2) without needless overflow.
double dlapy2(double x, double y) {
  if (std::isnan(x)) return x;
  if (std::isnan(y)) return y;
  const double xa = std::fabs(x);
  const double ya = std::fabs(y);
  const double w = std::fmax(xa, ya);
  const double z = std::fmin(xa, ya);
  if (z == 0.0 || w > std::numeric_limits<double>::max()) return w;
  const double q = z / w;
  return w * std::sqrt(1.0 + q * q);
}

// Fortran SIGN(a, b): |a| with the sign of b.
inline double fsign(double a, double b) { return b >= 0.0 ? std::fabs(a) : -std::fabs(a); }

// Applies the plane rotation [cs sn; -sn cs] to rows m, m+1 and its transpose
// to columns m, m+1 of the 3x3 matrix T, outside the 2x2 diagonal block at
// (m, m), which schur_2x2 has already replaced.
void rotate_outside_block(double T[9], int m, double cs, double sn) {
  for (int j = 0; j < 3; ++j) {
    if (j == m || j == m + 1) continue;
    double& x = T[m + 3 * j];
    double& y = T[m + 1 + 3 * j];
    const double tx = cs * x + sn * y;
    y = cs * y - sn * x;
    x = tx;
  }
  for (int i = 0; i < 3; ++i) {
    if (i == m || i == m + 1) continue;
    double& x = T[i + 3 * m];
    double& y = T[i + 3 * (m + 1)];
    const double tx = cs * x + sn * y;
    y = cs * y - sn * x;
    x = tx;
  }
}

void fill_nan(creal_T out[3]) {
  for (int k = 0; k < 3; ++k) {
    out[k].re = kNaN;
    out[k].im = 0.0;
  }
}

// Eigenvalues of a symmetric 3x3 matrix from its real Schur form.
void eig_symmetric(const double A[9], creal_T out[3]) {
  double T[9];
  for (int k = 0; k < 9; ++k) T[k] = A[k];
  double tau[2];
  lapack_int info = LAPACKE_dgehrd(LAPACK_COL_MAJOR, 3, 1, 3, T, 3, tau);
  if (info != 0) {
    for (double& t : T) t = kNaN;
  } else {
    double wr[3];
    double wi[3];
    double z[9];
    info = LAPACKE_dhseqr(LAPACK_COL_MAJOR, 'S', 'N', 3, 1, 3, T, 3, wr, wi, z, 3);
    if (info != 0) {
      for (double& t : T) t = kNaN;
    }
  }
  // Standardise the 2x2 blocks left on the diagonal, lower block first.
  for (int m = 1; m >= 0; --m) {
    if (T[m + 1 + 3 * m] != 0.0) {
      double rt1r, rt1i, rt2r, rt2i, cs, sn;
      schur_2x2(&T[m + 3 * m], &T[m + 3 * (m + 1)], &T[m + 1 + 3 * m], &T[m + 1 + 3 * (m + 1)],
              &rt1r, &rt1i, &rt2r, &rt2i, &cs, &sn);
      rotate_outside_block(T, m, cs, sn);
    }
  }
  for (int k = 0; k < 3; ++k) {
    out[k].re = T[k + 3 * k];
    out[k].im = 0.0;
  }
}

// Eigenvalues of a general 3x3 matrix by the complex QR algorithm.
void eig_general(const double A[9], creal_T out[3]) {
  std::complex<double> a[9];
  for (int k = 0; k < 9; ++k) a[k] = std::complex<double>(A[k], 0.0);
  std::complex<double> w[3];
  std::complex<double> vl[1];
  std::complex<double> vr[1];
  const lapack_int info = LAPACKE_zgeev(LAPACK_COL_MAJOR, 'N', 'N', 3, a, 3, w, vl, 1, vr, 1);
  if (info < 0) {
    fill_nan(out);
    return;
  }
  for (int k = 0; k < 3; ++k) {
    out[k].re = w[k].real();
    out[k].im = w[k].imag();
  }
  // On a convergence failure the first `info` eigenvalues were not computed.
  for (int k = 0; k < info && k < 3; ++k) {
    out[k].re = kNaN;
    out[k].im = 0.0;
  }
}

}  // namespace

double round_half_away(double x) { return std::round(x); }

bool symmetric_eigen3(const double A[9], double values[3], double vectors[9]) {
  for (int k = 0; k < 3; ++k) values[k] = kNaN;
  for (int k = 0; k < 9; ++k) vectors[k] = kNaN;
  if (any_non_finite(A)) return false;
  double S[9];
  for (int c = 0; c < 3; ++c) {
    for (int r = 0; r < 3; ++r) S[r + 3 * c] = 0.5 * (A[r + 3 * c] + A[c + 3 * r]);
  }
  double w[3];
  if (LAPACKE_dsyev(LAPACK_COL_MAJOR, 'V', 'U', 3, S, 3, w) != 0) return false;
  for (int k = 0; k < 3; ++k) values[k] = w[k];
  for (int k = 0; k < 9; ++k) vectors[k] = S[k];
  return true;
}

double norm3(const double x[3]) { return scaled_norm(x, 0, 3); }

double norm_of_last_two(const double x[3]) { return scaled_norm(x, 1, 3); }

double nthroot(double x) {
  double y = std::pow(std::fabs(x), 0.3333333333333333);
  if (x < 0.0) y = -y;
  if (std::isinf(y) || std::isnan(y) || x == 0.0) return y;
  const double p = std::pow(y, 3.0);
  const double r = p - x;
  if (r != 0.0) return y - r / (3.0 * (p / y));
  return y;
}

double projection_ratio(const double a[3], const double b[3]) {
  double a1 = a[0];
  double bb[3] = {b[0], b[1], b[2]};
  double tau = 0.0;
  double R;
  double h2 = 0.0;
  double h3 = 0.0;
  const double s = norm_of_last_two(bb);
  if (s != 0.0) {
    double beta = std::hypot(bb[0], s);
    if (bb[0] >= 0.0) beta = -beta;
    int knt = 0;
    if (std::fabs(beta) < 1.0020841800044864e-292) {
      // Rescale tiny columns by 2^970 so that the reflector is accurate.
      do {
        ++knt;
        for (double& v : bb) v *= 9.9792015476736e291;
        beta *= 9.9792015476736e291;
      } while (std::fabs(beta) < 1.0020841800044864e-292 && knt < 20);
      beta = std::hypot(bb[0], norm_of_last_two(bb));
      if (bb[0] >= 0.0) beta = -beta;
    }
    h2 = bb[1] / (bb[0] - beta);
    h3 = bb[2] / (bb[0] - beta);
    tau = (beta - bb[0]) / beta;
    for (int k = 0; k < knt; ++k) beta *= 1.0020841800044864e-292;
    R = beta;
  } else {
    R = bb[0];
  }
  if (tau != 0.0) {
    double w = h2 * a[1] + a1 + h3 * a[2];
    w *= tau;
    if (w != 0.0) a1 -= w;
  }
  if (std::fabs(R) > 6.661338147750939e-15 * std::fabs(R)) return a1 / R;
  return 0.0;
}

bool any_non_finite(const double A[9]) {
  for (int k = 0; k < 9; ++k) {
    if (!std::isfinite(A[k])) return true;
  }
  return false;
}

void givens_rotation(double* a, double* b, double* c, double* s) {
  *c = 0.0;
  *s = 0.0;
  drotg_(a, b, c, s);
}

int modified_orth(const double w[3], double* U) {
  if (!std::isfinite(w[0]) || !std::isfinite(w[1]) || !std::isfinite(w[2])) {
    *U = kNaN;
    return 0;
  }
  // Singular value decomposition of the 1x3 row: a Householder reflection
  // from the right reduces it to the bidiagonal row [|w1|, e] with
  // e = |(w2, w3)| and a zero second diagonal; one Givens rotation chases e
  // into the first diagonal, which becomes the singular value. The left
  // singular vector is the sign of w1 (1 when w1 is 0).
  double d = std::fabs(w[0]);
  double e = norm_of_last_two(w);
  if (e != 0.0) {
    double c;
    double s;
    givens_rotation(&d, &e, &c, &s);
  }
  const double sigma = std::fabs(d);
  *U = w[0] < 0.0 ? -1.0 : 1.0;
  return sigma > 3.0 * sigma * 2.220446049250313e-16 ? 1 : 0;
}

double subspace(const double u[3], const double v[3]) {
  double Uu;
  double Uv;
  const int ru = modified_orth(u, &Uu);
  const int rv = modified_orth(v, &Uv);
  double c;
  if (rv == 0) {
    c = 0.0;
  } else if (ru == 0) {
    c = Uv;
  } else {
    c = Uv - (Uu * Uv) * Uu;
  }
  return std::asin(std::fmin(1.0, std::fabs(c)));
}

void schur_2x2(double* a, double* b, double* c, double* d, double* rt1r, double* rt1i,
             double* rt2r, double* rt2i, double* cs, double* sn) {
  constexpr double eps = 2.220446049250313e-16;  // relative machine precision
  constexpr double multpl = 4.0;
  // 2^-485 and 2^485: scaling bounds sqrt(safmin / eps) and its inverse.
  const double safmn2 = std::ldexp(1.0, -485);
  const double safmx2 = std::ldexp(1.0, 485);
  if (*c == 0.0) {
    *cs = 1.0;
    *sn = 0.0;
  } else if (*b == 0.0) {
    // Swap rows and columns.
    *cs = 0.0;
    *sn = 1.0;
    const double temp = *d;
    *d = *a;
    *a = temp;
    *b = -*c;
    *c = 0.0;
  } else if (*a - *d == 0.0 && fsign(1.0, *b) != fsign(1.0, *c)) {
    *cs = 1.0;
    *sn = 0.0;
  } else {
    double temp = *a - *d;
    double p = 0.5 * temp;
    const double bcmax = std::fmax(std::fabs(*b), std::fabs(*c));
    const double bcmis = std::fmin(std::fabs(*b), std::fabs(*c)) * fsign(1.0, *b) * fsign(1.0, *c);
    double scale = std::fmax(std::fabs(p), bcmax);
    double z = (p / scale) * p + (bcmax / scale) * bcmis;
    if (z >= multpl * eps) {
      // Real eigenvalues: compute a and d.
      z = p + fsign(std::sqrt(scale) * std::sqrt(z), p);
      *a = *d + z;
      *d = *d - (bcmax / z) * bcmis;
      const double tau = dlapy2(*c, z);
      *cs = z / tau;
      *sn = *c / tau;
      *b = *b - *c;
      *c = 0.0;
    } else {
      // Complex or (almost) equal real eigenvalues: make the diagonal
      // elements equal.
      int count = 0;
      double sigma = *b + *c;
      for (;;) {
        ++count;
        scale = std::fmax(std::fabs(temp), std::fabs(sigma));
        if (scale >= safmx2) {
          sigma *= safmn2;
          temp *= safmn2;
          if (count <= 20) continue;
        }
        if (scale <= safmn2) {
          sigma *= safmx2;
          temp *= safmx2;
          if (count <= 20) continue;
        }
        break;
      }
      p = 0.5 * temp;
      double tau = dlapy2(sigma, temp);
      *cs = std::sqrt(0.5 * (1.0 + std::fabs(sigma) / tau));
      *sn = -(p / (tau * *cs)) * fsign(1.0, sigma);
      // [aa bb; cc dd] = [a b; c d] [cs -sn; sn cs]
      const double aa = *a * *cs + *b * *sn;
      const double bb = -*a * *sn + *b * *cs;
      const double cc = *c * *cs + *d * *sn;
      const double dd = -*c * *sn + *d * *cs;
      // [a b; c d] = [cs sn; -sn cs] [aa bb; cc dd]
      *a = aa * *cs + cc * *sn;
      *b = bb * *cs + dd * *sn;
      *c = -aa * *sn + cc * *cs;
      *d = -bb * *sn + dd * *cs;
      temp = 0.5 * (*a + *d);
      *a = temp;
      *d = temp;
      if (*c != 0.0) {
        if (*b != 0.0) {
          if (fsign(1.0, *b) == fsign(1.0, *c)) {
            // Real eigenvalues: reduce to upper triangular form.
            const double sab = std::sqrt(std::fabs(*b));
            const double sac = std::sqrt(std::fabs(*c));
            p = fsign(sab * sac, *c);
            tau = 1.0 / std::sqrt(std::fabs(*b + *c));
            *a = temp + p;
            *d = temp - p;
            *b = *b - *c;
            *c = 0.0;
            const double cs1 = sab * tau;
            const double sn1 = sac * tau;
            temp = *cs * cs1 - *sn * sn1;
            *sn = *cs * sn1 + *sn * cs1;
            *cs = temp;
          }
        } else {
          *b = -*c;
          *c = 0.0;
          temp = *cs;
          *cs = -*sn;
          *sn = temp;
        }
      }
    }
  }
  *rt1r = *a;
  *rt2r = *d;
  if (*c == 0.0) {
    *rt1i = 0.0;
    *rt2i = 0.0;
  } else {
    *rt1i = std::sqrt(std::fabs(*b)) * std::sqrt(std::fabs(*c));
    *rt2i = -*rt1i;
  }
}

void eig(const double A[9], creal_T out[3]) {
  if (any_non_finite(A)) {
    fill_nan(out);
    return;
  }
  bool symmetric = true;
  for (int j = 0; j < 3 && symmetric; ++j) {
    for (int i = 0; i < j; ++i) {
      if (!(A[i + 3 * j] == A[j + 3 * i])) {
        symmetric = false;
        break;
      }
    }
  }
  if (symmetric) {
    eig_symmetric(A, out);
  } else {
    eig_general(A, out);
  }
}

namespace {

// The scan of max_skip_nan / min_skip_nan: from the first non-NaN element,
// take v when `better(v, m)` (strictly larger / smaller).
template <class Better>
double extreme_skip_nan(const double* x, int n, int stride, Better better) {
  if (n < 1) return kNaN;
  int k = 0;
  while (k < n && std::isnan(x[k * stride])) ++k;
  if (k == n) return x[0];
  double m = x[k * stride];
  if (stride != 1) {
    for (++k; k < n; ++k) {
      const double v = x[k * stride];
      if (better(v, m)) m = v;
    }
    return m;
  }
  // Contiguous: four independent running extremes (a vector max or min),
  // then theirs. "Take v when better" never lets NaN in, and values that
  // compare equal are the same bits except +0 and -0, so the extreme value
  // is the scan's answer unless it is zero: then the scan keeps the first zero.
  double lane[4] = {m, m, m, m};
  for (++k; k + 4 <= n; k += 4) {
    for (int j = 0; j < 4; ++j) lane[j] = better(x[k + j], lane[j]) ? x[k + j] : lane[j];
  }
  for (; k < n; ++k) lane[0] = better(x[k], lane[0]) ? x[k] : lane[0];
  for (int j = 1; j < 4; ++j) m = better(lane[j], m) ? lane[j] : m;
  m = better(lane[0], m) ? lane[0] : m;
  if (m == 0.0) {
    for (k = 0; !(x[k] == 0.0); ++k) {
    }
    m = x[k];
  }
  return m;
}

}  // namespace

double max_skip_nan(const double* x, int n, int stride) {
  return extreme_skip_nan(x, n, stride, [](double v, double m) { return v > m; });
}

double min_skip_nan(const double* x, int n, int stride) {
  return extreme_skip_nan(x, n, stride, [](double v, double m) { return v < m; });
}

int argmin_skip_nan(const double* x, int n) {
  int k = 0;
  while (k < n && std::isnan(x[k])) ++k;
  if (k >= n) return 0;
  int best = k;
  for (++k; k < n; ++k) {
    if (x[k] < x[best]) best = k;
  }
  return best;
}

double sum_in_order(const double* x, int n) {
  double y = 0.0;
  if (n > 0) {
    y = x[0];
    for (int k = 1; k < n; ++k) y += x[k];
  }
  return y;
}

double mean_in_order(const double* x, int n) { return sum_in_order(x, n) / static_cast<double>(n); }

void sum(const double* x, int n, double out[3]) {
  for (int j = 0; j < 3; ++j) out[j] = sum_in_order(x + static_cast<long>(j) * n, n);
}

}  // namespace rt
