#include "shadecount.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <utility>
#include <string>
#include <vector>

#include "runtime/blas.h"
#include "runtime/constants.h"
#include "runtime/geometry.h"
#include "runtime/numeric.h"
#include "runtime/parallel.h"
#include "runtime/random_streams.h"

namespace ccs::projection {

int count_hits_plain(const double* X, const double* Y, const double* reach2, int n,
                     double Rmax, const double* xs, const double* ys, int samples) {
  int hits = 0;
  for (int s = 0; s < samples; ++s) {
    for (int g = 0; g < n; ++g) {
      const double dx = std::fabs(X[g] - xs[s]);
      if (dx < Rmax) {
        const double dy = std::fabs(Y[g] - ys[s]);
        if (dy < Rmax && dy * dy + dx * dx <= reach2[g]) {
          ++hits;
          break;
        }
      }
    }
  }
  return hits;
}

// Uniform grid over the projected centres with cells a little wider than
// Rmax: every atom that can pass the |dx| < Rmax and |dy| < Rmax tests of a
// sample lies in the sample's cell or one of its eight neighbours.
struct DiscGrid {
  std::vector<int> head;  // first atom of each cell, -1 when empty
  std::vector<int> next;  // next atom in the same cell
};

DiscGrid* make_grid() { return new DiscGrid(); }
void free_grid(DiscGrid* g) { delete g; }

int count_hits_grid(DiscGrid* grid, const double* X, const double* Y, const double* reach2,
                    int n, double Rmax, const double* xs, const double* ys, int samples) {
  if (!(Rmax > 0.0) || !std::isfinite(Rmax) || n < 1) {
    return count_hits_plain(X, Y, reach2, n, Rmax, xs, ys, samples);
  }
  double xlo = INFINITY, xhi = -INFINITY, ylo = INFINITY, yhi = -INFINITY;
  for (int g = 0; g < n; ++g) {
    if (std::isfinite(X[g]) && std::isfinite(Y[g])) {
      xlo = std::fmin(xlo, X[g]);
      xhi = std::fmax(xhi, X[g]);
      ylo = std::fmin(ylo, Y[g]);
      yhi = std::fmax(yhi, Y[g]);
    }
  }
  if (!(xlo <= xhi)) return 0;  // no atom with finite centre covers anything
  if (!std::isfinite(xhi - xlo) || !std::isfinite(yhi - ylo)) {
    // Centres too far apart for a grid of finite cells.
    return count_hits_plain(X, Y, reach2, n, Rmax, xs, ys, samples);
  }
  double cell = Rmax * 1.0001;
  // Keep the cell count O(n).
  const double max_cells = 4.0 * n + 16.0;
  while (((xhi - xlo) / cell + 1.0) * ((yhi - ylo) / cell + 1.0) > max_cells) cell *= 2.0;
  const int nx = static_cast<int>((xhi - xlo) / cell) + 1;
  const int ny = static_cast<int>((yhi - ylo) / cell) + 1;
  grid->head.assign(static_cast<std::size_t>(nx) * ny, -1);
  grid->next.resize(static_cast<std::size_t>(n));
  for (int g = n - 1; g >= 0; --g) {
    if (!(std::isfinite(X[g]) && std::isfinite(Y[g]))) continue;
    int cx = static_cast<int>((X[g] - xlo) / cell);
    int cy = static_cast<int>((Y[g] - ylo) / cell);
    cx = cx < nx ? cx : nx - 1;
    cy = cy < ny ? cy : ny - 1;
    int& h = grid->head[static_cast<std::size_t>(cy) * nx + cx];
    grid->next[g] = h;
    h = g;
  }
  int hits = 0;
  for (int s = 0; s < samples; ++s) {
    const double x = xs[s];
    const double y = ys[s];
    const double fx = std::floor((x - xlo) / cell);
    const double fy = std::floor((y - ylo) / cell);
    if (!(fx >= -1.0 && fx <= nx && fy >= -1.0 && fy <= ny)) continue;  // out of reach (or NaN)
    const int cx = static_cast<int>(fx);
    const int cy = static_cast<int>(fy);
    bool covered = false;
    for (int iy = cy - 1; iy <= cy + 1 && !covered; ++iy) {
      if (iy < 0 || iy >= ny) continue;
      for (int ix = cx - 1; ix <= cx + 1 && !covered; ++ix) {
        if (ix < 0 || ix >= nx) continue;
        for (int g = grid->head[static_cast<std::size_t>(iy) * nx + ix]; g >= 0;
             g = grid->next[g]) {
          const double dx = std::fabs(X[g] - x);
          if (dx < Rmax) {
            const double dy = std::fabs(Y[g] - y);
            if (dy < Rmax && dy * dy + dx * dx <= reach2[g]) {
              covered = true;
              break;
            }
          }
        }
      }
    }
    hits += covered ? 1 : 0;
  }
  return hits;
}

namespace {

// Discs with a finite centre and a finite radius above 0 cover something.
bool disc_counts(const double* X, const double* Y, const double* reach2, int g) {
  return reach2[g] > 0.0 && std::isfinite(reach2[g]) && std::isfinite(X[g]) && std::isfinite(Y[g]);
}

}  // namespace

struct UnionScratch {
  std::vector<int> head, next, valid;
  std::vector<double> r;
  std::vector<std::pair<double, double>> arcs;  // covered angle intervals of one circle
};

UnionScratch* make_union_scratch() { return new UnionScratch(); }
void free_union_scratch(UnionScratch* w) { delete w; }

namespace {

// Green's theorem: (1/2) of the integral of x dy - y dx along the circle of
// centre (x, y) and radius r, counter-clockwise from angle a to b.
double arc_term(double x, double y, double r, double a, double b) {
  return 0.5 * (r * r * (b - a) + r * x * (std::sin(b) - std::sin(a)) -
                r * y * (std::cos(b) - std::cos(a)));
}

// Contribution of circle i: its arcs not covered by any other disc (none
// when some other disc contains it).
double circle_term(UnionScratch& w, const double* X, const double* Y, int i, int nx, int ny,
                   double xlo, double ylo, double cell) {
  const double xi = X[i], yi = Y[i], ri = w.r[static_cast<std::size_t>(i)];
  w.arcs.clear();
  const int cx = static_cast<int>((xi - xlo) / cell);
  const int cy = static_cast<int>((yi - ylo) / cell);
  for (int iy = std::max(cy - 1, 0); iy <= std::min(cy + 1, ny - 1); ++iy) {
    for (int ix = std::max(cx - 1, 0); ix <= std::min(cx + 1, nx - 1); ++ix) {
      for (int j = w.head[static_cast<std::size_t>(iy) * nx + ix]; j >= 0;
           j = w.next[static_cast<std::size_t>(j)]) {
        if (j == i) continue;
        const double rj = w.r[static_cast<std::size_t>(j)];
        const double dx = X[j] - xi, dy = Y[j] - yi;
        const double d2 = dx * dx + dy * dy;
        const double sum = ri + rj;
        if (d2 >= sum * sum) continue;  // apart, or touching from outside
        const double d = std::sqrt(d2);
        if (d + ri <= rj && (ri != rj || d != 0.0 || j < i)) return 0.0;  // inside disc j
        if (d + rj <= ri) continue;  // disc j inside: none of this circle covered
        const double phi = std::atan2(dy, dx);
        const double c = (ri * ri + d2 - rj * rj) / (2.0 * ri * d);
        const double alpha = std::acos(std::fmax(-1.0, std::fmin(1.0, c)));
        double a = phi - alpha;
        if (a < 0.0) a += kTwoPi;
        const double b = a + 2.0 * alpha;
        if (b > kTwoPi) {
          w.arcs.emplace_back(a, kTwoPi);
          w.arcs.emplace_back(0.0, b - kTwoPi);
        } else {
          w.arcs.emplace_back(a, b);
        }
      }
    }
  }
  if (w.arcs.empty()) return kPi * ri * ri;
  std::sort(w.arcs.begin(), w.arcs.end());
  double term = 0.0;
  double reach = 0.0;  // the covered part [0, reach) so far, in sorted order
  for (const auto& [a, b] : w.arcs) {
    if (a > reach) term += arc_term(xi, yi, ri, reach, a);
    reach = std::max(reach, b);
  }
  if (reach < kTwoPi) term += arc_term(xi, yi, ri, reach, kTwoPi);
  return term;
}

}  // namespace

double union_area(UnionScratch* w, const double* X, const double* Y, const double* reach2, int n) {
  w->valid.clear();
  w->r.assign(static_cast<std::size_t>(n > 0 ? n : 0), 0.0);
  double rmax = 0.0;
  double xlo = INFINITY, xhi = -INFINITY, ylo = INFINITY, yhi = -INFINITY;
  for (int g = 0; g < n; ++g) {
    if (!disc_counts(X, Y, reach2, g)) continue;
    const double r = std::sqrt(reach2[g]);
    w->r[static_cast<std::size_t>(g)] = r;
    w->valid.push_back(g);
    rmax = std::max(rmax, r);
    xlo = std::min(xlo, X[g]);
    xhi = std::max(xhi, X[g]);
    ylo = std::min(ylo, Y[g]);
    yhi = std::max(yhi, Y[g]);
  }
  if (w->valid.empty()) return 0.0;
  // Cells at least a diameter wide: overlapping discs lie in neighbouring cells.
  double cell = 2.0 * rmax;
  const double m = static_cast<double>(w->valid.size());
  while (((xhi - xlo) / cell + 1.0) * ((yhi - ylo) / cell + 1.0) > 4.0 * m + 16.0) cell *= 2.0;
  const int nx = static_cast<int>((xhi - xlo) / cell) + 1;
  const int ny = static_cast<int>((yhi - ylo) / cell) + 1;
  w->head.assign(static_cast<std::size_t>(nx) * ny, -1);
  w->next.assign(static_cast<std::size_t>(n), -1);
  for (int g : w->valid) {
    const int cx = std::min(static_cast<int>((X[g] - xlo) / cell), nx - 1);
    const int cy = std::min(static_cast<int>((Y[g] - ylo) / cell), ny - 1);
    int& h = w->head[static_cast<std::size_t>(cy) * nx + cx];
    w->next[static_cast<std::size_t>(g)] = h;
    h = g;
  }
  double area = 0.0;
  for (int g : w->valid) area += circle_term(*w, X, Y, g, nx, ny, xlo, ylo, cell);
  return area;
}

struct LineScratch {
  std::vector<int> order, start, discs, first, last, pos;
  std::vector<double> lo, hi;  // chords of one line
};

LineScratch* make_line_scratch() { return new LineScratch(); }
void free_line_scratch(LineScratch* w) { delete w; }

namespace {

// Covered length of the line at height y: the chords of the discs listed
// (in ascending order of their centres' x, so that the chords arrive nearly
// sorted by their left ends and the insertion sort moves few of them),
// merged.
double union_chord_length(const double* X, const double* Y, const double* reach2, const int* discs,
                          int count, double y, LineScratch& w) {
  double* lo = w.lo.data();
  double* hi = w.hi.data();
  int m = 0;
  for (int q = 0; q < count; ++q) {
    const int g = discs[q];
    const double dy = Y[g] - y;
    const double h2 = reach2[g] - dy * dy;
    if (h2 > 0.0) {
      const double h = std::sqrt(h2);
      const double a = X[g] - h, b = X[g] + h;
      int k = m++;
      for (; k > 0 && lo[k - 1] > a; --k) {
        lo[k] = lo[k - 1];
        hi[k] = hi[k - 1];
      }
      lo[k] = a;
      hi[k] = b;
    }
  }
  if (m == 0) return 0.0;
  double length = 0.0;
  double a = lo[0], b = hi[0];
  for (int c = 1; c < m; ++c) {
    if (lo[c] > b) {
      length += b - a;
      a = lo[c];
      b = hi[c];
    } else if (hi[c] > b) {
      b = hi[c];
    }
  }
  return length + (b - a);
}

}  // namespace

double union_area_lines(LineScratch* w, const double* X, const double* Y, const double* reach2,
                        int n, int lines) {
  if (lines < 1 || n < 1) return 0.0;
  // The discs that count, by x; their vertical extent.
  w->order.clear();
  double ylo = INFINITY, yhi = -INFINITY;
  for (int g = 0; g < n; ++g) {
    if (!disc_counts(X, Y, reach2, g)) continue;
    w->order.push_back(g);
    const double r = std::sqrt(reach2[g]);
    ylo = std::min(ylo, Y[g] - r);
    yhi = std::max(yhi, Y[g] + r);
  }
  if (!(ylo < yhi)) return 0.0;
  std::sort(w->order.begin(), w->order.end(), [X](int a, int b) { return X[a] < X[b]; });
  const double band = (yhi - ylo) / lines;
  // The discs of each band (disc g meets bands first..last), each band's in
  // the order by x.
  w->start.assign(static_cast<std::size_t>(lines) + 1, 0);
  w->first.resize(static_cast<std::size_t>(n));
  w->last.resize(static_cast<std::size_t>(n));
  for (int g : w->order) {
    const double r = std::sqrt(reach2[g]);
    const int f = std::clamp(static_cast<int>((Y[g] - r - ylo) / band), 0, lines - 1);
    const int l = std::clamp(static_cast<int>((Y[g] + r - ylo) / band), 0, lines - 1);
    w->first[static_cast<std::size_t>(g)] = f;
    w->last[static_cast<std::size_t>(g)] = l;
    for (int b = f; b <= l; ++b) ++w->start[static_cast<std::size_t>(b) + 1];
  }
  for (int b = 0; b < lines; ++b) {
    w->start[static_cast<std::size_t>(b) + 1] += w->start[static_cast<std::size_t>(b)];
  }
  w->discs.resize(static_cast<std::size_t>(w->start[static_cast<std::size_t>(lines)]));
  w->pos.assign(w->start.begin(), w->start.end() - 1);
  for (int g : w->order) {
    for (int b = w->first[static_cast<std::size_t>(g)]; b <= w->last[static_cast<std::size_t>(g)];
         ++b) {
      w->discs[static_cast<std::size_t>(w->pos[static_cast<std::size_t>(b)]++)] = g;
    }
  }
  w->lo.resize(w->order.size());
  w->hi.resize(w->order.size());
  double sum = 0.0;
  for (int b = 0; b < lines; ++b) {
    const double y = ylo + (b + rt::rng::rand()) * band;
    const int s0 = w->start[static_cast<std::size_t>(b)];
    sum += union_chord_length(X, Y, reach2, w->discs.data() + s0,
                              w->start[static_cast<std::size_t>(b) + 1] - s0, y, *w);
  }
  return sum * band;
}

namespace {

// Column-major 3x3 rotation matrices (rows as written: [r11 r12 r13; ...]).
void set3(double M[9], double a11, double a12, double a13, double a21, double a22, double a23,
          double a31, double a32, double a33) {
  M[0] = a11; M[3] = a12; M[6] = a13;
  M[1] = a21; M[4] = a22; M[7] = a23;
  M[2] = a31; M[5] = a32; M[8] = a33;
}

// Per-thread working storage, created once for the thread's whole block.
struct OrientationScratch {
  std::vector<double> xs = std::vector<double>(kShadeSamples);
  std::vector<double> ys = std::vector<double>(kShadeSamples);
  std::vector<double> rotated;
  std::vector<double> product;
  DiscGrid* grid = make_grid();
  explicit OrientationScratch(int n)
      : rotated(static_cast<std::size_t>(n) * 3), product(static_cast<std::size_t>(n) * 3) {}
  ~OrientationScratch() { free_grid(grid); }
  OrientationScratch(const OrientationScratch&) = delete;
  OrientationScratch& operator=(const OrientationScratch&) = delete;
};

double one_orientation(OrientationScratch& w, const double* coords, const double* reach2, int n,
                       double Rmax) {
  double* xs = w.xs.data();
  double* ys = w.ys.data();
  rt::rng::rand_fill(xs, kShadeSamples);
  rt::rng::rand_fill(ys, kShadeSamples);
  const double u1 = rt::rng::rand();
  const double u2 = rt::rng::rand();
  const double u3 = rt::rng::rand();
  const double a = u1 * kTwoPi;
  const double b = std::asin(2.0 * u2 - 1.0);
  const double c = std::asin(1.0 - 2.0 * u3);
  double Rz[9], Ry[9], Rx[9];
  set3(Rz, std::cos(c), -std::sin(c), 0.0, std::sin(c), std::cos(c), 0.0, 0.0, 0.0, 1.0);
  set3(Ry, std::cos(a), 0.0, std::sin(a), 0.0, 1.0, 0.0, -std::sin(a), 0.0, std::cos(a));
  set3(Rx, 1.0, 0.0, 0.0, 0.0, std::cos(b), -std::sin(b), 0.0, std::sin(b), std::cos(b));
  double* R = w.rotated.data();
  double* T = w.product.data();
  rt::gemm(n, 3, 3, coords, Rz, R);
  rt::gemm(n, 3, 3, R, Ry, T);
  rt::gemm(n, 3, 3, T, Rx, R);
  const double* X = R;
  const double* Y = R + n;
  const double xlo = rt::min_skip_nan(X, n) - Rmax;
  const double xhi = rt::max_skip_nan(X, n) + Rmax;
  const double ylo = rt::min_skip_nan(Y, n) - Rmax;
  const double yhi = rt::max_skip_nan(Y, n) + Rmax;
  const double width = xhi - xlo;
  const double height = yhi - ylo;
  for (int s = 0; s < kShadeSamples; ++s) {
    xs[s] = width * xs[s] + xlo;
    ys[s] = height * ys[s] + ylo;
  }
  const int hits =
      count_hits_grid(w.grid, X, Y, reach2, n, Rmax, xs, ys, kShadeSamples);
  return std::fabs(height) * std::fabs(width) *
         (1.0 - (static_cast<double>(kShadeSamples) - hits) / static_cast<double>(kShadeSamples));
}

}  // namespace

void validate(const ProjectionParams& p) {
  const int rows = p.atoms.rows;
  const double N = p.Number_atoms;
  if (!(N >= 1.0) || N != std::floor(N) || N != static_cast<double>(rows)) {
    rt::raise("shadecount:badInput",
              "Number_atoms must be a whole number of at least 1 equal to the row count of "
              "DATA_atoms (" + std::to_string(rows) + ").");
  }
  if (p.atoms.cols < 4) {
    rt::raise("shadecount:badInput",
              "DATA_atoms must have at least 4 columns (x, y, z, radius); it has " +
                  std::to_string(p.atoms.cols) + ".");
  }
  if (!rt::count_fits(p.n_rotations)) {
    rt::raise("shadecount:badInput", "n_rotations must be a number of orientations below 2^29.");
  }
  if (p.lines >= 1.0 && !rt::count_fits(p.lines)) {
    rt::raise("shadecount:badInput", "lines must be a number of probe lines below 2^29.");
  }
  const int bad = rt::first_negative_row(p.atoms.data, rows, 3);
  if (bad >= 0) {
    rt::raise("shadecount:badInput", "DATA_atoms column 4 (radius) must not be negative; row " +
                                         std::to_string(bad + 1) + " holds " +
                                         std::to_string(p.atoms.data[bad + 3 * rows]) + ".");
  }
}

namespace {

// The atoms, centred, in the order of `order` (1-based rows; null: as given),
// and their squared reach.
struct Discs {
  int n = 0;
  std::vector<double> coords, reach2;
  double Rmax = 0;
};

Discs discs_of(const ProjectionParams& p, const double* order) {
  Discs d;
  const int n = static_cast<int>(p.Number_atoms);
  const int rows = p.atoms.rows;
  const double* data = p.atoms.data;
  d.n = n;
  d.coords.resize(static_cast<std::size_t>(n) * 3);
  d.reach2.resize(static_cast<std::size_t>(n));
  std::vector<double> reach(static_cast<std::size_t>(n));
  for (int k = 0; k < n; ++k) {
    const std::size_t src = order != nullptr ? static_cast<std::size_t>(order[k]) - 1 : k;
    for (int j = 0; j < 3; ++j) d.coords[k + j * n] = data[src + static_cast<std::size_t>(j) * rows];
    reach[k] = data[src + 3 * static_cast<std::size_t>(rows)] + p.r_probe;
    d.reach2[k] = reach[k] * reach[k];
  }
  d.Rmax = rt::max_skip_nan(reach.data(), n);
  for (int j = 0; j < 3; ++j) {
    double s = 0.0;
    for (int k = 0; k < n; ++k) s += d.coords[k + j * n];
    const double c = s / p.Number_atoms;
    for (int k = 0; k < n; ++k) d.coords[k + j * n] -= c;
  }
  return d;
}

// Mean of the non-zero areas.
double mean_area(const std::vector<double>& areas) {
  double sum = 0.0;
  double count = 0.0;
  for (double a : areas) {
    if (a != 0.0) {
      sum += a;
      count += 1.0;
    }
  }
  return sum / count;
}

}  // namespace

int lines_per_shadow(const ProjectionParams& p) {
  const double total = std::floor(p.lines);
  if (!(total >= 1.0)) return kDefaultLinesPerShadow;
  return static_cast<int>(std::fmax(std::ceil(total / kShadeDirections), 1.0));
}

namespace {

// Two unit vectors spanning the plane normal to each of the icosahedron's six
// axes (the axes through opposite vertices (0, +-1, phi) and their cyclic
// permutations), as rows e1, e2.
struct ShadowFrames {
  double e[kShadeDirections][2][3];
  ShadowFrames() {
    const double phi = 0.5 * (1.0 + std::sqrt(5.0));
    const double axes[kShadeDirections][3] = {{0, 1, phi}, {0, -1, phi}, {1, phi, 0},
                                              {-1, phi, 0}, {phi, 0, 1}, {phi, 0, -1}};
    for (int d = 0; d < kShadeDirections; ++d) {
      double u[3];
      const double nu = std::sqrt(axes[d][0] * axes[d][0] + axes[d][1] * axes[d][1] +
                                  axes[d][2] * axes[d][2]);
      for (int j = 0; j < 3; ++j) u[j] = axes[d][j] / nu;
      // e1: the coordinate axis least aligned with u, made normal to u.
      int m = 0;
      for (int j = 1; j < 3; ++j) m = std::fabs(u[j]) < std::fabs(u[m]) ? j : m;
      double a[3] = {0, 0, 0};
      a[m] = 1.0;
      double e1[3];
      for (int j = 0; j < 3; ++j) e1[j] = a[j] - u[m] * u[j];
      const double n1 = std::sqrt(e1[0] * e1[0] + e1[1] * e1[1] + e1[2] * e1[2]);
      for (int j = 0; j < 3; ++j) e[d][0][j] = e1[j] / n1;
      const double* v = e[d][0];
      e[d][1][0] = u[1] * v[2] - u[2] * v[1];
      e[d][1][1] = u[2] * v[0] - u[0] * v[2];
      e[d][1][2] = u[0] * v[1] - u[1] * v[0];
    }
  }
};

const ShadowFrames& shadow_frames() {
  static const ShadowFrames f;
  return f;
}

// Working storage of one thread for the program's orientations.
struct ShadowScratch {
  std::vector<double> X, Y;
  LineScratch* lines = make_line_scratch();
  explicit ShadowScratch(int n) : X(static_cast<std::size_t>(n)), Y(static_cast<std::size_t>(n)) {}
  ~ShadowScratch() { free_line_scratch(lines); }
  ShadowScratch(const ShadowScratch&) = delete;
  ShadowScratch& operator=(const ShadowScratch&) = delete;
};

// Area of one shadow: the atoms projected on the plane spanned by a and b,
// integrated over `lines` probe lines.
double shadow_area(ShadowScratch& w, const Discs& d, const double a[3], const double b[3],
                   int lines) {
  const int n = d.n;
  const double* c0 = d.coords.data();
  const double* c1 = c0 + n;
  const double* c2 = c1 + n;
  double* X = w.X.data();
  double* Y = w.Y.data();
  for (int k = 0; k < n; ++k) {
    X[k] = (c0[k] * a[0] + c1[k] * a[1]) + c2[k] * a[2];
    Y[k] = (c0[k] * b[0] + c1[k] * b[1]) + c2[k] * b[2];
  }
  return union_area_lines(w.lines, X, Y, d.reach2.data(), n, lines);
}

// One orientation of the program: a uniform rotation R from the calling
// thread's stream, the mean area of the shadows along R's icosahedral axes.
double mean_shadow_area(ShadowScratch& w, const Discs& d, int lines) {
  double R[9];
  geometry::draw_uniform_rotation(R);  // rows turn as p R
  const ShadowFrames& f = shadow_frames();
  double sum = 0.0;
  for (int k = 0; k < kShadeDirections; ++k) {
    // (p R) . e = p . (R e)
    double a[3], b[3];
    for (int j = 0; j < 3; ++j) {
      a[j] = (R[j] * f.e[k][0][0] + R[j + 3] * f.e[k][0][1]) + R[j + 6] * f.e[k][0][2];
      b[j] = (R[j] * f.e[k][1][0] + R[j + 3] * f.e[k][1][1]) + R[j + 6] * f.e[k][1][2];
    }
    sum += shadow_area(w, d, a, b, lines);
  }
  return sum / kShadeDirections;
}

}  // namespace

void run_projection_orientations(rt::Context* ctx, const ProjectionParams& p, int first, int count,
                                 std::vector<double>* areas) {
  areas->assign(static_cast<std::size_t>(count > 0 ? count : 0), 0.0);
  if (count < 1) return;
  const Discs d = discs_of(p, nullptr);
  const int lines = lines_per_shadow(p);
  rt::parallel_dynamic(
      ctx, 0, count, [&](rt::Context&) { return std::make_unique<ShadowScratch>(d.n); },
      [&](std::unique_ptr<ShadowScratch>& w, rt::Context& tctx, int k) {
        rt::MtState stream;
        rt::seed_orientation_stream(ctx, static_cast<std::uint32_t>(first + k), stream);
        rt::rng::ScopedStream scoped(&stream);
        (*areas)[static_cast<std::size_t>(k)] = mean_shadow_area(*w, d, lines);
        rt::count_orientation(&tctx);
      });
}

void run_projection_method(rt::Context* ctx, const ProjectionParams& p, ProjectionResults* out) {
  const int n_rot = rt::loop_count(p.n_rotations);
  if (ctx->keyed_streams) {
    // Every orientation from its own stream; the order of the atoms does not
    // change the count of covered points.
    run_projection_orientations(ctx, p, 0, n_rot, &out->areas);
    out->mean_area = mean_area(out->areas);
    return;
  }
  rt::rng::rng(p.seedn);
  // Atoms in random order: atom k is row perm(k) of the table.
  rt::RealArray perm;
  emxInit_real_T(ctx, perm.out(), 2, true);
  rt::rng::randperm(p.Number_atoms, perm.get());
  const Discs d = discs_of(p, perm->data);
  std::vector<double>& areas = out->areas;
  areas.assign(static_cast<std::size_t>(n_rot), 0.0);
  {
    rt::rng::LoopStreams loop_streams;
    ctx->stream_loop = 0;
    rt::parallel_iterations(
        ctx, n_rot, [&](rt::Context&) { return std::make_unique<OrientationScratch>(d.n); },
        [&](std::unique_ptr<OrientationScratch>& w, rt::Context& tctx, int i) {
          areas[i] = one_orientation(*w, d.coords.data(), d.reach2.data(), d.n, d.Rmax);
          rt::count_orientation(&tctx);
        },
        [](std::unique_ptr<OrientationScratch>&, rt::Context&) {});
  }
  out->mean_area = mean_area(areas);
}

ProjectionParams plugin_params(const emxArray_real_T* DATA_atoms, double Number_atoms,
                               double r_probe, double n_rotations, double seedn) {
  ProjectionParams p;
  p.atoms = {DATA_atoms->data, DATA_atoms->size[0],
             DATA_atoms->numDimensions > 1 ? DATA_atoms->size[1] : 1};
  p.Number_atoms = Number_atoms;
  p.r_probe = r_probe;
  p.n_rotations = n_rotations;
  p.seedn = seedn;
  return p;
}

}  // namespace ccs::projection

void shadecount(rt::Context* ctx, emxArray_real_T* DATA_atoms, double Number_atoms,
                double r_probe, double n_rotations, double /*EHSSPA*/, double seedn,
                double* r1, double* r2) {
  using namespace ccs::projection;
  const ProjectionParams p = plugin_params(DATA_atoms, Number_atoms, r_probe, n_rotations, seedn);
  validate(p);
  ProjectionResults res;
  run_projection_method(ctx, p, &res);
  *r1 = res.mean_area;
  *r2 = 0.0;
}
