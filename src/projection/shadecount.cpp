#include "shadecount.h"

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "runtime/blas.h"
#include "runtime/constants.h"
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
  const int bad = rt::first_negative_row(p.atoms.data, rows, 3);
  if (bad >= 0) {
    rt::raise("shadecount:badInput", "DATA_atoms column 4 (radius) must not be negative; row " +
                                         std::to_string(bad + 1) + " holds " +
                                         std::to_string(p.atoms.data[bad + 3 * rows]) + ".");
  }
}

void run_projection_method(rt::Context* ctx, const ProjectionParams& p, ProjectionResults* out) {
  rt::rng::rng(p.seedn);
  const int n = static_cast<int>(p.Number_atoms);
  const int rows = p.atoms.rows;
  const double* data = p.atoms.data;

  // Atoms in random order: atom k is row perm(k) of the table.
  rt::RealArray perm;
  emxInit_real_T(ctx, perm.out(), 2, true);
  rt::rng::randperm(p.Number_atoms, perm.get());
  std::vector<double> coords(static_cast<std::size_t>(n) * 3);
  std::vector<double> reach2(static_cast<std::size_t>(n));
  std::vector<double> reach(static_cast<std::size_t>(n));
  for (int k = 0; k < n; ++k) {
    const std::size_t src = static_cast<std::size_t>(perm->data[k]) - 1;
    for (int j = 0; j < 3; ++j) coords[k + j * n] = data[src + static_cast<std::size_t>(j) * rows];
    reach[k] = data[src + 3 * static_cast<std::size_t>(rows)] + p.r_probe;
    reach2[k] = reach[k] * reach[k];
  }
  const double Rmax = rt::max_skip_nan(reach.data(), n);
  for (int j = 0; j < 3; ++j) {
    double s = 0.0;
    for (int k = 0; k < n; ++k) s += coords[k + j * n];
    const double c = s / p.Number_atoms;
    for (int k = 0; k < n; ++k) coords[k + j * n] -= c;
  }

  const int n_rot = rt::loop_count(p.n_rotations);
  std::vector<double>& areas = out->areas;
  areas.assign(static_cast<std::size_t>(n_rot), 0.0);
  {
    rt::rng::LoopStreams loop_streams;
    ctx->stream_loop = 0;
    rt::parallel_iterations(
        ctx, n_rot, [&](rt::Context&) { return std::make_unique<OrientationScratch>(n); },
        [&](std::unique_ptr<OrientationScratch>& w, rt::Context& tctx, int i) {
          areas[i] = one_orientation(*w, coords.data(), reach2.data(), n, Rmax);
          rt::count_orientation(&tctx);
        },
        [](std::unique_ptr<OrientationScratch>&, rt::Context&) {});
  }

  double sum = 0.0;
  double count = 0.0;
  for (int i = 0; i < n_rot; ++i) {
    if (areas[i] != 0.0) {
      sum += areas[i];
      count += 1.0;
    }
  }
  out->mean_area = sum / count;
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
