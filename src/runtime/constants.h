// Constants and relations shared by the methods, the program and the tests:
// one definition each. Values are the doubles the formulas were written
// with, so results keep their last bit.
#pragma once

#include <cmath>

namespace ccs {

// Mathematics (the nearest doubles).
inline constexpr double kPi = 3.141592653589793;
inline constexpr double kTwoPi = 6.283185307179586;
inline constexpr double kHalfPi = 1.5707963267948966;

// CODATA 2018 exact or recommended values (SI).
inline constexpr double kBoltzmann = 1.380649e-23;         // J/K
inline constexpr double kElementaryCharge = 1.602176634e-19;  // C
inline constexpr double kEpsilon0 = 8.8541878128e-12;      // F/m
inline constexpr double kAtomicMass = 1.66053906660e-27;   // kg
inline constexpr double kAvogadro = 6.02214076e23;         // 1/mol

// The hard-sphere plug-in's own fixed values of k_B and e, with which it
// forms the gas density and the mobilities whatever the caller passes.
inline constexpr double kHardSphereBoltzmann = 1.38e-23;  // J/K
inline constexpr double kHardSphereCharge = 1.602e-19;    // C

// 9 / (8 pi): the Mason-Schamp relation as the drivers write it,
//   K = (3/16) (z e / N) sqrt(2 pi / (mu k T)) / Omega
// becomes Omega = G / K with G = sqrt(m_gas 9/(8 pi) / (k T)) sqrt(1 + m_gas/m_ion) z e / rho_gas.
inline constexpr double kNineOverEightPi = 0.3580986219567645;

// Fraction of k T below which an interaction at the edge of the entry domain
// is left out: the ion-induced-dipole energy (Kappa E^2 <= 0.005, with
// Kappa = alpha e^2 / (4 pi eps0 2 k T) per the relations in README.md) and,
// in the program, the Lennard-Jones attraction.
inline constexpr double kNegligibleEnergyFraction = 0.005;

// Time-step rule near a strong charge: closer than 4.7 Å (squared, Å^2).
inline constexpr double kNearChargeRadius2 = 22.09;

// Mobility (cm^2/(V s)) of one orientation from its momentum-transfer sum
// `transfer` (the flux-normalised x component), with
// mass_factor = sqrt(1 + m_gas / m_ion), the ion charge z and e (C).
inline double orientation_mobility(double transfer, double mass_factor, double z, double e) {
  return mass_factor / transfer * z * e * 10000.0;
}

// G of the drivers' Mason-Schamp relation (see kNineOverEightPi): SI inputs,
// kB (J/K) and e (C) as the caller's method takes them.
inline double mason_schamp_g(double m_gas, double kB, double T, double mass_factor, double z,
                             double e, double rho_gas) {
  const double M = std::sqrt(m_gas * kNineOverEightPi / kB / T);
  return M * (mass_factor * z * e / rho_gas);
}

// Cross section (Å^2) of a mobility K (cm^2/(V s)) by the drivers' relation.
inline double ccs_from_driver_mobility(double G, double K) {
  return G / K * 10000.0 * 1e20 * kPi * 0.25;
}

}  // namespace ccs
