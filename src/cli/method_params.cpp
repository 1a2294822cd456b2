// The typed parameter records of the methods filled from a structure and
// the settings of a run (physical conditions, parameter tables, numerics),
// with the storage they point into. Internal to the program's library.
#include "cli/method_params.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <stdexcept>
#include <utility>

#include "cli/physics.h"

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
std::vector<double> radii_of(const Structure& s, const RunSettings& st) {
  if (st.hard_sphere == nullptr) throw std::logic_error("no hard-sphere table");
  std::vector<double> r;
  r.reserve(s.atoms.size());
  // The few elements met so far, looked up once each (a table lookup per
  // atom costs each rank about 80 ms at 10^6 atoms).
  std::vector<std::pair<const std::string*, double>> seen;
  for (const Atom& a : s.atoms) {
    auto known = std::find_if(seen.begin(), seen.end(), [&](const auto& e) { return *e.first == a.symbol; });
    if (known != seen.end()) {
      r.push_back(known->second);
      continue;
    }
    auto it = st.hard_sphere->radius.find(a.symbol);
    if (it == st.hard_sphere->radius.end()) {
      input_error(s.file, missing_param_message(a.symbol, st, false));
    }
    r.push_back(it->second);
    if (seen.size() < 16) seen.emplace_back(&it->first, it->second);
  }
  return r;
}

}  // namespace

std::vector<double> radii(const Structure& s, const RunSettings& st) { return radii_of(s, st); }

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


ccs::projection::ProjectionParams projection_params(const Structure& s, const RunSettings& st,
                                                   std::vector<double>& table) {
  const int n = static_cast<int>(s.atoms.size());
  table = radius_table(s, radii(s, st));
  ccs::projection::ProjectionParams p;
  p.atoms = {table.data(), n, 4};
  p.Number_atoms = n;
  p.n_rotations = st.numerics.orientations;
  p.lines = st.numerics.trajectories;
  p.seedn = st.seed;
  return p;
}

#ifdef CCS_CLI_HAVE_HARDKICK
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

#endif

#ifdef CCS_CLI_HAVE_TRAJECTORY
// g/mol; 2 M / (m + M) rounds to 2 for any gas.
namespace {
constexpr double kImmovable = 1e30;


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

}  // namespace

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
  if (st.weighted_entry) p.entry_sampling = EntrySampling::WeightedDisc;
  return p;
}
#endif

}  // namespace ccs::cli
