// Entry computations of the three trajectory plug-ins, in the plug-ins'
// input order: scalars by value, the in/out scalar U_vel by reference, the
// matrix inputs as dynamic arrays, then the orientation table (resized by the
// computation) and one pointer per scalar result.
#pragma once

#include "runtime/context.h"
#include "runtime/emx_array.h"

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
