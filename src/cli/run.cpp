#include "cli/run.h"

#include <omp.h>

#include <chrono>
#include <cmath>
#include <stdexcept>

#include "projection/shadecount.h"
#include "runtime/context.h"
#include "runtime/emx_array.h"
#include "runtime/random_streams.h"
#ifdef CCS_CLI_HAVE_HARDKICK
#include "hardsphere/hardkick.h"
#endif
#ifdef CCS_CLI_HAVE_TRAJECTORY
#include "trajectory/trajectory_driver.h"
#endif

namespace ccs::cli {
namespace {

std::string gas_label(const RunSettings& st) { return st.conditions.gas.name; }

std::string missing_param_message(const std::string& element, const RunSettings& st, bool lj) {
  return "element " + element + " has no " +
         (lj ? std::string("Lennard-Jones parameters") : std::string("hard-sphere radius")) +
         " for " + gas_label(st) + " (method " + method_name(st.method) +
         "); supply them with --params FILE, a table with the line '@type " +
         (lj ? "lj" : "hs") + "' and lines '" + element +
         (lj ? " <epsilon in meV> <sigma in Å>'" : " <radius in Å>'") + " (see data/params/)";
}

// Collision radius per atom from the hard-sphere table.
std::vector<double> radii(const Structure& s, const RunSettings& st) {
  if (st.hard_sphere == nullptr) throw std::logic_error("no hard-sphere table");
  std::vector<double> r;
  r.reserve(s.atoms.size());
  for (const Atom& a : s.atoms) {
    auto it = st.hard_sphere->radius.find(a.symbol);
    if (it == st.hard_sphere->radius.end()) {
      input_error(s.file, missing_param_message(a.symbol, st, false));
    }
    r.push_back(it->second);
  }
  return r;
}

// N x cols atom table: x, y, z, radius[, charge].
rt::RealArray atom_table(const Structure& s, const std::vector<double>& radius, bool charges) {
  const int n = static_cast<int>(s.atoms.size());
  rt::RealArray t = rt::make_real(n, charges ? 5 : 4);
  for (int i = 0; i < n; ++i) {
    const Atom& a = s.atoms[static_cast<std::size_t>(i)];
    t->data[i] = a.x;
    t->data[i + n] = a.y;
    t->data[i + 2 * n] = a.z;
    t->data[i + 3 * n] = radius[static_cast<std::size_t>(i)];
    if (charges) t->data[i + 4 * n] = a.charge;
  }
  return t;
}

void run_pa(const Structure& s, const RunSettings& st, rt::Context* ctx, RunResult& r) {
  const std::vector<double> R = radii(s, st);
  rt::RealArray t = atom_table(s, R, false);
  shadecount_check_inputs(t.get(), static_cast<double>(s.atoms.size()));
  std::vector<double> areas;
  double mean_area = NAN;
  shadecount_areas(ctx, t.get(), static_cast<double>(s.atoms.size()), 0.0,
                   st.numerics.orientations, st.seed, &areas, &mean_area);
  double se = NAN;
  mean_and_se(areas, &r.ccs, &se, &r.orientations_used);
  r.ccs = mean_area;  // the driver's mean over the orientations with an area
  r.ccs_se = se;
  r.per_orientation = std::move(areas);
  r.trajectories = static_cast<double>(kShadeSamples) * st.numerics.orientations;
}

#ifdef CCS_CLI_HAVE_HARDKICK
void run_ehss(const Structure& s, const RunSettings& st, rt::Context* ctx, RunResult& r) {
  const std::vector<double> R = radii(s, st);
  rt::RealArray t = atom_table(s, R, false);
  const GasInputs g = gas_inputs(st.conditions);
  const double n_rot = st.tensor ? 3.0 : st.numerics.orientations;
  hardkick_check_inputs(t.get(), static_cast<double>(s.atoms.size()), n_rot, st.tensor ? 0.0 : 1.0);
  HardkickOrientations per;
  double r1 = NAN, r2 = NAN, r3 = NAN, r4 = NAN, r5 = NAN;
  hardkick_orientations(ctx, t.get(), &r1, &r2, &r3, static_cast<double>(s.atoms.size()), 0.0,
                        g.m_gas, s.mass() * kAtomicMass, r.z, st.numerics.trajectories, n_rot,
                        st.accommodation, st.cosine ? 1.0 : 0.0, st.maxwell ? g.v_c2 : 0.0,
                        st.maxwell ? 1.0 : 0.0, st.conditions.pressure,
                        st.conditions.temperature, st.seed, st.tensor ? 0.0 : 1.0, &r4, &r5,
                        &per);
  r.trajectories = per.trajectories;
  if (st.tensor) {
    r.ccs = r2;
    r.ccs_se = NAN;
    r.orientations_used = 3;
    return;
  }
  // Per-orientation cross sections from the per-orientation mobilities, by
  // the relation the driver uses for the mean.
  std::vector<double> ccs_i(per.mobility.size());
  for (std::size_t i = 0; i < ccs_i.size(); ++i) ccs_i[i] = r2 * r4 / per.mobility[i];
  mean_and_se(ccs_i, &r.ccs, &r.ccs_se, &r.orientations_used);
  r.per_orientation = std::move(ccs_i);
}
#endif

#ifdef CCS_CLI_HAVE_TRAJECTORY
// g/mol; 2 M / (m + M) rounds to 2 for any gas.
constexpr double kImmovable = 1e30;

void run_trajectory(const Structure& s, const RunSettings& st, rt::Context* ctx, RunResult& r) {
  using namespace ccs::trajectory;
  const GasInputs g = gas_inputs(st.conditions);
  const int n = static_cast<int>(s.atoms.size());
  const bool well = st.method == Method::LJ;
  const Variant v = st.method == Method::TM        ? Variant::Moving
                    : st.method == Method::TMFixed ? Variant::Fixed
                                                   : Variant::Well;
  std::vector<double> R;
  std::vector<double> eps, sig6, sig12;
  std::vector<LjCentre> centres;
  if (well) {
    if (st.lennard_jones == nullptr) throw std::logic_error("no Lennard-Jones table");
    for (const Atom& a : s.atoms) {
      auto it = st.lennard_jones->lj.find(a.symbol);
      if (it == st.lennard_jones->lj.end()) {
        input_error(s.file, missing_param_message(a.symbol, st, true));
      }
      const double sigma_m = it->second.sigma_A * 1e-10;
      const double s6 = std::pow(sigma_m, 6.0);
      R.push_back(it->second.sigma_A);  // sizes the entry domain
      eps.push_back(it->second.epsilon_J);
      sig6.push_back(s6);
      sig12.push_back(s6 * s6);
      centres.push_back({a.x, a.y, a.z, it->second.epsilon_J, it->second.sigma_A});
    }
    r.gas_model = st.three_site ? "three-site" : "atom";
    if (st.three_site) r.orientation_temperature = st.conditions.temperature;
  } else {
    R = radii(s, st);
  }
  // The three-site molecule's site charges act on every atom: without
  // partial charges the ion charge is spread evenly over the atoms.
  Structure spread;
  const Structure* ion = &s;
  if (well && st.three_site && !s.has_charges) {
    spread = s;
    for (Atom& a : spread.atoms) a.charge = r.z / n;
    spread.has_charges = true;
    ion = &spread;
    bool some = false;
    for (const Atom& a : s.atoms) some = some || !std::isnan(a.charge);
    char buf[200];
    std::snprintf(buf, sizeof buf,
                  "%s: the ion charge %g is spread evenly over the %d atoms for the three-site "
                  "nitrogen model",
                  some ? "not every atom has a partial charge" : "no partial charges", r.z, n);
    r.notes.push_back(buf);
  }
  if (st.method == Method::TM && s.n_frames > 1) {
    int charged = 0;
    for (const Atom& a : s.atoms) charged += std::isnan(a.charge) ? 0 : 1;
    if (charged > 10) {
      r.warnings.push_back("more than 10 partial charges: the atoms are struck as fixed, so the "
                           "frames and masses of --moving are not used");
    }
  }
  rt::RealArray t = atom_table(*ion, R, ion->has_charges);
  // Masses of the struck atoms. Atoms that move along stored frames are
  // struck with their own masses (the moving-atom collision law). The atoms
  // of a rigid ion do not recoil on their own: the ion's recoil is already in
  // the reduced mass of the mobility relation, so they are struck as
  // immovable (a mass that makes the collision law specular).
  rt::RealArray mass = rt::make_real(n, 1);
  for (int i = 0; i < n; ++i) {
    mass->data[i] = s.n_frames > 1 ? s.atoms[static_cast<std::size_t>(i)].mass : kImmovable;
  }
  // Stored frames of the moving atoms; a rigid ion repeats its coordinates
  // (atoms at rest).
  const int frames = s.n_frames > 1 ? s.n_frames : 2;
  rt::RealArray move = rt::make_real(frames * n, 3);
  for (int f = 0; f < frames; ++f) {
    for (int i = 0; i < n; ++i) {
      const std::size_t src = s.n_frames > 1 ? (static_cast<std::size_t>(f) * n + i) * 3 : 0;
      const Atom& a = s.atoms[static_cast<std::size_t>(i)];
      const int row = f * n + i;
      move->data[row] = s.n_frames > 1 ? s.frames_xyz[src] : a.x;
      move->data[row + frames * n] = s.n_frames > 1 ? s.frames_xyz[src + 1] : a.y;
      move->data[row + 2 * frames * n] = s.n_frames > 1 ? s.frames_xyz[src + 2] : a.z;
    }
  }
  rt::RealArray e1 = rt::make_real(n, 1), e2 = rt::make_real(n, 1), e3 = rt::make_real(n, 1);
  if (well) {
    for (int i = 0; i < n; ++i) {
      e1->data[i] = eps[static_cast<std::size_t>(i)];
      e2->data[i] = sig6[static_cast<std::size_t>(i)];
      e3->data[i] = sig12[static_cast<std::size_t>(i)];
    }
  }
  TrajectoryInputs in;
  in.boxdomain = st.numerics.boxdomain;
  in.deltatenhance = st.numerics.deltatenhance;
  in.random_C = st.maxwell ? 1.0 : 0.0;
  in.diffusive = st.cosine ? 1.0 : 0.0;
  in.multiplier = st.numerics.multiplier;
  in.z = r.z;
  in.e = kElementary;
  in.m_w = s.mass() * kAtomicMass;
  in.Kb = kBoltzmann;
  in.T0 = st.conditions.temperature;
  in.N_total = st.numerics.trajectories;
  in.rho_g = g.rho_g;
  in.Kappa = g.Kappa;
  in.n_rotations = st.tensor ? 3.0 : st.numerics.orientations;
  in.Force_const = g.Force_const;
  in.a = st.accommodation;
  in.m_gas = g.m_gas;
  in.v_c = g.v_c_t;
  in.v_c2 = st.maxwell ? g.v_c2 : 0.0;
  in.v_c_return = g.v_c_t;
  in.Number_atoms = n;
  in.r_probe = 0.0;
  in.v_c_t = g.v_c_t;
  in.seedn = st.seed;
  in.MobcalHS = st.tensor ? 0.0 : 1.0;
  in.cfactor = 1.0;
  in.qpol = st.three_site ? 1.0 : 0.0;
  in.three_site_kT = kBoltzmann * st.conditions.temperature;
  if (well) {
    in.min_entry_radius = lennard_jones_reach(centres, st.conditions.temperature);
    r.numerics.entry_radius = in.min_entry_radius;
  }
  in.DATA_atoms = t.get();
  in.massarray = mass.get();
  in.Move_pos = move.get();
  in.epsili = e1.get();
  in.sigmai = e2.get();
  in.sigma2i = e3.get();
  trajectory_check_inputs(v, in);
  rt::RealArray table = rt::make_real(0, 3);
  TrajectoryResults res;
  run_trajectory_method(ctx, v, in, table.get(), &res);
  r.trajectories = res.launched_total;
  if (st.tensor) {
    r.ccs = res.r[6];
    r.ccs_se = NAN;
    r.orientations_used = 3;
    return;
  }
  // Per-orientation cross sections: the driver's relations applied to each
  // row of the orientation table (K_i from the row, the cross section from K_i).
  const int n_rot = table->size[0];
  const double mass_ratio = in.m_gas / in.m_w;
  const double G = std::sqrt(in.m_gas * 0.3580986219567645 / in.Kb / in.T0) *
                   (std::sqrt(1.0 + mass_ratio) * in.z * in.e / in.rho_g);
  std::vector<double> ccs_i(static_cast<std::size_t>(n_rot));
  for (int i = 0; i < n_rot; ++i) {
    const double K_i = std::sqrt(mass_ratio + 1.0) / table->data[i] * in.z * in.e * 10000.0;
    ccs_i[static_cast<std::size_t>(i)] = G / K_i * 10000.0 * 1e20 * kPi * 0.25;
  }
  mean_and_se(ccs_i, &r.ccs, &r.ccs_se, &r.orientations_used);
  r.per_orientation = std::move(ccs_i);
}
#endif

}  // namespace

const char* method_name(Method m) {
  switch (m) {
    case Method::PA: return "pa";
    case Method::EHSS: return "ehss";
    case Method::TM: return "tm";
    case Method::TMFixed: return "tm-fixed";
    case Method::LJ: return "lj";
  }
  return "?";
}

Method parse_method(const std::string& name) {
  for (Method m : {Method::PA, Method::EHSS, Method::TM, Method::TMFixed, Method::LJ}) {
    if (name == method_name(m)) return m;
  }
  throw std::invalid_argument("unknown method '" + name + "'");
}

bool method_available(Method m) {
  switch (m) {
    case Method::PA: return true;
    case Method::EHSS:
#ifdef CCS_CLI_HAVE_HARDKICK
      return true;
#else
      return false;
#endif
    default:
#ifdef CCS_CLI_HAVE_TRAJECTORY
      return true;
#else
      return false;
#endif
  }
}

Numerics resolve_numerics(Method m, bool tensor, Numerics n) {
  Numerics d;
  switch (m) {
    case Method::PA:
      d.orientations = 500;
      break;
    case Method::EHSS:
      d.orientations = 400;
      d.trajectories = 500;
      break;
    case Method::TM:
    case Method::TMFixed:
    case Method::LJ:
      d.orientations = 500;
      d.trajectories = 300;
      d.deltatenhance = m == Method::LJ ? 80 : 40;
      d.multiplier = 100;
      break;
  }
  if (tensor) {  // the same trajectories over three fixed orientations
    d.trajectories = d.trajectories * d.orientations / 3;
    d.orientations = 3;
  }
  if (n.orientations <= 0) n.orientations = d.orientations;
  if (tensor) n.orientations = 3;
  if (n.trajectories <= 0) n.trajectories = d.trajectories;
  if (n.deltatenhance <= 0) n.deltatenhance = d.deltatenhance;
  if (n.multiplier <= 0) n.multiplier = d.multiplier;
  return n;
}

double ion_charge(const Structure& s, double override_charge) {
  if (override_charge != 0.0) return override_charge;
  if (!s.has_charges) return 1.0;
  const double q = s.charge_sum();
  const double z = std::round(q);
  if (z == 0.0) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.3f", q);
    input_error(s.file, std::string("the partial charges sum to ") + buf +
                            ", a charge of 0; give the ion's charge with --charge");
  }
  return z;
}

void mean_and_se(const std::vector<double>& v, double* mean, double* se, int* used) {
  double s = 0.0;
  int n = 0;
  for (double x : v) {
    if (std::isfinite(x) && x != 0.0) {
      s += x;
      ++n;
    }
  }
  *used = n;
  *mean = n > 0 ? s / n : NAN;
  if (n < 2) {
    *se = NAN;
    return;
  }
  double ss = 0.0;
  for (double x : v) {
    if (std::isfinite(x) && x != 0.0) ss += (x - *mean) * (x - *mean);
  }
  *se = std::sqrt(ss / (n - 1) / n);
}


RunResult run_method(const Structure& s, const RunSettings& st_in) {
  RunSettings st = st_in;
  if (!method_available(st.method)) {
    throw std::runtime_error(std::string("method ") + method_name(st.method) +
                             " is not built into this program");
  }
  RunResult r;
  r.z = ion_charge(s, st.charge);
  const bool trajectory = st.method == Method::TM || st.method == Method::TMFixed ||
                          st.method == Method::LJ;
  if (trajectory && st.numerics.boxdomain <= 0) {
    // The entry sphere of a weakly charged ion reaches out to where the
    // field of its charge no longer matters (the driver extends the domain
    // by the same rule for strong and several charges).
    st.numerics.boxdomain = std::fmax(field_radius(st.conditions, r.z), 1.5);
  }
  r.numerics = st.numerics;
  r.mass = s.mass();
  r.orientations = st.tensor ? 3 : st.numerics.orientations;
  if (s.has_charges && std::fabs(s.charge_sum() - r.z) > 0.5) {
    char buf[160];
    std::snprintf(buf, sizeof buf,
                  "the partial charges sum to %.3f but the ion charge is %g; the field comes "
                  "from the partial charges",
                  s.charge_sum(), r.z);
    r.warnings.push_back(buf);
  }
  rt::rng::ensure_initialised();
  rt::RootContext root(nullptr);
  rt::Context* ctx = root.get();
  ctx->keyed_streams = true;
  ctx->stream_seed = st.seed;
  ctx->orientations_done = st.progress;
  ctx->cancel = st.cancel;
  const auto t0 = std::chrono::steady_clock::now();
  switch (st.method) {
    case Method::PA:
      run_pa(s, st, ctx, r);
      break;
#ifdef CCS_CLI_HAVE_HARDKICK
    case Method::EHSS:
      run_ehss(s, st, ctx, r);
      break;
#endif
#ifdef CCS_CLI_HAVE_TRAJECTORY
    case Method::TM:
    case Method::TMFixed:
    case Method::LJ:
      run_trajectory(s, st, ctx, r);
      break;
#endif
    default:
      break;
  }
  r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  r.K = mobility_from_ccs(r.ccs, r.z, r.mass, st.conditions);
  r.K0 = reduced_mobility(r.K, st.conditions);
  if (r.orientations_used < r.orientations && !st.tensor) {
    r.warnings.push_back(std::to_string(r.orientations - r.orientations_used) +
                         " orientation(s) gave no finite estimate and were left out");
  }
  return r;
}

}  // namespace ccs::cli
