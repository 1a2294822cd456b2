// Test and benchmark molecules built from known geometry.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace ccs::test {

using Point = std::array<double, 3>;

// C60 (truncated icosahedron): the cyclic (even) permutations of
// (0, +-1, +-3g), (+-1, +-(2+g), +-2g), (+-g, +-2, +-(2g+1)), g the golden
// ratio, which have edge 2, scaled to the bond length (Å).
std::vector<Point> c60_cage(double bond = 1.42);

// n points uniform in a ball holding `volume_per_atom` Å^3 per point
// (about 11 for a folded protein with hydrogens), deterministic in `seed`.
std::vector<Point> ball_cluster(int n, double volume_per_atom, std::uint32_t seed);

}  // namespace ccs::test
