#include "polygon/point_in_polygon.h"

#include <cmath>
#include <stdexcept>
#include <utility>
#include <vector>

namespace ccs::polygon {

void qsindex(double* values, std::int32_t* indices, std::int32_t lo, std::int32_t hi) {
  // Each pass partitions lo..hi; the smaller part is sorted by recursion and the
  // larger one by the next pass, so the recursion depth stays logarithmic. The
  // order in which the two independent parts are sorted does not change the result.
  while (lo < hi) {
    std::int32_t i = lo;
    std::int32_t j = hi;
    const double pivot = values[lo + (hi - lo) / 2];  // (lo + hi) / 2 without overflow
    do {
      while (values[i] < pivot) ++i;
      while (values[j] > pivot) --j;
      if (i <= j) {
        std::swap(values[i], values[j]);
        std::swap(indices[i], indices[j]);
        ++i;
        --j;
      }
    } while (i <= j);
    if (j - lo < hi - i) {
      if (lo < j) qsindex(values, indices, lo, j);
      lo = i;
    } else {
      if (i < hi) qsindex(values, indices, i, hi);
      hi = j;
    }
  }
}

std::ptrdiff_t first_invalid_edge_entry(const Polygon& polygon) {
  if (polygon.cnect == nullptr) return -1;
  const double n_nodes = static_cast<double>(polygon.n_nodes);
  const std::size_t n_entries = 2 * polygon.n_edges;
  for (std::size_t p = 0; p < n_entries; ++p) {
    const double v = polygon.cnect[p];
    // NaN fails the first comparison.
    if (!(v >= 1.0 && v <= n_nodes && v == std::trunc(v))) return static_cast<std::ptrdiff_t>(p);
  }
  return -1;
}

namespace {

// The points sorted along the axis of their larger extent (y from here on,
// x the other coordinate), with the tolerances of the node coordinates.
struct SortedPoints {
  std::size_t ix = 0, iy = 1;     // columns of the other and the sort axis
  std::vector<double> key;        // sort-axis value by sorted position
  std::vector<double> xs;         // other coordinate by sorted position
  std::vector<std::int32_t> order;  // input index by sorted position
  std::int32_t ns = 0;            // sorted points (the rest have a NaN key)
  double tol = 0, lim = 0, upper = 0;
};

SortedPoints sort_points(const PointSet& points, const Polygon& polygon) {
  SortedPoints sp;
  const std::int32_t n = static_cast<std::int32_t>(points.count);
  const double* X = points.xy;
  // Extents of the points; the axis with the larger extent becomes the sort axis.
  double xmax = -1e21, ymax = -1e21, xmin = 1e21, ymin = 1e21;
  for (std::int32_t i = 0; i < n; ++i) {
    const double x = X[2 * static_cast<std::size_t>(i)];
    const double y = X[2 * static_cast<std::size_t>(i) + 1];
    if (x > xmax) xmax = x;
    if (x < xmin) xmin = x;
    if (y > ymax) ymax = y;
    if (y < ymin) ymin = y;
  }
  const double dx = xmax - xmin;
  const double dy = ymax - ymin;
  // Tolerance scaled to the largest absolute node coordinate.
  double m = -1e21;
  for (std::size_t k = 0; k < polygon.n_nodes; ++k) {
    const double ax = std::fabs(polygon.node[2 * k]);
    const double ay = std::fabs(polygon.node[2 * k + 1]);
    if (ax > m) m = ax;
    if (ay > m) m = ay;
  }
  sp.tol = m * 2.2204e-16;
  sp.lim = m + sp.tol;
  sp.upper = 1.0 + sp.tol;
  sp.ix = dy < dx ? 1 : 0;
  sp.iy = 1 - sp.ix;
  sp.key.resize(points.count);
  sp.xs.resize(points.count);
  sp.order.resize(points.count);
  // A point whose sort-axis value is NaN cannot be placed in the sorted order and
  // would break the band search for all others: it is kept out of the sort, at
  // the end, and stays outside with both flags clear.
  std::int32_t tail = n;
  for (std::int32_t i = 0; i < n; ++i) {
    const double y = X[2 * static_cast<std::size_t>(i) + sp.iy];
    if (std::isnan(y)) {
      sp.order[--tail] = i;
      sp.key[tail] = y;
    } else {
      sp.key[sp.ns] = y;
      sp.order[sp.ns++] = i;
    }
  }
  if (sp.ns > 0) qsindex(sp.key.data(), sp.order.data(), 0, sp.ns - 1);
  for (std::int32_t k = 0; k < n; ++k) sp.xs[k] = X[2 * static_cast<std::size_t>(sp.order[k]) + sp.ix];
  return sp;
}

// First sorted position whose key may reach ylo, or -1 when every key lies
// below it (or ylo is NaN). When ylo equals the largest key the search still
// runs, so that every point sharing that key is visited, not only the last.
std::int32_t first_in_band(const SortedPoints& sp, double ylo) {
  if (ylo <= sp.key[0]) return 0;
  if (!(ylo <= sp.key[sp.ns - 1])) return -1;
  // key(lo) < ylo <= key(hi); ends with hi = p, key(p - 1) < ylo <= key(p).
  std::int32_t lo = 0;
  std::int32_t hi = sp.ns - 1;
  while (hi - lo > 1) {
    const std::int32_t mid = lo + (hi - lo) / 2;
    if (sp.key[mid] < ylo) {
      lo = mid;
    } else {
      hi = mid;
    }
  }
  return lo;
}

// One edge (x1, y1)-(x2, y2) in sorted axes: flips the crossing parity of
// every point whose rightward ray it crosses, marks the points on it.
void apply_edge(const SortedPoints& sp, double x1, double y1, double x2, double y2,
                std::vector<unsigned char>& cross, std::vector<unsigned char>& onb) {
  const double xlo = x1 < x2 ? x1 : x2, xhi = x1 < x2 ? x2 : x1;
  const double ylo = y1 < y2 ? y1 : y2, yhi = y1 < y2 ? y2 : y1;
  const std::int32_t j = first_in_band(sp, ylo);
  if (j < 0) return;
  const double tol = sp.tol;
  for (std::int32_t k = j; k < sp.ns && sp.key[k] <= yhi; ++k) {
    const double y = sp.key[k];
    if (!(ylo <= y)) continue;
    const double x = sp.xs[k];
    if (x < xlo) {
      if (y < yhi) cross[k] ^= 1;
    } else if (x <= xhi) {
      if (!onb[k] && std::fabs((y2 - y) * (x1 - x) - (y1 - y) * (x2 - x)) < tol) onb[k] = 1;
      if (y < yhi) {
        const double t = ((y1 - y) * (x2 - x1) - (x1 - x) * (y2 - y1)) / ((x - sp.lim) * (y2 - y1));
        if (-tol < t && t < sp.upper) cross[k] ^= 1;
      }
    }
  }
}

}  // namespace

void point_in_polygon(const PointSet& points, const Polygon& polygon, unsigned char* in,
                      unsigned char* bnd) {
  if (points.count > kMaxPoints) {
    throw std::length_error("point_in_polygon: more points than one call can classify");
  }
  if (first_invalid_edge_entry(polygon) >= 0) {
    throw std::invalid_argument("point_in_polygon: edge table refers to a missing node");
  }
  const std::int32_t n = static_cast<std::int32_t>(points.count);
  const double* node = polygon.node;
  const std::size_t n_nodes = polygon.n_nodes;
  const bool default_ring = polygon.cnect == nullptr;
  const std::size_t n_edges = default_ring ? n_nodes : polygon.n_edges;
  const SortedPoints sp = sort_points(points, polygon);
  std::vector<unsigned char> cross(points.count, 0);
  std::vector<unsigned char> onb(points.count, 0);
  if (sp.ns > 0) {
    for (std::size_t e = 0; e < n_edges; ++e) {
      std::size_t a, b;
      if (default_ring) {
        a = e;
        b = e + 1 == n_nodes ? 0 : e + 1;
      } else {
        a = static_cast<std::size_t>(polygon.cnect[2 * e]) - 1;
        b = static_cast<std::size_t>(polygon.cnect[2 * e + 1]) - 1;
      }
      apply_edge(sp, node[2 * a + sp.ix], node[2 * a + sp.iy], node[2 * b + sp.ix],
                 node[2 * b + sp.iy], cross, onb);
    }
  }
  for (std::int32_t k = 0; k < n; ++k) {
    const std::size_t pos = static_cast<std::size_t>(sp.order[k]);
    in[pos] = static_cast<unsigned char>(cross[k] | onb[k]);
    bnd[pos] = onb[k];
  }
}

}  // namespace ccs::polygon
