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

void point_in_polygon(const PointSet& points, const Polygon& polygon, unsigned char* in,
                      unsigned char* bnd) {
  if (points.count > kMaxPoints) {
    throw std::length_error("point_in_polygon: more points than one call can classify");
  }
  if (first_invalid_edge_entry(polygon) >= 0) {
    throw std::invalid_argument("point_in_polygon: edge table refers to a missing node");
  }
  const std::int32_t n = static_cast<std::int32_t>(points.count);
  const double* X = points.xy;
  const double* node = polygon.node;
  const std::size_t n_nodes = polygon.n_nodes;
  const bool default_ring = polygon.cnect == nullptr;
  const std::size_t n_edges = default_ring ? n_nodes : polygon.n_edges;

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
  for (std::size_t k = 0; k < n_nodes; ++k) {
    const double ax = std::fabs(node[2 * k]);
    const double ay = std::fabs(node[2 * k + 1]);
    if (ax > m) m = ax;
    if (ay > m) m = ay;
  }
  const double tol = m * 2.2204e-16;
  const double lim = m + tol;
  const double upper = 1.0 + tol;

  // From here on y is the sort axis and x the other coordinate.
  const std::size_t ix = dy < dx ? 1 : 0;
  const std::size_t iy = 1 - ix;

  // Working data, by sorted position.
  std::vector<double> key(points.count);
  std::vector<double> xs(points.count);
  std::vector<std::int32_t> order(points.count);
  std::vector<unsigned char> cross(points.count, 0);
  std::vector<unsigned char> onb(points.count, 0);

  // A point whose sort-axis value is NaN cannot be placed in the sorted order and
  // would break the band search for all others: it is kept out of the sort, at
  // the end, and stays outside with both flags clear.
  std::int32_t ns = 0;
  std::int32_t tail = n;
  for (std::int32_t i = 0; i < n; ++i) {
    const double y = X[2 * static_cast<std::size_t>(i) + iy];
    if (std::isnan(y)) {
      order[--tail] = i;
      key[tail] = y;
    } else {
      key[ns] = y;
      order[ns++] = i;
    }
  }
  if (ns > 0) qsindex(key.data(), order.data(), 0, ns - 1);
  for (std::int32_t k = 0; k < n; ++k) xs[k] = X[2 * static_cast<std::size_t>(order[k]) + ix];

  if (ns > 0) {
    const double key_first = key[0];
    const double key_last = key[ns - 1];
    for (std::size_t e = 0; e < n_edges; ++e) {
      std::size_t a, b;
      if (default_ring) {
        a = e;
        b = e + 1 == n_nodes ? 0 : e + 1;
      } else {
        a = static_cast<std::size_t>(polygon.cnect[2 * e]) - 1;
        b = static_cast<std::size_t>(polygon.cnect[2 * e + 1]) - 1;
      }
      const double x1 = node[2 * a + ix];
      const double y1 = node[2 * a + iy];
      const double x2 = node[2 * b + ix];
      const double y2 = node[2 * b + iy];
      double xlo, xhi, ylo, yhi;
      if (x1 < x2) {
        xlo = x1;
        xhi = x2;
      } else {
        xlo = x2;
        xhi = x1;
      }
      if (y1 < y2) {
        ylo = y1;
        yhi = y2;
      } else {
        ylo = y2;
        yhi = y1;
      }

      // First sorted position whose key may reach ylo. When ylo equals the
      // largest key the search still runs, so that every point sharing that key
      // is visited, not only the last one.
      std::int32_t j;
      if (ylo <= key_first) {
        j = 0;
      } else if (ylo <= key_last) {
        // key(lo) < ylo <= key(hi); ends with hi = p, key(p - 1) < ylo <= key(p).
        std::int32_t lo = 0;
        std::int32_t hi = ns - 1;
        while (hi - lo > 1) {
          const std::int32_t mid = lo + (hi - lo) / 2;
          if (key[mid] < ylo) {
            lo = mid;
          } else {
            hi = mid;
          }
        }
        j = lo;
      } else {
        continue;  // every key lies below the edge (or ylo is NaN)
      }

      for (std::int32_t k = j; k < ns && key[k] <= yhi; ++k) {
        const double y = key[k];
        if (!(ylo <= y)) continue;
        const double x = xs[k];
        if (x < xlo) {
          if (y < yhi) cross[k] ^= 1;
        } else if (x <= xhi) {
          if (!onb[k] && std::fabs((y2 - y) * (x1 - x) - (y1 - y) * (x2 - x)) < tol) onb[k] = 1;
          if (y < yhi) {
            const double t = ((y1 - y) * (x2 - x1) - (x1 - x) * (y2 - y1)) / ((x - lim) * (y2 - y1));
            if (-tol < t && t < upper) cross[k] ^= 1;
          }
        }
      }
    }
  }

  for (std::int32_t k = 0; k < n; ++k) {
    const std::size_t pos = static_cast<std::size_t>(order[k]);
    in[pos] = static_cast<unsigned char>(cross[k] | onb[k]);
    bnd[pos] = onb[k];
  }
}

}  // namespace ccs::polygon
