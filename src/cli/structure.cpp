#include "cli/structure.h"

#include <string>

#include "cli/input_file.h"

namespace ccs::cli {

void input_error(const std::string& file, const std::string& message, int line) {
  std::string where = file;
  if (line > 0) where += ":" + std::to_string(line);
  throw InputError(where + ": " + message);
}

double Structure::mass() const {
  double m = 0.0;
  for (const Atom& a : atoms) m += a.mass;
  return m;
}

double Structure::charge_sum() const {
  double q = 0.0;
  if (!has_charges) return q;
  for (const Atom& a : atoms) q += a.charge;
  return q;
}

void check_atom_count(const std::string& file, std::size_t n, const std::string& tag) {
  if (n > kMaxAtoms) {
    input_error(file, std::to_string(n) + " atoms" + tag + "; at most " + std::to_string(kMaxAtoms) +
                          " are supported");
  }
}

void validate_structure(const Structure& s) {
  const std::string file = display_name(s.file);
  const std::string tag =
      s.conformer > 1 ? " (structure " + std::to_string(s.conformer) + ")" : std::string();
  if (s.atoms.empty()) input_error(file, "no atoms" + tag);
  check_atom_count(file, s.atoms.size(), tag);
  for (std::size_t i = 0; i < s.atoms.size(); ++i) {
    const Atom& a = s.atoms[i];
    const std::string at = "atom " + std::to_string(i + 1) + tag;
    if (a.Z <= 0) input_error(file, at + ": unknown element '" + a.symbol + "'");
    if (!std::isfinite(a.x) || !std::isfinite(a.y) || !std::isfinite(a.z)) {
      input_error(file, at + ": coordinates are not finite numbers");
    }
    if (!(a.mass > 0.0) || !std::isfinite(a.mass)) {
      input_error(file, at + ": mass is not a positive finite number");
    }
    if (s.has_charges && !std::isfinite(a.charge)) {
      input_error(file, at + ": partial charge is not a finite number");
    }
  }
  for (double v : s.frames_xyz) {
    if (!std::isfinite(v)) input_error(file, "a stored frame has coordinates that are not finite");
  }
}

}  // namespace ccs::cli
