// A small valid call of any generated plug-in, built from its input table by
// input name (the plug-ins share their names): helium at 298 K and 1 atm, one
// atom of collision radius 3 Å, a few orientations and trajectories.
#pragma once

#include <string>
#include <vector>

#include "host.h"
#include "mex/entry_layer.h"

namespace testhost {

inline double typical_scalar(const std::string& name) {
  const double kB = 1.380649e-23, e = 1.602176634e-19, u = 1.66053906660e-27;
  const double m_gas = 4.002602 * u, T = 298.0;
  const double v_c_t = 1113.0;  // sqrt(2 kB T / m_gas)
  const double Force_const = 2 * 0.204956e-30 * e * e / (1.11265005545e-10 * m_gas);
  const struct {
    const char* name;
    double value;
  } table[] = {
      {"boxdomain", 15},       {"deltatenhance", 20},
      {"random_C", 0},         {"diffusive", 0},
      {"multiplier", 100},     {"U_vel", 17},
      {"z", 1},                {"e", e},
      {"m_w", 300 * u},        {"Kb", kB},
      {"T0", T},               {"N_total", 8},
      {"rho_g", 101325 / (kB * T) * m_gas}, {"Kappa", Force_const / (2 * v_c_t * v_c_t)},
      {"n_rotations", 3},      {"Force_const", Force_const},
      {"a", 0},                {"m_gas", m_gas},
      {"v_c", v_c_t},          {"v_c2", 1255.0},
      {"v_c_return", 0},       {"Number_atoms", 1},
      {"r_probe", 1},          {"v_c_t", v_c_t},
      {"seedn", 3},            {"MobcalHS", 1},
      {"cfactor", 1},          {"qpol", 0},
      {"excelsheet", 42},      {"p0", 101325},
      {"EHSSPA", 0},           {"mode", 0},
  };
  for (const auto& t : table) {
    if (name == t.name) return t.value;
  }
  return 1.0;
}

inline Array typical_input(const mexentry::InputSpec& s) {
  const std::string name = s.name;
  if (name == "DATA_atoms") return matrix(1, 4, {0.3, -0.1, 0.2, 2.0});
  if (name == "massarray") return matrix(1, 1, {1e12});
  if (name == "Move_pos") return matrix(2, 3, {0.3, 0.3, -0.1, -0.1, 0.2, 0.2});
  if (name == "epsili") return matrix(1, 1, {0.0});
  if (name == "sigmai" || name == "sigma2i") return matrix(1, 1, {1.0});
  return scalar(typical_scalar(name));
}

// Owned inputs and the pointers a call takes; `set` replaces one input.
struct Call {
  std::vector<Array> owned;
  std::vector<const mxArray*> in;
  void set(int i, Array a) {
    in[static_cast<std::size_t>(i)] = a.get();
    owned[static_cast<std::size_t>(i)] = std::move(a);
  }
  int position(const mexentry::Plugin& p, const std::string& name) const {
    for (int i = 0; i < p.num_inputs; ++i) {
      if (name == p.inputs[i].name) return i;
    }
    return -1;
  }
};

inline Call typical_call(const mexentry::Plugin& p) {
  Call c;
  for (int i = 0; i < p.num_inputs; ++i) {
    c.owned.push_back(typical_input(p.inputs[i]));
    c.in.push_back(c.owned.back().get());
  }
  return c;
}

}  // namespace testhost
