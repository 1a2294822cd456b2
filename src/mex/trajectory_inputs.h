// Inputs 1-25 shared by the three trajectory plug-ins, in their order.
#pragma once

#include "mex/entry_layer.h"
#include "trajectory/trajectory_driver.h"

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

// The inputs the boundary checks read, filled from the converted inputs
// (MobcalHS sits at a different position in each plug-in).
inline ccs::trajectory::TrajectoryInputs trajectory_check_fields(const mexentry::Inputs& in,
                                                                 int MobcalHS_pos) {
  ccs::trajectory::TrajectoryInputs chk;
  chk.diffusive = in.scalar(3);
  chk.multiplier = in.scalar(4);
  chk.N_total = in.scalar(11);
  chk.n_rotations = in.scalar(14);
  chk.DATA_atoms = in.array(21);
  chk.Number_atoms = in.scalar(22);
  chk.MobcalHS = in.scalar(MobcalHS_pos);
  return chk;
}
