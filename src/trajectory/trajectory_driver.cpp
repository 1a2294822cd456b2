// The trajectory-method driver as a list of steps: set up the molecule, then
// per orientation turn it, form its charge set and entry domain, set up the
// kernels, run the batches of trajectories and keep the orientation's row;
// finally the mobilities and cross sections.
#include "trajectory/trajectory_driver.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "runtime/constants.h"
#include "runtime/geometry.h"
#include "runtime/numeric.h"
#include "runtime/parallel.h"
#include "runtime/random_streams.h"
#include "trajectory/lj_kernels.h"
#include "trajectory/trajectory_batches.h"
#include "trajectory/trajectory_domain.h"
#include "trajectory/trajectory_kernels.h"

namespace ccs::trajectory {
namespace {

// ---------------------------------------------------------------- molecule

// The molecule as every orientation starts from it: collision radii,
// charges, coordinates centred on their centroid (and the stored frames on
// the same centroid), turned in place from orientation to orientation.
struct MoleculeState {
  int N = 0;
  std::vector<double> R, R2, q_all, coords;  // coords: N x 3 (Å)
  double Rmax = 0;
  double* move = nullptr;  // stored frames (moving atoms), turned with coords
  int move_rows = 0;
  std::vector<double> move_store;  // the frames of a copy that owns them
  std::vector<double> tmp1, tmp2;  // rotation scratch

  // A copy that owns its frames (each thread turns its own).
  MoleculeState owning_copy() const {
    MoleculeState m = *this;
    if (move != nullptr) {
      m.move_store.assign(move, move + static_cast<std::size_t>(move_rows) * 3);
      m.move = m.move_store.data();
    }
    return m;
  }
};

// own_frames: centre a copy of the stored frames, not the caller's (a run
// with keyed streams may prepare the same parameters many times).
MoleculeState prepare_molecule(const TrajectoryParams& p, bool own_frames = false) {
  MoleculeState m;
  const int N = static_cast<int>(p.Number_atoms);
  const int rows = p.atoms.rows;
  const double* data = p.atoms.data;
  m.N = N;
  m.R.resize(N);
  m.R2.resize(N);
  m.q_all.assign(N, NAN);
  m.coords.resize(static_cast<std::size_t>(N) * 3);
  for (int i = 0; i < N; ++i) {
    m.R[i] = data[i + 3 * rows] + p.r_probe;
    m.R2[i] = m.R[i] * m.R[i];
    if (p.atoms.cols > 4) m.q_all[i] = data[i + 4 * rows];
    for (int j = 0; j < 3; ++j) m.coords[i + j * N] = data[i + j * rows];
  }
  m.Rmax = rt::max_skip_nan(m.R.data(), N);
  double c[3];
  for (int j = 0; j < 3; ++j) {
    double s = 0.0;
    for (int i = 0; i < N; ++i) s += m.coords[i + j * N];
    c[j] = s / p.Number_atoms;
    for (int i = 0; i < N; ++i) m.coords[i + j * N] -= c[j];
  }
  if (p.variant == Variant::Moving) {
    m.move = p.Move_pos;
    m.move_rows = p.move_rows;
    if (own_frames) {
      m.move_store.assign(p.Move_pos, p.Move_pos + static_cast<std::size_t>(p.move_rows) * 3);
      m.move = m.move_store.data();
    }
    for (int j = 0; j < 3; ++j) {
      for (int i = 0; i < m.move_rows; ++i) m.move[i + j * m.move_rows] -= c[j];
    }
  }
  return m;
}

// Orientation i (1-based): three random Euler angles from the serial
// stream, or the axis orientations (2 and 3 cycle the axes once more).
void orient(const TrajectoryParams& p, int i, MoleculeState& m) {
  if (p.orientations == OrientationMode::AxisTensor) {
    if (i == 2 || i == 3) {
      geometry::cycle_axes(m.coords.data(), m.N);
      if (m.move != nullptr) geometry::cycle_axes(m.move, m.move_rows);
    }
    return;
  }
  const geometry::EulerAngles angles = geometry::draw_euler_angles();
  const int rows = m.move != nullptr && m.move_rows > m.N ? m.move_rows : m.N;
  m.tmp1.resize(static_cast<std::size_t>(rows) * 3);
  m.tmp2.resize(static_cast<std::size_t>(rows) * 3);
  geometry::rotate_rows(m.coords.data(), m.N, angles, m.tmp1.data(), m.tmp2.data());
  if (m.move != nullptr) {
    geometry::rotate_rows(m.move, m.move_rows, angles, m.tmp1.data(), m.tmp2.data());
  }
}

// Orientation i (0-based) of a run with keyed streams, independent of every
// other: the centred molecule `base` turned by a uniform rotation drawn from
// the orientation's own stream (axis mode: its axes cycled i times) into m.
void orient_keyed(const rt::Context* ctx, const TrajectoryParams& p, int i,
                  const MoleculeState& base, MoleculeState& m) {
  const std::size_t f3 = static_cast<std::size_t>(m.move_rows) * 3;
  if (p.orientations == OrientationMode::AxisTensor) {
    std::copy(base.coords.begin(), base.coords.end(), m.coords.begin());
    if (m.move != nullptr) std::copy(base.move, base.move + f3, m.move);
    for (int k = 0; k < i; ++k) {
      geometry::cycle_axes(m.coords.data(), m.N);
      if (m.move != nullptr) geometry::cycle_axes(m.move, m.move_rows);
    }
    return;
  }
  rt::MtState stream;
  rt::seed_orientation_stream(ctx, static_cast<std::uint32_t>(i), stream);
  rt::rng::ScopedStream scoped(&stream);
  double R[9];
  geometry::draw_uniform_rotation(R);
  geometry::rotate_rows_into(base.coords.data(), m.N, R, m.coords.data());
  if (m.move != nullptr) geometry::rotate_rows_into(base.move, m.move_rows, R, m.move);
}

// ---------------------------------------------------------------- charges

// The charges of the oriented molecule: every atom with a charge, or the ion
// charge z alone (at the centroid of the current coordinates for the soft
// field, at the origin otherwise).
struct ChargeSet {
  int nq = 0;
  int n_charged = 0;  // atoms with a charge (0: the single charge z)
  std::vector<double> q, q2, qpos, qA;  // values, squares, positions in m and Å
  std::vector<double> near_idx;         // 1-based indices of |q| > 1.5
};

ChargeSet charge_set(const TrajectoryParams& p, const MoleculeState& m) {
  ChargeSet c;
  const int N = m.N;
  std::vector<int> charged;
  for (int a = 0; a < N; ++a) {
    if (!std::isnan(m.q_all[a])) charged.push_back(a);
  }
  c.n_charged = static_cast<int>(charged.size());
  c.nq = charged.empty() ? 1 : c.n_charged;
  const int nq = c.nq;
  c.qpos.assign(static_cast<std::size_t>(nq) * 3, 0.0);
  c.q.resize(nq);
  c.q2.resize(nq);
  if (charged.empty()) {
    c.q[0] = p.z;
    if (p.variant == Variant::Well) {
      for (int j = 0; j < 3; ++j) {
        double s = 0.0;
        for (int a = 0; a < N; ++a) s += m.coords[a + j * N];
        c.qpos[j] = s / p.Number_atoms * 1e-10;
      }
    }
  } else {
    for (int k = 0; k < nq; ++k) {
      const int a = charged[k];
      c.q[k] = m.q_all[a];
      for (int j = 0; j < 3; ++j) c.qpos[k + j * nq] = m.coords[a + j * N] * 1e-10;
    }
  }
  for (int k = 0; k < nq; ++k) c.q2[k] = c.q[k] * c.q[k];
  c.qA.resize(static_cast<std::size_t>(nq) * 3);
  for (int k = 0; k < nq * 3; ++k) c.qA[k] = c.qpos[k] * 1e10;
  for (int k = 0; k < nq; ++k) {
    if (std::fabs(c.q[k]) > 1.5) c.near_idx.push_back(k + 1.0);
  }
  return c;
}

// ------------------------------------------------------------ kernel set-up

// Per-call coefficients of the soft field (before the orientation loop).
struct SoftField {
  std::vector<double> att, rep, energy;  // per atom
  double K_pol = 0;                      // three-site site charge, positive for every ion
};

SoftField soft_field(const TrajectoryParams& p, int N) {
  SoftField f;
  if (p.variant != Variant::Well) return f;
  f.att.resize(N);
  f.rep.resize(N);
  f.energy.resize(N);
  lj_coefficients(p.epsili.data, p.sigmai.data, p.sigma2i.data, N, p.m_gas, f.att.data(),
                  f.rep.data(), f.energy.data());
  // The site charges belong to the gas molecule; the ion's charges carry
  // their own signs into every term.
  f.K_pol = lj_polarisation_constant(p.m_gas);
  return f;
}

// Everything the trajectories of one orientation share, read only in the loops.
struct OrientationShared {
  Variant variant;
  bool many_charges;     // nq > 10, hard spheres: the matrix form of the field
  TrajectoryContext hs;  // hard-sphere kernels
  // Soft field: 0 atom field + charges, 1 charges on the atoms, 2 three-site gas.
  int lj_kernel = 0;
  double nq = 0;
  LjArray ones_N{}, q{}, q2{}, qpos{}, ones_q{}, near_idx{}, lj_att{}, lj_rep{}, lj_energy{},
      coords_m{}, q_force{}, q_energy{};
  double K_pol = 0;
  double kT = 0;
  double box[6] = {0};
  double deltatenhance = 0, Force_const = 0, dt0 = 0, m_gas = 0, v_c = 0, v_c_t = 0,
         near_flag = 0;
  // Storage the views above point into.
  std::vector<double> coords_m_store, ones_q_store, q_force_store, q_energy_store;
};

// Capture radius about a single charge: the farthest atom surface from it (m).
double capture_radius(const MoleculeState& m, const ChargeSet& c) {
  if (c.nq != 1) return 0.0;
  const int N = m.N;
  double r_capture = 0.0;
  for (int a = 0; a < N; ++a) {
    const double dv[3] = {c.qA[0] - m.coords[a], c.qA[1] - m.coords[a + N],
                          c.qA[2] - m.coords[a + 2 * N]};
    const double r = rt::norm3(dv) + m.R[a];
    if (r > r_capture) r_capture = r;
  }
  return r_capture * 1e-10;
}

void hard_sphere_setup(const TrajectoryParams& p, const MoleculeState& m, const ChargeSet& c,
                       const std::vector<double>& backoff, double dt0, OrientationShared& sh) {
  Molecule& mol = sh.hs.mol;
  mol.N = m.N;
  mol.coords = m.coords.data();
  mol.R = m.R.data();
  mol.R2 = m.R2.data();
  if (p.variant == Variant::Moving) {
    mol.massarray = p.massarray.data;
    mol.Move_pos = m.move;
    mol.move_rows = m.move_rows;
    mol.cfactor = p.cfactor;
  }
  Charges& ch = sh.hs.charges;
  ch.nq = c.nq;
  ch.q = c.q.data();
  ch.q2 = c.q2.data();
  ch.qpos = c.qpos.data();
  ch.n_charged = c.n_charged > 0 ? c.n_charged : 1;
  ch.near_flag = c.near_idx.empty() ? 0.0 : 1.0;
  ch.near_idx = c.near_idx.data();
  ch.n_near = static_cast<int>(c.near_idx.size());
  KernelParams& par = sh.hs.par;
  par.deltatenhance = p.deltatenhance;
  par.maxwell_speed = p.maxwell_speed;
  par.diffusive = p.diffusive;
  par.r_capture = capture_radius(m, c);
  par.Force_const = p.Force_const;
  par.dt0 = dt0;
  par.a = p.a;
  par.m_gas = p.m_gas;
  par.v_c = p.v_c;
  par.v_c2 = p.v_c2;
  par.v_c_return = p.v_c_return;
  par.multiplier = p.multiplier;
  par.v_c_t = p.v_c_t;
  sh.hs.dist_back_init = backoff.data();
}

void soft_field_setup(const TrajectoryParams& p, const MoleculeState& m, const ChargeSet& c,
                      const SoftField& f, const std::vector<double>& ones_N, double dt0,
                      OrientationShared& sh) {
  const int N = m.N;
  const int nq = c.nq;
  sh.coords_m_store.resize(static_cast<std::size_t>(N) * 3);
  for (int k = 0; k < N * 3; ++k) sh.coords_m_store[k] = m.coords[k] * 1e-10;
  sh.ones_q_store.assign(nq, 1.0);
  sh.q_force_store.resize(nq);
  sh.q_energy_store.resize(nq);
  lj_charge_coefficients(c.q.data(), nq, f.K_pol, sh.q_force_store.data(),
                         sh.q_energy_store.data());
  sh.nq = nq;
  sh.ones_N = {ones_N.data(), N, 1};
  sh.q = {c.q.data(), nq, 1};
  sh.q2 = {c.q2.data(), nq, 1};
  sh.qpos = {c.qpos.data(), nq, 3};
  sh.ones_q = {sh.ones_q_store.data(), nq, 1};
  sh.near_idx = {c.near_idx.data(), static_cast<std::int32_t>(c.near_idx.size()), 1};
  sh.lj_att = {f.att.data(), N, 1};
  sh.lj_rep = {f.rep.data(), N, 1};
  sh.lj_energy = {f.energy.data(), N, 1};
  sh.coords_m = {sh.coords_m_store.data(), N, 3};
  sh.q_force = {sh.q_force_store.data(), nq, 1};
  sh.q_energy = {sh.q_energy_store.data(), 1, nq};
  sh.K_pol = f.K_pol;
  sh.kT = p.three_site_kT;
  sh.deltatenhance = p.deltatenhance;
  sh.Force_const = p.Force_const;
  sh.dt0 = dt0;
  sh.m_gas = p.m_gas;
  sh.v_c = p.v_c;
  sh.v_c_t = p.v_c_t;
  sh.near_flag = c.near_idx.empty() ? 0.0 : 1.0;
  // Charges on the atoms: the length of the charge-position table (the
  // larger of its row count and 3) equals the atom count. The same test
  // serves every loop, so identical physics always takes the same kernel.
  // Only a charge on every atom makes the two tables line up: a table of
  // fewer charges would be read past its end.
  const int qlen = nq > 3 ? nq : 3;
  sh.lj_kernel = p.three_site ? 2 : (qlen == N && nq == N && c.n_charged > 0 ? 1 : 0);
}

// ------------------------------------------------------- one trajectory each

struct ThreadWork {
  std::vector<double> dist_back;
  TrajectoryScratch scratch;
  LjScratch lj;
};

void* make_work(const void* shared) {
  const auto* s = static_cast<const OrientationShared*>(shared);
  auto* w = new ThreadWork();
  if (s->variant != Variant::Well) {
    w->dist_back.resize(static_cast<std::size_t>(s->hs.mol.N) + 1);
    w->scratch.prepare_atoms(s->hs.mol.N);
    w->scratch.prepare_charges(s->hs.charges.nq);
  }
  return w;
}

void destroy_work(void* work) { delete static_cast<ThreadWork*>(work); }

void run_soft_field(const OrientationShared& s, ThreadWork& w, const double p[3],
                    const double d[3], double x_red, double dp[3]) {
  if (s.lj_kernel == 2) {
    three_site_gas_trajectory(&w.lj, s.box, s.q, p, d, s.deltatenhance, s.Force_const, s.dt0,
                              x_red, s.m_gas, s.v_c, s.v_c_t, s.near_flag, s.lj_att, s.coords_m,
                              s.lj_rep, s.near_idx, s.lj_energy, s.K_pol, s.q_force, s.q_energy,
                              s.kT, dp);
  } else if (s.lj_kernel == 1) {
    lj_site_charge_trajectory(&w.lj, s.box, s.q, s.qpos, p, d, s.nq, s.deltatenhance,
                              s.Force_const, s.dt0, x_red, s.m_gas, s.v_c, s.v_c_t, s.lj_att,
                              s.lj_rep, s.ones_N, s.near_flag, s.near_idx, dp);
  } else {
    lj_field_trajectory(&w.lj, s.ones_N, s.box, s.q, s.q2, s.qpos, s.nq, s.deltatenhance,
                        s.Force_const, s.dt0, x_red, s.m_gas, s.v_c, s.v_c_t, p, d, s.lj_att,
                        s.coords_m, s.lj_rep, s.ones_q, s.near_flag, s.near_idx, dp);
  }
}

void run_one(rt::Context* tctx, const void* shared, void* work, const double p[3],
             const double d[3], double x_red, double dp[3]) {
  const auto& s = *static_cast<const OrientationShared*>(shared);
  auto& w = *static_cast<ThreadWork*>(work);
  if (s.variant == Variant::Well) {
    run_soft_field(s, w, p, d, x_red, dp);
    return;
  }
  // Fresh back-off row (all 1000) and zero transfer for every trajectory.
  const double* init = s.hs.dist_back_init;
  for (std::size_t i = 0; i < w.dist_back.size(); ++i) w.dist_back[i] = init[i];
  Probe probe;
  probe.x_red = x_red;
  for (int j = 0; j < 3; ++j) {
    probe.pos[j] = p[j];
    probe.dir[j] = d[j];
    probe.dp[j] = 0.0;
  }
  probe.dist_back = w.dist_back.data();
  if (s.many_charges) {
    many_charge_trajectory(tctx, s.hs, probe, w.scratch);
  } else if (s.variant == Variant::Moving) {
    moving_atom_trajectory(tctx, s.hs, probe, w.scratch);
  } else {
    fixed_atom_trajectory(tctx, s.hs, probe, w.scratch);
  }
  for (int j = 0; j < 3; ++j) dp[j] = probe.dp[j];
}

// A group of Lennard-Jones trajectories with separate charges (kernel 0) in
// lockstep: one pass over the atoms per step for all of them.
void run_field_group(rt::Context*, const void* shared, void* work, int count, const double (*p)[3],
                     const double (*d)[3], const double* x_red, double (*dp)[3]) {
  const auto& s = *static_cast<const OrientationShared*>(shared);
  auto& w = *static_cast<ThreadWork*>(work);
  lj_field_trajectories(&w.lj, s.box, s.q, s.q2, s.qpos, s.nq, s.deltatenhance, s.Force_const,
                        s.dt0, s.m_gas, s.v_c, s.v_c_t, s.lj_att, s.coords_m, s.lj_rep, s.near_flag,
                        s.near_idx, count, p, d, x_red, dp);
}

// Molecules from this size run their Lennard-Jones trajectories in groups:
// their atoms no longer fit the second-level cache, and a step streams them
// from memory.
constexpr int kGroupsFromAtoms = 50000;

// ---------------------------------------------------------------- batches

// The trajectories of orientation i (1-based): the sphere loop, or the three
// face loops of the box, each from its keyed stream when the context has
// them. Returns the summed transfers over the flux normaliser (the row).
void run_batches(rt::Context* ctx, const TrajectoryParams& p, int i, const MoleculeState& mol,
                 const EntryDomain& dom, const OrientationShared& sh, double row[3],
                 double* launched) {
  TrajectoryRunner runner{&make_work, &run_one, &destroy_work, &sh};
  if (sh.variant == Variant::Well && sh.lj_kernel == 0 && mol.N >= kGroupsFromAtoms) {
    runner.run_group = &run_field_group;
  }
  std::vector<double> result;
  double F;
  int total_rows;
  rt::rng::LoopStreams loop_streams;
  if (dom.use_box) {
    const double N0 = p.N_total;
    const double* L = dom.L;
    const double A = dom.A;
    const double Ay = 2.0 * L[2] * L[0];
    const double Az = 2.0 * L[1] * L[0];
    const double D = (Ay + Az) / kPi + A;
    // Face counts of at most ceil(N_total) each (validation keeps N_total
    // below 2^29, so the total stays an int); none when the box is not
    // finite (a NaN or negative count has no loop).
    const int n_x = rt::face_count(std::ceil((N0 * A + N0 * A) * 0.5 / D), N0);
    const int n_y = rt::face_count(rt::round_half_away(Ay * N0 / kPi / D), N0);
    const int n_z = rt::face_count(rt::round_half_away(Az * N0 / kPi / D), N0);
    F = p.m_gas * (n_x / p.rho_g) / A;
    total_rows = n_x + n_y + n_z;
    result.assign(static_cast<std::size_t>(total_rows) * 3, 0.0);
    const EntryBox eb{{dom.lo[0], dom.lo[1], dom.lo[2]},
                      {dom.hi[0], dom.hi[1], dom.hi[2]},
                      {L[0], L[1], L[2]}};
    const int row0[3] = {0, n_x, n_x + n_y};
    const int count[3] = {n_x, n_y, n_z};
    for (int axis = 0; axis < 3; ++axis) {
      ctx->stream_loop = static_cast<std::uint32_t>(4 * (i - 1) + 1 + axis);
      run_face_loop(ctx, axis, count[axis], eb, runner, result.data(), total_rows, row0[axis],
                    launched);
    }
  } else if (p.entry_sampling == EntrySampling::WeightedDisc) {
    // The sphere loop's distribution and normaliser, reweighted.
    const double Rs = dom.Rs;
    F = p.N_total * 2.6666666666666665 / p.rho_g * p.m_gas / (4.0 * kPi * (Rs * Rs));
    total_rows = rt::loop_count(p.N_total);
    result.assign(static_cast<std::size_t>(total_rows) * 3, 0.0);
    const EntryDisc disc{{dom.centre[0], dom.centre[1], dom.centre[2]},
                         Rs,
                         p.N_total,
                         mol.coords.data(),
                         mol.R.data(),
                         mol.N,
                         p.disc_inner,
                         p.disc_outer,
                         p.disc_middle_density,
                         p.disc_outer_density};
    ctx->stream_loop = static_cast<std::uint32_t>(4 * (i - 1));
    run_disc_loop(ctx, disc, runner, result.data(), total_rows, 0, launched);
  } else {
    const double Rs = dom.Rs;
    F = p.N_total * 2.6666666666666665 / p.rho_g * p.m_gas / (4.0 * kPi * (Rs * Rs));
    total_rows = rt::loop_count(p.N_total);
    result.assign(static_cast<std::size_t>(total_rows) * 3, 0.0);
    const EntrySphere sphere{{dom.centre[0], dom.centre[1], dom.centre[2]}, Rs, p.N_total};
    ctx->stream_loop = static_cast<std::uint32_t>(4 * (i - 1));
    run_sphere_loop(ctx, sphere, runner, result.data(), total_rows, 0, launched);
  }
  if (p.variant == Variant::Well) {
    bool all_cols_nan = true;
    for (int j = 0; j < 3 && all_cols_nan; ++j) {
      bool has = false;
      for (int k = 0; k < total_rows && !has; ++k) has = std::isnan(result[k + j * total_rows]);
      all_cols_nan = has;
    }
    if (all_cols_nan) rt::print(ctx, "hello got ya2 \n");
  }
  for (int j = 0; j < 3; ++j) {
    double s = 0.0;
    for (int k = 0; k < total_rows; ++k) s += result[k + j * total_rows];
    row[j] = s / (F / 1e-20);
  }
}

// ------------------------------------------------------------- mobilities

// Mobility of the random orientations: the mean of the per-orientation
// mobilities that are not 0 (the soft field also leaves out NaN).
double mean_orientation_mobility(rt::Context* ctx, const TrajectoryParams& p,
                                 const std::vector<double>& K) {
  const bool well = p.variant == Variant::Well;
  double s = 0.0;
  double n = 0.0;
  bool nan_orientation = false;
  for (double k : K) {
    if (std::isnan(k)) nan_orientation = true;
    if (k != 0.0 && !(well && std::isnan(k))) {
      s += k;
      n += 1.0;
    }
  }
  if (well && nan_orientation) rt::print(ctx, "one here\n");
  return s / n;
}

// Axis mode: the mobility from the eigenvalues of the tensor (the first
// three table rows, in input axes), and from 2000 directions through it.
void tensor_mobilities(const TrajectoryParams& p, const double* table, int n_rot,
                       double mass_factor, double* K1, double* K2) {
  double T[9];
  for (int r = 0; r < 3; ++r) {
    for (int j = 0; j < 3; ++j) T[r + 3 * j] = table[r + j * n_rot];
  }
  creal_T lam[3];
  rt::eig(T, lam);
  const double inv_sum = 1.0 / lam[0].re + 1.0 / lam[1].re + 1.0 / lam[2].re;
  *K1 = p.z * (0.3333333333333333 * mass_factor * inv_sum) * p.e * 10000.0;
  const double mean = geometry::direction_average(T, geometry::Products::Blas);
  *K2 = p.z * (mass_factor / mean) * p.e * 10000.0;
}

void write_results(const TrajectoryParams& p, double K1, double K2, double launched,
                   TrajectoryResults* out) {
  const double mass_ratio = p.m_gas / p.m_w;
  const double G = mason_schamp_g(p.m_gas, p.Kb, p.T0, std::sqrt(1.0 + mass_ratio), p.z, p.e,
                                  p.rho_g);
  double* r = out->r;
  r[0] = 1.0;
  r[1] = 0.0;
  r[2] = 0.0;
  r[3] = 0.0;
  r[4] = launched;
  r[5] = 0.0;
  r[6] = ccs_from_driver_mobility(G, K1);
  r[7] = K1;
  r[8] = ccs_from_driver_mobility(G, K2);
  r[9] = K2;
  r[10] = 0.0;
  if (p.orientations == OrientationMode::AxisTensor) return;
  const std::size_t n_rot = out->table.size() / 3;
  out->per_orientation_ccs.resize(n_rot);
  const double mass_factor = std::sqrt(mass_ratio + 1.0);
  for (std::size_t i = 0; i < n_rot; ++i) {
    const double K_i = orientation_mobility(out->table[i], mass_factor, p.z, p.e);
    out->per_orientation_ccs[i] = ccs_from_driver_mobility(G, K_i);
  }
}

// What every orientation of a run shares, set up once.
struct RunShared {
  SoftField field;
  std::vector<double> backoff;  // N + 1 entries of 1000
  std::vector<double> ones_N;
  double dt0 = 0;
};

RunShared run_shared(const TrajectoryParams& p, int N) {
  RunShared r;
  r.field = soft_field(p, N);
  r.backoff.assign(static_cast<std::size_t>(N) + 1, 1000.0);
  r.ones_N.assign(static_cast<std::size_t>(N), 1.0);
  r.dt0 = 1e-10 / p.v_c / 400.0;
  return r;
}

// Orientation i (1-based) of the oriented molecule m: its charge set, entry
// domain, kernels and trajectories. Writes its row (axis mode: in the input
// axes) and the trajectories launched; false when the three-site gas cannot
// run (not every atom carries a charge).
bool run_orientation(rt::Context* ctx, const TrajectoryParams& p, int i, const MoleculeState& m,
                     const RunShared& run, double row[3], double* launched) {
  const bool well = p.variant == Variant::Well;
  const ChargeSet c = charge_set(p, m);
  if (well && p.three_site && c.nq < m.N) return false;
  const DomainInputs din{m.coords.data(), m.N,     p.Number_atoms, m.R.data(),   m.Rmax,
                         well ? 2.0 : 0.0, c.nq,   c.q.data(),     c.qpos.data(), c.qA.data(),
                         p.boxdomain,      p.Kappa, p.min_entry_radius};
  EntryDomain dom = entry_domain(din);
  if (p.entry_sampling == EntrySampling::WeightedDisc && dom.use_box) {
    // The disc entry always launches from the sphere and exits its box.
    dom.use_box = false;
    for (int j = 0; j < 3; ++j) {
      dom.exit_box[2 * j] = (dom.centre[j] - dom.Rs) * 1e-10;
      dom.exit_box[2 * j + 1] = (dom.centre[j] + dom.Rs) * 1e-10;
    }
  }
  OrientationShared sh;
  sh.variant = p.variant;
  sh.many_charges = c.nq > 10 && !well;
  if (well) {
    soft_field_setup(p, m, c, run.field, run.ones_N, run.dt0, sh);
  } else {
    hard_sphere_setup(p, m, c, run.backoff, run.dt0, sh);
  }
  for (int j = 0; j < 6; ++j) sh.hs.par.box[j] = sh.box[j] = dom.exit_box[j];
  rt::print(ctx, dom.use_box ? "BOX \n" : "SPHERE \n");
  *launched = 0.0;
  run_batches(ctx, p, i, m, dom, sh, row, launched);
  if (p.orientations == OrientationMode::AxisTensor) geometry::row_to_input_axes(i, row);
  return true;
}

// The orientations one after another from the serial stream, each turning
// the molecule on from the last (the plug-ins), the trajectories of each in
// parallel. Rows of orientations not run stay 0.
void run_in_sequence(rt::Context* ctx, const TrajectoryParams& p, int n_rot, OrientationRows* rows) {
  MoleculeState m = prepare_molecule(p);
  const RunShared run = run_shared(p, m.N);
  for (int i = 1; i <= n_rot; ++i) {
    orient(p, i, m);
    double row[3];
    double launched = 0.0;
    if (!run_orientation(ctx, p, i, m, run, row, &launched)) break;
    for (int j = 0; j < 3; ++j) rows->table[(i - 1) + j * n_rot] = row[j];
    rows->launched[static_cast<std::size_t>(i - 1)] = launched;
    rows->last_run = i - 1;
    rt::count_orientation(ctx);
  }
}

// Mobilities and cross sections from the orientation table of all
// orientations; `launched` is the count of the last orientation run.
void summarize(rt::Context* ctx, const TrajectoryParams& p, TrajectoryResults* out,
               double launched) {
  const int n_rot = static_cast<int>(out->table.size() / 3);
  const double mass_factor = std::sqrt(p.m_gas / p.m_w + 1.0);
  double K1 = NAN;
  double K2 = NAN;
  if (p.orientations == OrientationMode::Random) {
    std::vector<double> K(static_cast<std::size_t>(n_rot), 0.0);
    for (int i = 0; i <= out->last_run; ++i) {
      K[static_cast<std::size_t>(i)] = orientation_mobility(out->table[i], mass_factor, p.z, p.e);
    }
    K1 = mean_orientation_mobility(ctx, p, K);
    K2 = K1;
  } else if (n_rot >= 3) {
    tensor_mobilities(p, out->table.data(), n_rot, mass_factor, &K1, &K2);
  }
  write_results(p, K1, K2, launched, out);
}

}  // namespace

void run_trajectory_orientations(rt::Context* ctx, const TrajectoryParams& p, int first,
                                 int count, OrientationRows* rows) {
  rows->first = first;
  rows->table.assign(static_cast<std::size_t>(count) * 3, 0.0);
  rows->launched.assign(static_cast<std::size_t>(count), 0.0);
  rows->last_run = count - 1;
  if (count < 1) return;
  const MoleculeState base = prepare_molecule(p, true);
  const RunShared run = run_shared(p, base.N);
  auto one = [&](rt::Context& tctx, MoleculeState& m, int k) {
    orient_keyed(ctx, p, first + k, base, m);
    double row[3] = {0.0, 0.0, 0.0};
    double launched = 0.0;
    run_orientation(&tctx, p, first + k + 1, m, run, row, &launched);
    for (int j = 0; j < 3; ++j) rows->table[k + static_cast<std::size_t>(j) * count] = row[j];
    rows->launched[static_cast<std::size_t>(k)] = launched;
    rt::count_orientation(&tctx);
  };
  // Whole orientations in parallel when there are enough to go round (no
  // thread waits at the end of an orientation), else the trajectories of
  // each in parallel; the streams make both give the same numbers.
  if (count >= 2 * rt::region_threads()) {
    rt::parallel_dynamic(
        ctx, 0, count, [&](rt::Context&) { return base.owning_copy(); },
        [&](MoleculeState& m, rt::Context& tctx, int k) { one(tctx, m, k); });
  } else {
    MoleculeState m = base.owning_copy();
    for (int k = 0; k < count; ++k) one(*ctx, m, k);
  }
}

void summarize_trajectory_orientations(rt::Context* ctx, const TrajectoryParams& p,
                                       const OrientationRows& rows, TrajectoryResults* out) {
  const int n_rot = static_cast<int>(rows.launched.size());
  out->table = rows.table;
  out->last_run = n_rot - 1;
  out->launched_total = 0.0;
  for (double l : rows.launched) out->launched_total += l;
  rt::MtState stream;
  rt::seed_summary_stream(ctx, stream);
  rt::rng::ScopedStream scoped(&stream);
  summarize(ctx, p, out, n_rot > 0 ? rows.launched.back() : 0.0);
}

void run_trajectory_method(rt::Context* ctx, const TrajectoryParams& p, TrajectoryResults* out) {
  const int n_rot = rt::loop_count(p.n_rotations);
  if (ctx->keyed_streams) {
    OrientationRows rows;
    run_trajectory_orientations(ctx, p, 0, n_rot, &rows);
    summarize_trajectory_orientations(ctx, p, rows, out);
    return;
  }
  rt::rng::rng(p.seedn);
  OrientationRows rows;
  rows.table.assign(static_cast<std::size_t>(n_rot) * 3, 0.0);
  rows.launched.assign(static_cast<std::size_t>(n_rot), 0.0);
  rows.last_run = -1;
  run_in_sequence(ctx, p, n_rot, &rows);
  out->table = rows.table;
  out->last_run = rows.last_run;
  out->launched_total = 0.0;
  for (double l : rows.launched) out->launched_total += l;
  summarize(ctx, p, out, rows.last_run >= 0 ? rows.launched[static_cast<std::size_t>(rows.last_run)] : 0.0);
}

}  // namespace ccs::trajectory
