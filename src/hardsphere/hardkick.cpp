#include "hardsphere/hardkick.h"

#include <climits>
#include <cmath>
#include <vector>

#include "hardsphere/entry_domain.h"
#include "hardsphere/momentum_transfer.h"
#include "hardsphere/orientation_transfer.h"
#include "runtime/blas.h"
#include "runtime/numeric.h"
#include "runtime/random_streams.h"

namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kTwoPi = 6.283185307179586;
constexpr double kBoltzmann = 1.38e-23;
constexpr double kCharge = 1.602e-19;

// P <- ((P Rx(beta)) Ry(alpha)) Rz(gamma) for the n x 3 coordinate table.
void rotate_table(double* P, int n, double alpha, double beta, double gamma, double* tmp1,
                  double* tmp2) {
  const double cb = std::cos(beta);
  const double sb = std::sin(beta);
  const double ca = std::cos(alpha);
  const double sa = std::sin(alpha);
  const double cg = std::cos(gamma);
  const double sg = std::sin(gamma);
  const double Rx[9] = {1.0, 0.0, 0.0, 0.0, cb, sb, 0.0, -sb, cb};
  const double Ry[9] = {ca, 0.0, -sa, 0.0, 1.0, 0.0, sa, 0.0, ca};
  const double Rz[9] = {cg, sg, 0.0, -sg, cg, 0.0, 0.0, 0.0, 1.0};
  rt::gemm(n, 3, 3, P, Rx, tmp1);
  rt::gemm(n, 3, 3, tmp1, Ry, tmp2);
  rt::gemm(n, 3, 3, tmp2, Rz, P);
}

// Columns (x, y, z) <- (y, z, x).
void shift_columns(double* P, int n) {
  for (int i = 0; i < n; ++i) {
    const double x = P[i];
    P[i] = P[i + n];
    P[i + n] = P[i + 2 * static_cast<size_t>(n)];
    P[i + 2 * static_cast<size_t>(n)] = x;
  }
}

// y = M x for a column-major 3x3 M.
void mat_vec3(const double M[9], const double x[3], double y[3]) {
  for (int r = 0; r < 3; ++r) y[r] = (M[r] * x[0] + M[r + 3] * x[1]) + M[r + 6] * x[2];
}

// Mean over 2000 random directions u of u' T u; each direction is the
// previous one turned by three random axis rotations (serial stream).
double mean_directional_transfer(const double T[9]) {
  std::vector<double> q(2000);
  double u[3] = {1.0, 0.0, 0.0};
  for (int s = 0; s < 2000; ++s) {
    const double A1 = kTwoPi * rt::rng::rand();
    const double A2 = kTwoPi * rt::rng::rand();
    const double A3 = kTwoPi * rt::rng::rand();
    const double c1 = std::cos(A1), s1 = std::sin(A1);
    const double c2 = std::cos(A2), s2 = std::sin(A2);
    const double c3 = std::cos(A3), s3 = std::sin(A3);
    const double M1[9] = {1.0, 0.0, 0.0, 0.0, c1, -s1, 0.0, s1, c1};
    const double M2[9] = {c2, 0.0, s2, 0.0, 1.0, 0.0, -s2, 0.0, c2};
    const double M3[9] = {c3, -s3, 0.0, s3, c3, 0.0, 0.0, 0.0, 1.0};
    double v1[3];
    double v2[3];
    mat_vec3(M1, u, v1);
    mat_vec3(M2, v1, v2);
    mat_vec3(M3, v2, u);
    double w[3];
    for (int k = 0; k < 3; ++k)
      w[k] = (T[3 * k] * u[0] + T[3 * k + 1] * u[1]) + T[3 * k + 2] * u[2];
    q[static_cast<size_t>(s)] = (u[0] * w[0] + u[1] * w[1]) + u[2] * w[2];
  }
  return rt::b_mean(q.data(), 2000);
}

// Mean of the entries that are not exactly 0 (NaN included).
double mean_nonzero(const std::vector<double>& K) {
  std::vector<double> kept;
  for (double k : K) {
    if (k != 0.0) kept.push_back(k);
  }
  return rt::b_mean(kept.data(), static_cast<int>(kept.size()));
}

}  // namespace

double hardkick_gas_density(double p0, double T0, double m_gas) {
  return (p0 * m_gas) / (kBoltzmann * T0);
}

double hardkick_thermal_speed(double T0, double m_gas) {
  return std::sqrt((((T0 * 1.7664e-21) / 9.0) / kPi) / m_gas);
}

void hardkick(rt::Context* ctx, emxArray_real_T* DATA_atoms, double* /*excelsheet*/, double* r1,
              double* r2, double* r3, double Number_atoms, double r_probe, double m_gas, double m_w,
              double z, double N_total, double n_rotations, double a, double diffusive, double v_c2,
              double random_C, double p0, double T0, double seedn, double MobcalHS, double* r4,
              double* r5) {
  hardkick_orientations(ctx, DATA_atoms, r1, r2, r3, Number_atoms, r_probe, m_gas, m_w, z,
                        N_total, n_rotations, a, diffusive, v_c2, random_C, p0, T0, seedn,
                        MobcalHS, r4, r5, nullptr);
}

void hardkick_orientations(rt::Context* ctx, emxArray_real_T* DATA_atoms, double* r1, double* r2,
                           double* r3, double Number_atoms, double r_probe, double m_gas,
                           double m_w, double z, double N_total, double n_rotations, double a,
                           double diffusive, double v_c2, double random_C, double p0, double T0,
                           double seedn, double MobcalHS, double* r4, double* r5,
                           HardkickOrientations* per) {
  hardkick_check_inputs(DATA_atoms, Number_atoms, n_rotations, MobcalHS, N_total);
  rt::rng::ensure_initialised();
  rt::rng::rng(seedn);
  if (per != nullptr) *per = HardkickOrientations();
  *r1 = 0.0;
  *r4 = 0.0;

  const double rho = hardkick_gas_density(p0, T0, m_gas);
  const double vbar = hardkick_thermal_speed(T0, m_gas);

  const int n = DATA_atoms->size[0];
  const size_t N = static_cast<size_t>(n);
  const double* data = DATA_atoms->data;
  std::vector<double> r(N), r2v(N), P(3 * N), tmp1(3 * N), tmp2(3 * N);
  const std::vector<double> no_contact(N, 1000.0);
  const std::vector<double> ones(N, 1.0);
  for (size_t i = 0; i < N; ++i) {
    r[i] = data[i + 3 * N] + r_probe;
    r2v[i] = r[i] * r[i];
  }
  for (size_t i = 0; i < 3 * N; ++i) P[i] = data[i];
  const double r_max = rt::max_skip_nan(r.data(), n);

  const int n_rot =
      !(n_rotations >= 1.0)
          ? 0
          : (n_rotations >= static_cast<double>(INT_MAX) ? INT_MAX : static_cast<int>(n_rotations));
  const size_t NR = static_cast<size_t>(n_rot);
  std::vector<double> T(3 * NR, 0.0);  // orientation table, column-major
  std::vector<double> K(NR, 0.0);
  const double F = std::sqrt(m_gas / m_w + 1.0);
  const bool axis_mode = MobcalHS == 0.0;

  const HsAtoms atoms{n, ones.data(), no_contact.data(), r2v.data(), P.data(), nullptr};
  const HsEmission em{diffusive, a, vbar, v_c2, vbar, random_C};
  HsThreadScratch scratch;

  for (int o = 0; o < n_rot; ++o) {
    if (!axis_mode) {
      const double alpha = kTwoPi * rt::rng::rand();
      const double beta = kTwoPi * rt::rng::rand();
      const double gamma = kTwoPi * rt::rng::rand();
      rotate_table(P.data(), n, alpha, beta, gamma, tmp1.data(), tmp2.data());
    } else if (o == 1 || o == 2) {
      shift_columns(P.data(), n);
    }

    HsEntryDomain dom;
    hs_entry_domain(P.data(), n, Number_atoms, r.data(), r_max, &dom);
    double row[3];
    int launched = 0;
    hs_orientation_transfer(ctx, atoms, em, dom, dom.use_box, N_total, rho, m_gas, scratch, o, row,
                            &launched);
    for (int j = 0; j < 3; ++j) T[o + j * NR] = row[j];
    K[static_cast<size_t>(o)] = (((F / T[o]) * z) * kCharge) * 10000.0;
    if (per != nullptr) per->trajectories += launched;
    rt::count_orientation(ctx);

    if (!axis_mode) {
      *r4 = mean_nonzero(K);
    } else if (o == 1) {  // back to the initial axes
      T[o] = row[2];
      T[o + NR] = row[0];
      T[o + 2 * NR] = row[1];
    } else if (o == 2) {
      T[o] = row[1];
      T[o + NR] = row[2];
      T[o + 2 * NR] = row[0];
    }
  }

  if (!axis_mode) {
    *r5 = *r4;
  } else {
    creal_T lambda[3];
    rt::eig(T.data(), lambda);
    *r4 = ((z * ((F * 3.0) / ((lambda[0].re + lambda[1].re) + lambda[2].re))) * kCharge) * 10000.0;
    *r5 = ((z * (F / mean_directional_transfer(T.data()))) * kCharge) * 10000.0;
  }

  if (per != nullptr) {
    per->mobility = K;
    per->table = T;
  }
  const double C =
      std::sqrt(((m_gas * 0.3580986219567645) / kBoltzmann) / T0) * (((F * z) * kCharge) / rho);
  *r2 = ((((C / *r4) * 10000.0) * 1e20) * kPi) * 0.25;
  *r3 = ((((C / *r5) * 10000.0) * 1e20) * kPi) * 0.25;
}
