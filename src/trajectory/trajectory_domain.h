// Entry domain of one orientation of the trajectory method: the box or the
// sphere from which gas molecules are launched, large enough to hold the
// ion's field (and, when asked, a least radius about the centroid), and the
// exit box the kernels test against.
#pragma once

namespace ccs::trajectory {

// The oriented molecule and its charges as the domain needs them.
struct DomainInputs {
  const double* coords;  // N x 3 atom centres (Å), column-major
  int N;
  double Number_atoms;  // divides the coordinate sums of the centroid
  const double* R;      // N collision radii (Å)
  double Rmax;          // largest of R (NaN skipped)
  double pad;           // margin added to the atom extents (Å): 2 for the soft field
  int nq;               // charges
  const double* q;      // nq values (e)
  const double* qpos;   // nq x 3 positions (m)
  const double* qA;     // the same in Å
  double boxdomain;     // least margin about a weak single charge (Å)
  double Kappa;         // field reach: the domain holds Kappa E^2 > 0.005 (m^4)
  double min_entry_radius;  // least radius about the centroid (Å; 0: none)
};

struct EntryDomain {
  double lo[3], hi[3];  // entry box (Å)
  double L[3];          // its edge lengths (Å)
  double A;             // L_y L_z: area of an x face (Å^2)
  double centre[3];     // centroid of the atoms (Å)
  double Rs;            // entry sphere radius (Å)
  double R_surface;     // farthest atom surface from the centroid (Å, no pad)
  bool use_box;         // the box is not larger than the sphere
  double exit_box[6];   // x_min x_max y_min y_max z_min z_max (m): the entry
                        // box, or the box around the sphere
};

// Box: the atom extents (padded by Rmax + pad), widened on every side by
// boxdomain about a weak single charge (|q| <= 1; exactly 1 Å when boxdomain
// is 1), otherwise out to where the field of the charges falls to
// Kappa E^2 <= 0.005 (from 10 Å in 1 Å steps, at most 75, beyond the
// outermost charge along each axis); then out to min_entry_radius about the
// centroid. Sphere: about the centroid, out to the farthest atom surface
// (plus pad), boxdomain or the farthest field test point, and
// min_entry_radius.
EntryDomain entry_domain(const DomainInputs& in);

}  // namespace ccs::trajectory
