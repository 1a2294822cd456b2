// Inputs 1-25 shared by the three trajectory plug-ins, in their order.
#pragma once

#include "mex/entry_layer.h"
#include "trajectory/trajectory_entries.h"

#define CCS_TRAJECTORY_COMMON_INPUTS                                                          \
  {"boxdomain", mexentry::Kind::Scalar}, {"deltatenhance", mexentry::Kind::Scalar},           \
      {"random_C", mexentry::Kind::Scalar}, {"diffusive", mexentry::Kind::Scalar},            \
      {"multiplier", mexentry::Kind::Scalar}, {"U_vel", mexentry::Kind::InOut},               \
      {"z", mexentry::Kind::Scalar}, {"e", mexentry::Kind::Scalar},                           \
      {"m_w", mexentry::Kind::Scalar}, {"Kb", mexentry::Kind::Scalar},                        \
      {"T0", mexentry::Kind::Scalar}, {"N_total", mexentry::Kind::Scalar},                    \
      {"rho_g", mexentry::Kind::Scalar}, {"Kappa", mexentry::Kind::Scalar},                   \
      {"n_rotations", mexentry::Kind::Scalar}, {"Force_const", mexentry::Kind::Scalar},       \
      {"a", mexentry::Kind::Scalar}, {"m_gas", mexentry::Kind::Scalar},                       \
      {"v_c", mexentry::Kind::Scalar}, {"v_c2", mexentry::Kind::Scalar},                      \
      {"v_c_return", mexentry::Kind::Scalar},                                                 \
      {"DATA_atoms", mexentry::Kind::Matrix, 150000, 7},                                      \
      {"Number_atoms", mexentry::Kind::Scalar}, {"r_probe", mexentry::Kind::Scalar},          \
      {"v_c_t", mexentry::Kind::Scalar}

// Outputs 2-16 of tracerun_plus and tracerun (output 1 is the table).
inline void trajectory_outputs(mexentry::Outputs& out, double U_vel, const double r[11]) {
  out.scalar(r[0]);
  out.scalar(r[1]);
  out.scalar(r[2]);
  out.scalar(U_vel);
  for (int k = 3; k < 10; ++k) out.scalar(r[k]);
  out.empty();
  out.empty();
  out.empty();
  out.scalar(r[10]);
}

// Inputs 1-25, seedn and MobcalHS (at `seed_pos` and `seed_pos` + 1: their
// positions differ between the plug-ins) as the typed driver's raw record.
inline ccs::trajectory::PluginInputs trajectory_plugin_inputs(mexentry::Inputs& in, int seed_pos) {
  ccs::trajectory::PluginInputs p;
  p.boxdomain = in.scalar(0);
  p.deltatenhance = in.scalar(1);
  p.random_C = in.scalar(2);
  p.diffusive = in.scalar(3);
  p.multiplier = in.scalar(4);
  p.z = in.scalar(6);
  p.e = in.scalar(7);
  p.m_w = in.scalar(8);
  p.Kb = in.scalar(9);
  p.T0 = in.scalar(10);
  p.N_total = in.scalar(11);
  p.rho_g = in.scalar(12);
  p.Kappa = in.scalar(13);
  p.n_rotations = in.scalar(14);
  p.Force_const = in.scalar(15);
  p.a = in.scalar(16);
  p.m_gas = in.scalar(17);
  p.v_c = in.scalar(18);
  p.v_c2 = in.scalar(19);
  p.v_c_return = in.scalar(20);
  p.DATA_atoms = in.array(21);
  p.Number_atoms = in.scalar(22);
  p.r_probe = in.scalar(23);
  p.v_c_t = in.scalar(24);
  p.seedn = in.scalar(seed_pos);
  p.MobcalHS = in.scalar(seed_pos + 1);
  return p;
}
