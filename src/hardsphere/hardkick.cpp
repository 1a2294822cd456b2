#include "hardsphere/hardkick.h"

#include <algorithm>
#include <cmath>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "hardsphere/entry_domain.h"
#include "hardsphere/momentum_transfer.h"
#include "hardsphere/orientation_transfer.h"
#include "runtime/constants.h"
#include "runtime/geometry.h"
#include "runtime/numeric.h"
#include "runtime/parallel.h"
#include "runtime/random_streams.h"

namespace ccs::hardsphere {
namespace {

// Mean of the entries that are not exactly 0 (NaN included).
double mean_nonzero(const std::vector<double>& K) {
  std::vector<double> kept;
  for (double k : K) {
    if (k != 0.0) kept.push_back(k);
  }
  return rt::mean_in_order(kept.data(), static_cast<int>(kept.size()));
}

// The molecule as the orientations start from it: centres and collision radii.
struct Molecule {
  int n = 0;
  std::vector<double> r, r2, P, tmp1, tmp2, ones, no_contact;  // tmp1, tmp2: Euler turns only
  double r_max = 0;
  // What the randomly turned copies share (keyed runs): a spatial index of
  // the centres as given (null: none, or each copy indexes its own), the
  // atoms the entry sphere's radius can come from, and hs_radii_bounded.
  std::shared_ptr<const HsGrid> unturned_grid;
  HsOutermostAtoms outermost;
  bool radii_bounded = false;
};

// How a copy of the molecule was turned: the rotation from the centres as
// given and the summary of the turned columns.
struct Turn {
  double R[9];
  geometry::ColumnSummary columns;
};

// The gas and the re-emission law of a run.
struct Gas {
  double rho, vbar, F;
};

Gas gas_of(const HardSphereParams& p) {
  return {hardkick_gas_density(p.p0, p.T0, p.m_gas), hardkick_thermal_speed(p.T0, p.m_gas),
          std::sqrt(p.m_gas / p.m_w + 1.0)};
}

// Orientation o (0-based) of molecule m with centres P: m's centres turned
// by `turn` when given (P is then m.P), else P as it stands (turned
// already). The row of transfers, the mobility and the trajectories launched.
void run_orientation(rt::Context* ctx, const HardSphereParams& p, const Gas& g, const Molecule& m,
                     const double* P, HsThreadScratch& scratch, int o, double row[3], double* K,
                     int* launched, const Turn* turn = nullptr) {
  HsAtoms atoms{m.n, m.ones.data(), m.no_contact.data(), m.r2.data(), P, nullptr};
  HsEntryDomain dom;
  if (turn != nullptr) {
    atoms.turn = turn->R;
    atoms.grid = m.unturned_grid.get();
    atoms.bounded = m.radii_bounded && hs_coordinates_bounded(turn->columns);
    hs_turned_entry_domain(P, m.n, p.Number_atoms, m.r.data(), m.r_max, turn->R, turn->columns,
                           m.outermost, &dom);
  } else {
    hs_entry_domain(P, m.n, p.Number_atoms, m.r.data(), m.r_max, &dom);
  }
  const HsEmission em{p.diffusive, p.a, g.vbar, p.v_c2, g.vbar, p.maxwell_speed};
  hs_orientation_transfer(ctx, atoms, em, dom, dom.use_box, p.N_total, g.rho, p.m_gas, scratch, o,
                          row, launched);
  *K = orientation_mobility(row[0], g.F, p.z, kHardSphereCharge);
}

// Axis mode: the mobility from the trace of the orientation table, and from
// 2000 directions through it (the products summed in written order).
void tensor_mobilities(const HardSphereParams& p, double F, HardSphereResults* out) {
  creal_T lambda[3];
  rt::eig(out->table.data(), lambda);
  const double e = kHardSphereCharge;
  out->r[3] = ((p.z * ((F * 3.0) / ((lambda[0].re + lambda[1].re) + lambda[2].re))) * e) * 10000.0;
  const double mean = geometry::direction_average(out->table.data(), geometry::Products::WrittenOrder);
  out->r[4] = ((p.z * (F / mean)) * e) * 10000.0;
}

// Mobilities and cross sections from the orientation table of all
// orientations (out->table, out->mobility).
void summarize(const HardSphereParams& p, const Gas& g, HardSphereResults* out) {
  const std::size_t NR = out->mobility.size();
  if (p.orientations == OrientationMode::Random) {
    if (NR > 0) out->r[3] = mean_nonzero(out->mobility);
    out->r[4] = out->r[3];
  } else {
    tensor_mobilities(p, g.F, out);
  }
  const double C = mason_schamp_g(p.m_gas, kHardSphereBoltzmann, p.T0, g.F, p.z, kHardSphereCharge, g.rho);
  out->r[1] = ccs_from_driver_mobility(C, out->r[3]);
  out->r[2] = ccs_from_driver_mobility(C, out->r[4]);
  if (p.orientations == OrientationMode::Random) {
    out->per_orientation_ccs.resize(NR);
    for (std::size_t i = 0; i < NR; ++i) {
      out->per_orientation_ccs[i] = out->r[1] * out->r[3] / out->mobility[i];
    }
  }
}

Molecule prepare_molecule(const HardSphereParams& p) {
  Molecule m;
  m.n = p.atoms.rows;
  const std::size_t N = static_cast<std::size_t>(m.n);
  m.r.resize(N);
  m.r2.resize(N);
  m.P.assign(p.atoms.data, p.atoms.data + 3 * N);
  m.ones.assign(N, 1.0);
  m.no_contact.assign(N, 1000.0);
  for (std::size_t i = 0; i < N; ++i) {
    m.r[i] = p.atoms.data[i + 3 * N] + p.r_probe;
    m.r2[i] = m.r[i] * m.r[i];
  }
  m.r_max = rt::max_skip_nan(m.r.data(), m.n);
  return m;
}

// The molecule of the keyed runs, with what its randomly turned copies share.
Molecule prepare_turned_runs(const HardSphereParams& p) {
  Molecule m = prepare_molecule(p);
  if (p.orientations != OrientationMode::Random) return m;
  const HsAtoms atoms{m.n, m.ones.data(), m.no_contact.data(), m.r2.data(), m.P.data(), nullptr};
  if (m.n >= kGridMinAtoms) {
    auto grid = std::make_shared<HsGrid>();
    if (hs_grid_build(atoms, grid.get())) m.unturned_grid = std::move(grid);
  }
  m.outermost = hs_outermost_atoms(m.P.data(), m.n, p.Number_atoms, m.r.data());
  m.radii_bounded = hs_radii_bounded(atoms);
  return m;
}

// A thread's working storage and, in axis mode, its copy of the centres
// with the axes cycled.
struct Worker {
  std::vector<double> P;
  HsThreadScratch scratch;
};

// Workers kept from one block to the next: a block's threads take them and
// give them back instead of allocating (and faulting in) a copy each.
class WorkerPool {
 public:
  // A worker for one thread's share of a block, given back when it ends.
  class Lease {
   public:
    Lease(WorkerPool* pool, std::unique_ptr<Worker> w) : pool_(pool), w_(std::move(w)) {}
    Lease(const Lease&) = delete;
    Lease& operator=(const Lease&) = delete;
    ~Lease() { pool_->give_back(std::move(w_)); }
    Worker& operator*() { return *w_; }

   private:
    WorkerPool* pool_;
    std::unique_ptr<Worker> w_;
  };

  Lease take() {
    std::unique_ptr<Worker> w;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (!idle_.empty()) {
        w = std::move(idle_.back());
        idle_.pop_back();
      }
    }
    if (!w) w = std::make_unique<Worker>();
    return Lease(this, std::move(w));
  }

 private:
  void give_back(std::unique_ptr<Worker> w) {
    std::lock_guard<std::mutex> lock(mutex_);
    idle_.push_back(std::move(w));
  }
  std::mutex mutex_;
  std::vector<std::unique_ptr<Worker>> idle_;
};

}  // namespace

struct HardSphereBlocks {
  Molecule base;
  WorkerPool workers;
};

std::shared_ptr<HardSphereBlocks> prepare_hard_sphere_blocks(const HardSphereParams& p) {
  auto b = std::make_shared<HardSphereBlocks>();
  b->base = prepare_turned_runs(p);
  return b;
}

void validate(const HardSphereParams& p) {
  const std::string id = "hardkick:badInput";
  if (p.atoms.cols < 4) rt::raise(id, "DATA_atoms must have at least 4 columns (x, y, z, radius).");
  if (!(p.Number_atoms >= 1.0)) rt::raise(id, "Number_atoms must be at least 1.");
  if (p.Number_atoms != static_cast<double>(p.atoms.rows)) {
    rt::raise(id, "Number_atoms must equal the number of rows of DATA_atoms.");
  }
  const int bad = rt::first_negative_row(p.atoms.data, p.atoms.rows, 3);
  if (bad >= 0) {
    rt::raise(id, "DATA_atoms column 4 (radius) must not be negative; row " + std::to_string(bad + 1) +
                      " holds " + std::to_string(p.atoms.data[bad + 3 * p.atoms.rows]) + ".");
  }
  if (p.orientations == OrientationMode::AxisTensor && p.n_rotations != 3.0) {
    rt::raise(id, "n_rotations must be 3 when MobcalHS is 0 (axis-permutation mode).");
  }
  // Counts of 2^29 or more (or +Inf) are refused (rt::count_fits): they
  // would saturate, or overflow the trajectory total of an entry box.
  if (!rt::count_fits(p.n_rotations)) {
    rt::raise(id, "n_rotations must be a number of orientations below 2^29.");
  }
  if (!rt::count_fits(p.N_total)) rt::raise(id, "N_total must be a number of trajectories below 2^29.");
}

void run_hard_sphere_orientations(rt::Context* ctx, const HardSphereParams& p, int first,
                                  int count, HardSphereRows* rows, HardSphereBlocks* prepared) {
  rows->first = first;
  rows->table.assign(3 * static_cast<std::size_t>(count), 0.0);
  rows->mobility.assign(static_cast<std::size_t>(count), 0.0);
  rows->launched.assign(static_cast<std::size_t>(count), 0);
  if (count < 1) return;
  const Gas g = gas_of(p);
  std::optional<HardSphereBlocks> own;
  if (prepared == nullptr) own.emplace().base = prepare_turned_runs(p);
  HardSphereBlocks& blocks = prepared != nullptr ? *prepared : *own;
  const Molecule& base = blocks.base;
  const bool axes = p.orientations == OrientationMode::AxisTensor;
  // Orientations [k0, k1) of the block: random ones turned together (one
  // pass over the molecule for all their column summaries), then run.
  auto group = [&](rt::Context& tctx, Worker& w, int k0, int k1) {
    std::vector<Turn> turns(static_cast<std::size_t>(axes ? 0 : k1 - k0));
    if (!axes) {
      std::vector<const double*> R;
      std::vector<geometry::ColumnSummary> columns(turns.size());
      for (int k = k0; k < k1; ++k) {
        rt::MtState stream;
        rt::seed_orientation_stream(ctx, static_cast<std::uint32_t>(first + k), stream);
        rt::rng::ScopedStream scoped(&stream);
        Turn& t = turns[static_cast<std::size_t>(k - k0)];
        geometry::draw_uniform_rotation(t.R);
        R.push_back(t.R);
      }
      geometry::summarize_turned_columns(base.P.data(), base.n, R.data(), k1 - k0, columns.data());
      for (std::size_t t = 0; t < turns.size(); ++t) turns[t].columns = columns[t];
    }
    for (int k = k0; k < k1; ++k) {
      const int o = first + k;
      if (axes) {
        w.P = base.P;
        for (int c = 0; c < o; ++c) geometry::cycle_axes(w.P.data(), base.n);
      }
      double row[3];
      int launched = 0;
      run_orientation(&tctx, p, g, base, axes ? w.P.data() : base.P.data(), w.scratch, o, row,
                      &rows->mobility[static_cast<std::size_t>(k)], &launched,
                      axes ? nullptr : &turns[static_cast<std::size_t>(k - k0)]);
      if (axes) geometry::row_to_input_axes(o + 1, row);
      for (int j = 0; j < 3; ++j) rows->table[k + static_cast<std::size_t>(j) * count] = row[j];
      rows->launched[static_cast<std::size_t>(k)] = launched;
      rt::count_orientation(&tctx);
    }
  };
  // Whole orientations in parallel when there are enough to go round (in
  // groups of up to geometry::kTurnsPerPass, as long as every thread still
  // gets two groups), else the trajectories of each; the keyed streams make
  // both give the same numbers.
  const int threads = rt::region_threads();
  if (count >= 2 * threads) {
    const int size = std::clamp(count / (2 * threads), 1, geometry::kTurnsPerPass);
    rt::parallel_dynamic(
        ctx, 0, (count + size - 1) / size, [&](rt::Context&) { return blocks.workers.take(); },
        [&](WorkerPool::Lease& w, rt::Context& tctx, int i) {
          group(tctx, *w, i * size, std::min(count, (i + 1) * size));
        });
  } else {
    WorkerPool::Lease w = blocks.workers.take();
    for (int k = 0; k < count; k += geometry::kTurnsPerPass)
      group(*ctx, *w, k, std::min(count, k + geometry::kTurnsPerPass));
  }
}

void summarize_hard_sphere_orientations(rt::Context* ctx, const HardSphereParams& p,
                                        const HardSphereRows& rows, HardSphereResults* out) {
  *out = HardSphereResults();
  out->table = rows.table;
  out->mobility = rows.mobility;
  for (int l : rows.launched) out->trajectories += l;
  rt::MtState stream;
  rt::seed_summary_stream(ctx, stream);
  rt::rng::ScopedStream scoped(&stream);
  summarize(p, gas_of(p), out);
}

void run_hard_sphere_method(rt::Context* ctx, const HardSphereParams& p, HardSphereResults* out) {
  rt::rng::ensure_initialised();
  const int n_rot = rt::loop_count(p.n_rotations);
  if (ctx->keyed_streams) {
    HardSphereRows rows;
    run_hard_sphere_orientations(ctx, p, 0, n_rot, &rows);
    summarize_hard_sphere_orientations(ctx, p, rows, out);
    return;
  }
  rt::rng::rng(p.seedn);
  *out = HardSphereResults();
  const Gas g = gas_of(p);
  Molecule m = prepare_molecule(p);
  m.tmp1.resize(3 * static_cast<std::size_t>(m.n));
  m.tmp2.resize(3 * static_cast<std::size_t>(m.n));
  const std::size_t NR = static_cast<std::size_t>(n_rot);
  out->table.assign(3 * NR, 0.0);
  out->mobility.assign(NR, 0.0);
  const bool axis_mode = p.orientations == OrientationMode::AxisTensor;
  HsThreadScratch scratch;
  for (int o = 0; o < n_rot; ++o) {
    if (!axis_mode) {
      geometry::rotate_rows(m.P.data(), m.n, geometry::draw_euler_angles(), m.tmp1.data(),
                            m.tmp2.data());
    } else if (o == 1 || o == 2) {
      geometry::cycle_axes(m.P.data(), m.n);
    }
    double row[3];
    int launched = 0;
    run_orientation(ctx, p, g, m, m.P.data(), scratch, o, row, &out->mobility[static_cast<std::size_t>(o)],
                    &launched);
    out->trajectories += launched;
    rt::count_orientation(ctx);
    if (axis_mode) geometry::row_to_input_axes(o + 1, row);
    for (int j = 0; j < 3; ++j) out->table[o + j * NR] = row[j];
  }
  summarize(p, g, out);
}

HardSphereParams plugin_params(const HardkickInputs& in) {
  HardSphereParams p;
  const emxArray_real_T* a = in.DATA_atoms;
  int cols = 1;
  for (int d = 1; d < a->numDimensions; ++d) cols *= a->size[d];
  p.atoms = {a->data, a->numDimensions >= 1 ? a->size[0] : 1, cols};
  p.Number_atoms = in.Number_atoms;
  p.r_probe = in.r_probe;
  p.m_gas = in.m_gas;
  p.m_w = in.m_w;
  p.z = in.z;
  p.p0 = in.p0;
  p.T0 = in.T0;
  p.orientations = orientation_mode_from_code(in.MobcalHS);
  p.n_rotations = in.n_rotations;
  p.N_total = in.N_total;
  p.seedn = in.seedn;
  p.a = in.a;
  p.diffusive = diffuse_direction_from_code(in.diffusive);
  p.maxwell_speed = maxwell_speed_from_code(in.random_C);
  p.v_c2 = in.v_c2;
  return p;
}

}  // namespace ccs::hardsphere

double hardkick_gas_density(double p0, double T0, double m_gas) {
  return (p0 * m_gas) / (ccs::kHardSphereBoltzmann * T0);
}

double hardkick_thermal_speed(double T0, double m_gas) {
  return std::sqrt((((T0 * 1.7664e-21) / 9.0) / ccs::kPi) / m_gas);
}

void hardkick(rt::Context* ctx, emxArray_real_T* DATA_atoms, double* /*excelsheet*/, double* r1,
              double* r2, double* r3, double Number_atoms, double r_probe, double m_gas, double m_w,
              double z, double N_total, double n_rotations, double a, double diffusive, double v_c2,
              double random_C, double p0, double T0, double seedn, double MobcalHS, double* r4,
              double* r5) {
  using namespace ccs::hardsphere;
  const HardkickInputs in{DATA_atoms, Number_atoms, r_probe, m_gas, m_w, z, N_total, n_rotations,
                          a, diffusive, v_c2, random_C, p0, T0, seedn, MobcalHS};
  const HardSphereParams p = plugin_params(in);
  validate(p);
  HardSphereResults res;
  run_hard_sphere_method(ctx, p, &res);
  *r1 = res.r[0];
  *r2 = res.r[1];
  *r3 = res.r[2];
  *r4 = res.r[3];
  *r5 = res.r[4];
}
