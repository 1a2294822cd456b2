#include "trajectory/trajectory_driver.h"

#include <cmath>
#include <string>
#include <vector>

#include "runtime/blas.h"
#include "runtime/numeric.h"
#include "runtime/random_streams.h"
#include "trajectory/trajectory_kernels.h"
#include "trajectory/lj_kernels.h"
#include "trajectory/trajectory_batches.h"

namespace ccs::trajectory {
namespace {

constexpr double kPi = 3.141592653589793;

int cols_of(const emxArray_real_T* a) { return a->numDimensions > 1 ? a->size[1] : 1; }

// Column-major 3x3 from rows.
void set3(double M[9], double a11, double a12, double a13, double a21, double a22, double a23,
          double a31, double a32, double a33) {
  M[0] = a11; M[3] = a12; M[6] = a13;
  M[1] = a21; M[4] = a22; M[7] = a23;
  M[2] = a31; M[5] = a32; M[8] = a33;
}
void rot_x(double M[9], double t) {
  set3(M, 1, 0, 0, 0, std::cos(t), -std::sin(t), 0, std::sin(t), std::cos(t));
}
void rot_y(double M[9], double t) {
  set3(M, std::cos(t), 0, std::sin(t), 0, 1, 0, -std::sin(t), 0, std::cos(t));
}
void rot_z(double M[9], double t) {
  set3(M, std::cos(t), -std::sin(t), 0, std::sin(t), std::cos(t), 0, 0, 0, 1);
}

// rows x 3 table (leading dimension rows) times Rx, Ry, Rz, in that order.
void rotate_rows(double* P, int rows, const double Rx[9], const double Ry[9], const double Rz[9],
                 std::vector<double>& tmp) {
  if (rows < 1) return;
  tmp.resize(static_cast<std::size_t>(rows) * 3);
  rt::gemm(rows, 3, 3, P, Rx, tmp.data());
  std::vector<double> t2(static_cast<std::size_t>(rows) * 3);
  rt::gemm(rows, 3, 3, tmp.data(), Ry, t2.data());
  rt::gemm(rows, 3, 3, t2.data(), Rz, P);
}

// Everything the trajectories of one orientation share, read-only in the loops.
struct OrientationShared {
  Variant variant;
  bool many_charges;  // nq > 10: the matrix form of the field
  TrajectoryContext hs;  // hard-sphere kernels
  // Lennard-Jones kernels.
  int lj_kernel = 0;  // 0: atom field + charges, 1: charges on the atoms, 2: three-site gas
  double nq = 0;
  LjArray ones_N{}, q{}, q2{}, qpos{}, ones_q{}, near_idx{}, lj_att{}, lj_rep{}, lj_energy{},
      coords_m{}, q_force{}, q_energy{};
  double K_pol = 0;
  double kT = 0;  // three-site orientation weights (J)
  double box[6] = {0};
  double deltatenhance = 0, Force_const = 0, dt0 = 0, m_gas = 0, v_c = 0, v_c_t = 0,
         near_flag = 0;
};

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

void run_one(rt::Context* tctx, const void* shared, void* work, const double p[3],
             const double d[3], double x_red, double dp[3]) {
  const auto& s = *static_cast<const OrientationShared*>(shared);
  auto& w = *static_cast<ThreadWork*>(work);
  if (s.variant == Variant::Well) {
    if (s.lj_kernel == 2) {
      three_site_gas_trajectory(&w.lj, s.box, s.q, p, d, s.deltatenhance, s.Force_const, s.dt0,
                                x_red, s.m_gas, s.v_c, s.v_c_t, s.near_flag, s.lj_att,
                                s.coords_m, s.lj_rep, s.near_idx, s.lj_energy, s.K_pol,
                                s.q_force, s.q_energy, s.kT, dp);
    } else if (s.lj_kernel == 1) {
      mompolsimpGUIFreeLJparforpc(&w.lj, s.box, s.q, s.qpos, p, d, s.nq, s.deltatenhance,
                                  s.Force_const, s.dt0, x_red, s.m_gas, s.v_c, s.v_c_t,
                                  s.lj_att, s.lj_rep, s.ones_N, s.near_flag, s.near_idx, dp);
    } else {
      mompolsimpGUIFreeLJparfor(&w.lj, s.ones_N, s.box, s.q, s.q2, s.qpos, s.nq,
                                s.deltatenhance, s.Force_const, s.dt0, x_red, s.m_gas, s.v_c,
                                s.v_c_t, p, d, s.lj_att, s.coords_m, s.lj_rep, s.ones_q,
                                s.near_flag, s.near_idx, dp);
    }
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
    mompolsimpGUIFree20parfor(tctx, s.hs, probe, w.scratch);
  } else if (s.variant == Variant::Moving) {
    mompoloptGUIFreeparforMD(tctx, s.hs, probe, w.scratch);
  } else {
    mompoloptGUIFreeparfor(tctx, s.hs, probe, w.scratch);
  }
  for (int j = 0; j < 3; ++j) dp[j] = probe.dp[j];
}

// New (x, y, z) = old (y, z, x) for the rows of a column-major rows x 3 table.
void cycle_axes(double* P, int rows) {
  for (int a = 0; a < rows; ++a) {
    const double x = P[a];
    P[a] = P[a + rows];
    P[a + rows] = P[a + 2 * rows];
    P[a + 2 * rows] = x;
  }
}

// |E|^2 of the charges at p (m).
double field_squared(const std::vector<double>& qpos, const std::vector<double>& q, int nq,
                     const double p[3]) {
  double E[3] = {0.0, 0.0, 0.0};
  for (int j = 0; j < nq; ++j) {
    const double r[3] = {qpos[j] - p[0], qpos[j + nq] - p[1], qpos[j + 2 * nq] - p[2]};
    const double d = std::sqrt((r[0] * r[0] + r[1] * r[1]) + r[2] * r[2]);
    const double d3 = d * d * d;
    for (int i = 0; i < 3; ++i) E[i] += q[j] * r[i] / d3;
  }
  return (E[0] * E[0] + E[1] * E[1]) + E[2] * E[2];
}

}  // namespace

void trajectory_check_inputs(Variant v, const TrajectoryInputs& in) {
  const emxArray_real_T* atoms = in.DATA_atoms;
  const int rows = atoms->size[0];
  const int cols = cols_of(atoms);
  const double N = in.Number_atoms;
  const std::string id = "trajectory:badInput";
  if (!(N >= 1.0) || N != std::floor(N) || N != static_cast<double>(rows)) {
    rt::raise(id, "Number_atoms must be a whole number of at least 1 equal to the row count of "
                  "DATA_atoms (" + std::to_string(rows) + ").");
  }
  if (cols < 4) {
    rt::raise(id, "DATA_atoms must have at least 4 columns (x, y, z, radius); it has " +
                      std::to_string(cols) + ".");
  }
  if (in.MobcalHS == 0.0 && !(in.n_rotations >= 3.0)) {
    rt::raise(id, "n_rotations must be at least 3 when MobcalHS = 0 (the three axis "
                  "orientations form the mobility tensor).");
  }
  // Counts of 2^29 or more (or +Inf) are refused (rt::count_fits; NaN and
  // counts below 1 mean none).
  if (!rt::count_fits(in.n_rotations)) {
    rt::raise(id, "n_rotations must be a number of orientations below 2^29.");
  }
  if (!rt::count_fits(in.N_total)) {
    rt::raise(id, "N_total must be a number of trajectories below 2^29.");
  }
  if (!rt::count_fits(in.multiplier)) {
    rt::raise(id, "multiplier must be a number of passes below 2^29.");
  }
  if (v != Variant::Well && in.diffusive != 0.0 && in.diffusive != 1.0) {
    rt::raise(id, "diffusive must be 0 (specular re-emission) or 1 (cosine law).");
  }
  if (v == Variant::Moving) {
    const int n = rows;
    if (rt::numel(in.massarray) < n) {
      rt::raise(id, "massarray must hold one mass per atom (" + std::to_string(n) +
                        "); it has " + std::to_string(rt::numel(in.massarray)) + ".");
    }
    const int mrows = in.Move_pos->size[0];
    const int mcols = cols_of(in.Move_pos);
    if (mcols != 3 || mrows % n != 0 || mrows / n < 2) {
      rt::raise(id, "Move_pos must stack at least 2 frames of Number_atoms rows of x, y, z; "
                    "it is " + std::to_string(mrows) + "x" + std::to_string(mcols) + ".");
    }
  }
  if (v == Variant::Well) {
    const struct {
      const char* name;
      const emxArray_real_T* a;
    } arrays[] = {{"epsili", in.epsili}, {"sigmai", in.sigmai}, {"sigma2i", in.sigma2i}};
    for (const auto& a : arrays) {
      if (rt::numel(a.a) < rows) {
        rt::raise(id, std::string(a.name) + " must hold one value per atom (" +
                          std::to_string(rows) + "); it has " + std::to_string(rt::numel(a.a)) +
                          ".");
      }
    }
    if (in.qpol == 1.0) {
      bool all_charged = cols >= 5;
      for (int i = 0; all_charged && i < rows; ++i) {
        if (std::isnan(atoms->data[i + 4 * rows])) all_charged = false;
      }
      if (!all_charged) {
        rt::raise(id, "qpol = 1 (three-site gas model) needs a partial charge on every atom: "
                      "column 5 of DATA_atoms must be present and not NaN.");
      }
    }
  }
}

void run_trajectory_method(rt::Context* ctx, Variant v, const TrajectoryInputs& in,
                           emxArray_real_T* table, TrajectoryResults* out) {
  const bool well = v == Variant::Well;
  const bool moving = v == Variant::Moving;
  const bool axis_mode = in.MobcalHS == 0.0;
  const emxArray_real_T* atoms = in.DATA_atoms;
  const int rows = atoms->size[0];
  const int cols = cols_of(atoms);
  const int N = static_cast<int>(in.Number_atoms);

  // 1. Serial stream.
  rt::rng::rng(in.seedn);
  out->launched_total = 0.0;

  // 2. Collision radii and charges.
  std::vector<double> R(N), R2(N), q_all(N, NAN), coords(static_cast<std::size_t>(N) * 3);
  for (int i = 0; i < N; ++i) {
    R[i] = atoms->data[i + 3 * rows] + in.r_probe;
    R2[i] = R[i] * R[i];
    if (cols > 4) q_all[i] = atoms->data[i + 4 * rows];
    for (int j = 0; j < 3; ++j) coords[i + j * N] = atoms->data[i + j * rows];
  }
  const double Rmax = rt::max_skip_nan(R.data(), N);

  // 3. Orientation table, per-orientation mobilities, back-off row.
  const int n_rot = rt::loop_count(in.n_rotations);
  rt::resize(table, n_rot, 3);
  for (int k = 0; k < n_rot * 3; ++k) table->data[k] = 0.0;
  std::vector<double> K(static_cast<std::size_t>(n_rot), 0.0);
  std::vector<double> backoff(static_cast<std::size_t>(N) + 1, 1000.0);
  std::vector<double> ones_N(static_cast<std::size_t>(N), 1.0);

  // 4. Centre the atoms (and the stored frames on the same centroid).
  double c[3];
  for (int j = 0; j < 3; ++j) {
    double s = 0.0;
    for (int i = 0; i < N; ++i) s += coords[i + j * N];
    c[j] = s / in.Number_atoms;
    for (int i = 0; i < N; ++i) coords[i + j * N] -= c[j];
  }
  double* move = nullptr;
  int move_rows = 0;
  if (moving) {
    move = in.Move_pos->data;
    move_rows = in.Move_pos->size[0];
    for (int j = 0; j < 3; ++j) {
      for (int i = 0; i < move_rows; ++i) move[i + j * move_rows] -= c[j];
    }
  }

  // Lennard-Jones coefficients, once per call.
  std::vector<double> lj_att, lj_rep, lj_energy;
  double K_pol = 0.0;
  if (well) {
    lj_att.resize(N);
    lj_rep.resize(N);
    lj_energy.resize(N);
    lj_coefficients(in.epsili->data, in.sigmai->data, in.sigma2i->data, N, in.m_gas,
                    lj_att.data(), lj_rep.data(), lj_energy.data());
    // Positive for every ion: the site charges belong to the gas molecule,
    // and the ion's charges carry their own signs into every term.
    K_pol = lj_polarisation_constant(in.m_gas);
  }

  const double mass_ratio = in.m_gas / in.m_w;
  const double pad = well ? 2.0 : 0.0;
  double launched = 0.0;
  std::vector<double> tmp;
  std::vector<double> result;
  bool nan_orientation = false;

  for (int i = 1; i <= n_rot; ++i) {
    // 6.1 Orientation.
    if (axis_mode) {
      if (i == 2 || i == 3) {
        // new (x, y, z) = old (y, z, x), for the atoms and their frames alike
        cycle_axes(coords.data(), N);
        if (moving) cycle_axes(move, move_rows);
      }
    } else {
      const double ta = 6.283185307179586 * rt::rng::rand();
      const double tb = 6.283185307179586 * rt::rng::rand();
      const double tc = 6.283185307179586 * rt::rng::rand();
      double Rx[9], Ry[9], Rz[9];
      rot_x(Rx, tb);
      rot_y(Ry, ta);
      rot_z(Rz, tc);
      rotate_rows(coords.data(), N, Rx, Ry, Rz, tmp);
      if (moving) rotate_rows(move, move_rows, Rx, Ry, Rz, tmp);
    }

    // 6.2-6.3 Charge set.
    std::vector<double> idx;
    for (int a = 0; a < N; ++a) {
      if (!std::isnan(q_all[a])) idx.push_back(a + 1.0);
    }
    const bool no_charged = idx.empty();
    const int nq = no_charged ? 1 : static_cast<int>(idx.size());
    std::vector<double> qpos(static_cast<std::size_t>(nq) * 3, 0.0), q(nq), q2(nq);
    if (no_charged) {
      idx.push_back(1.0);
      q[0] = in.z;
      if (well) {
        // The single charge sits at the centroid of the current coordinates.
        for (int j = 0; j < 3; ++j) {
          double s = 0.0;
          for (int a = 0; a < N; ++a) s += coords[a + j * N];
          qpos[j] = s / in.Number_atoms * 1e-10;
        }
      }
    } else {
      for (int k = 0; k < nq; ++k) {
        const int a = static_cast<int>(idx[k]) - 1;
        q[k] = q_all[a];
        for (int j = 0; j < 3; ++j) qpos[k + j * nq] = coords[a + j * N] * 1e-10;
      }
    }
    for (int k = 0; k < nq; ++k) q2[k] = q[k] * q[k];
    const bool many = nq > 10;

    // Three-site gas model needs a charge on every atom.
    if (well && in.qpol == 1.0 && nq < N) break;

    // 6.4 Extents of the atoms (padded) and of the charges (Å).
    double lo[3], hi[3], qlo[3], qhi[3];
    for (int j = 0; j < 3; ++j) {
      lo[j] = rt::min_skip_nan(coords.data() + j * N, N) - Rmax - pad;
      hi[j] = rt::max_skip_nan(coords.data() + j * N, N) + Rmax + pad;
    }
    std::vector<double> qA(static_cast<std::size_t>(nq) * 3);
    for (int k = 0; k < nq * 3; ++k) qA[k] = qpos[k] * 1e10;
    for (int j = 0; j < 3; ++j) {
      qlo[j] = rt::min_skip_nan(qA.data() + j * nq, nq);
      qhi[j] = rt::max_skip_nan(qA.data() + j * nq, nq);
    }

    // 6.5 Entry-box extents.
    const bool weak_single = nq == 1 && q[0] <= 1.0;
    double test_pts[6][3] = {{0}};
    if (weak_single) {
      for (int j = 0; j < 3; ++j) {
        if (in.boxdomain == 1.0) {
          lo[j] = std::fmin(lo[j] - 1.0, qlo[j] - 1.0);
          hi[j] = std::fmax(hi[j] + 1.0, qhi[j] + 1.0);
        } else {
          lo[j] = std::fmin(lo[j], qlo[j] - in.boxdomain);
          hi[j] = std::fmax(hi[j], qhi[j] + in.boxdomain);
        }
      }
    } else {
      for (int k = 0; k < 6; ++k) {
        const int axis = k % 3;
        // First charge attaining the minimum (k < 3) or maximum of this axis.
        const double target = k < 3 ? qlo[axis] : qhi[axis];
        int which = 0;
        for (int m = 0; m < nq; ++m) {
          if (qA[m + axis * nq] == target) {
            which = m;
            break;
          }
        }
        double pt[3] = {qA[which], qA[which + nq], qA[which + 2 * nq]};
        const double base = pt[axis];
        double dist = 10.0;
        for (int tries = 0; tries < 76; ++tries) {
          pt[axis] = k < 3 ? base - dist : base + dist;
          const double pm[3] = {pt[0] * 1e-10, pt[1] * 1e-10, pt[2] * 1e-10};
          if (field_squared(qpos, q, nq, pm) * in.Kappa <= 0.005) break;
          dist = dist + 1.0;
        }
        for (int j = 0; j < 3; ++j) test_pts[k][j] = pt[j];
      }
      for (int j = 0; j < 3; ++j) {
        lo[j] = std::fmin(lo[j], test_pts[j][j]);
        hi[j] = std::fmax(hi[j], test_pts[j + 3][j]);
      }
    }
    double cc[3];
    for (int j = 0; j < 3; ++j) {
      double s = 0.0;
      for (int a = 0; a < N; ++a) s += coords[a + j * N];
      cc[j] = s / in.Number_atoms;
    }
    if (in.min_entry_radius > 0.0) {
      for (int j = 0; j < 3; ++j) {
        lo[j] = std::fmin(lo[j], cc[j] - in.min_entry_radius);
        hi[j] = std::fmax(hi[j], cc[j] + in.min_entry_radius);
      }
    }
    double box[6];
    for (int j = 0; j < 3; ++j) {
      box[2 * j] = lo[j] * 1e-10;
      box[2 * j + 1] = hi[j] * 1e-10;
    }
    const double L[3] = {hi[0] - lo[0], hi[1] - lo[1], hi[2] - lo[2]};
    const double A = L[1] * L[2];

    // 6.6 Entry sphere and kernel constants.
    double R_atoms = 0.0;
    for (int a = 0; a < N; ++a) {
      const double dv[3] = {coords[a] - cc[0], coords[a + N] - cc[1], coords[a + 2 * N] - cc[2]};
      const double r = rt::b_norm(dv) + R[a];
      if (r > R_atoms) R_atoms = r;
    }
    R_atoms = R_atoms + pad;
    launched = 0.0;
    double Rs;
    if (weak_single) {
      Rs = std::fmax(R_atoms, in.boxdomain);
    } else {
      double m = 0.0;
      for (int k = 0; k < 6; ++k) {
        for (int j = 0; j < 3; ++j) m = std::fmax(m, std::fabs(test_pts[k][j] - cc[j]));
      }
      Rs = std::fmax(R_atoms, m);
    }
    if (in.min_entry_radius > 0.0) Rs = std::fmax(Rs, in.min_entry_radius);
    const double dt0 = 1e-10 / in.v_c / 400.0;
    double r_capture = 0.0;
    if (nq == 1) {
      for (int a = 0; a < N; ++a) {
        const double dv[3] = {qA[0] - coords[a], qA[1] - coords[a + N], qA[2] - coords[a + 2 * N]};
        const double r = rt::b_norm(dv) + R[a];
        if (r > r_capture) r_capture = r;
      }
      r_capture *= 1e-10;
    }
    std::vector<double> near_idx;
    for (int k = 0; k < nq; ++k) {
      if (std::fabs(q[k]) > 1.5) near_idx.push_back(k + 1.0);
    }
    const double near_flag = near_idx.empty() ? 0.0 : 1.0;

    // Shared record of the orientation.
    std::vector<double> coords_m, ones_q(static_cast<std::size_t>(nq), 1.0), q_force, q_energy;
    OrientationShared sh;
    sh.variant = v;
    sh.many_charges = many && !well;
    sh.hs.mol.N = N;
    sh.hs.mol.coords = coords.data();
    sh.hs.mol.R = R.data();
    sh.hs.mol.R2 = R2.data();
    if (moving) {
      sh.hs.mol.massarray = in.massarray->data;
      sh.hs.mol.Move_pos = move;
      sh.hs.mol.move_rows = move_rows;
      sh.hs.mol.cfactor = in.cfactor;
    }
    sh.hs.charges.nq = nq;
    sh.hs.charges.q = q.data();
    sh.hs.charges.q2 = q2.data();
    sh.hs.charges.qpos = qpos.data();
    sh.hs.charges.n_charged = static_cast<int>(idx.size());
    sh.hs.charges.near_flag = near_flag;
    sh.hs.charges.near_idx = near_idx.data();
    sh.hs.charges.n_near = static_cast<int>(near_idx.size());
    KernelParams& par = sh.hs.par;
    par.deltatenhance = in.deltatenhance;
    par.random_C = in.random_C;
    par.diffusive = in.diffusive;
    par.r_capture = r_capture;
    par.Force_const = in.Force_const;
    par.dt0 = dt0;
    par.a = in.a;
    par.m_gas = in.m_gas;
    par.v_c = in.v_c;
    par.v_c2 = in.v_c2;
    par.v_c_return = in.v_c_return;
    par.multiplier = in.multiplier;
    par.v_c_t = in.v_c_t;
    sh.hs.dist_back_init = backoff.data();

    // 6.7 Domain choice.
    const bool use_box = L[0] * A <= Rs * 4.0 * kPi * (Rs * Rs) / 3.0;
    rt::print(ctx, use_box ? "BOX \n" : "SPHERE \n");
    EntrySphere sphere{{cc[0], cc[1], cc[2]}, Rs, in.N_total};
    if (!use_box) {
      for (int j = 0; j < 3; ++j) {
        box[2 * j] = (cc[j] - Rs) * 1e-10;
        box[2 * j + 1] = (cc[j] + Rs) * 1e-10;
      }
    }
    for (int j = 0; j < 6; ++j) par.box[j] = box[j];

    if (well) {
      coords_m.resize(static_cast<std::size_t>(N) * 3);
      for (int k = 0; k < N * 3; ++k) coords_m[k] = coords[k] * 1e-10;
      q_force.resize(nq);
      q_energy.resize(nq);
      lj_charge_coefficients(q.data(), nq, K_pol, q_force.data(), q_energy.data());
      sh.nq = nq;
      sh.ones_N = {ones_N.data(), N, 1};
      sh.q = {q.data(), nq, 1};
      sh.q2 = {q2.data(), nq, 1};
      sh.qpos = {qpos.data(), nq, 3};
      sh.ones_q = {ones_q.data(), nq, 1};
      sh.near_idx = {near_idx.data(), static_cast<std::int32_t>(near_idx.size()), 1};
      sh.lj_att = {lj_att.data(), N, 1};
      sh.lj_rep = {lj_rep.data(), N, 1};
      sh.lj_energy = {lj_energy.data(), N, 1};
      sh.coords_m = {coords_m.data(), N, 3};
      sh.q_force = {q_force.data(), nq, 1};
      sh.q_energy = {q_energy.data(), 1, nq};
      sh.K_pol = K_pol;
      sh.kT = in.three_site_kT;
      for (int j = 0; j < 6; ++j) sh.box[j] = box[j];
      sh.deltatenhance = in.deltatenhance;
      sh.Force_const = in.Force_const;
      sh.dt0 = dt0;
      sh.m_gas = in.m_gas;
      sh.v_c = in.v_c;
      sh.v_c_t = in.v_c_t;
      sh.near_flag = near_flag;
      // Charges on the atoms: the length of the charge-position table (the
      // larger of its row count and 3) equals the atom count. The same test
      // serves every loop, so identical physics always takes the same kernel.
      // Only a charge on every atom makes the two tables line up: a table of
      // fewer charges would be read past its end.
      const int qlen = nq > 3 ? nq : 3;
      sh.lj_kernel = in.qpol == 1.0 ? 2 : (qlen == N && nq == N && !no_charged ? 1 : 0);
    }
    const TrajectoryRunner runner{&make_work, &run_one, &destroy_work, &sh};

    // 6.8 / 6.9 Trajectories.
    double F;
    int total_rows;
    {
      rt::rng::LoopStreams loop_streams;
      if (use_box) {
        const double N0 = in.N_total;
        const double Ay = 2.0 * L[2] * L[0];
        const double Az = 2.0 * L[1] * L[0];
        const double D = (Ay + Az) / kPi + A;
        // Face counts of at most ceil(N_total) each (the input check keeps
        // N_total below 2^29, so the total stays an int); none when the box
        // is not finite (a NaN or negative count has no loop).
        const int n_x = rt::face_count(std::ceil((N0 * A + N0 * A) * 0.5 / D), N0);
        const int n_y = rt::face_count(rt::round_half_away(Ay * N0 / kPi / D), N0);
        const int n_z = rt::face_count(rt::round_half_away(Az * N0 / kPi / D), N0);
        F = in.m_gas * (n_x / in.rho_g) / A;
        total_rows = n_x + n_y + n_z;
        result.assign(static_cast<std::size_t>(total_rows) * 3, 0.0);
        const EntryBox eb{{lo[0], lo[1], lo[2]}, {hi[0], hi[1], hi[2]}, {L[0], L[1], L[2]}};
        const int row0[3] = {0, n_x, n_x + n_y};
        const int count[3] = {n_x, n_y, n_z};
        for (int axis = 0; axis < 3; ++axis) {
          ctx->stream_loop = static_cast<std::uint32_t>(4 * (i - 1) + 1 + axis);
          run_face_loop(ctx, axis, count[axis], eb, runner, result.data(), total_rows,
                        row0[axis], &launched);
        }
      } else {
        F = in.N_total * 2.6666666666666665 / in.rho_g * in.m_gas / (4.0 * kPi * (Rs * Rs));
        total_rows = rt::loop_count(in.N_total);
        result.assign(static_cast<std::size_t>(total_rows) * 3, 0.0);
        ctx->stream_loop = static_cast<std::uint32_t>(4 * (i - 1));
        run_sphere_loop(ctx, sphere, runner, result.data(), total_rows, 0, &launched);
      }
    }

    // 6.10 Row i: column sums over the flux normaliser.
    if (well) {
      bool all_cols_nan = true;
      for (int j = 0; j < 3 && all_cols_nan; ++j) {
        bool has = false;
        for (int k = 0; k < total_rows && !has; ++k) has = std::isnan(result[k + j * total_rows]);
        all_cols_nan = has;
      }
      if (all_cols_nan) rt::print(ctx, "hello got ya2 \n");
    }
    double row[3];
    for (int j = 0; j < 3; ++j) {
      double s = 0.0;
      for (int k = 0; k < total_rows; ++k) s += result[k + j * total_rows];
      row[j] = s / (F / 1e-20);
    }
    // 6.11 Axis permutation back to the input axes, or the mobility.
    if (axis_mode) {
      if (i == 2) {
        const double a0 = row[0], a1 = row[1], a2 = row[2];
        row[0] = a2;
        row[1] = a0;
        row[2] = a1;
      } else if (i == 3) {
        const double a0 = row[0], a1 = row[1], a2 = row[2];
        row[0] = a1;
        row[1] = a2;
        row[2] = a0;
      }
    } else {
      K[i - 1] = std::sqrt(mass_ratio + 1.0) / row[0] * in.z * in.e * 10000.0;
      if (std::isnan(K[i - 1])) nan_orientation = true;
    }
    for (int j = 0; j < 3; ++j) table->data[(i - 1) + j * n_rot] = row[j];
    out->launched_total += launched;
    rt::count_orientation(ctx);
  }

  // 7. Mobilities.
  double K1;
  double K2;
  if (!axis_mode) {
    double s = 0.0;
    double n = 0.0;
    for (int i = 0; i < n_rot; ++i) {
      // The soft-field method leaves NaN orientations out as well.
      if (K[i] != 0.0 && !(well && std::isnan(K[i]))) {
        s += K[i];
        n += 1.0;
      }
    }
    if (well && nan_orientation) rt::print(ctx, "one here\n");
    K1 = s / n;
    K2 = K1;
  } else if (n_rot < 3) {
    // Too few orientations for a tensor (rejected at the boundary).
    K1 = NAN;
    K2 = NAN;
  } else {
    // The first three rows form the tensor (in input axes).
    double T[9];
    for (int r = 0; r < 3; ++r) {
      for (int j = 0; j < 3; ++j) T[r + 3 * j] = table->data[r + j * n_rot];
    }
    creal_T lam[3];
    rt::eig(T, lam);
    const double inv_sum = 1.0 / lam[0].re + 1.0 / lam[1].re + 1.0 / lam[2].re;
    K1 = in.z * (0.3333333333333333 * std::sqrt(1.0 + mass_ratio) * inv_sum) * in.e * 10000.0;
    double u[3] = {1.0, 0.0, 0.0};
    double rec_sum = 0.0;
    std::vector<double> records(2000);
    for (int t = 0; t < 2000; ++t) {
      const double r1 = rt::rng::rand();
      const double r2 = rt::rng::rand();
      const double r3 = rt::rng::rand();
      double Rx[9], Ry[9], Rz[9], a[3], b[3];
      rot_x(Rx, 6.283185307179586 * r1);
      rot_y(Ry, 6.283185307179586 * r2);
      rot_z(Rz, 6.283185307179586 * r3);
      rt::gemm(1, 3, 3, u, Rx, a);
      rt::gemm(1, 3, 3, a, Ry, b);
      rt::gemm(1, 3, 3, b, Rz, u);
      double uT[3];
      double qf;
      rt::gemm(1, 3, 3, u, T, uT);
      rt::gemm(1, 1, 3, uT, u, &qf);
      records[t] = qf;
    }
    for (int t = 0; t < 2000; ++t) rec_sum += records[t];
    const double mean = rec_sum / 2000.0;
    K2 = in.z * (std::sqrt(1.0 + mass_ratio) / mean) * in.e * 10000.0;
  }

  // 8. Mason-Schamp.
  const double M = std::sqrt(in.m_gas * 0.3580986219567645 / in.Kb / in.T0);
  const double Q = std::sqrt(1.0 + mass_ratio) * in.z * in.e / in.rho_g;
  const double G = M * Q;
  double* r = out->r;
  r[0] = 1.0;
  r[1] = 0.0;
  r[2] = 0.0;
  r[3] = 0.0;
  r[4] = launched;
  r[5] = 0.0;
  r[6] = G / K1 * 10000.0 * 1e20 * kPi * 0.25;
  r[7] = K1;
  r[8] = G / K2 * 10000.0 * 1e20 * kPi * 0.25;
  r[9] = K2;
  r[10] = 0.0;
}

}  // namespace ccs::trajectory
