#include "cli/output.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace ccs::cli {
namespace {

std::string fmt(const char* f, double v) {
  if (!std::isfinite(v)) return "-";
  char buf[64];
  std::snprintf(buf, sizeof buf, f, v);
  return buf;
}

std::string label(const ResultRow& r) {
  std::string name = r.file;
  const std::size_t slash = name.find_last_of('/');
  if (slash != std::string::npos) name = name.substr(slash + 1);
  return name + "#" + std::to_string(r.conformer);
}

nlohmann::json number_or_null(double v) {
  return std::isfinite(v) ? nlohmann::json(v) : nlohmann::json(nullptr);
}

}  // namespace

std::vector<std::string> column_names() {
  return {"structure", "method", "atoms", "z", "ccs_A2", "se_A2", "se_pct",
          "K_cm2_Vs", "K0_cm2_Vs", "orientations", "trajectories", "seconds"};
}

std::vector<std::string> row_cells(const ResultRow& r, bool full) {
  const RunResult& x = r.result;
  const double pct = 100.0 * x.ccs_se / x.ccs;
  return {label(r),
          r.method,
          std::to_string(r.atoms),
          fmt("%g", x.z),
          fmt(full ? "%.10g" : "%.2f", x.ccs),
          fmt(full ? "%.10g" : "%.2f", x.ccs_se),
          fmt(full ? "%.6g" : "%.2f", pct),
          fmt(full ? "%.10g" : "%.5f", x.K),
          fmt(full ? "%.10g" : "%.5f", x.K0),
          std::to_string(x.orientations_used),
          fmt("%.0f", x.trajectories),
          fmt(full ? "%.6g" : "%.2f", x.seconds)};
}

void write_table(std::ostream& os, const RunHeader& h, const std::vector<ResultRow>& rows) {
  char head[256];
  std::snprintf(head, sizeof head, "# gas %s, T = %g K, p = %g Pa, seed %u, %d thread(s)\n",
                h.conditions.gas.name.c_str(), h.conditions.temperature, h.conditions.pressure,
                h.seed, h.threads);
  os << head;
  const std::vector<std::string> names = {"structure", "method", "atoms", "z", "CCS/A^2",
                                          "+-SE", "SE%", "K/(cm^2/Vs)", "K0/(cm^2/Vs)",
                                          "orient.", "traj.", "time/s"};
  std::vector<std::vector<std::string>> cells;
  cells.push_back(names);
  for (const ResultRow& r : rows) cells.push_back(row_cells(r, false));
  std::vector<std::size_t> w(names.size(), 0);
  for (const auto& c : cells) {
    for (std::size_t j = 0; j < c.size(); ++j) w[j] = std::max(w[j], c[j].size());
  }
  for (const auto& c : cells) {
    std::string line;
    for (std::size_t j = 0; j < c.size(); ++j) {
      const std::size_t pad = w[j] - c[j].size();
      if (j < 2) {
        line += c[j] + std::string(pad, ' ');
      } else {
        line += std::string(pad, ' ') + c[j];
      }
      if (j + 1 < c.size()) line += "  ";
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    os << line << "\n";
  }
  for (const ResultRow& r : rows) {
    for (const std::string& note : r.result.notes) {
      os << "# " << label(r) << " " << r.method << ": note: " << note << "\n";
    }
    for (const std::string& wmsg : r.result.warnings) {
      os << "# " << label(r) << " " << r.method << ": " << wmsg << "\n";
    }
  }
}

void write_csv(std::ostream& os, const std::vector<ResultRow>& rows) {
  const std::vector<std::string> names = column_names();
  for (std::size_t j = 0; j < names.size(); ++j) os << (j ? "," : "") << names[j];
  os << "\n";
  for (const ResultRow& r : rows) {
    const std::vector<std::string> c = row_cells(r, true);
    for (std::size_t j = 0; j < c.size(); ++j) {
      std::string v = c[j] == "-" ? "" : c[j];
      if (v.find_first_of(",\"") != std::string::npos) {
        std::string q = "\"";
        for (char ch : v) q += ch == '"' ? std::string("\"\"") : std::string(1, ch);
        v = q + "\"";
      }
      os << (j ? "," : "") << v;
    }
    os << "\n";
  }
}

void write_json(std::ostream& os, const RunHeader& h, const std::vector<ResultRow>& rows,
                const std::vector<FailedItem>& failed) {
  nlohmann::json j;
  j["conditions"] = {{"gas", h.conditions.gas.name},
                     {"gas_mass_u", h.conditions.gas.mass_u},
                     {"gas_polarizability_A3", h.conditions.gas.polarizability_A3},
                     {"temperature_K", h.conditions.temperature},
                     {"pressure_Pa", h.conditions.pressure}};
  j["seed"] = h.seed;
  j["threads"] = h.threads;
  j["charges"] = h.charges;
  j["params"] = h.params;
  j["results"] = nlohmann::json::array();
  for (const ResultRow& r : rows) {
    const RunResult& x = r.result;
    j["results"].push_back({{"file", r.file},
                            {"title", r.title},
                            {"conformer", r.conformer},
                            {"method", r.method},
                            {"atoms", r.atoms},
                            {"mass_u", x.mass},
                            {"charge", x.z},
                            {"ccs_A2", number_or_null(x.ccs)},
                            {"ccs_se_A2", number_or_null(x.ccs_se)},
                            {"mobility_cm2_Vs", number_or_null(x.K)},
                            {"reduced_mobility_cm2_Vs", number_or_null(x.K0)},
                            {"orientations", x.orientations},
                            {"orientations_used", x.orientations_used},
                            {"trajectories", x.trajectories},
                            {"seconds", x.seconds},
                            {"tensor", r.tensor},
                            {"settings",
                             {{"orientations", x.numerics.orientations},
                              {"trajectories_per_orientation", x.numerics.trajectories},
                              {"deltatenhance", x.numerics.deltatenhance},
                              {"multiplier", x.numerics.multiplier},
                              {"boxdomain", x.numerics.boxdomain},
                              {"entry_radius_A", x.numerics.entry_radius}}},
                            {"gas_model", x.gas_model.empty() ? nlohmann::json(nullptr)
                                                              : nlohmann::json(x.gas_model)},
                            {"orientation_temperature_K",
                             number_or_null(x.orientation_temperature)},
                            {"warnings", x.warnings},
                            {"notes", x.notes}});
    if (h.per_orientation) {
      nlohmann::json v = nlohmann::json::array();
      for (double c : x.per_orientation) v.push_back(number_or_null(c));
      j["results"].back()["per_orientation_A2"] = std::move(v);
    }
  }
  j["errors"] = nlohmann::json::array();
  for (const FailedItem& f : failed) {
    j["errors"].push_back({{"file", f.file}, {"method", f.method}, {"message", f.message}});
  }
  os << j.dump(2) << "\n";
}

}  // namespace ccs::cli
