// Point-in-polygon classification by band search over points sorted along one axis.
//
// The points are sorted along the axis on which they spread most; each edge then
// visits only the points whose sort-axis value lies within the edge's own range.
// Insideness follows the even-odd rule: a ray from each point towards increasing
// (other-axis) coordinate is tested against every edge of its band; crossings at a
// shared vertex are counted once (half-open range ylo <= y < yhi), horizontal edges
// never count as crossings but still mark the points lying on them as boundary.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>

namespace ccs::polygon {

// Sorts values[lo..hi] ascending in place by quicksort (pivot: the element at
// (lo + hi) / 2, Hoare partition) and applies every swap to indices[lo..hi] too.
// The order among equal values is unspecified. NaN values leave the order
// unsorted but never lead outside lo..hi.
void qsindex(double* values, std::int32_t* indices, std::int32_t lo, std::int32_t hi);

// Test points: 2 x count, column-major (x, y of point i at xy[2i], xy[2i + 1]).
struct PointSet {
  const double* xy = nullptr;
  std::size_t count = 0;
};

// Polygon: nodes 2 x n_nodes, column-major; edges 2 x n_edges, column-major,
// each column holding the 1-based numbers of the two nodes the edge joins.
// cnect == nullptr means the closed ring 1-2, 2-3, ..., n_nodes-1 (n_edges is
// then ignored).
struct Polygon {
  const double* node = nullptr;
  std::size_t n_nodes = 0;
  const double* cnect = nullptr;
  std::size_t n_edges = 0;
};

// Largest number of points one call can classify (sort positions are 32-bit).
inline constexpr std::size_t kMaxPoints =
    static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max());

// Column-major position in cnect of the first entry that is not a whole number
// in 1..n_nodes, or -1 when every entry is a valid node number (or cnect is the
// default ring).
std::ptrdiff_t first_invalid_edge_entry(const Polygon& polygon);

// Classifies every point: in[i] = 1 when point i lies inside the polygon or on
// its boundary, bnd[i] = 1 when it lies on the boundary (0 otherwise), in the
// input order of the points. The boundary tolerance is the largest absolute
// node coordinate times 2.2204e-16. A point with a NaN coordinate is outside
// (both flags 0) and does not affect the others.
//
// Throws std::invalid_argument (edge table with an invalid node number),
// std::length_error (more than kMaxPoints points) before touching anything, and
// std::bad_alloc when the working arrays cannot be allocated; in and bnd are
// left unchanged in every one of these cases.
void point_in_polygon(const PointSet& points, const Polygon& polygon, unsigned char* in,
                      unsigned char* bnd);

}  // namespace ccs::polygon
