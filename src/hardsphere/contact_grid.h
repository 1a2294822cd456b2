// Uniform grid over the atom centres, used to find the atoms a flight line
// can touch without visiting every atom. The contact search over the grid
// evaluates exactly the same quantities as the search over all atoms (same
// BLAS products on the gathered rows) and picks the same atom. This relies on
// the BLAS computing each row of a product independently of the other rows
// and of the row count; the hard-sphere tests check it.
#pragma once

#include <cstdint>
#include <vector>

struct HsAtoms;

struct HsGrid {
  double origin[3];        // smallest centre coordinates
  double cell;             // cell edge (Å)
  int dims[3];             // cells per axis
  double lo[3], hi[3];     // centre bounding box
  double coord_max;        // largest absolute centre coordinate
  double pad;              // largest collision radius plus a safety margin
  double no_contact;       // the common no-contact value of all atoms
  std::vector<int> start;  // CSR: atoms of cell c are atoms[start[c] .. start[c+1])
  std::vector<int> atoms;
  // Centre and squared radius of atoms[a] at packed[4 a .. 4 a + 3]: the
  // atoms of neighbouring cells side by side in memory, so that a search
  // reads a few cache lines per row of cells instead of five per atom.
  std::vector<double> packed;
};

// Molecules from this size on get a grid.
constexpr int kGridMinAtoms = 64;

// Builds the grid for `atoms` (coordinates, squared radii, no-contact
// values). Returns false, leaving no usable grid, when some coordinate or
// radius is not finite or the no-contact values are not one common finite
// non-zero value; the kernel then searches all atoms.
bool hs_grid_build(const HsAtoms& atoms, HsGrid* grid);
