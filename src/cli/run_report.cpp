#include "cli/run_report.h"

#include <cmath>
#include <cstdio>
#include <map>

#include "runtime/numeric.h"

namespace ccs::cli {

TensorResult principal_tensor(const double T[9], double z, double ion_mass_u,
                              const Conditions& c) {
  TensorResult t;
  double values[3], vectors[9];
  if (!rt::symmetric_eigen3(T, values, vectors)) return t;
  const GasInputs g = gas_inputs(c);
  const double scale = std::sqrt(g.m_gas * 0.3580986219567645 / kBoltzmann / c.temperature) /
                       g.rho_g * 1e20 * kPi * 0.25;
  t.valid = true;
  for (int k = 0; k < 3; ++k) {
    t.ccs[k] = scale * values[k];
    t.mobility[k] = mobility_from_ccs(t.ccs[k], z, ion_mass_u, c);
    for (int j = 0; j < 3; ++j) t.axes[k][j] = vectors[j + 3 * k];
    t.valid = t.valid && std::isfinite(t.ccs[k]) && t.ccs[k] > 0.0;
  }
  return t;
}

std::string not_a_result_reason(const RunResult& r, bool tensor) {
  if (!std::isfinite(r.ccs)) return "no finite cross section (no orientation gave an estimate)";
  if (r.ccs <= 0.0) {
    return "the mean cross section is not positive: the statistics are too small (raise "
           "--orientations or --trajectories)";
  }
  if (!std::isfinite(r.K) || !(r.K > 0.0)) return "the mobility is not a finite positive number";
  if (tensor) {
    if (!r.tensor.valid) return "the mobility tensor has no finite positive principal values";
    return "";
  }
  if (r.orientations_used >= 2 && !(r.ccs_se <= r.ccs / 3.0)) {
    return "the standard error exceeds a third of the mean: the statistics are too small (raise "
           "--orientations or --trajectories)";
  }
  return "";
}

std::vector<std::string> fallback_elements(const Structure& s, const ParamTable& table) {
  std::vector<std::string> out;
  for (const Atom& a : s.atoms) {
    if (table.fallback.count(a.symbol) == 0) continue;
    bool seen = false;
    for (const std::string& e : out) seen = seen || e == a.symbol;
    if (!seen) out.push_back(a.symbol);
  }
  return out;
}

std::string fallback_note(const Structure& s, const ParamTable& table) {
  // Element -> atom numbers (the first few of each).
  constexpr std::size_t kListed = 8;
  std::map<std::string, std::vector<std::size_t>> atoms;
  std::map<std::string, std::size_t> count;
  for (std::size_t i = 0; i < s.atoms.size(); ++i) {
    const std::string& e = s.atoms[i].symbol;
    if (table.fallback.count(e) == 0) continue;
    if (atoms[e].size() < kListed) atoms[e].push_back(i + 1);
    ++count[e];
  }
  if (atoms.empty()) return "";
  std::string note = std::string("generic fallback ") +
                     (table.kind == ParamKind::HardSphere ? "hard-sphere radii"
                                                          : "Lennard-Jones parameters") +
                     " (universal force field, uff_fallback.tsv) for ";
  bool first = true;
  for (const auto& [e, list] : atoms) {
    note += first ? "" : "; ";
    first = false;
    note += e + " (atom" + (count[e] == 1 ? " " : "s ");
    for (std::size_t k = 0; k < list.size(); ++k) note += (k ? ", " : "") + std::to_string(list[k]);
    if (count[e] > list.size()) note += " and " + std::to_string(count[e] - list.size()) + " more";
    note += ")";
  }
  return note;
}

}  // namespace ccs::cli
