#include "lj_test_setup.h"

#include "support/molecules.h"

#include <cmath>
#include <cstdint>

namespace ljtest {

std::vector<Atom> c60() {
  std::vector<Atom> out;
  for (const auto& p : ccs::test::c60_cage(1.42)) out.push_back({p[0], p[1], p[2], kCarbon, 0.0});
  return out;
}

std::vector<Atom> globule(int n) {
  const double spacing = 1.9;
  const double radius = std::cbrt(3.0 * n / (4.0 * M_PI)) * spacing;
  std::uint32_t state = 12345u;
  auto jitter = [&state]() {
    state = state * 1664525u + 1013904223u;
    return (static_cast<double>(state >> 8) / 16777216.0 - 0.5) * 0.3;
  };
  std::vector<Atom> out;
  const int m = static_cast<int>(radius / spacing) + 1;
  for (int i = -m; i <= m; ++i)
    for (int j = -m; j <= m; ++j)
      for (int k = -m; k <= m; ++k) {
        const double x = i * spacing, y = j * spacing, z = k * spacing;
        if (x * x + y * y + z * z > radius * radius) continue;
        const bool carbon = ((i + j + k) & 1) == 0;
        out.push_back(
            {x + jitter(), y + jitter(), z + jitter(), carbon ? kCarbon : kHydrogen, 0.0});
      }
  return out;
}

void Scene::prepare() {
  const int N = n();
  coords.assign(3 * static_cast<std::size_t>(N), 0.0);
  std::vector<double> eps(N), s6(N), s12(N);
  q.assign(N, 0.0);
  near_idx.clear();
  for (int i = 0; i < N; ++i) {
    coords[i] = atoms[i].x * 1e-10;
    coords[i + N] = atoms[i].y * 1e-10;
    coords[i + 2 * N] = atoms[i].z * 1e-10;
    eps[i] = atoms[i].type.eps;
    s6[i] = std::pow(atoms[i].type.sigma, 6);
    s12[i] = std::pow(atoms[i].type.sigma, 12);
    q[i] = atoms[i].q;
    if (std::fabs(q[i]) > 1.5) near_idx.push_back(i + 1.0);
  }
  A.assign(N, 0.0);
  B.assign(N, 0.0);
  C.assign(N, 0.0);
  ccs::lj_coefficients(eps.data(), s6.data(), s12.data(), N, m_gas, A.data(), B.data(), C.data());
  ones.assign(N, 1.0);
  Force_const = force_constant(alpha, m_gas);
  v_c_t = std::sqrt(2.0 * kBoltzmann * temperature / m_gas);
  v_c = v_c_t;
  dt0 = 1e-10 / v_c / 400.0;
  K_pol = ccs::lj_polarisation_constant(m_gas);
  q_kpol.assign(N, 0.0);
  std::vector<double> q_row(N);
  ccs::lj_charge_coefficients(q.data(), N, K_pol, q_kpol.data(), q_row.data());
}

void Scene::set_box(double h) {
  for (int k = 0; k < 3; ++k) {
    box[2 * k] = -h * 1e-10;
    box[2 * k + 1] = h * 1e-10;
  }
}

namespace {
ccs::LjArray col(const std::vector<double>& v) {
  return {v.data(), static_cast<std::int32_t>(v.size()), 1};
}
ccs::LjArray table(const std::vector<double>& v, int rows) { return {v.data(), rows, 3}; }
}  // namespace

void run_field(const Scene& s, const Charges& c, const double pos[3], const double dir[3],
               double x_red, double dp[3], const ccs::LjObserver* obs, ccs::LjScratch* ws) {
  const int nc = static_cast<int>(c.sites.size());
  std::vector<double> qpos(3 * static_cast<std::size_t>(nc)), qv(nc), ones_q(nc, 1.0);
  for (int k = 0; k < nc; ++k) {
    for (int j = 0; j < 3; ++j) qpos[k + j * nc] = c.sites[k][j] * 1e-10;
    qv[k] = c.sites[k][3];
  }
  const std::vector<double> q2{nc > 0 ? qv[0] * qv[0] : 0.0};
  const double nq = c.nq < 0.0 ? static_cast<double>(nc) : c.nq;
  ccs::lj_field_trajectory(ws, col(s.ones), s.box, col(qv), col(q2), table(qpos, nc), nq,
                                 s.deltatenhance, s.Force_const, s.dt0, x_red, s.m_gas, s.v_c,
                                 s.v_c_t, pos, dir, col(s.A), table(s.coords, s.n()), col(s.B),
                                 col(ones_q), s.near_flag, col(c.near_idx), dp, obs);
}

void run_field_together(const Scene& s, const Charges& c, int count, const double (*pos)[3],
                        const double (*dir)[3], const double* x_red, double (*dp)[3]) {
  const int nc = static_cast<int>(c.sites.size());
  std::vector<double> qpos(3 * static_cast<std::size_t>(nc)), qv(nc);
  for (int k = 0; k < nc; ++k) {
    for (int j = 0; j < 3; ++j) qpos[k + j * nc] = c.sites[k][j] * 1e-10;
    qv[k] = c.sites[k][3];
  }
  const std::vector<double> q2{nc > 0 ? qv[0] * qv[0] : 0.0};
  const double nq = c.nq < 0.0 ? static_cast<double>(nc) : c.nq;
  ccs::lj_field_trajectories(nullptr, s.box, col(qv), col(q2), table(qpos, nc), nq, s.deltatenhance,
                             s.Force_const, s.dt0, s.m_gas, s.v_c, s.v_c_t, col(s.A),
                             table(s.coords, s.n()), col(s.B), s.near_flag, col(c.near_idx),
                             count, pos, dir, x_red, dp);
}

void run_sites(const Scene& s, const double pos[3], const double dir[3], double x_red, double dp[3],
               const ccs::LjObserver* obs, ccs::LjScratch* ws) {
  ccs::lj_site_charge_trajectory(ws, s.box, col(s.q), table(s.coords, s.n()), pos, dir,
                                   static_cast<double>(s.n()), s.deltatenhance, s.Force_const,
                                   s.dt0, x_red, s.m_gas, s.v_c, s.v_c_t, col(s.A), col(s.B),
                                   col(s.ones), s.near_flag, col(s.near_idx), dp, obs);
}

void run_three_site(const Scene& s, const double pos[3], const double dir[3], double x_red,
                    double dp[3], const ccs::LjObserver* obs, ccs::LjScratch* ws) {
  const ccs::LjArray q_energy{s.q_kpol.data(), 1, s.n()};
  ccs::three_site_gas_trajectory(ws, s.box, col(s.q), pos, dir, s.deltatenhance, s.Force_const,
                                 s.dt0, x_red, s.m_gas, s.v_c, s.v_c_t, s.near_flag, col(s.A),
                                 table(s.coords, s.n()), col(s.B), col(s.near_idx), col(s.C),
                                 s.K_pol, col(s.q_kpol), q_energy, ccs::kThreeSitePluginKT, dp,
                                 obs);
}

void three_site_energies(const Scene& s, const double x[3], double U[3]) {
  const ccs::LjArray q_energy{s.q_kpol.data(), 1, s.n()};
  ccs::three_site_orientation_energies(col(s.q), s.Force_const, s.m_gas, col(s.A),
                                       table(s.coords, s.n()), col(s.B), col(s.C), s.K_pol,
                                       col(s.q_kpol), q_energy, x, U);
}

ccs::LjObserver Track::observer() {
  return {
      [](void* user, int step, double h, const double pos[3], const double vel[3],
         const double acc[3]) {
        auto* t = static_cast<Track*>(user);
        t->n.push_back(step);
        t->dt.push_back(h);
        t->x.push_back({pos[0], pos[1], pos[2]});
        t->v.push_back({vel[0], vel[1], vel[2]});
        t->a.push_back({acc[0], acc[1], acc[2]});
      },
      this};
}

}  // namespace ljtest
