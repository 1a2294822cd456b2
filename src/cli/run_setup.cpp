#include "cli/run_setup.h"

#include <cctype>

#include "cli/structure.h"

namespace ccs::cli {

const char* default_n2_model(const std::string& gas_name) {
  return gas_name == "N2" ? "three-site" : "atom";
}

const char* default_method_name() { return method_available(Method::TM) ? "tm" : "pa"; }

Gas find_gas(const std::string& dir, const std::string& name) {
  const std::string table = dir + "/gases.tsv";
  for (const Gas& g : load_gases(table)) {
    if (g.name == name) return g;
  }
  input_error(table, "no gas '" + name + "' in the gas table");
}

std::string GasTables::sources() const { return hard_sphere.source + "; " + lennard_jones.source; }

GasTables load_gas_tables(const std::string& dir, const std::string& gas_name,
                          const std::vector<std::string>& extra) {
  std::string prefix = gas_name;
  for (char& c : prefix) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  GasTables t;
  t.hard_sphere = load_param_table(dir + "/" + prefix + "_hs.tsv");
  t.lennard_jones = load_param_table(dir + "/" + prefix + "_lj.tsv");
  // The generic fallback for the elements the sourced tables lack.
  add_fallback(t.hard_sphere, dir + "/uff_fallback.tsv", gas_name);
  add_fallback(t.lennard_jones, dir + "/uff_fallback.tsv", gas_name);
  for (const std::string& f : extra) {
    ParamTable x = load_param_table(f);
    (x.kind == ParamKind::HardSphere ? t.hard_sphere : t.lennard_jones).merge(x);
  }
  return t;
}

RunSettings settings_for(Method m, const RunSettings& common, const Numerics& requested) {
  RunSettings st = common;
  st.method = m;
  st.tensor = common.tensor && m != Method::PA;
  st.three_site = common.three_site && m == Method::LJ;
  st.numerics = resolve_numerics(m, st.tensor, requested, st.weighted_entry);
  return st;
}

}  // namespace ccs::cli
