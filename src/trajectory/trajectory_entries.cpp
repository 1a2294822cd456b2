#include "trajectory/trajectory_entries.h"

namespace ccs::trajectory {
namespace {

int cols_of(const emxArray_real_T* a) { return a->numDimensions > 1 ? a->size[1] : 1; }

TableView table_of(const emxArray_real_T* a) {
  return a == nullptr ? TableView{} : TableView{a->data, a->size[0], cols_of(a)};
}

// Every element as one column (per-atom values).
TableView values_of(const emxArray_real_T* a) {
  return a == nullptr ? TableView{} : TableView{a->data, rt::numel(a), 1};
}

PluginInputs common(double boxdomain, double deltatenhance, double random_C, double diffusive,
                    double multiplier, double z, double e, double m_w, double Kb, double T0,
                    double N_total, double rho_g, double Kappa, double n_rotations,
                    double Force_const, double a, double m_gas, double v_c, double v_c2,
                    double v_c_return, const emxArray_real_T* DATA_atoms, double Number_atoms,
                    double r_probe, double v_c_t, double seedn, double MobcalHS) {
  return PluginInputs{boxdomain, deltatenhance, random_C, diffusive, multiplier, z, e, m_w, Kb,
                      T0, N_total, rho_g, Kappa, n_rotations, Force_const, a, m_gas, v_c, v_c2,
                      v_c_return, DATA_atoms, Number_atoms, r_probe, v_c_t, seedn, MobcalHS};
}

}  // namespace

TrajectoryParams plugin_params(Variant v, const PluginInputs& in) {
  TrajectoryParams p;
  p.variant = v;
  p.atoms = table_of(in.DATA_atoms);
  p.Number_atoms = in.Number_atoms;
  p.r_probe = in.r_probe;
  p.z = in.z;
  p.e = in.e;
  p.m_w = in.m_w;
  p.Kb = in.Kb;
  p.T0 = in.T0;
  p.m_gas = in.m_gas;
  p.rho_g = in.rho_g;
  p.v_c_t = in.v_c_t;
  p.v_c = in.v_c;
  p.Force_const = in.Force_const;
  p.Kappa = in.Kappa;
  p.orientations = orientation_mode_from_code(in.MobcalHS);
  p.n_rotations = in.n_rotations;
  p.N_total = in.N_total;
  p.seedn = in.seedn;
  p.deltatenhance = in.deltatenhance;
  p.multiplier = in.multiplier;
  p.boxdomain = in.boxdomain;
  p.a = in.a;
  p.diffusive = diffuse_direction_from_code(in.diffusive);
  p.maxwell_speed = maxwell_speed_from_code(in.random_C);
  p.v_c2 = in.v_c2;
  p.v_c_return = in.v_c_return;
  if (v == Variant::Moving) {
    p.massarray = values_of(in.massarray);
    p.Move_pos = in.Move_pos->data;
    p.move_rows = in.Move_pos->size[0];
    p.move_cols = cols_of(in.Move_pos);
    p.cfactor = in.cfactor;
  }
  if (v == Variant::Well) {
    p.epsili = values_of(in.epsili);
    p.sigmai = values_of(in.sigmai);
    p.sigma2i = values_of(in.sigma2i);
    p.three_site = in.qpol == 1.0;
  }
  return p;
}

void run_plugin(rt::Context* ctx, Variant v, const PluginInputs& in, emxArray_real_T* table,
                double results[11]) {
  const TrajectoryParams p = plugin_params(v, in);
  validate(p);
  TrajectoryResults r;
  run_trajectory_method(ctx, p, &r);
  if (table != nullptr) {
    const int n_rot = static_cast<int>(r.table.size() / 3);
    rt::resize(table, n_rot, 3);
    for (int k = 0; k < n_rot * 3; ++k) table->data[k] = r.table[static_cast<std::size_t>(k)];
  }
  for (int k = 0; k < 11; ++k) results[k] = r.r[k];
}

}  // namespace ccs::trajectory

using ccs::trajectory::PluginInputs;
using ccs::trajectory::Variant;

extern "C" {

void tracerun_plus(rt::Context* ctx, double boxdomain, double deltatenhance, double random_C,
                   double diffusive, double multiplier, double* /*U_vel*/, double z, double e,
                   double m_w, double Kb, double T0, double N_total, double rho_g, double Kappa,
                   double n_rotations, double Force_const, double a, double m_gas, double v_c,
                   double v_c2, double v_c_return, const emxArray_real_T* DATA_atoms,
                   double Number_atoms, double r_probe, double v_c_t, double seedn,
                   double MobcalHS, const emxArray_real_T* massarray, emxArray_real_T* Move_pos,
                   double cfactor, emxArray_real_T* table, double results[11]) {
  PluginInputs in = ccs::trajectory::common(
      boxdomain, deltatenhance, random_C, diffusive, multiplier, z, e, m_w, Kb, T0, N_total,
      rho_g, Kappa, n_rotations, Force_const, a, m_gas, v_c, v_c2, v_c_return, DATA_atoms,
      Number_atoms, r_probe, v_c_t, seedn, MobcalHS);
  in.massarray = massarray;
  in.Move_pos = Move_pos;
  in.cfactor = cfactor;
  ccs::trajectory::run_plugin(ctx, Variant::Moving, in, table, results);
}

void tracerun(rt::Context* ctx, double boxdomain, double deltatenhance, double random_C,
              double diffusive, double multiplier, double* /*U_vel*/, double z, double e,
              double m_w, double Kb, double T0, double N_total, double rho_g, double Kappa,
              double n_rotations, double Force_const, double a, double m_gas, double v_c,
              double v_c2, double v_c_return, const emxArray_real_T* DATA_atoms,
              double Number_atoms, double r_probe, double v_c_t, double seedn, double MobcalHS,
              emxArray_real_T* table, double results[11]) {
  const PluginInputs in = ccs::trajectory::common(
      boxdomain, deltatenhance, random_C, diffusive, multiplier, z, e, m_w, Kb, T0, N_total,
      rho_g, Kappa, n_rotations, Force_const, a, m_gas, v_c, v_c2, v_c_return, DATA_atoms,
      Number_atoms, r_probe, v_c_t, seedn, MobcalHS);
  ccs::trajectory::run_plugin(ctx, Variant::Fixed, in, table, results);
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
  PluginInputs in = ccs::trajectory::common(
      boxdomain, deltatenhance, random_C, diffusive, multiplier, z, e, m_w, Kb, T0, N_total,
      rho_g, Kappa, n_rotations, Force_const, a, m_gas, v_c, v_c2, v_c_return, DATA_atoms,
      Number_atoms, r_probe, v_c_t, seedn, MobcalHS);
  in.epsili = epsili;
  in.sigmai = sigmai;
  in.sigma2i = sigma2i;
  in.qpol = qpol;
  // The orientation table stays internal to this computation.
  ccs::trajectory::run_plugin(ctx, Variant::Well, in, nullptr, results);
}
}
