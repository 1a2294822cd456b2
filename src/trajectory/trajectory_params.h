// Parameters of one run of the trajectory method: one typed record, checked
// once (validate) by whoever fills it: the plug-in entries from their inputs
// (trajectory_entries.h), the program from physical conditions. The drivers
// and kernels trust it.
//
// The physical inputs keep the names of the plug-ins' inputs, whose relations
// README.md gives: SI units except the molecule's lengths (Å).
#pragma once

#include "runtime/collision_law.h"
#include "runtime/constants.h"
#include "runtime/views.h"
#include "trajectory/lj_kernels.h"

namespace ccs::trajectory {

// How the atoms meet the gas molecule: hard spheres that may move along
// stored frames, hard spheres held fixed, or a soft Lennard-Jones field.
enum class Variant { Moving, Fixed, Well };

// How the trajectories of an orientation enter: the plug-ins' sphere and box
// loops, or (the program) the disc facing each direction with the impact
// points concentrated on the ion's core and momentum-weighted speeds, every
// transfer carrying its likelihood ratio (trajectory_batches.h).
enum class EntrySampling { Plugin, WeightedDisc };

struct TrajectoryParams {
  Variant variant = Variant::Fixed;

  // The molecule: x, y, z, radius (Å) and optionally a charge (e; NaN for an
  // uncharged atom) per row; Number_atoms equals the row count.
  TableView atoms;
  double Number_atoms = 0;
  double r_probe = 0;  // added to every radius (Å)

  // Ion and gas.
  double z = 1;              // ion charge (e)
  double e = kElementaryCharge;
  double m_w = 0;            // ion mass (kg)
  double Kb = kBoltzmann;
  double T0 = 298.15;        // K
  double m_gas = 0;          // kg
  double rho_g = 0;          // gas mass density (kg/m^3)
  double v_c_t = 0;          // speed scale of the launch speeds (m/s)
  double v_c = 0;            // reference speed of the time-step rule (m/s)
  double Force_const = 0;    // ion-induced-dipole force constant (m^6/s^2)
  double Kappa = 0;          // Force_const / (2 v_c_t^2): field reach of the entry domain (m^4)

  // Sampling.
  OrientationMode orientations = OrientationMode::Random;
  double n_rotations = 0;  // orientations (whole part; 3 in AxisTensor)
  double N_total = 0;      // trajectories per orientation
  double seedn = 0;        // seed of the serial stream

  // Integration and entry domain.
  double deltatenhance = 1;     // time-step divisor
  double multiplier = 1;        // collision passes per trajectory (hard spheres)
  double boxdomain = 0;         // least entry margin about a weak single charge (Å)
  double min_entry_radius = 0;  // least entry radius about the centroid, any charges (Å)

  // Entry sampling. WeightedDisc: from the entry sphere of the domain, the
  // impact points in three rings about the axis along each direction, in
  // units of the molecule's shadow radius along it (EntryDisc).
  EntrySampling entry_sampling = EntrySampling::Plugin;
  double disc_inner = 0.8, disc_outer = 1.4;               // shadow radii
  double disc_middle_density = 0.2, disc_outer_density = 0.05;  // relative to the inner disc

  // Collisions with hard spheres.
  double a = 0;  // probability that a collision is diffuse
  DiffuseDirection diffusive = DiffuseDirection::Specular;
  bool maxwell_speed = false;  // diffuse speed drawn from the flux-weighted Maxwell law
  double v_c2 = 0;             // mean re-emission speed (m/s); 0: the molecule's own
  double v_c_return = 0;       // speed after an Unchanged-direction diffuse collision (m/s)

  // Moving atoms: masses (g/mol) and stacked frames (Å, 1 fs apart), which
  // the driver centres and turns in place (the caller's private copy).
  TableView massarray;
  double* Move_pos = nullptr;
  int move_rows = 0;
  int move_cols = 0;
  double cfactor = 1;  // velocity factor of atoms lighter than the gas molecule

  // Soft field: per atom the well depth (J), sigma^6 and sigma^12 (m).
  TableView epsili, sigmai, sigma2i;
  bool three_site = false;                     // three-site gas molecule (nitrogen)
  double three_site_kT = kThreeSitePluginKT;  // its orientation weights (J)
};

// Raises rt::Error "trajectory:badInput" naming the input when the arrays
// cannot be read as the driver reads them, a mode would read past the
// orientation table, or a count does not fit a loop.
void validate(const TrajectoryParams& p);

}  // namespace ccs::trajectory
