// What a run needs from the names and values a user gives: the gas and the
// parameter tables by gas name, and the settings of each method of a request.
// The ccs program and the Python bindings both build their runs here, so the
// defaults have one definition.
#pragma once

#include <string>
#include <vector>

#include "cli/params.h"
#include "cli/run.h"

namespace ccs::cli {

inline constexpr const char* kDefaultGas = "He";

// The nitrogen model of lj when none is asked for: the three-site molecule in
// N2 ("three-site"), none elsewhere ("atom": per-atom pair parameters).
const char* default_n2_model(const std::string& gas_name);

// The trajectory method when it is built into the library, else the
// projection approximation.
const char* default_method_name();

// The gas `name` of the gas table in `dir`. Raises InputError naming the
// table when it has no such gas.
Gas find_gas(const std::string& dir, const std::string& name);

struct GasTables {
  ParamTable hard_sphere;
  ParamTable lennard_jones;
  std::string sources() const;  // the files the tables were read from
};

// The shipped tables of gas `gas_name` in `dir` (lower-case name: he_hs.tsv,
// he_lj.tsv, n2_hs.tsv, ...) with each of the `extra` tables merged into the
// table of its type. Raises InputError naming the file.
GasTables load_gas_tables(const std::string& dir, const std::string& gas_name,
                          const std::vector<std::string>& extra);

// The settings of method `m` from those of a request for several methods:
// tensor mode is dropped for the projection approximation, the three-site
// nitrogen model outside lj, and the method's defaults fill every 0 of
// `requested`.
RunSettings settings_for(Method m, const RunSettings& common, const Numerics& requested);

}  // namespace ccs::cli
