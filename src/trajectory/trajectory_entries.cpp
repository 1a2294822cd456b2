#include "trajectory/trajectory_entries.h"

#include "trajectory/trajectory_driver.h"

using ccs::trajectory::TrajectoryInputs;
using ccs::trajectory::TrajectoryResults;
using ccs::trajectory::Variant;

namespace {

TrajectoryInputs common(double boxdomain, double deltatenhance, double random_C,
                        double diffusive, double multiplier, double z, double e, double m_w,
                        double Kb, double T0, double N_total, double rho_g, double Kappa,
                        double n_rotations, double Force_const, double a, double m_gas,
                        double v_c, double v_c2, double v_c_return,
                        const emxArray_real_T* DATA_atoms, double Number_atoms, double r_probe,
                        double v_c_t, double seedn, double MobcalHS) {
  TrajectoryInputs in;
  in.boxdomain = boxdomain;
  in.deltatenhance = deltatenhance;
  in.random_C = random_C;
  in.diffusive = diffusive;
  in.multiplier = multiplier;
  in.z = z;
  in.e = e;
  in.m_w = m_w;
  in.Kb = Kb;
  in.T0 = T0;
  in.N_total = N_total;
  in.rho_g = rho_g;
  in.Kappa = Kappa;
  in.n_rotations = n_rotations;
  in.Force_const = Force_const;
  in.a = a;
  in.m_gas = m_gas;
  in.v_c = v_c;
  in.v_c2 = v_c2;
  in.v_c_return = v_c_return;
  in.DATA_atoms = DATA_atoms;
  in.Number_atoms = Number_atoms;
  in.r_probe = r_probe;
  in.v_c_t = v_c_t;
  in.seedn = seedn;
  in.MobcalHS = MobcalHS;
  return in;
}

void copy_results(const TrajectoryResults& r, double results[11]) {
  for (int k = 0; k < 11; ++k) results[k] = r.r[k];
}

}  // namespace

extern "C" {

void tracerun_plus(rt::Context* ctx, double boxdomain, double deltatenhance, double random_C,
                   double diffusive, double multiplier, double* /*U_vel*/, double z, double e,
                   double m_w, double Kb, double T0, double N_total, double rho_g, double Kappa,
                   double n_rotations, double Force_const, double a, double m_gas, double v_c,
                   double v_c2, double v_c_return, const emxArray_real_T* DATA_atoms,
                   double Number_atoms, double r_probe, double v_c_t, double seedn,
                   double MobcalHS, const emxArray_real_T* massarray, emxArray_real_T* Move_pos,
                   double cfactor, emxArray_real_T* table, double results[11]) {
  TrajectoryInputs in = common(boxdomain, deltatenhance, random_C, diffusive, multiplier, z, e,
                               m_w, Kb, T0, N_total, rho_g, Kappa, n_rotations, Force_const, a,
                               m_gas, v_c, v_c2, v_c_return, DATA_atoms, Number_atoms, r_probe,
                               v_c_t, seedn, MobcalHS);
  in.massarray = massarray;
  in.Move_pos = Move_pos;
  in.cfactor = cfactor;
  TrajectoryResults r;
  ccs::trajectory::run_trajectory_method(ctx, Variant::Moving, in, table, &r);
  copy_results(r, results);
}

void tracerun(rt::Context* ctx, double boxdomain, double deltatenhance, double random_C,
              double diffusive, double multiplier, double* /*U_vel*/, double z, double e,
              double m_w, double Kb, double T0, double N_total, double rho_g, double Kappa,
              double n_rotations, double Force_const, double a, double m_gas, double v_c,
              double v_c2, double v_c_return, const emxArray_real_T* DATA_atoms,
              double Number_atoms, double r_probe, double v_c_t, double seedn, double MobcalHS,
              emxArray_real_T* table, double results[11]) {
  const TrajectoryInputs in = common(boxdomain, deltatenhance, random_C, diffusive, multiplier,
                                     z, e, m_w, Kb, T0, N_total, rho_g, Kappa, n_rotations,
                                     Force_const, a, m_gas, v_c, v_c2, v_c_return, DATA_atoms,
                                     Number_atoms, r_probe, v_c_t, seedn, MobcalHS);
  TrajectoryResults r;
  ccs::trajectory::run_trajectory_method(ctx, Variant::Fixed, in, table, &r);
  copy_results(r, results);
}

void tracerun_well(rt::Context* ctx, double boxdomain, double deltatenhance, double random_C,
                   double diffusive, double multiplier, double* /*U_vel*/, double z, double e,
                   double m_w, double Kb, double T0, double N_total, double rho_g, double Kappa,
                   double n_rotations, double Force_const, double a, double m_gas, double v_c,
                   double v_c2, double v_c_return, const emxArray_real_T* DATA_atoms,
                   double Number_atoms, double r_probe, double v_c_t,
                   const emxArray_real_T* epsili, const emxArray_real_T* sigmai,
                   const emxArray_real_T* sigma2i, double seedn, double MobcalHS, double qpol,
                   double results[11]) {
  TrajectoryInputs in = common(boxdomain, deltatenhance, random_C, diffusive, multiplier, z, e,
                               m_w, Kb, T0, N_total, rho_g, Kappa, n_rotations, Force_const, a,
                               m_gas, v_c, v_c2, v_c_return, DATA_atoms, Number_atoms, r_probe,
                               v_c_t, seedn, MobcalHS);
  in.epsili = epsili;
  in.sigmai = sigmai;
  in.sigma2i = sigma2i;
  in.qpol = qpol;
  // The orientation table stays internal to this computation.
  rt::RealArray table;
  emxInit_real_T(ctx, table.out(), 2, true);
  TrajectoryResults r;
  ccs::trajectory::run_trajectory_method(ctx, Variant::Well, in, table.get(), &r);
  copy_results(r, results);
}
}
