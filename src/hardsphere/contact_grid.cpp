#include "hardsphere/contact_grid.h"

#include <algorithm>
#include <cmath>

#include "hardsphere/momentum_transfer.h"

bool hs_grid_build(const HsAtoms& atoms, HsGrid* g) {
  const int n = atoms.n;
  if (n < 1) return false;
  const double V = atoms.no_contact[0];
  if (!std::isfinite(V) || V == 0.0) return false;
  double r2_max = 0.0;
  for (int k = 0; k < n; ++k) {
    if (atoms.no_contact[k] != V || !std::isfinite(atoms.r2[k]) || atoms.ones[k] != 1.0)
      return false;
    r2_max = std::max(r2_max, atoms.r2[k]);
  }
  for (int j = 0; j < 3; ++j) {
    const double* c = atoms.P + static_cast<size_t>(j) * n;
    g->lo[j] = c[0];
    g->hi[j] = c[0];
    for (int k = 0; k < n; ++k) {
      if (!std::isfinite(c[k])) return false;
      g->lo[j] = std::min(g->lo[j], c[k]);
      g->hi[j] = std::max(g->hi[j], c[k]);
    }
    g->origin[j] = g->lo[j];
  }
  g->coord_max = 0.0;
  for (int j = 0; j < 3; ++j)
    g->coord_max = std::max({g->coord_max, std::fabs(g->lo[j]), std::fabs(g->hi[j])});
  // The margin dwarfs rounding in the contact test (relative 1e-15 of the
  // coordinates), so no atom the full search could touch is left out.
  const double extent = std::max({g->hi[0] - g->lo[0], g->hi[1] - g->lo[1], g->hi[2] - g->lo[2]});
  g->pad = std::sqrt(r2_max) + 1e-3 + 1e-9 * extent;
  g->no_contact = V;
  // Cells about the size of a collision radius, at most ~2 per atom.
  g->cell = std::max(g->pad, 0.5);
  for (;;) {
    double cells = 1.0;
    for (int j = 0; j < 3; ++j) cells *= std::floor((g->hi[j] - g->lo[j]) / g->cell) + 1.0;
    if (cells <= 2.0 * n + 64.0) break;
    g->cell *= 1.25;
  }
  for (int j = 0; j < 3; ++j)
    g->dims[j] = static_cast<int>(std::floor((g->hi[j] - g->lo[j]) / g->cell)) + 1;
  const size_t n_cells = static_cast<size_t>(g->dims[0]) * g->dims[1] * g->dims[2];
  std::vector<int> cell_of(static_cast<size_t>(n));
  g->start.assign(n_cells + 1, 0);
  for (int k = 0; k < n; ++k) {
    int idx[3];
    for (int j = 0; j < 3; ++j) {
      const int i = static_cast<int>(
          std::floor((atoms.P[k + static_cast<size_t>(j) * n] - g->origin[j]) / g->cell));
      idx[j] = std::clamp(i, 0, g->dims[j] - 1);
    }
    const int c = (idx[2] * g->dims[1] + idx[1]) * g->dims[0] + idx[0];
    cell_of[static_cast<size_t>(k)] = c;
    ++g->start[static_cast<size_t>(c) + 1];
  }
  for (size_t c = 0; c < n_cells; ++c) g->start[c + 1] += g->start[c];
  g->atoms.assign(static_cast<size_t>(n), 0);
  std::vector<int> fill(g->start.begin(), g->start.end() - 1);
  for (int k = 0; k < n; ++k)
    g->atoms[static_cast<size_t>(fill[static_cast<size_t>(cell_of[static_cast<size_t>(k)])]++)] = k;
  g->packed.resize(4 * static_cast<size_t>(n));
  for (size_t a = 0; a < static_cast<size_t>(n); ++a) {
    const size_t k = static_cast<size_t>(g->atoms[a]);
    for (size_t j = 0; j < 3; ++j) g->packed[4 * a + j] = atoms.P[k + j * static_cast<size_t>(n)];
    g->packed[4 * a + 3] = atoms.r2[k];
  }
  return true;
}
