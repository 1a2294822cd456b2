// Entry computations of the three trajectory plug-ins. The plug-ins' inputs
// arrive as doubles (flags included) and dynamic arrays; plugin_params turns
// them into the typed record of the method, and the exported functions keep
// the plug-ins' positional signatures as thin shims over it.
#pragma once

#include "runtime/context.h"
#include "runtime/emx_array.h"
#include "trajectory/trajectory_driver.h"

namespace ccs::trajectory {

// The inputs of tracerun_plus, tracerun and tracerun_well by name, as the
// plug-ins take them (arrays a plug-in does not have stay null).
struct PluginInputs {
  double boxdomain = 0, deltatenhance = 0, random_C = 0, diffusive = 0, multiplier = 0;
  double z = 0, e = 0, m_w = 0, Kb = 0, T0 = 0, N_total = 0, rho_g = 0, Kappa = 0;
  double n_rotations = 0, Force_const = 0, a = 0, m_gas = 0, v_c = 0, v_c2 = 0, v_c_return = 0;
  const emxArray_real_T* DATA_atoms = nullptr;
  double Number_atoms = 0, r_probe = 0, v_c_t = 0, seedn = 0, MobcalHS = 0;
  const emxArray_real_T* massarray = nullptr;  // tracerun_plus
  emxArray_real_T* Move_pos = nullptr;         // tracerun_plus: turned in place
  double cfactor = 0;                          // tracerun_plus
  const emxArray_real_T* epsili = nullptr;     // tracerun_well
  const emxArray_real_T* sigmai = nullptr;
  const emxArray_real_T* sigma2i = nullptr;
  double qpol = 0;                             // tracerun_well
};

// The typed record of a plug-in call: MobcalHS 0 selects the axis
// orientations, diffusive 0/1 the specular/cosine direction, random_C 1 the
// Maxwell speed, qpol 1 the three-site gas. Not yet validated.
TrajectoryParams plugin_params(Variant v, const PluginInputs& in);

// Validates, runs, and copies the orientation table into `table` (when not
// null) and the eleven scalar results into `results`.
void run_plugin(rt::Context* ctx, Variant v, const PluginInputs& in, emxArray_real_T* table,
                double results[11]);

}  // namespace ccs::trajectory

extern "C" {

void tracerun_plus(rt::Context* ctx, double boxdomain, double deltatenhance, double random_C,
                   double diffusive, double multiplier, double* U_vel, double z, double e,
                   double m_w, double Kb, double T0, double N_total, double rho_g, double Kappa,
                   double n_rotations, double Force_const, double a, double m_gas, double v_c,
                   double v_c2, double v_c_return, const emxArray_real_T* DATA_atoms,
                   double Number_atoms, double r_probe, double v_c_t, double seedn,
                   double MobcalHS, const emxArray_real_T* massarray, emxArray_real_T* Move_pos,
                   double cfactor, emxArray_real_T* table, double results[11]);

void tracerun(rt::Context* ctx, double boxdomain, double deltatenhance, double random_C,
              double diffusive, double multiplier, double* U_vel, double z, double e, double m_w,
              double Kb, double T0, double N_total, double rho_g, double Kappa,
              double n_rotations, double Force_const, double a, double m_gas, double v_c,
              double v_c2, double v_c_return, const emxArray_real_T* DATA_atoms,
              double Number_atoms, double r_probe, double v_c_t, double seedn, double MobcalHS,
              emxArray_real_T* table, double results[11]);

void tracerun_well(rt::Context* ctx, double boxdomain, double deltatenhance, double random_C,
                   double diffusive, double multiplier, double* U_vel, double z, double e,
                   double m_w, double Kb, double T0, double N_total, double rho_g, double Kappa,
                   double n_rotations, double Force_const, double a, double m_gas, double v_c,
                   double v_c2, double v_c_return, const emxArray_real_T* DATA_atoms,
                   double Number_atoms, double r_probe, double v_c_t,
                   const emxArray_real_T* epsili, const emxArray_real_T* sigmai,
                   const emxArray_real_T* sigma2i, double seedn, double MobcalHS, double qpol,
                   double results[11]);
}
