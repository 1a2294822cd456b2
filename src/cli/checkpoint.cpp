#include "cli/checkpoint.h"

#include <cmath>
#include <fstream>
#include <sstream>

#include "cli/command_line.h"
#include "cli/input_file.h"

namespace ccs::cli {
namespace {

using nlohmann::json;

constexpr const char* kFormat = "ccs checkpoint";
constexpr int kVersion = 1;

json num(double v) { return std::isfinite(v) ? json(v) : json(nullptr); }
double num_of(const json& j) { return j.is_null() ? NAN : j.get<double>(); }

json numerics_json(const Numerics& n) {
  return {{"orientations", n.orientations}, {"trajectories", num(n.trajectories)},
          {"deltatenhance", num(n.deltatenhance)}, {"multiplier", num(n.multiplier)},
          {"boxdomain", num(n.boxdomain)}, {"entry_radius", num(n.entry_radius)}};
}

Numerics numerics_of(const json& j) {
  Numerics n;
  n.orientations = j.at("orientations").get<int>();
  n.trajectories = num_of(j.at("trajectories"));
  n.deltatenhance = num_of(j.at("deltatenhance"));
  n.multiplier = num_of(j.at("multiplier"));
  n.boxdomain = num_of(j.at("boxdomain"));
  n.entry_radius = num_of(j.at("entry_radius"));
  return n;
}

json numbers(const double* v, int n) {
  json a = json::array();
  for (int i = 0; i < n; ++i) a.push_back(num(v[i]));
  return a;
}

void numbers_of(const json& a, double* v, int n) {
  for (int i = 0; i < n; ++i) v[i] = num_of(a.at(static_cast<std::size_t>(i)));
}

// The settings of `a` that differ from `b`, by name.
std::string differences(const json& a, const json& b) {
  std::string d;
  for (auto it = a.begin(); it != a.end(); ++it) {
    const auto other = b.find(it.key());
    if (other == b.end() || *other != it.value()) d += (d.empty() ? "" : ", ") + it.key();
  }
  for (auto it = b.begin(); it != b.end(); ++it) {
    if (!a.contains(it.key())) d += (d.empty() ? "" : ", ") + it.key();
  }
  return d;
}

// The header of the file at `path`, or null when the file is missing or empty.
json read_header(const std::string& path, std::vector<std::string>* rest) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return nullptr;
  std::string line;
  if (!std::getline(in, line) || line.empty()) return nullptr;
  json h = json::parse(line, nullptr, false);
  if (h.is_discarded() || !h.is_object() || h.value("format", "") != kFormat) {
    input_error(display_name(path), "not a ccs checkpoint (its first line should hold the job's settings)", 1);
  }
  if (h.value("version", 0) != kVersion) {
    input_error(display_name(path), "a checkpoint of another version of ccs", 1);
  }
  if (rest != nullptr) {
    while (std::getline(in, line)) rest->push_back(line);
  }
  return h;
}

}  // namespace

json checkpoint_settings(const CommandLine& cl, const Job& job) {
  const RunSettings& c = job.common;
  return {{"gas", c.conditions.gas.name},
          {"gas_mass_u", c.conditions.gas.mass_u},
          {"gas_polarizability_A3", c.conditions.gas.polarizability_A3},
          {"temperature_K", c.conditions.temperature},
          {"pressure_Pa", c.conditions.pressure},
          {"seed", c.seed},
          {"charge", c.charge},
          {"charges", cl.charges},
          {"params", job.tables.sources()},
          {"n2_model", cl.n2_model},
          {"tensor", c.tensor},
          {"accommodation", c.accommodation},
          {"reemission", cl.reemission},
          {"maxwell", c.maxwell},
          {"moving", cl.moving},
          {"format", cl.format},
          {"keep_solvent", cl.keep_solvent},
          {"add_hydrogens_pH", num(cl.add_hydrogens_ph)},
          {"numerics", numerics_json(cl.numerics)}};
}

long long checkpoint_seed(const std::string& path) {
  const json h = read_header(path, nullptr);
  if (h.is_null()) return -1;
  const json& s = h.at("settings");
  return s.contains("seed") ? s.at("seed").get<long long>() : -1;
}

json row_to_json(const ResultRow& r) {
  const RunResult& x = r.result;
  json t = {{"valid", x.tensor.valid},
            {"ccs", numbers(x.tensor.ccs, 3)},
            {"mobility", numbers(x.tensor.mobility, 3)},
            {"axes", numbers(&x.tensor.axes[0][0], 9)}};
  json per = json::array();
  for (double v : x.per_orientation) per.push_back(num(v));
  return {{"file", r.file},
          {"title", r.title},
          {"conformer", r.conformer},
          {"atoms", r.atoms},
          {"method", r.method},
          {"tensor", r.tensor},
          {"structure_notes", r.structure_notes},
          {"result",
           {{"numerics", numerics_json(x.numerics)},
            {"ccs", num(x.ccs)},
            {"ccs_se", num(x.ccs_se)},
            {"per_orientation", per},
            {"K", num(x.K)},
            {"K0", num(x.K0)},
            {"z", num(x.z)},
            {"mass", num(x.mass)},
            {"orientations", x.orientations},
            {"orientations_used", x.orientations_used},
            {"trajectories", num(x.trajectories)},
            {"seconds", num(x.seconds)},
            {"lj_model", x.lj_model},
            {"orientation_temperature", num(x.orientation_temperature)},
            {"warnings", x.warnings},
            {"notes", x.notes},
            {"gas_model", x.gas_model},
            {"fallback_elements", x.fallback_elements},
            {"tensor", t},
            {"not_a_result", x.not_a_result}}}};
}

ResultRow row_from_json(const json& j) {
  ResultRow r;
  r.file = j.at("file").get<std::string>();
  r.title = j.at("title").get<std::string>();
  r.conformer = j.at("conformer").get<int>();
  r.atoms = j.at("atoms").get<int>();
  r.method = j.at("method").get<std::string>();
  r.tensor = j.at("tensor").get<bool>();
  r.structure_notes = j.at("structure_notes").get<std::vector<std::string>>();
  const json& o = j.at("result");
  RunResult& x = r.result;
  x.numerics = numerics_of(o.at("numerics"));
  x.ccs = num_of(o.at("ccs"));
  x.ccs_se = num_of(o.at("ccs_se"));
  for (const json& v : o.at("per_orientation")) x.per_orientation.push_back(num_of(v));
  x.K = num_of(o.at("K"));
  x.K0 = num_of(o.at("K0"));
  x.z = num_of(o.at("z"));
  x.mass = num_of(o.at("mass"));
  x.orientations = o.at("orientations").get<int>();
  x.orientations_used = o.at("orientations_used").get<int>();
  x.trajectories = num_of(o.at("trajectories"));
  x.seconds = num_of(o.at("seconds"));
  x.lj_model = o.at("lj_model").get<std::string>();
  x.orientation_temperature = num_of(o.at("orientation_temperature"));
  x.warnings = o.at("warnings").get<std::vector<std::string>>();
  x.notes = o.at("notes").get<std::vector<std::string>>();
  x.gas_model = o.at("gas_model").get<std::string>();
  x.fallback_elements = o.at("fallback_elements").get<std::vector<std::string>>();
  const json& t = o.at("tensor");
  x.tensor.valid = t.at("valid").get<bool>();
  numbers_of(t.at("ccs"), x.tensor.ccs, 3);
  numbers_of(t.at("mobility"), x.tensor.mobility, 3);
  numbers_of(t.at("axes"), &x.tensor.axes[0][0], 9);
  x.not_a_result = o.at("not_a_result").get<std::string>();
  return r;
}

Checkpoint::Checkpoint(const std::string& path, const json& settings) : path_(path) {
  std::vector<std::string> lines;
  const json header = read_header(path, &lines);
  const std::string name = display_name(path);
  if (!header.is_null()) {
    const std::string d = differences(header.at("settings"), settings);
    if (!d.empty()) {
      input_error(name, "written by a job with other settings (" + d +
                            "); give another checkpoint file, or the same settings");
    }
    for (std::size_t i = 0; i < lines.size(); ++i) {
      if (lines[i].empty()) continue;
      const json j = json::parse(lines[i], nullptr, false);
      // A line that is no JSON was cut short by a job killed while writing it.
      if (j.is_discarded()) continue;
      try {
        ResultRow r = row_from_json(j.at("row"));
        rows_[{r.file, r.conformer, r.method}] = std::move(r);
      } catch (const json::exception&) {
        input_error(name, "line " + std::to_string(i + 2) + " is not a row of a ccs checkpoint");
      }
    }
  }
  f_ = std::fopen(path.c_str(), "ab");
  if (f_ == nullptr) input_error(name, "cannot be written");
  if (header.is_null()) {
    const json h = {{"format", kFormat}, {"version", kVersion}, {"settings", settings}};
    std::fprintf(f_, "%s\n", h.dump().c_str());
  } else {
    // Continue on a line of its own after a line cut short.
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (in.tellg() > 0) {
      in.seekg(-1, std::ios::end);
      if (in.get() != '\n') std::fputc('\n', f_);
    }
  }
  std::fflush(f_);
}

Checkpoint::~Checkpoint() {
  if (f_ != nullptr) std::fclose(f_);
}

const ResultRow* Checkpoint::find(const std::string& file, int conformer, const std::string& method) const {
  const auto it = rows_.find({file, conformer, method});
  return it == rows_.end() ? nullptr : &it->second;
}

void Checkpoint::append(const ResultRow& r) {
  const json line = {{"row", row_to_json(r)}};
  std::fprintf(f_, "%s\n", line.dump(-1, ' ', false, json::error_handler_t::replace).c_str());
  std::fflush(f_);
}

}  // namespace ccs::cli
