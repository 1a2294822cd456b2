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

nlohmann::json number_or_null(double v) {
  return std::isfinite(v) ? nlohmann::json(v) : nlohmann::json(nullptr);
}

std::string joined(const std::vector<std::string>& v, const char* sep) {
  std::string s;
  for (const std::string& x : v) s += (s.empty() ? "" : sep) + x;
  return s;
}

// What the launched count counts.
const char* launched_counts(const std::string& method) {
  return method == "pa" ? "probe lines" : "trajectories";
}

std::string status_of(const RunResult& r) { return r.not_a_result.empty() ? "ok" : "not a result"; }

// Display width of UTF-8 text (code points; the table's symbols are narrow).
std::size_t width_of(const std::string& s) {
  std::size_t n = 0;
  for (unsigned char c : s) n += (c & 0xC0) != 0x80;
  return n;
}

std::string pad(const std::string& s, std::size_t w, bool left) {
  const std::size_t n = width_of(s);
  const std::string fill(n < w ? w - n : 0, ' ');
  return left ? s + fill : fill + s;
}

std::string tensor_line(const TensorResult& t) {
  char buf[512];
  std::snprintf(buf, sizeof buf,
                "mobility tensor: principal cross sections %.2f, %.2f, %.2f Å² (K %.5f, %.5f, "
                "%.5f cm²/(V·s)) along the axes (%.3f, %.3f, %.3f), (%.3f, %.3f, %.3f), "
                "(%.3f, %.3f, %.3f) of the file's frame",
                t.ccs[0], t.ccs[1], t.ccs[2], t.mobility[0], t.mobility[1], t.mobility[2],
                t.axes[0][0], t.axes[0][1], t.axes[0][2], t.axes[1][0], t.axes[1][1],
                t.axes[1][2], t.axes[2][0], t.axes[2][1], t.axes[2][2]);
  return buf;
}

// ---------------------------------------------------------------- table

class TableWriter : public RowWriter {
 public:
  TableWriter(std::ostream& os, const RunHeader& h) : os_(os) {
    char head[256];
    const std::string ranks = h.ranks > 1 ? std::to_string(h.ranks) + " ranks x " : "";
    std::snprintf(head, sizeof head, "# gas %s, T = %g K, p = %g Pa, seed %u, %s%d thread(s)\n",
                  h.conditions.gas.name.c_str(), h.conditions.temperature,
                  h.conditions.pressure, h.seed, ranks.c_str(), h.threads);
    os_ << head;
    widths_[0] = std::max<std::size_t>(h.label_width, 9);
    line({"structure", "method", "atoms", "z", "CCS/Å²", "±SE/Å²", "SE%", "K/(cm²/Vs)",
          "K0/(cm²/Vs)", "orient.", "launched", "time/s", "remark"});
    os_.flush();
  }

  void row(const ResultRow& r) override {
    const RunResult& x = r.result;
    const std::string label = row_label(r.file, r.conformer);
    std::vector<std::string> remark;
    if (!x.not_a_result.empty()) remark.push_back("NOT-A-RESULT");
    if (!x.fallback_elements.empty()) remark.push_back("fallback:" + joined(x.fallback_elements, ","));
    if (r.tensor) remark.push_back("tensor");
    line({label, r.method, std::to_string(r.atoms), fmt("%g", x.z), fmt("%.2f", x.ccs),
          fmt("%.2f", x.ccs_se), fmt("%.2f", 100.0 * x.ccs_se / x.ccs), fmt("%.5f", x.K),
          fmt("%.5f", x.K0), std::to_string(x.orientations_used), fmt("%.0f", x.trajectories),
          fmt("%.2f", x.seconds), joined(remark, " ")});
    const std::string who = "# " + label + " " + r.method + ": ";
    if (r.file != last_file_ || r.conformer != last_conformer_) {
      for (const std::string& n : r.structure_notes) os_ << "# " << label << ": note: " << n << "\n";
      last_file_ = r.file;
      last_conformer_ = r.conformer;
    }
    for (const std::string& n : x.notes) os_ << who << "note: " << n << "\n";
    for (const std::string& w : x.warnings) os_ << who << w << "\n";
    if (r.tensor && x.tensor.valid) os_ << who << tensor_line(x.tensor) << "\n";
    if (!x.not_a_result.empty()) os_ << who << "NOT A RESULT: " << x.not_a_result << "\n";
    os_.flush();
  }

  void failure(const FailedItem& f) override {
    os_ << "# " << (f.conformer > 0 ? row_label(f.file, f.conformer) : f.file)
        << (f.method.empty() ? "" : " " + f.method) << ": FAILED: " << f.message << "\n";
    os_.flush();
  }

  void finish(bool interrupted) override {
    if (interrupted) os_ << "# interrupted: the rows above are the runs that finished\n";
    os_.flush();
  }

 private:
  void line(const std::vector<std::string>& cells) {
    std::string s;
    for (std::size_t j = 0; j < cells.size(); ++j) {
      s += pad(cells[j], widths_[j], j < 2 || j + 1 == cells.size());
      if (j + 1 < cells.size()) s += "  ";
    }
    while (!s.empty() && s.back() == ' ') s.pop_back();
    os_ << s << "\n";
  }
  std::ostream& os_;
  std::size_t widths_[13] = {9, 8, 6, 3, 9, 7, 6, 11, 12, 7, 10, 7, 0};
  std::string last_file_;
  int last_conformer_ = 0;
};

// ---------------------------------------------------------------- CSV

std::string csv_field(const std::string& v) {
  if (v.find_first_of(",\"\n") == std::string::npos) return v;
  std::string q = "\"";
  for (char ch : v) q += ch == '"' ? std::string("\"\"") : std::string(1, ch);
  return q + "\"";
}

std::string full(double v) { return std::isfinite(v) ? fmt("%.10g", v) : ""; }

class CsvWriter : public RowWriter {
 public:
  CsvWriter(std::ostream& os, const RunHeader& h) : os_(os), h_(h) {
    line({"file", "conformer", "title", "method", "status", "atoms", "z", "mass_u", "ccs_A2",
          "se_A2", "se_pct", "K_cm2_Vs", "K0_cm2_Vs", "orientations_used", "launched",
          "launched_counts", "seconds", "gas", "gas_model", "temperature_K", "pressure_Pa",
          "seed", "charges", "orientations", "trajectories_per_orientation", "deltatenhance",
          "multiplier", "boxdomain", "accommodation", "reemission", "maxwell", "tensor",
          "ccs_principal_1_A2", "ccs_principal_2_A2", "ccs_principal_3_A2", "fallback_elements",
          "problem", "warnings", "notes"});
    os_.flush();
  }

  void row(const ResultRow& r) override {
    const RunResult& x = r.result;
    std::vector<std::string> notes = r.structure_notes;
    notes.insert(notes.end(), x.notes.begin(), x.notes.end());
    const TensorResult& t = x.tensor;
    const bool tv = r.tensor && t.valid;
    line({r.file, std::to_string(r.conformer), r.title, r.method, status_of(x),
          std::to_string(r.atoms), full(x.z), full(x.mass), full(x.ccs), full(x.ccs_se),
          full(100.0 * x.ccs_se / x.ccs), full(x.K), full(x.K0),
          std::to_string(x.orientations_used), fmt("%.0f", x.trajectories),
          launched_counts(r.method), fmt("%.6g", x.seconds), h_.conditions.gas.name,
          x.gas_model, full(h_.conditions.temperature), full(h_.conditions.pressure),
          std::to_string(h_.seed), h_.charges, std::to_string(x.numerics.orientations),
          full(x.numerics.trajectories), full(x.numerics.deltatenhance),
          full(x.numerics.multiplier), full(x.numerics.boxdomain), full(h_.accommodation),
          h_.reemission, h_.maxwell ? "1" : "0", r.tensor ? "1" : "0",
          tv ? full(t.ccs[0]) : "", tv ? full(t.ccs[1]) : "", tv ? full(t.ccs[2]) : "",
          joined(x.fallback_elements, " "), x.not_a_result, joined(x.warnings, "; "),
          joined(notes, "; ")});
    os_.flush();
  }

  void failure(const FailedItem& f) override {
    std::vector<std::string> cells(39);
    cells[0] = f.file;
    cells[1] = f.conformer > 0 ? std::to_string(f.conformer) : "";
    cells[3] = f.method;
    cells[4] = "failed";
    cells[17] = h_.conditions.gas.name;
    cells[19] = full(h_.conditions.temperature);
    cells[20] = full(h_.conditions.pressure);
    cells[21] = std::to_string(h_.seed);
    cells[22] = h_.charges;
    cells[36] = f.message;
    line(cells);
    os_.flush();
  }

  void finish(bool) override { os_.flush(); }

 private:
  void line(const std::vector<std::string>& cells) {
    for (std::size_t j = 0; j < cells.size(); ++j) os_ << (j ? "," : "") << csv_field(cells[j]);
    os_ << "\n";
  }
  std::ostream& os_;
  RunHeader h_;
};

// ---------------------------------------------------------------- JSON

class JsonWriter : public RowWriter {
 public:
  JsonWriter(std::ostream& os, const RunHeader& h) : os_(os), per_orientation_(h.per_orientation) {
    j_["conditions"] = {{"gas", h.conditions.gas.name},
                        {"gas_mass_u", h.conditions.gas.mass_u},
                        {"gas_polarizability_A3", h.conditions.gas.polarizability_A3},
                        {"temperature_K", h.conditions.temperature},
                        {"pressure_Pa", h.conditions.pressure}};
    j_["seed"] = h.seed;
    j_["threads"] = h.threads;
    if (h.ranks > 1) j_["ranks"] = h.ranks;
    j_["charges"] = h.charges;
    j_["params"] = h.params;
    j_["collisions"] = {{"accommodation", h.accommodation},
                        {"reemission", h.reemission},
                        {"maxwell", h.maxwell}};
    j_["results"] = nlohmann::json::array();
    j_["errors"] = nlohmann::json::array();
  }

  void row(const ResultRow& r) override {
    const RunResult& x = r.result;
    std::vector<std::string> notes = r.structure_notes;
    notes.insert(notes.end(), x.notes.begin(), x.notes.end());
    nlohmann::json o = {{"file", r.file},
                        {"title", r.title},
                        {"conformer", r.conformer},
                        {"method", r.method},
                        {"status", status_of(x)},
                        {"not_a_result", x.not_a_result},
                        {"atoms", r.atoms},
                        {"mass_u", x.mass},
                        {"charge", x.z},
                        {"ccs_A2", number_or_null(x.ccs)},
                        {"ccs_se_A2", number_or_null(x.ccs_se)},
                        {"mobility_cm2_Vs", number_or_null(x.K)},
                        {"reduced_mobility_cm2_Vs", number_or_null(x.K0)},
                        {"orientations", x.orientations},
                        {"orientations_used", x.orientations_used},
                        {"launched", x.trajectories},
                        {"launched_counts", launched_counts(r.method)},
                        {"seconds", x.seconds},
                        {"gas_model", x.gas_model.empty() ? nlohmann::json(nullptr)
                                                          : nlohmann::json(x.gas_model)},
                        {"lj_model", x.lj_model.empty() ? nlohmann::json(nullptr)
                                                        : nlohmann::json(x.lj_model)},
                        {"orientation_temperature_K", number_or_null(x.orientation_temperature)},
                        {"fallback_elements", x.fallback_elements},
                        {"tensor", r.tensor},
                        {"settings",
                         {{"orientations", x.numerics.orientations},
                          {"trajectories_per_orientation", x.numerics.trajectories},
                          {"deltatenhance", x.numerics.deltatenhance},
                          {"multiplier", x.numerics.multiplier},
                          {"boxdomain", x.numerics.boxdomain},
                          {"entry_radius_A", x.numerics.entry_radius}}},
                        {"warnings", x.warnings},
                        {"notes", notes}};
    if (per_orientation_) {
      nlohmann::json v = nlohmann::json::array();
      for (double c : x.per_orientation) v.push_back(number_or_null(c));
      o["per_orientation_A2"] = std::move(v);
    }
    if (r.tensor) {
      const TensorResult& t = x.tensor;
      nlohmann::json p = nlohmann::json::array();
      for (int k = 0; k < 3; ++k) {
        p.push_back({{"ccs_A2", number_or_null(t.ccs[k])},
                     {"mobility_cm2_Vs", number_or_null(t.mobility[k])},
                     {"axis", {number_or_null(t.axes[k][0]), number_or_null(t.axes[k][1]),
                               number_or_null(t.axes[k][2])}}});
      }
      o["principal"] = p;
    }
    j_["results"].push_back(o);
  }

  void failure(const FailedItem& f) override {
    nlohmann::json o = {{"file", f.file}, {"method", f.method}, {"message", f.message}};
    if (f.conformer > 0) o["conformer"] = f.conformer;
    j_["errors"].push_back(o);
  }

  void finish(bool interrupted) override {
    j_["interrupted"] = interrupted;
    os_ << j_.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
    os_.flush();
  }

 private:
  std::ostream& os_;
  bool per_orientation_;
  nlohmann::json j_;
};

}  // namespace

std::string row_label(const std::string& file, int conformer) {
  std::string name = file;
  const std::size_t slash = name.find_last_of('/');
  if (slash != std::string::npos) name = name.substr(slash + 1);
  return name + "#" + std::to_string(conformer);
}

std::unique_ptr<RowWriter> make_writer(OutputFormat f, std::ostream& os, const RunHeader& h) {
  switch (f) {
    case OutputFormat::Csv: return std::make_unique<CsvWriter>(os, h);
    case OutputFormat::Json: return std::make_unique<JsonWriter>(os, h);
    case OutputFormat::Table: break;
  }
  return std::make_unique<TableWriter>(os, h);
}

}  // namespace ccs::cli
