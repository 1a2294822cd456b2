// Lennard-Jones trajectory for a molecule whose charges sit on its atoms:
// one distance pass per step feeds the 12-6 force, the field and the nearest
// distance; a second pass over the same sites forms the field gradient.
#include <cmath>

#include "trajectory/lj_integrator.h"
#include "trajectory/lj_kernels.h"

namespace ccs {
namespace {

struct SiteChargeForces {
  static constexpr double kDtMax = 2e-13;
  static constexpr bool kNanDtStays = false;
  static constexpr bool kExitUsesPreStepV = true;

  const double* sites;  // n x 3 (m)
  int n;
  const double* q;
  const double* A;
  const double* B;
  double Fc;
  // Working arrays per site: r^2, w_i = q_i/r^3, w_i/r^2, Lennard-Jones factor.
  double* r2;
  double* w;
  double* wu;
  double* f;
  LjArray near_idx;

  double field2 = 0.0;  // E^2 at the last evaluated position

  // a = (K_F/2)(G - E S) + sum_i (A_i/r^8 - B_i/r^14) (x_i - x); returns the
  // smallest squared site distance. The per-site factors are independent
  // (vector loop); every sum runs in site order.
  double accel(const double x[3], double a[3]) {
    const double x0 = x[0], x1 = x[1], x2 = x[2];
#pragma omp simd
    for (int i = 0; i < n; ++i) {
      const double dx = sites[i] - x0;
      const double dy = sites[i + n] - x1;
      const double dz = sites[i + 2 * n] - x2;
      const double d2 = (dx * dx + dy * dy) + dz * dz;
      const double u = 1.0 / d2;
      const double wi = (u * std::sqrt(u)) * q[i];
      const double u6 = (u * u) * u;
      r2[i] = d2;
      w[i] = wi;
      wu[i] = wi * u;
      f[i] = ((A[i] - B[i] * u6) * u6) * u;
    }
    double ex = 0.0, ey = 0.0, ez = 0.0, s = 0.0;
    double lx = 0.0, ly = 0.0, lz = 0.0;
    for (int i = 0; i < n; ++i) {
      const double dx = sites[i] - x0;
      const double dy = sites[i + n] - x1;
      const double dz = sites[i + 2 * n] - x2;
      ex += w[i] * dx;
      ey += w[i] * dy;
      ez += w[i] * dz;
      s += w[i];
      lx += f[i] * dx;
      ly += f[i] * dy;
      lz += f[i] * dz;
    }
    double gx = 0.0, gy = 0.0, gz = 0.0;
    for (int i = 0; i < n; ++i) {
      const double dx = sites[i] - x0;
      const double dy = sites[i + n] - x1;
      const double dz = sites[i + 2 * n] - x2;
      const double p = (dx * ex + dy * ey) + dz * ez;
      const double g = (wu[i] * p) * 3.0;
      gx += g * dx;
      gy += g * dy;
      gz += g * dz;
    }
    const double h = Fc * 0.5;
    a[0] = ((gx - ex * s) * h) + lx;
    a[1] = ((gy - ey * s) * h) + ly;
    a[2] = ((gz - ez * s) * h) + lz;
    field2 = (ey * ey + ex * ex) + ez * ez;
    return rt::min_skip_nan(r2, n);
  }

  double launch(const double x[3], double a[3]) {
    accel(x, a);
    return field2;
  }

  double step(const double x[3], double a[3]) { return accel(x, a); }

  // Every site may carry a charge, so the strong-charge list is the only
  // near-charge test, whatever the charge count.
  double near_charge(const double x[3], double dt) const {
    return lj::near_charge_list(x, dt, near_idx, sites, n, q);
  }

  // The last evaluation was at the exit position.
  double exit_field2(const double* /*x*/) const { return field2; }
};

}  // namespace

void lj_site_charge_trajectory(
    LjScratch* ws, const double box[6], LjArray q, LjArray coords_m, const double pos[3],
    const double dir[3], double nq, double deltatenhance, double Force_const, double dt0,
    double x_red, double m_gas, double v_c, double v_c_t, LjArray lj_att, LjArray lj_rep,
    LjArray ones_N, double near_flag, LjArray near_idx, double dp[3], const LjObserver* observer) {
  (void)ones_N;
  (void)nq;
  const int n = coords_m.rows;
  lj::require(n == 0 || coords_m.cols == 3, "site positions must have 3 columns");
  lj::require(lj_numel(q) >= n, "one charge value per site expected");
  lj::require(lj_numel(lj_att) >= n && lj_numel(lj_rep) >= n,
              "one Lennard-Jones coefficient per site expected");
  if (near_flag == 1.0) lj::require_near_idx(near_idx, n);

  LjScratch local;
  LjScratch& scratch = ws != nullptr ? *ws : local;
  double* work = lj::reserve(scratch, 4 * static_cast<std::size_t>(n));

  SiteChargeForces forces{coords_m.data, n,    q.data,   lj_att.data,  lj_rep.data,
                          Force_const,   work, work + n, work + 2 * n, work + 3 * n,
                          near_idx};
  const lj::Launch in{box,         pos,   dir,
                      Force_const, dt0,   x_red,
                      m_gas,       v_c_t, ((1e-10 / v_c) * 1e20) / deltatenhance,
                      near_flag};
  lj::run(forces, in, dp, observer);
}

}  // namespace ccs
