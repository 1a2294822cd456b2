// Per-element interaction parameters and gas properties, read from the
// tab- or space-separated tables in data/params/ (or files a user supplies).
//
// A table is lines of fields; '#' starts a comment; lines starting with '@'
// are directives:
//   @type hs | lj           hard-sphere collision radii or Lennard-Jones pairs
//   @epsilon_unit meV | kcal/mol | K | J     (lj; default meV)
//   @size sigma | r0        lj size column: the zero of the potential (sigma)
//                           or the distance of its minimum (r0 = 2^(1/6) sigma);
//                           default sigma
//   @combine EPS SIZE       per-atom values to combine with the gas values
//                           EPS and SIZE (same units) by geometric means
// Data lines: "element radius_A" (hs) or "element epsilon size_A" (lj).
#pragma once

#include <map>
#include <string>
#include <vector>

namespace ccs::cli {

enum class ParamKind { HardSphere, LennardJones };

struct LjPair {
  double epsilon_J = 0;  // well depth of the atom-gas pair (J)
  double sigma_A = 0;    // zero of the pair potential (Å)
};

struct ParamTable {
  ParamKind kind = ParamKind::HardSphere;
  std::string source;                    // file names it was read from
  std::map<std::string, double> radius;  // hs: element -> collision radius (Å)
  std::map<std::string, LjPair> lj;      // lj: element -> pair parameters
  bool has(const std::string& element) const;
  // Adds or replaces the entries of `other` (same kind).
  void merge(const ParamTable& other);
};

// Reads a table. Raises InputError naming the file and line.
ParamTable load_param_table(const std::string& path);

struct Gas {
  std::string name;
  double mass_u = 0;              // u
  double polarizability_A3 = 0;  // polarizability volume (Å^3)
};

// Reads the gas table (columns: name, mass in u, polarizability in Å^3).
std::vector<Gas> load_gases(const std::string& path);

// The folder of the shipped tables: $CCS_PARAMS_DIR when set, else the
// installed share folder next to the executable, else the source tree.
std::string params_dir();

}  // namespace ccs::cli
