// Per-atom Lennard-Jones and site-charge coefficients of tracerun_well,
// formed once per call (charges once per orientation) from the atoms'
// parameters and the gas mass.
#include "trajectory/lj_kernels.h"

namespace ccs {

void lj_coefficients(const double* epsili, const double* sigmai, const double* sigma2i, int n,
                     double m_gas, double* lj_att, double* lj_rep, double* lj_energy) {
  for (int i = 0; i < n; ++i) {
    const double att = ((24.0 * epsili[i]) * sigmai[i]) / m_gas;
    lj_att[i] = att;
    lj_rep[i] = (2.0 * sigma2i[i]) * ((24.0 * epsili[i]) / m_gas);
    lj_energy[i] = att / 6.0;
  }
}

double lj_polarisation_constant(double m_gas) { return 1.1189573200754354e-28 / m_gas; }

void lj_charge_coefficients(const double* q, int n, double K_pol, double* q_force,
                            double* q_energy) {
  for (int i = 0; i < n; ++i) {
    q_force[i] = q[i] * K_pol;
    q_energy[i] = q[i] * K_pol;
  }
}

}  // namespace ccs
