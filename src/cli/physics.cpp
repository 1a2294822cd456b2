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
  return std::pow(gas_inputs(c).Kappa * z * z / kNegligibleEnergyFraction, 0.25) * 1e10;
}

double lennard_jones_reach(const std::vector<LjCentre>& centres, double temperature) {
  const std::size_t n = centres.size();
  if (n == 0) return 0.0;
  double c[3] = {0.0, 0.0, 0.0};
  for (const LjCentre& a : centres) {
    c[0] += a.x;
    c[1] += a.y;
    c[2] += a.z;
  }
  for (double& v : c) v /= static_cast<double>(n);
  // Relative positions, and per centre 4 eps sigma^6 in units of the limit.
  const double limit = kNegligibleEnergyFraction * kBoltzmann * temperature;
  std::vector<double> rel(3 * n), c6(n);
  double r0 = 0.0;
  for (std::size_t i = 0; i < n; ++i) {
    const LjCentre& a = centres[i];
    rel[3 * i] = a.x - c[0];
    rel[3 * i + 1] = a.y - c[1];
    rel[3 * i + 2] = a.z - c[2];
    const double d = std::sqrt(rel[3 * i] * rel[3 * i] + rel[3 * i + 1] * rel[3 * i + 1] +
                               rel[3 * i + 2] * rel[3 * i + 2]);
    r0 = std::fmax(r0, d + a.sigma_A);
    c6[i] = 4.0 * a.epsilon_J * std::pow(a.sigma_A, 6.0) / limit;
  }
  // Directions: a spiral of 64 nearly evenly spaced points on the sphere.
  constexpr int kDirections = 64;
  const double golden = kPi * (3.0 - std::sqrt(5.0));
  auto attraction_exceeds = [&](double r) {
    for (int k = 0; k < kDirections; ++k) {
      const double uz = 1.0 - (2.0 * k + 1.0) / kDirections;
      const double rho = std::sqrt(1.0 - uz * uz);
      const double p[3] = {r * rho * std::cos(golden * k), r * rho * std::sin(golden * k), r * uz};
      double sum = 0.0;
      for (std::size_t i = 0; i < n; ++i) {
        const double dx = p[0] - rel[3 * i], dy = p[1] - rel[3 * i + 1], dz = p[2] - rel[3 * i + 2];
        const double d2 = dx * dx + dy * dy + dz * dz;
        sum += c6[i] / (d2 * d2 * d2);
      }
      if (sum > 1.0) return true;
    }
    return false;
  };
  if (!attraction_exceeds(r0)) return r0;
  // Beyond every centre each term falls as the radius grows: bracket, then bisect.
  double lo = r0, hi = 2.0 * r0;
  for (int k = 0; k < 64 && attraction_exceeds(hi); ++k) {
    lo = hi;
    hi *= 2.0;
  }
  while (hi - lo > 0.01) {
    const double mid = 0.5 * (lo + hi);
    (attraction_exceeds(mid) ? lo : hi) = mid;
  }
  return hi;
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
