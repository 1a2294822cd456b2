#include "cli/params.h"
#include "runtime/constants.h"

#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <sys/stat.h>

#include "cli/readers.h"
#include "cli/structure.h"

#ifndef CCS_SOURCE_PARAMS_DIR
#define CCS_SOURCE_PARAMS_DIR ""
#endif

namespace ccs::cli {
namespace {

constexpr double kElementary = kElementaryCharge;

std::vector<std::string> fields_of(std::string line) {
  const std::size_t hash = line.find('#');
  if (hash != std::string::npos) line.erase(hash);
  std::istringstream is(line);
  std::vector<std::string> f;
  std::string t;
  while (is >> t) f.push_back(t);
  return f;
}

double number(const std::string& file, int line, const std::string& text) {
  std::size_t used = 0;
  double v = NAN;
  try {
    v = std::stod(text, &used);
  } catch (const std::exception&) {
    used = 0;
  }
  if (used != text.size() || !std::isfinite(v)) {
    input_error(file, "'" + text + "' is not a finite number", line);
  }
  return v;
}

// Canonical element symbol ("CL" -> "Cl"); raises for an unknown one.
std::string element_key(const std::string& file, int line, const std::string& text) {
  const int Z = element_number(text);
  if (Z <= 0) input_error(file, "unknown element '" + text + "'", line);
  return element_symbol(Z);
}

bool is_dir(const std::string& p) {
  struct stat st {};
  return stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

bool ParamTable::has(const std::string& element) const {
  return kind == ParamKind::HardSphere ? radius.count(element) > 0 : lj.count(element) > 0;
}

void ParamTable::merge(const ParamTable& other) {
  for (const auto& [k, v] : other.radius) radius[k] = v;
  for (const auto& [k, v] : other.lj) lj[k] = v;
  source += (source.empty() ? "" : ", ") + other.source;
}

ParamTable load_param_table(const std::string& path) {
  std::ifstream in(path);
  if (!in) input_error(path, "cannot open the parameter file");
  ParamTable t;
  t.source = path;
  bool typed = false;
  double eps_unit = kElementary * 1e-3;  // meV
  bool r0 = false;
  bool combine = false;
  double eps_g = 0, size_g = 0;
  std::string line;
  int ln = 0;
  bool header_seen = false;
  while (std::getline(in, line)) {
    ++ln;
    const std::vector<std::string> f = fields_of(line);
    if (f.empty()) continue;
    if (f[0][0] == '@') {
      const std::string key = f[0].substr(1);
      if (f.size() < 2) input_error(path, "directive @" + key + " needs a value", ln);
      if (key == "type") {
        if (f[1] == "hs") {
          t.kind = ParamKind::HardSphere;
        } else if (f[1] == "lj") {
          t.kind = ParamKind::LennardJones;
        } else {
          input_error(path, "@type must be 'hs' or 'lj'", ln);
        }
        typed = true;
      } else if (key == "epsilon_unit") {
        if (f[1] == "meV") eps_unit = kElementary * 1e-3;
        else if (f[1] == "kcal/mol") eps_unit = 4184.0 / kAvogadro;
        else if (f[1] == "K") eps_unit = kBoltzmann;
        else if (f[1] == "J") eps_unit = 1.0;
        else input_error(path, "@epsilon_unit must be meV, kcal/mol, K or J", ln);
      } else if (key == "size") {
        if (f[1] == "sigma") r0 = false;
        else if (f[1] == "r0") r0 = true;
        else input_error(path, "@size must be 'sigma' or 'r0'", ln);
      } else if (key == "combine") {
        if (f.size() < 3) input_error(path, "@combine needs the gas epsilon and size", ln);
        eps_g = number(path, ln, f[1]);
        size_g = number(path, ln, f[2]);
        combine = true;
      } else {
        input_error(path, "unknown directive @" + key, ln);
      }
      continue;
    }
    if (!header_seen && f[0] == "element") {  // column header
      header_seen = true;
      continue;
    }
    if (!typed) t.kind = f.size() >= 3 ? ParamKind::LennardJones : ParamKind::HardSphere;
    typed = true;
    const std::string el = element_key(path, ln, f[0]);
    if (t.kind == ParamKind::HardSphere) {
      if (f.size() != 2) input_error(path, "expected 'element radius'", ln);
      const double r = number(path, ln, f[1]);
      if (!(r > 0.0)) input_error(path, "a radius must be positive", ln);
      t.radius[el] = r;
    } else {
      if (f.size() != 3) input_error(path, "expected 'element epsilon size'", ln);
      double eps = number(path, ln, f[1]);
      double size = number(path, ln, f[2]);
      if (!(eps >= 0.0) || !(size > 0.0)) {
        input_error(path, "epsilon must not be negative and the size must be positive", ln);
      }
      if (combine) {
        eps = std::sqrt(eps * eps_g);
        size = std::sqrt(size * size_g);
      }
      if (r0) size = size * std::pow(2.0, -1.0 / 6.0);
      t.lj[el] = LjPair{eps * eps_unit, size};
    }
  }
  if (t.radius.empty() && t.lj.empty()) input_error(path, "no parameters in the file");
  return t;
}

std::vector<Gas> load_gases(const std::string& path) {
  std::ifstream in(path);
  if (!in) input_error(path, "cannot open the gas table");
  std::vector<Gas> gases;
  std::string line;
  int ln = 0;
  while (std::getline(in, line)) {
    ++ln;
    const std::vector<std::string> f = fields_of(line);
    if (f.empty() || f[0] == "gas") continue;
    if (f.size() != 3) input_error(path, "expected 'gas mass_u polarizability_A3'", ln);
    gases.push_back(Gas{f[0], number(path, ln, f[1]), number(path, ln, f[2])});
  }
  return gases;
}

std::string params_dir() {
  if (const char* env = std::getenv("CCS_PARAMS_DIR"); env != nullptr && *env != '\0') return env;
  char buf[4096];
  const ssize_t n = readlink("/proc/self/exe", buf, sizeof(buf) - 1);
  if (n > 0) {
    buf[n] = '\0';
    std::string exe(buf);
    const std::string dir = exe.substr(0, exe.find_last_of('/'));
    const std::string installed = dir + "/../share/ccs-toolkit/params";
    if (is_dir(installed)) return installed;
  }
  return CCS_SOURCE_PARAMS_DIR;
}

}  // namespace ccs::cli
