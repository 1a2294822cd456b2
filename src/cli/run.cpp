#include "cli/run.h"

#include <omp.h>

#include <chrono>
#include <cmath>
#include <stdexcept>

#include "cli/input_file.h"
#include "cli/run_report.h"
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
// N x 4 atom table, column-major: x, y, z, radius.
std::vector<double> radius_table(const Structure& s, const std::vector<double>& radius) {
  const std::size_t n = s.atoms.size();
  std::vector<double> t(n * 4);
  for (std::size_t i = 0; i < n; ++i) {
    const Atom& a = s.atoms[i];
    t[i] = a.x;
    t[i + n] = a.y;
    t[i + 2 * n] = a.z;
    t[i + 3 * n] = radius[i];
  }
  return t;
}

void run_pa(const Structure& s, const RunSettings& st, rt::Context* ctx, RunResult& r) {
  using namespace ccs::projection;
  const int n = static_cast<int>(s.atoms.size());
  const std::vector<double> table = radius_table(s, radii(s, st));
  ProjectionParams p;
  p.atoms = {table.data(), n, 4};
  p.Number_atoms = n;
  p.n_rotations = st.numerics.orientations;
  p.seedn = st.seed;
  validate(p);
  ProjectionResults res;
  run_projection_method(ctx, p, &res);
  double mean = NAN;
  mean_and_se(res.areas, &mean, &r.ccs_se, &r.orientations_used);
  r.ccs = res.mean_area;  // the driver's mean over the orientations with an area
  r.per_orientation = std::move(res.areas);
  r.trajectories = static_cast<double>(kShadeSamples) * st.numerics.orientations;
}

#ifdef CCS_CLI_HAVE_HARDKICK
// The typed record of an exact hard-sphere run of `s` (atoms in `table`).
ccs::hardsphere::HardSphereParams hard_sphere_params(const Structure& s, const RunSettings& st,
                                                     double z, std::vector<double>& table) {
  const int n = static_cast<int>(s.atoms.size());
  table = radius_table(s, radii(s, st));
  const GasInputs g = gas_inputs(st.conditions);
  ccs::hardsphere::HardSphereParams p;
  p.atoms = {table.data(), n, 4};
  p.Number_atoms = n;
  p.m_gas = g.m_gas;
  p.m_w = s.mass() * kAtomicMass;
  p.z = z;
  p.p0 = st.conditions.pressure;
  p.T0 = st.conditions.temperature;
  p.orientations = st.tensor ? OrientationMode::AxisTensor : OrientationMode::Random;
  p.n_rotations = st.tensor ? 3.0 : st.numerics.orientations;
  p.N_total = st.numerics.trajectories;
  p.seedn = st.seed;
  p.a = st.accommodation;
  p.diffusive = st.cosine ? DiffuseDirection::CosineLaw : DiffuseDirection::Specular;
  p.maxwell_speed = st.maxwell;
  p.v_c2 = st.maxwell ? g.v_c2 : 0.0;
  return p;
}

void run_ehss(const Structure& s, const RunSettings& st, rt::Context* ctx, RunResult& r) {
  std::vector<double> table;
  const ccs::hardsphere::HardSphereParams p = hard_sphere_params(s, st, r.z, table);
  ccs::hardsphere::validate(p);
  ccs::hardsphere::HardSphereResults res;
  ccs::hardsphere::run_hard_sphere_method(ctx, p, &res);
  r.trajectories = res.trajectories;
  if (st.tensor) {
    r.ccs = res.r[1];
    r.ccs_se = NAN;
    r.orientations_used = 3;
    r.tensor = principal_tensor(res.table.data(), r.z, s.mass(), st.conditions);
    return;
  }
  mean_and_se(res.per_orientation_ccs, &r.ccs, &r.ccs_se, &r.orientations_used);
  r.per_orientation = std::move(res.per_orientation_ccs);
}
#endif

#ifdef CCS_CLI_HAVE_TRAJECTORY
// g/mol; 2 M / (m + M) rounds to 2 for any gas.
constexpr double kImmovable = 1e30;

// Storage the trajectory method's parameter record points into.
struct TrajectoryStore {
  std::vector<double> atoms;         // N x 5: x, y, z, size (Å), charge (e; NaN: none)
  std::vector<double> masses;        // g/mol
  std::vector<double> frames;        // F N x 3 (Å)
  std::vector<double> eps, s6, s12;  // soft field, per atom (J, m^6, m^12)
  std::vector<LjCentre> centres;     // soft field: for the reach of the attraction
};

// Lennard-Jones pair parameters of every atom (J, sigma^6, sigma^12 in m);
// sigma (Å) also sizes the entry domain.
void lennard_jones_atoms(const Structure& s, const RunSettings& st, TrajectoryStore& store,
                         std::vector<double>& size) {
  if (st.lennard_jones == nullptr) throw std::logic_error("no Lennard-Jones table");
  for (const Atom& a : s.atoms) {
    auto it = st.lennard_jones->lj.find(a.symbol);
    if (it == st.lennard_jones->lj.end()) input_error(s.file, missing_param_message(a.symbol, st, true));
    const double s6 = std::pow(it->second.sigma_A * 1e-10, 6.0);
    size.push_back(it->second.sigma_A);
    store.eps.push_back(it->second.epsilon_J);
    store.s6.push_back(s6);
    store.s12.push_back(s6 * s6);
    store.centres.push_back({a.x, a.y, a.z, it->second.epsilon_J, it->second.sigma_A});
  }
}

// The charge of every atom as the method takes it (empty: the ion charge z
// alone). The three-site molecule's site charges act on every atom: without
// partial charges the ion charge is spread evenly over the atoms (with a note).
std::vector<double> atom_charges(const Structure& s, const RunSettings& st, RunResult& r) {
  const int n = static_cast<int>(s.atoms.size());
  std::vector<double> q;
  if (s.has_charges) {
    for (const Atom& a : s.atoms) q.push_back(a.charge);
    return q;
  }
  if (st.method != Method::LJ || !st.three_site) return q;
  q.assign(static_cast<std::size_t>(n), r.z / n);
  bool some = false;
  for (const Atom& a : s.atoms) some = some || !std::isnan(a.charge);
  char buf[200];
  std::snprintf(buf, sizeof buf,
                "%s: the ion charge %g is spread evenly over the %d atoms for the three-site "
                "nitrogen model",
                some ? "not every atom has a partial charge" : "no partial charges", r.z, n);
  r.notes.push_back(buf);
  return q;
}

// Masses of the struck atoms and their stored frames. Atoms that move along
// stored frames are struck with their own masses (the moving-atom collision
// law). The atoms of a rigid ion do not recoil on their own: the ion's
// recoil is already in the reduced mass of the mobility relation, so they
// are struck as immovable (a mass that makes the collision law specular),
// and its frames repeat its coordinates (atoms at rest).
void moving_atoms(const Structure& s, TrajectoryStore& store, int* frame_rows) {
  const int n = static_cast<int>(s.atoms.size());
  const bool moving = s.n_frames > 1;
  store.masses.resize(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) store.masses[i] = moving ? s.atoms[static_cast<std::size_t>(i)].mass : kImmovable;
  const int frames = moving ? s.n_frames : 2;
  const int rows = frames * n;
  store.frames.resize(static_cast<std::size_t>(rows) * 3);
  for (int f = 0; f < frames; ++f) {
    for (int i = 0; i < n; ++i) {
      const std::size_t src = moving ? (static_cast<std::size_t>(f) * n + i) * 3 : 0;
      const Atom& a = s.atoms[static_cast<std::size_t>(i)];
      const int row = f * n + i;
      store.frames[row] = moving ? s.frames_xyz[src] : a.x;
      store.frames[row + rows] = moving ? s.frames_xyz[src + 1] : a.y;
      store.frames[row + 2 * rows] = moving ? s.frames_xyz[src + 2] : a.z;
    }
  }
  *frame_rows = rows;
}

// The typed record of a trajectory run of `s` (filling `store`).
ccs::trajectory::TrajectoryParams trajectory_params(const Structure& s, const RunSettings& st,
                                                    TrajectoryStore& store, RunResult& r) {
  using namespace ccs::trajectory;
  const GasInputs g = gas_inputs(st.conditions);
  const int n = static_cast<int>(s.atoms.size());
  const bool well = st.method == Method::LJ;
  std::vector<double> size;
  if (well) {
    lennard_jones_atoms(s, st, store, size);
    r.lj_model = st.three_site ? "three-site" : "atom";
    if (st.three_site) r.orientation_temperature = st.conditions.temperature;
  } else {
    size = radii(s, st);
  }
  const std::vector<double> q = atom_charges(s, st, r);
  const int cols = q.empty() ? 4 : 5;
  store.atoms.resize(static_cast<std::size_t>(n) * cols);
  for (int i = 0; i < n; ++i) {
    const Atom& a = s.atoms[static_cast<std::size_t>(i)];
    const double row[5] = {a.x, a.y, a.z, size[static_cast<std::size_t>(i)], q.empty() ? 0.0 : q[i]};
    for (int j = 0; j < cols; ++j) store.atoms[i + static_cast<std::size_t>(j) * n] = row[j];
  }
  TrajectoryParams p;
  p.variant = st.method == Method::TM ? Variant::Moving : well ? Variant::Well : Variant::Fixed;
  p.atoms = {store.atoms.data(), n, cols};
  p.Number_atoms = n;
  p.z = r.z;
  p.e = kElementary;
  p.m_w = s.mass() * kAtomicMass;
  p.Kb = kBoltzmann;
  p.T0 = st.conditions.temperature;
  p.m_gas = g.m_gas;
  p.rho_g = g.rho_g;
  p.v_c_t = g.v_c_t;
  p.v_c = g.v_c_t;
  p.Force_const = g.Force_const;
  p.Kappa = g.Kappa;
  p.orientations = st.tensor ? OrientationMode::AxisTensor : OrientationMode::Random;
  p.n_rotations = st.tensor ? 3.0 : st.numerics.orientations;
  p.N_total = st.numerics.trajectories;
  p.seedn = st.seed;
  p.deltatenhance = st.numerics.deltatenhance;
  p.multiplier = st.numerics.multiplier;
  p.boxdomain = st.numerics.boxdomain;
  p.a = st.accommodation;
  p.diffusive = st.cosine ? DiffuseDirection::CosineLaw : DiffuseDirection::Specular;
  p.maxwell_speed = st.maxwell;
  p.v_c2 = st.maxwell ? g.v_c2 : 0.0;
  p.v_c_return = g.v_c_t;
  if (p.variant == Variant::Moving) {
    moving_atoms(s, store, &p.move_rows);
    p.massarray = {store.masses.data(), n, 1};
    p.Move_pos = store.frames.data();
    p.move_cols = 3;
    p.cfactor = 1.0;
  }
  if (well) {
    p.epsili = {store.eps.data(), n, 1};
    p.sigmai = {store.s6.data(), n, 1};
    p.sigma2i = {store.s12.data(), n, 1};
    p.three_site = st.three_site;
    p.three_site_kT = kBoltzmann * st.conditions.temperature;
    p.min_entry_radius = lennard_jones_reach(store.centres, st.conditions.temperature);
    r.numerics.entry_radius = p.min_entry_radius;
  }
  return p;
}

void run_trajectory(const Structure& s, const RunSettings& st, rt::Context* ctx, RunResult& r) {
  using namespace ccs::trajectory;
  if (st.method == Method::TM && s.n_frames > 1) {
    int charged = 0;
    for (const Atom& a : s.atoms) charged += std::isnan(a.charge) ? 0 : 1;
    if (charged > 10) {
      r.warnings.push_back("more than 10 partial charges: the atoms are struck as fixed, so the "
                           "frames and masses of --moving are not used");
    }
  }
  TrajectoryStore store;
  const TrajectoryParams p = trajectory_params(s, st, store, r);
  validate(p);
  TrajectoryResults res;
  run_trajectory_method(ctx, p, &res);
  r.trajectories = res.launched_total;
  if (st.tensor) {
    r.ccs = res.r[6];
    r.ccs_se = NAN;
    r.orientations_used = 3;
    r.tensor = principal_tensor(res.table.data(), r.z, s.mass(), st.conditions);
    return;
  }
  mean_and_se(res.per_orientation_ccs, &r.ccs, &r.ccs_se, &r.orientations_used);
  r.per_orientation = std::move(res.per_orientation_ccs);
}
#endif

// Gas model, fallback parameters, the default-charge note and whether the
// numbers are a result.
void report_run(const Structure& s, const RunSettings& st, RunResult& r) {
  const bool lj = st.method == Method::LJ;
  r.gas_model = st.conditions.gas.name +
                (lj ? (st.three_site ? " Lennard-Jones, three-site molecule" : " Lennard-Jones, atom")
                    : " hard spheres");
  const ParamTable* table = lj ? st.lennard_jones : st.hard_sphere;
  if (table != nullptr) {
    r.fallback_elements = fallback_elements(s, *table);
    if (!r.fallback_elements.empty()) r.notes.push_back(fallback_note(s, *table));
  }
  if (st.charge == 0.0 && !s.has_charges && s.atoms.size() > kDefaultChargeNoteAtoms) {
    r.notes.push_back("the ion charge z = 1 is the default; give the charge state with --charge "
                      "(a protein ion usually carries several)");
  }
  r.not_a_result = not_a_result_reason(r, st.tensor);
}

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
  const bool model = !s.charge_origin.empty() && s.charge_origin != "file";
  if (model && std::isfinite(s.formal_charge) &&
      std::fabs(q - s.formal_charge) > kChargeSumTolerance) {
    char buf[256];
    std::snprintf(buf, sizeof buf,
                  "the %s partial charges sum to %.3f, far from the structure's formal charge "
                  "%g; choose another charge model, or give the ion's charge with --charge to "
                  "run with these charges",
                  s.charge_origin.c_str(), q, s.formal_charge);
    input_error(display_name(s.file), buf);
  }
  if (std::fabs(q - z) > kChargeSumTolerance) {
    char buf[160];
    std::snprintf(buf, sizeof buf,
                  "the partial charges sum to %.3f, far from a whole charge; give the ion's "
                  "charge with --charge to run with these charges",
                  q);
    input_error(display_name(s.file), buf);
  }
  if (std::fabs(z) > kMaxCharge) {
    char buf[160];
    std::snprintf(buf, sizeof buf,
                  "the partial charges sum to %.6g, beyond the charge of any ion (at most %g)", q,
                  kMaxCharge);
    input_error(display_name(s.file), buf);
  }
  if (z == 0.0) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.3f", std::fabs(q) < 0.0005 ? 0.0 : q);
    input_error(display_name(s.file), std::string("the partial charges sum to ") + buf +
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
  report_run(s, st, r);
  return r;
}

}  // namespace ccs::cli
