// Physical conditions of a run and the relations that turn them into the
// inputs of the method drivers (written out in README.md).
#pragma once

#include <vector>

#include "cli/params.h"
#include "runtime/constants.h"

namespace ccs::cli {

// CODATA 2018 values and pi (one definition in runtime/constants.h).
using ccs::kAtomicMass;
using ccs::kBoltzmann;
using ccs::kEpsilon0;
using ccs::kPi;
constexpr double kElementary = ccs::kElementaryCharge;  // C
// Standard conditions of the reduced mobility.
constexpr double kStandardPressure = 101325.0;  // Pa
constexpr double kStandardTemperature = 273.15;  // K

struct Conditions {
  Gas gas;
  double temperature = 298.15;  // K
  double pressure = 101325.0;   // Pa
};

// Inputs derived from the conditions (SI).
struct GasInputs {
  double number_density;  // N = p / (k T)
  double m_gas;           // kg
  double rho_g;           // N m_gas
  double v_c_t;           // sqrt(2 k T / m_gas)
  double Force_const;     // 2 alpha e^2 / (4 pi eps0 m_gas)
  double Kappa;           // Force_const / (2 v_c_t^2)
  double v_c2;            // sqrt(9 pi k T / (8 m_gas))
};

GasInputs gas_inputs(const Conditions& c);

using ccs::kNegligibleEnergyFraction;

// Distance (Å) from a point charge z beyond which the ion-induced-dipole
// energy of a gas molecule stays below 0.5 % of k T (Kappa E^2 <= 0.005 with
// E = z / r^2): r = (Kappa z^2 / 0.005)^(1/4).
double field_radius(const Conditions& c, double z);

// One Lennard-Jones centre of the ion: position (Å) and its pair parameters
// with the gas molecule (well depth in J, sigma in Å).
struct LjCentre {
  double x, y, z;
  double epsilon_J;
  double sigma_A;
};

// Radius (Å) about the centroid of the centres beyond which the
// Lennard-Jones attraction of the whole molecule, sum_i 4 eps_i
// (sigma_i / r_i)^6, stays below 0.5 % of k T in every one of a fixed set of
// 64 directions spread over the sphere. At least the largest centre distance
// plus its sigma.
double lennard_jones_reach(const std::vector<LjCentre>& centres, double temperature);

// Mobility K (cm^2/(V s)) of an ion of charge z and mass m_ion (u) with the
// cross section ccs (Å^2), by the Mason-Schamp relation
//   K = (3/16) (z e / N) sqrt(2 pi / (mu k T)) / ccs.
double mobility_from_ccs(double ccs, double z, double ion_mass_u, const Conditions& c);
// Cross section from a mobility (the same relation solved for the ccs).
double ccs_from_mobility(double K, double z, double ion_mass_u, const Conditions& c);
// Reduced mobility K0 = K (p / 101325 Pa) (273.15 K / T).
double reduced_mobility(double K, const Conditions& c);

}  // namespace ccs::cli
