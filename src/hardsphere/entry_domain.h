// Entry domains of hard-sphere scattering: the box and the sphere that
// enclose the oriented molecule, the trajectory counts and flux normalisers
// of each, and the sampling of launch points and directions.
#pragma once

#include <vector>

#include "runtime/geometry.h"

struct HsEntryDomain {
  double lo[3];  // box faces: column minimum - r_max (Å)
  double hi[3];  // box faces: column maximum + r_max (Å)
  double L[3];   // box edge lengths hi - lo
  double A_x;    // face areas: Lz*Ly, Lz*Lx and the doubled (Ly*Lx)*2
  double A_y;
  double A_z2;
  double centre[3];  // centroid of the atom centres
  double R;          // entry sphere radius: farthest atom surface from the centroid
  double S;          // entry sphere area
  bool use_box;      // box volume not larger than sphere volume
};

// Encloses the oriented atoms P (n x 3, column-major) with collision radii r
// (largest r_max). The centroid divides the coordinate sums by number_atoms.
void hs_entry_domain(const double* P, int n, double number_atoms, const double* r, double r_max,
                     HsEntryDomain* dom);

// The atoms among which the entry sphere's radius lies in every turned copy
// P0 R of the centres P0 (R a rotation): those whose distance from the
// centroid plus radius comes within the rounding of the turned coordinates
// and of their sums of the largest. Not `known` (every atom counts) when some
// centre or radius is not finite or beyond kHsCoordinateBound, or when the
// centroid does not divide by n.
struct HsOutermostAtoms {
  bool known = false;
  std::vector<int> atoms;  // ascending
};
HsOutermostAtoms hs_outermost_atoms(const double* P0, int n, double number_atoms, const double* r);

// hs_entry_domain of the centres P0 turned by R (P0 R, as
// geometry::rotate_rows_into turns them), from the summary of the turned
// columns and the outermost atoms of P0, without a turned copy: the same domain.
void hs_turned_entry_domain(const double* P0, int n, double number_atoms, const double* r,
                            double r_max, const double R[9],
                            const ccs::geometry::ColumnSummary& columns,
                            const HsOutermostAtoms& outermost, HsEntryDomain* dom);

// Trajectory counts of the three face loops: ceil for x, round (halves away
// from zero) for y and z. The counts may not add up to n_total.
void hs_box_counts(double n_total, const HsEntryDomain& dom, double* n_x, double* n_y, double* n_z);

// Incident-flux normalisers that turn summed momentum transfers (kg m/s)
// into the orientation-table row, for rho in kg/m^3.
double hs_sphere_normaliser(double n_total, double rho, double m_gas, const HsEntryDomain& dom);
double hs_box_normaliser(double n_x, double rho, double m_gas, const HsEntryDomain& dom);

// Launch of trajectory k (1-based) of n_total through the entry sphere:
// point and inward direction flux-weighted by rejection; trajectories
// k > n_total/2 are the mirror image in x. Draws from the calling thread's
// stream.
void hs_sphere_launch(double k, double n_total, const HsEntryDomain& dom, double start[3],
                      double dir[3]);

// The same launch distribution drawn without trigonometric functions (the
// program's runs, whose draws need not follow the plug-in's). Over directions
// d and points n of the unit sphere that distribution has the density
// min(-g cos t2, 0.045 pi^2 / (sin t1 sin t2)) for g = n.d < 0 (cos t1 = n_x,
// cos t2 = d_x > 0). Proposal: d with density cos t2 (sin^2 t2 uniform) and
// n given d with density -g (g^2 uniform, uniform azimuth about -d);
// acceptance min(1, 0.045 pi^2 / (sin t1 cos t2 sin t2 (-g))), nearly always 1.
// Draws from the calling thread's stream.
void hs_sphere_launch_direct(double k, double n_total, const HsEntryDomain& dom, double start[3],
                             double dir[3]);

// Launches through the x-, y- and z-faces of the entry box (4, 6 and 6
// draws).
void hs_x_face_launch(const HsEntryDomain& dom, double start[3], double dir[3]);
void hs_y_face_launch(const HsEntryDomain& dom, double start[3], double dir[3]);
void hs_z_face_launch(const HsEntryDomain& dom, double start[3], double dir[3]);
