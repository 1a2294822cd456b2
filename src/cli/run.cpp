#include "cli/run.h"

#include <omp.h>

#include <chrono>
#include <cmath>
#include <stdexcept>

#include "cli/input_file.h"
#include "cli/method_params.h"
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

Numerics resolve_numerics(Method m, bool tensor, Numerics n, bool weighted_entry) {
  Numerics d;
  switch (m) {
    case Method::PA:
      d.orientations = 500;
      d.trajectories = ccs::projection::kDefaultLinesPerShadow * ccs::projection::kShadeDirections;
      break;
    case Method::EHSS:
      // Short orientations: for small and large ions alike the variance
      // between orientations is a few per cent of one trajectory's, and an
      // orientation's set-up costs about as much as a few trajectories
      // (README.md, the study of the split).
      d.orientations = 2000;
      d.trajectories = 100;
      break;
    case Method::TM:
    case Method::TMFixed:
    case Method::LJ:
      d.orientations = 500;
      d.trajectories = 300;
      d.deltatenhance = m == Method::LJ ? 80 : 40;
      d.multiplier = 100;
      if (weighted_entry) {
        // The same 150 000 trajectories, split where the variance is: with
        // the weighted entry the trajectories of one orientation vary about
        // 2 to 3 times their squared mean, the orientations of an elongated
        // ion (choline) about 0.01 times, and an orientation's set-up costs
        // about two trajectories; the cost for a given standard error is
        // least near 25 trajectories per orientation, and a near-spherical
        // ion (C60) loses under 10 %.
        d.orientations = 5000;
        d.trajectories = 30;
      }
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


// One run prepared for blocks of orientations.
struct PreparedRun::Impl {
  const Structure* s = nullptr;  // the caller's, which outlives the run
  RunSettings st;
  RunResult base;  // what is known before any orientation runs
  int orientations = 0;
  std::vector<double> table;  // pa, ehss: the atom table
  ccs::projection::ProjectionParams pa;
#ifdef CCS_CLI_HAVE_HARDKICK
  ccs::hardsphere::HardSphereParams hs;
  std::shared_ptr<ccs::hardsphere::HardSphereBlocks> hs_blocks;  // hs's molecule, prepared once
#endif
#ifdef CCS_CLI_HAVE_TRAJECTORY
  TrajectoryStore store;
  ccs::trajectory::TrajectoryParams tp;
#endif
};

PreparedRun::PreparedRun(const Structure& s, const RunSettings& settings)
    : impl_(std::make_unique<Impl>()) {
  Impl& m = *impl_;
  m.s = &s;
  m.st = settings;
  RunSettings& st = m.st;
  if (!method_available(st.method)) {
    throw std::runtime_error(std::string("method ") + method_name(st.method) +
                             " is not built into this program");
  }
  RunResult& r = m.base;
  r.z = ion_charge(s, st.charge);
  const bool trajectory = st.method == Method::TM || st.method == Method::TMFixed ||
                          st.method == Method::LJ;
  if (trajectory && st.numerics.boxdomain <= 0) {
    // The entry sphere of a weakly charged ion reaches out to where the
    // field of its charge no longer matters (the driver extends the domain
    // by the same rule for strong and several charges).
    st.numerics.boxdomain = std::fmax(field_radius(st.conditions, r.z), 1.5);
  }
  if (st.method == Method::LJ && st.numerics.deltatenhance < kMinLjDeltatenhance) {
    char buf[200];
    std::snprintf(buf, sizeof buf,
                  "deltatenhance %g is below %g, the least for lj: a coarser step makes the "
                  "Lennard-Jones cross section come out several per cent high (README.md)",
                  st.numerics.deltatenhance, kMinLjDeltatenhance);
    throw std::invalid_argument(buf);
  }
  r.numerics = st.numerics;
  r.mass = s.mass();
  r.orientations = st.tensor ? 3 : st.numerics.orientations;
  m.orientations = r.orientations;
  if (s.has_charges && std::fabs(s.charge_sum() - r.z) > 0.5) {
    char buf[160];
    std::snprintf(buf, sizeof buf,
                  "the partial charges sum to %.3f but the ion charge is %g; the field comes "
                  "from the partial charges",
                  s.charge_sum(), r.z);
    r.warnings.push_back(buf);
  }
  switch (st.method) {
    case Method::PA:
      m.pa = projection_params(*m.s, st, m.table);
      ccs::projection::validate(m.pa);
      break;
#ifdef CCS_CLI_HAVE_HARDKICK
    case Method::EHSS:
      m.hs = hard_sphere_params(*m.s, st, r.z, m.table);
      ccs::hardsphere::validate(m.hs);
      m.hs_blocks = ccs::hardsphere::prepare_hard_sphere_blocks(m.hs);
      break;
#endif
#ifdef CCS_CLI_HAVE_TRAJECTORY
    case Method::TM:
    case Method::TMFixed:
    case Method::LJ:
      if (st.method == Method::TM && s.n_frames > 1) {
        int charged = 0;
        for (const Atom& a : s.atoms) charged += std::isnan(a.charge) ? 0 : 1;
        if (charged > 10) {
          r.warnings.push_back("more than 10 partial charges: the atoms are struck as fixed, so "
                               "the frames and masses of --moving are not used");
        }
      }
      m.tp = trajectory_params(*m.s, st, m.store, r);
      ccs::trajectory::validate(m.tp);
      break;
#endif
    default:
      break;
  }
}

PreparedRun::~PreparedRun() = default;
PreparedRun::PreparedRun(PreparedRun&&) noexcept = default;

int PreparedRun::orientations() const { return impl_->orientations; }

int PreparedRun::values_per_orientation() const {
  switch (impl_->st.method) {
    case Method::PA: return 1;    // mean shadow area
    case Method::EHSS: return 5;  // transfer row, mobility, launched
    default: return 4;            // transfer row, launched
  }
}

std::vector<double> PreparedRun::run_block(int first, int count) const {
  const Impl& m = *impl_;
  const int w = values_per_orientation();
  std::vector<double> values(static_cast<std::size_t>(count > 0 ? count : 0) * w, 0.0);
  if (count < 1) return values;
  rt::rng::ensure_initialised();
  rt::RootContext root(nullptr);
  rt::Context* ctx = root.get();
  ctx->keyed_streams = true;
  ctx->stream_seed = m.st.seed;
  ctx->orientations_done = m.st.progress;
  ctx->cancel = m.st.cancel;
  switch (m.st.method) {
    case Method::PA: {
      std::vector<double> areas;
      ccs::projection::run_projection_orientations(ctx, m.pa, first, count, &areas);
      values = std::move(areas);
      break;
    }
#ifdef CCS_CLI_HAVE_HARDKICK
    case Method::EHSS: {
      ccs::hardsphere::HardSphereRows rows;
      ccs::hardsphere::run_hard_sphere_orientations(ctx, m.hs, first, count, &rows, m.hs_blocks.get());
      for (int k = 0; k < count; ++k) {
        double* v = values.data() + static_cast<std::size_t>(k) * w;
        for (int j = 0; j < 3; ++j) v[j] = rows.table[k + static_cast<std::size_t>(j) * count];
        v[3] = rows.mobility[static_cast<std::size_t>(k)];
        v[4] = rows.launched[static_cast<std::size_t>(k)];
      }
      break;
    }
#endif
#ifdef CCS_CLI_HAVE_TRAJECTORY
    case Method::TM:
    case Method::TMFixed:
    case Method::LJ: {
      ccs::trajectory::OrientationRows rows;
      ccs::trajectory::run_trajectory_orientations(ctx, m.tp, first, count, &rows);
      for (int k = 0; k < count; ++k) {
        double* v = values.data() + static_cast<std::size_t>(k) * w;
        for (int j = 0; j < 3; ++j) v[j] = rows.table[k + static_cast<std::size_t>(j) * count];
        v[3] = rows.launched[static_cast<std::size_t>(k)];
      }
      break;
    }
#endif
    default:
      break;
  }
  return values;
}

RunResult PreparedRun::finish(const std::vector<double>& values, double seconds) const {
  const Impl& m = *impl_;
  const RunSettings& st = m.st;
  RunResult r = m.base;
  const int n = m.orientations;
  const int w = values_per_orientation();
  if (values.size() != static_cast<std::size_t>(n) * w) {
    throw std::logic_error("finish: the values of every orientation are needed");
  }
  rt::RootContext root(nullptr);
  rt::Context* ctx = root.get();
  ctx->keyed_streams = true;
  ctx->stream_seed = st.seed;
  auto column = [&](int j, std::vector<double>& table) {
    for (int k = 0; k < n; ++k) table[k + static_cast<std::size_t>(j) * n] = values[static_cast<std::size_t>(k) * w + j];
  };
  switch (st.method) {
    case Method::PA: {
      const std::vector<double>& areas = values;
      // Probe lines over all shadows.
      r.trajectories = static_cast<double>(ccs::projection::lines_per_shadow(m.pa)) *
                       ccs::projection::kShadeDirections * n;
      double mean = NAN;
      mean_and_se(areas, &mean, &r.ccs_se, &r.orientations_used);
      double sum = 0.0, used = 0.0;  // the driver's mean: over the non-zero areas
      for (double a : areas) {
        if (a != 0.0) {
          sum += a;
          used += 1.0;
        }
      }
      r.ccs = sum / used;
      r.per_orientation = values;
      break;
    }
#ifdef CCS_CLI_HAVE_HARDKICK
    case Method::EHSS: {
      ccs::hardsphere::HardSphereRows rows;
      rows.table.assign(static_cast<std::size_t>(n) * 3, 0.0);
      for (int j = 0; j < 3; ++j) column(j, rows.table);
      for (int k = 0; k < n; ++k) {
        rows.mobility.push_back(values[static_cast<std::size_t>(k) * w + 3]);
        rows.launched.push_back(static_cast<int>(values[static_cast<std::size_t>(k) * w + 4]));
      }
      ccs::hardsphere::HardSphereResults res;
      ccs::hardsphere::summarize_hard_sphere_orientations(ctx, m.hs, rows, &res);
      r.trajectories = res.trajectories;
      if (st.tensor) {
        r.ccs = res.r[1];
        r.ccs_se = NAN;
        r.orientations_used = 3;
        r.tensor = principal_tensor(res.table.data(), r.z, m.s->mass(), st.conditions);
      } else {
        mean_and_se(res.per_orientation_ccs, &r.ccs, &r.ccs_se, &r.orientations_used);
        r.per_orientation = std::move(res.per_orientation_ccs);
      }
      break;
    }
#endif
#ifdef CCS_CLI_HAVE_TRAJECTORY
    case Method::TM:
    case Method::TMFixed:
    case Method::LJ: {
      ccs::trajectory::OrientationRows rows;
      rows.table.assign(static_cast<std::size_t>(n) * 3, 0.0);
      for (int j = 0; j < 3; ++j) column(j, rows.table);
      for (int k = 0; k < n; ++k) rows.launched.push_back(values[static_cast<std::size_t>(k) * w + 3]);
      ccs::trajectory::TrajectoryResults res;
      ccs::trajectory::summarize_trajectory_orientations(ctx, m.tp, rows, &res);
      r.trajectories = res.launched_total;
      if (st.tensor) {
        r.ccs = res.r[6];
        r.ccs_se = NAN;
        r.orientations_used = 3;
        r.tensor = principal_tensor(res.table.data(), r.z, m.s->mass(), st.conditions);
      } else {
        mean_and_se(res.per_orientation_ccs, &r.ccs, &r.ccs_se, &r.orientations_used);
        r.per_orientation = std::move(res.per_orientation_ccs);
      }
      break;
    }
#endif
    default:
      break;
  }
  r.seconds = seconds;
  r.K = mobility_from_ccs(r.ccs, r.z, r.mass, st.conditions);
  r.K0 = reduced_mobility(r.K, st.conditions);
  if (r.orientations_used < r.orientations && !st.tensor) {
    r.warnings.push_back(std::to_string(r.orientations - r.orientations_used) +
                         " orientation(s) gave no finite estimate and were left out");
  }
  report_run(*m.s, st, r);
  return r;
}

RunResult run_method(const Structure& s, const RunSettings& st) {
  const PreparedRun run(s, st);
  const auto t0 = std::chrono::steady_clock::now();
  const std::vector<double> values = run.run_block(0, run.orientations());
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  return run.finish(values, seconds);
}

}  // namespace ccs::cli
