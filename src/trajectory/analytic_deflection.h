// Deflection of a gas molecule that passes a single charge outside the
// capture radius, from a fitted deflection function of one reduced parameter
// A = C / (r_min^4 v^2) instead of integrating its path.
#pragma once

namespace ccs::trajectory {

// Deflection angle chi in [0, pi] (rad) for the reduced parameter A. `rising`
// receives the branch: true on the first (A < 0.82763) and third (A > 0.98)
// branches, false on the middle one.
double deflection_angle(double A, bool* rising);

struct DeflectionInput {
  double d0[3];        // initial unit direction
  double w[3];         // start position -> charge (m)
  double b[3];         // impact vector: w minus its component along d0 (m)
  double b2;           // |b|^2
  double v2;           // squared speed at the start
  double Force_const;  // K_F
  double q2;           // squared charge
  double v_inf;        // asymptotic speed (m/s)
  double m_gas;        // gas molecule mass (kg)
};

// Momentum transfer of the deflected molecule into dp. Returns false and
// leaves dp unchanged when the geometry does not define a direction (the
// plane parametrisation or the quadratic for the new direction degenerates,
// or a root is not finite); the caller then integrates the trajectory.
bool analytic_deflection(const DeflectionInput& in, double dp[3]);

}  // namespace ccs::trajectory
