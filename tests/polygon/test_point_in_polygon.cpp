#include "polygon/point_in_polygon.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numeric>
#include <random>
#include <stdexcept>
#include <vector>

namespace {

using ccs::polygon::first_invalid_edge_entry;
using ccs::polygon::point_in_polygon;
using ccs::polygon::PointSet;
using ccs::polygon::Polygon;
using ccs::polygon::qsindex;

struct Flags {
  std::vector<unsigned char> in, bnd;
};

// Classifies points given as a flat x, y list against nodes (flat x, y list)
// and an optional 1-based edge table (flat, two entries per edge).
Flags classify(const std::vector<double>& xy, const std::vector<double>& node,
               const std::vector<double>* cnect = nullptr) {
  const std::size_t n = xy.size() / 2;
  Flags f{std::vector<unsigned char>(n, 7), std::vector<unsigned char>(n, 7)};
  PointSet points{xy.data(), n};
  Polygon polygon{node.data(), node.size() / 2, cnect ? cnect->data() : nullptr,
                  cnect ? cnect->size() / 2 : 0};
  point_in_polygon(points, polygon, f.in.data(), f.bnd.data());
  return f;
}

const std::vector<double> kUnitSquare = {0, 0, 1, 0, 1, 1, 0, 1};

TEST(PointInPolygon, UnitSquareInsideBoundaryOutside) {
  const std::vector<double> xy = {0.5, 0.5, 1, 0.5, 0, 0, 2, 0.5};
  const Flags f = classify(xy, kUnitSquare);
  EXPECT_EQ(f.in, (std::vector<unsigned char>{1, 1, 1, 0}));
  EXPECT_EQ(f.bnd, (std::vector<unsigned char>{0, 1, 1, 0}));

  // Each point on its own (a single point has no extent on either axis).
  const std::vector<unsigned char> in = {1, 1, 1, 0}, bnd = {0, 1, 1, 0};
  for (std::size_t i = 0; i < 4; ++i) {
    const Flags g = classify({xy[2 * i], xy[2 * i + 1]}, kUnitSquare);
    EXPECT_EQ(g.in[0], in[i]) << "point " << i;
    EXPECT_EQ(g.bnd[0], bnd[i]) << "point " << i;
  }
}

TEST(PointInPolygon, NoPointsWritesNothing) {
  unsigned char in = 7, bnd = 7;
  PointSet none{nullptr, 0};
  Polygon square{kUnitSquare.data(), 4, nullptr, 0};
  point_in_polygon(none, square, &in, &bnd);
  EXPECT_EQ(in, 7);
  EXPECT_EQ(bnd, 7);
}

TEST(PointInPolygon, PointsOnHorizontalEdgesAreBoundary) {
  // Points spread more along y than along x (sorted by y). Three of them share
  // the largest y and lie on the top edge, two share y = 0 on the bottom edge:
  // every one of them is a boundary point.
  const std::vector<double> xy = {0.2, 1, 0.5, 1, 0.7, 1, 0.5, 0.5, 0.3, 0, 0.6, 0, 0.4, -0.4};
  const Flags f = classify(xy, kUnitSquare);
  EXPECT_EQ(f.bnd, (std::vector<unsigned char>{1, 1, 1, 0, 1, 1, 0}));
  EXPECT_EQ(f.in, (std::vector<unsigned char>{1, 1, 1, 1, 1, 1, 0}));
  // The same with x and y exchanged (sorted by x, edges x = 1 and x = 0).
  std::vector<double> yx(xy.size());
  for (std::size_t i = 0; i < xy.size(); i += 2) {
    yx[i] = xy[i + 1];
    yx[i + 1] = xy[i];
  }
  const Flags g = classify(yx, kUnitSquare);
  EXPECT_EQ(g.bnd, f.bnd);
  EXPECT_EQ(g.in, f.in);
  // On the extensions of the horizontal edges: outside.
  const Flags h = classify({-0.5, 1, 1.5, 0, 1.5, 1, 0.5, 0.5}, kUnitSquare);
  EXPECT_EQ(h.bnd, (std::vector<unsigned char>{0, 0, 0, 0}));
  EXPECT_EQ(h.in, (std::vector<unsigned char>{0, 0, 0, 1}));
}

TEST(PointInPolygon, RayThroughVertexCountsOnce) {
  // Diamond: the rays from these points pass exactly through vertices.
  const std::vector<double> diamond = {0, -1, 1, 0, 0, 1, -1, 0};
  const Flags both = classify({-0.5, 0, 0.5, 0, 0, 0.5, 0, -0.5, -2, 0, 2, 0, 0, 2, 0, -2}, diamond);
  EXPECT_EQ(both.in, (std::vector<unsigned char>{1, 1, 1, 1, 0, 0, 0, 0}));
  EXPECT_EQ(both.bnd, (std::vector<unsigned char>(8, 0)));
  // Points spread along x only (sorted along x) and along y only.
  const Flags along_x = classify({-0.5, 0, -2, 0, 0.25, 0}, diamond);
  EXPECT_EQ(along_x.in, (std::vector<unsigned char>{1, 0, 1}));
  const Flags along_y = classify({0, -0.5, 0, -2, 0, 0.25}, diamond);
  EXPECT_EQ(along_y.in, (std::vector<unsigned char>{1, 0, 1}));
}

TEST(PointInPolygon, BoundaryToleranceIsTruncatedEpsilonTimesLargestCoordinate) {
  // Triangle y >= |x| up to y = 1: the largest node coordinate is 1, and for the
  // edge from (0, 0) to (1, 1) the boundary test reads |y - x| < 2.2204e-16.
  // Offsets of 2.22035e-16 lie within it, offsets of 2.22042e-16 lie between it
  // and the full double epsilon.
  const std::vector<double> triangle = {0, 0, 1, 1, -1, 1};
  const double x = 1e-10;
  const std::vector<double> xy = {x, x + 2.22035e-16, x, x - 2.22035e-16,
                                  x, x + 2.22042e-16, x, x - 2.22042e-16};
  const Flags f = classify(xy, triangle);
  EXPECT_EQ(f.bnd, (std::vector<unsigned char>{1, 1, 0, 0}));
  EXPECT_EQ(f.in, (std::vector<unsigned char>{1, 1, 1, 0}));
  // A far node (-4, 1) raises the largest coordinate to 4 and with it the
  // tolerance on the same edge to 4 * 2.2204e-16.
  const std::vector<double> wide = {0, 0, 1, 1, -4, 1};
  std::vector<double> wxy = xy;
  for (std::size_t i = 1; i < wxy.size(); i += 2) wxy[i] = x + 4 * (wxy[i] - x);
  const Flags g = classify(wxy, wide);
  EXPECT_EQ(g.bnd, (std::vector<unsigned char>{1, 1, 0, 0}));
}

TEST(PointInPolygon, ResultsFollowInputOrder) {
  // Grid over [-0.5, 1.5]^2 in steps of 0.25: points on the square's edges,
  // inside and outside; classified in shuffled orders.
  std::vector<double> gx, gy;
  for (int i = 0; i <= 8; ++i) {
    for (int j = 0; j <= 8; ++j) {
      gx.push_back(-0.5 + 0.25 * i);
      gy.push_back(-0.5 + 0.25 * j);
    }
  }
  std::vector<std::size_t> perm(gx.size());
  std::iota(perm.begin(), perm.end(), 0);
  std::mt19937 gen(12345);
  for (int round = 0; round < 5; ++round) {
    std::shuffle(perm.begin(), perm.end(), gen);
    std::vector<double> xy;
    for (std::size_t p : perm) {
      xy.push_back(gx[p]);
      xy.push_back(gy[p]);
    }
    const Flags f = classify(xy, kUnitSquare);
    for (std::size_t i = 0; i < perm.size(); ++i) {
      const double x = gx[perm[i]], y = gy[perm[i]];
      const bool closed = x >= 0 && x <= 1 && y >= 0 && y <= 1;
      const bool edge = closed && (x == 0 || x == 1 || y == 0 || y == 1);
      ASSERT_EQ(f.in[i], closed ? 1 : 0) << "(" << x << ", " << y << ") round " << round;
      ASSERT_EQ(f.bnd[i], edge ? 1 : 0) << "(" << x << ", " << y << ") round " << round;
    }
  }
}

// Non-convex star (alternating radii 10 and 5) with a square hole and a triangle
// hole, as one node table and an explicit edge table listing the three rings in
// mixed order, some edges reversed.
struct Shape {
  std::vector<double> node, cnect;
};

Shape star_with_holes() {
  Shape s;
  const int spikes = 24;
  for (int k = 0; k < spikes; ++k) {
    const double a = 2 * M_PI * k / spikes + 0.05;
    const double r = k % 2 == 0 ? 10.0 : 5.0;
    s.node.push_back(r * std::cos(a));
    s.node.push_back(r * std::sin(a));
  }
  const std::vector<double> holes = {-3, -1, -1, -1, -1, 1, -3, 1,  // square, nodes 25..28
                                     1, 0.5, 3.5, 0.5, 2, 3.5};     // triangle, nodes 29..31
  s.node.insert(s.node.end(), holes.begin(), holes.end());
  std::vector<std::pair<int, int>> edges;
  for (int k = 1; k <= spikes; ++k) edges.emplace_back(k, k % spikes + 1);
  for (int k = 0; k < 4; ++k) edges.emplace_back(25 + k, 25 + (k + 1) % 4);
  for (int k = 0; k < 3; ++k) edges.emplace_back(29 + k, 29 + (k + 1) % 3);
  std::mt19937 gen(7);
  std::shuffle(edges.begin(), edges.end(), gen);
  for (std::size_t e = 0; e < edges.size(); ++e) {
    if (e % 3 == 0) std::swap(edges[e].first, edges[e].second);
    s.cnect.push_back(edges[e].first);
    s.cnect.push_back(edges[e].second);
  }
  return s;
}

// Even-odd count of the crossings of a ray towards +x.
bool inside_even_odd(double x, double y, const Shape& s) {
  bool inside = false;
  for (std::size_t e = 0; e < s.cnect.size() / 2; ++e) {
    const std::size_t a = static_cast<std::size_t>(s.cnect[2 * e]) - 1;
    const std::size_t b = static_cast<std::size_t>(s.cnect[2 * e + 1]) - 1;
    const double xa = s.node[2 * a], ya = s.node[2 * a + 1];
    const double xb = s.node[2 * b], yb = s.node[2 * b + 1];
    if ((ya > y) != (yb > y) && x < xa + (xb - xa) * (y - ya) / (yb - ya)) inside = !inside;
  }
  return inside;
}

double distance_to_edges(double x, double y, const Shape& s) {
  double best = std::numeric_limits<double>::infinity();
  for (std::size_t e = 0; e < s.cnect.size() / 2; ++e) {
    const std::size_t a = static_cast<std::size_t>(s.cnect[2 * e]) - 1;
    const std::size_t b = static_cast<std::size_t>(s.cnect[2 * e + 1]) - 1;
    const double xa = s.node[2 * a], ya = s.node[2 * a + 1];
    const double ex = s.node[2 * b] - xa, ey = s.node[2 * b + 1] - ya;
    const double t = std::clamp(((x - xa) * ex + (y - ya) * ey) / (ex * ex + ey * ey), 0.0, 1.0);
    best = std::min(best, std::hypot(x - xa - t * ex, y - ya - t * ey));
  }
  return best;
}

TEST(PointInPolygon, NonConvexPolygonWithHolesMatchesEvenOddCount) {
  const Shape s = star_with_holes();
  std::mt19937_64 gen(2024);
  // Wide in x and y (sorted along whichever spreads more), stretched in x (the
  // axes are exchanged) and stretched in y.
  const double boxes[3][2] = {{11, 11}, {11, 3}, {3, 11}};
  for (const auto& box : boxes) {
    std::uniform_real_distribution<double> ux(-box[0], box[0]), uy(-box[1], box[1]);
    std::vector<double> xy;
    while (xy.size() < 2 * 4000) {
      const double x = ux(gen), y = uy(gen);
      if (distance_to_edges(x, y, s) < 1e-9) continue;
      xy.push_back(x);
      xy.push_back(y);
    }
    const Flags f = classify(xy, s.node, &s.cnect);
    std::size_t n_inside = 0;
    for (std::size_t i = 0; i < xy.size() / 2; ++i) {
      const bool expected = inside_even_odd(xy[2 * i], xy[2 * i + 1], s);
      ASSERT_EQ(f.in[i], expected ? 1 : 0) << "(" << xy[2 * i] << ", " << xy[2 * i + 1] << ")";
      ASSERT_EQ(f.bnd[i], 0) << "(" << xy[2 * i] << ", " << xy[2 * i + 1] << ")";
      n_inside += expected;
    }
    // The sample covers both classes.
    EXPECT_GT(n_inside, 500u);
    EXPECT_LT(n_inside, 3500u);
  }
}

TEST(PointInPolygon, DefaultEdgesAreTheClosedRing) {
  const Shape s = star_with_holes();
  const std::vector<double> outer(s.node.begin(), s.node.begin() + 48);
  std::vector<double> ring;
  for (int k = 1; k <= 24; ++k) {
    ring.push_back(k);
    ring.push_back(k % 24 + 1);
  }
  std::mt19937_64 gen(99);
  std::uniform_real_distribution<double> u(-11, 11);
  std::vector<double> xy(2000);
  for (double& v : xy) v = u(gen);
  const Flags by_default = classify(xy, outer);
  const Flags by_table = classify(xy, outer, &ring);
  EXPECT_EQ(by_default.in, by_table.in);
  EXPECT_EQ(by_default.bnd, by_table.bnd);
}

TEST(PointInPolygon, InvalidEdgeTableIsRejectedBeforeWriting) {
  const std::vector<double> xy = {0.5, 0.5};
  struct Case {
    std::vector<double> cnect;
    std::ptrdiff_t bad;
  };
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const std::vector<Case> cases = {
      {{1, 2, 2, 3, 3, 4, 4, 1}, -1}, {{1, 2, 2, 3, 3, 4, 4, 0}, 7}, {{1, 2, 5, 3}, 2},
      {{1, 2.5}, 1},                  {{nan, 1}, 0},                 {{1, -1}, 1},
      {{1, 2, 3, 4.0000001}, 3},
  };
  for (const Case& c : cases) {
    Polygon square{kUnitSquare.data(), 4, c.cnect.data(), c.cnect.size() / 2};
    EXPECT_EQ(first_invalid_edge_entry(square), c.bad);
    unsigned char in = 7, bnd = 7;
    if (c.bad >= 0) {
      EXPECT_THROW(point_in_polygon(PointSet{xy.data(), 1}, square, &in, &bnd), std::invalid_argument);
      EXPECT_EQ(in, 7);
      EXPECT_EQ(bnd, 7);
    } else {
      point_in_polygon(PointSet{xy.data(), 1}, square, &in, &bnd);
      EXPECT_EQ(in, 1);
    }
  }
  // Without nodes no edge can be valid; the default ring is then empty.
  const std::vector<double> one_edge = {1, 1};
  EXPECT_EQ(first_invalid_edge_entry(Polygon{nullptr, 0, one_edge.data(), 1}), 0);
  unsigned char in = 7, bnd = 7;
  point_in_polygon(PointSet{xy.data(), 1}, Polygon{nullptr, 0, nullptr, 0}, &in, &bnd);
  EXPECT_EQ(in, 0);
  EXPECT_EQ(bnd, 0);
}

TEST(QsIndex, SortsAndCarriesIndices) {
  std::mt19937_64 gen(5);
  std::uniform_int_distribution<int> few(0, 9);
  std::normal_distribution<double> normal;
  const std::size_t n = 20000;
  std::vector<std::vector<double>> inputs(4, std::vector<double>(n));
  for (std::size_t i = 0; i < n; ++i) {
    inputs[0][i] = normal(gen);                  // distinct
    inputs[1][i] = few(gen);                     // many ties
    inputs[2][i] = static_cast<double>(i);       // sorted
    inputs[3][i] = static_cast<double>(n - i);   // reversed
  }
  for (const auto& original : inputs) {
    std::vector<double> v = original;
    std::vector<std::int32_t> idx(n);
    std::iota(idx.begin(), idx.end(), 0);
    qsindex(v.data(), idx.data(), 0, static_cast<std::int32_t>(n - 1));
    EXPECT_TRUE(std::is_sorted(v.begin(), v.end()));
    std::vector<std::int32_t> seen = idx;
    std::sort(seen.begin(), seen.end());
    for (std::size_t i = 0; i < n; ++i) {
      ASSERT_EQ(seen[i], static_cast<std::int32_t>(i));
      ASSERT_EQ(v[i], original[static_cast<std::size_t>(idx[i])]);
    }
  }
  // A sub-range is sorted without touching its surroundings.
  std::vector<double> v = {9, 5, 3, 4, 1, 0};
  std::vector<std::int32_t> idx = {0, 1, 2, 3, 4, 5};
  qsindex(v.data(), idx.data(), 1, 4);
  EXPECT_EQ(v, (std::vector<double>{9, 1, 3, 4, 5, 0}));
  EXPECT_EQ(idx, (std::vector<std::int32_t>{0, 4, 2, 3, 1, 5}));
}

TEST(QsIndex, NaNValuesStayInsideTheRange) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  std::vector<double> v = {3, nan, 1, nan, 2, nan, 0, 5};
  std::vector<std::int32_t> idx(v.size());
  std::iota(idx.begin(), idx.end(), 0);
  qsindex(v.data(), idx.data(), 0, static_cast<std::int32_t>(v.size() - 1));
  std::vector<std::int32_t> seen = idx;
  std::sort(seen.begin(), seen.end());
  for (std::size_t i = 0; i < seen.size(); ++i) EXPECT_EQ(seen[i], static_cast<std::int32_t>(i));
}

TEST(PointInPolygon, PointsWithNaNAreOutsideAndLeaveOthersIntact) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  // NaN on the sort axis and on the other axis, with the points spread along y
  // (sorted by y) and along x (axes exchanged).
  const std::vector<std::vector<double>> sets = {
      {0.5, 0.5, nan, 0.5, 0.5, nan, 0.25, 1.0, 0.25, 3, 0.75, 0.0},
      {0.5, 0.5, nan, 0.5, 0.5, nan, 1.0, 0.25, 3, 0.25, 0.0, 0.75},
  };
  for (const auto& xy : sets) {
    const Flags f = classify(xy, kUnitSquare);
    EXPECT_EQ(f.in, (std::vector<unsigned char>{1, 0, 0, 1, 0, 1}));
    EXPECT_EQ(f.bnd, (std::vector<unsigned char>{0, 0, 0, 1, 0, 1}));
  }
}

}  // namespace
