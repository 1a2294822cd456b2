// Orientations of a molecule and directions through a tensor, shared by the
// hard-sphere and trajectory drivers.
#pragma once

namespace ccs::geometry {

// Euler angles of one random orientation, each uniform in [0, 2 pi).
struct EulerAngles {
  double alpha;  // about y
  double beta;   // about x
  double gamma;  // about z
};

// Draws alpha, beta, gamma in that order from the calling thread's stream.
EulerAngles draw_euler_angles();

// P (rows x 3, column-major) <- ((P Rx(beta)) Ry(alpha)) Rz(gamma), each
// product through BLAS; tmp1 and tmp2 hold rows x 3 doubles each.
void rotate_rows(double* P, int rows, const EulerAngles& angles, double* tmp1, double* tmp2);

// A rotation uniform over all orientations (the Haar measure), column-major,
// from three draws of the calling thread's stream: a random unit quaternion
// (Shoemake's construction).
void draw_uniform_rotation(double R[9]);

// out (rows x 3) = P R for P and out column-major (BLAS).
void rotate_rows_into(const double* P, int rows, const double R[9], double* out);

// Per column of a rows x 3 table: the extremes with NaN skipped (as
// rt::min_skip_nan and rt::max_skip_nan) and the sum from the first row to
// the last (as rt::sum_in_order).
struct ColumnSummary {
  double min[3], max[3], sum[3];
};
ColumnSummary summarize_columns(const double* P, int rows);

// out[t] = summarize_columns of P turned by R[t] (rotate_rows_into's
// numbers), t < count, without storing the turned rows: block by block in
// cache, one pass over P for every kTurnsPerPass rotations.
inline constexpr int kTurnsPerPass = 4;
void summarize_turned_columns(const double* P, int rows, const double* const R[], int count,
                              ColumnSummary out[]);

// New (x, y, z) = old (y, z, x) for every row of P (rows x 3, column-major):
// the axis orientations 2 and 3 each follow from the one before.
void cycle_axes(double* P, int rows);

// A transfer row of axis orientation `orientation` (1, 2 or 3) turned back to
// the input axes: orientation 2 has seen the axes cycled once, 3 twice.
void row_to_input_axes(int orientation, double row[3]);

// How the 3x3 products of direction_average round: through BLAS (the
// trajectory drivers) or summed in written order (the hard-sphere driver).
enum class Products { Blas, WrittenOrder };

// Mean of u' T u (T column-major) over 2000 directions u: u starts along x
// and each next one is the last turned by Rx, Ry, Rz of three angles drawn
// from the calling thread's stream.
double direction_average(const double T[9], Products products);

}  // namespace ccs::geometry
