#include "cli/physics.h"

#include <cmath>

namespace ccs::cli {

GasInputs gas_inputs(const Conditions& c) {
  GasInputs g{};
  const double kT = kBoltzmann * c.temperature;
  g.number_density = c.pressure / kT;
  g.m_gas = c.gas.mass_u * kAtomicMass;
  g.rho_g = g.number_density * g.m_gas;
  g.v_c_t = std::sqrt(2.0 * kT / g.m_gas);
  const double alpha = c.gas.polarizability_A3 * 1e-30;
  g.Force_const = 2.0 * alpha * kElementary * kElementary / (4.0 * kPi * kEpsilon0 * g.m_gas);
  g.Kappa = g.Force_const / (2.0 * g.v_c_t * g.v_c_t);
  g.v_c2 = std::sqrt(9.0 * kPi * kT / (8.0 * g.m_gas));
  return g;
}

double field_radius(const Conditions& c, double z) {
  return std::pow(gas_inputs(c).Kappa * z * z / 0.005, 0.25) * 1e10;
}

namespace {
// (3/16) (z e / N) sqrt(2 pi / (mu k T)) in m^2 * (m^2/(V s)).
double mason_schamp_factor(double z, double ion_mass_u, const Conditions& c) {
  const GasInputs g = gas_inputs(c);
  const double m_ion = ion_mass_u * kAtomicMass;
  const double mu = g.m_gas * m_ion / (g.m_gas + m_ion);
  return 3.0 / 16.0 * std::fabs(z) * kElementary / g.number_density *
         std::sqrt(2.0 * kPi / (mu * kBoltzmann * c.temperature));
}
}  // namespace

double mobility_from_ccs(double ccs, double z, double ion_mass_u, const Conditions& c) {
  return mason_schamp_factor(z, ion_mass_u, c) / (ccs * 1e-20) * 1e4;
}

double ccs_from_mobility(double K, double z, double ion_mass_u, const Conditions& c) {
  return mason_schamp_factor(z, ion_mass_u, c) / (K * 1e-4) * 1e20;
}

double reduced_mobility(double K, const Conditions& c) {
  return K * (c.pressure / kStandardPressure) * (kStandardTemperature / c.temperature);
}

}  // namespace ccs::cli
