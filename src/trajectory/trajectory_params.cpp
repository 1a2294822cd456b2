#include "trajectory/trajectory_params.h"

#include <cmath>
#include <string>

#include "runtime/context.h"
#include "runtime/numeric.h"

namespace ccs::trajectory {
namespace {

constexpr const char* kBadInput = "trajectory:badInput";

void need_one_per_atom(const char* name, const TableView& v, int n) {
  if (v.count() < n) {
    rt::raise(kBadInput, std::string(name) + " must hold one value per atom (" + std::to_string(n) +
                             "); it has " + std::to_string(v.count()) + ".");
  }
}

void validate_moving(const TrajectoryParams& p) {
  const int n = p.atoms.rows;
  if (p.massarray.count() < n) {
    rt::raise(kBadInput, "massarray must hold one mass per atom (" + std::to_string(n) +
                             "); it has " + std::to_string(p.massarray.count()) + ".");
  }
  if (p.move_cols != 3 || p.move_rows % n != 0 || p.move_rows / n < 2) {
    rt::raise(kBadInput, "Move_pos must stack at least 2 frames of Number_atoms rows of x, y, z; "
                         "it is " + std::to_string(p.move_rows) + "x" +
                             std::to_string(p.move_cols) + ".");
  }
}

void validate_well(const TrajectoryParams& p) {
  const int rows = p.atoms.rows;
  need_one_per_atom("epsili", p.epsili, rows);
  need_one_per_atom("sigmai", p.sigmai, rows);
  need_one_per_atom("sigma2i", p.sigma2i, rows);
  if (!p.three_site) return;
  bool all_charged = p.atoms.cols >= 5;
  for (int i = 0; all_charged && i < rows; ++i) {
    if (std::isnan(p.atoms.data[i + 4 * rows])) all_charged = false;
  }
  if (!all_charged) {
    rt::raise(kBadInput, "qpol = 1 (three-site gas model) needs a partial charge on every atom: "
                         "column 5 of DATA_atoms must be present and not NaN.");
  }
}

}  // namespace

void validate(const TrajectoryParams& p) {
  const int rows = p.atoms.rows;
  const double N = p.Number_atoms;
  if (!(N >= 1.0) || N != std::floor(N) || N != static_cast<double>(rows)) {
    rt::raise(kBadInput, "Number_atoms must be a whole number of at least 1 equal to the row "
                         "count of DATA_atoms (" + std::to_string(rows) + ").");
  }
  if (p.atoms.cols < 4) {
    rt::raise(kBadInput, "DATA_atoms must have at least 4 columns (x, y, z, radius); it has " +
                             std::to_string(p.atoms.cols) + ".");
  }
  if (p.orientations == OrientationMode::AxisTensor && !(p.n_rotations >= 3.0)) {
    rt::raise(kBadInput, "n_rotations must be at least 3 when MobcalHS = 0 (the three axis "
                         "orientations form the mobility tensor).");
  }
  // Counts of 2^29 or more (or +Inf) are refused (rt::count_fits; NaN and
  // counts below 1 mean none).
  if (!rt::count_fits(p.n_rotations)) {
    rt::raise(kBadInput, "n_rotations must be a number of orientations below 2^29.");
  }
  if (!rt::count_fits(p.N_total)) {
    rt::raise(kBadInput, "N_total must be a number of trajectories below 2^29.");
  }
  if (!rt::count_fits(p.multiplier)) {
    rt::raise(kBadInput, "multiplier must be a number of passes below 2^29.");
  }
  if (p.variant != Variant::Well && p.diffusive == DiffuseDirection::Unchanged) {
    rt::raise(kBadInput, "diffusive must be 0 (specular re-emission) or 1 (cosine law).");
  }
  if (p.entry_sampling == EntrySampling::WeightedDisc &&
      (!(p.disc_inner > 0.0 && p.disc_inner <= p.disc_outer && p.disc_outer < 1e6) ||
       !(p.disc_middle_density > 0.0 && p.disc_middle_density <= 1.0) ||
       !(p.disc_outer_density > 0.0 && p.disc_outer_density <= 1.0))) {
    rt::raise(kBadInput, "the weighted disc entry needs ring radii 0 < inner <= outer (finite) "
                         "and ring densities in (0, 1].");
  }
  if (p.variant == Variant::Moving) validate_moving(p);
  if (p.variant == Variant::Well) validate_well(p);
}

}  // namespace ccs::trajectory
