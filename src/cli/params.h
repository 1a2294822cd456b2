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
#include <set>
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
  // Elements whose entries come from the generic fallback (add_fallback).
  std::set<std::string> fallback;
  bool has(const std::string& element) const;
  // Adds or replaces the entries of `other` (same kind); an entry replaced
  // from `other` is no longer a fallback.
  void merge(const ParamTable& other);
};

// Reads a table. Raises InputError naming the file and line.
ParamTable load_param_table(const std::string& path);

// The generic fallback for elements a sourced table lacks: a table of
// per-element universal force-field parameters (@type uff; see
// data/params/uff_fallback.tsv for the rules it states). For every element
// of that table missing from `table`, adds the fallback entry for `gas`
// (hard-sphere radius or Lennard-Jones pair, by the kind of `table`) and
// lists the element in table.fallback. Raises InputError for a bad table or
// a gas it has no rule for.
void add_fallback(ParamTable& table, const std::string& fallback_path, const std::string& gas);

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
