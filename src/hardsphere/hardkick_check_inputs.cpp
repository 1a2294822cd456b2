#include <string>

#include "hardsphere/hardkick.h"
#include "runtime/numeric.h"

void hardkick_check_inputs(const emxArray_real_T* DATA_atoms, double Number_atoms,
                           double n_rotations, double MobcalHS, double N_total) {
  if (DATA_atoms == nullptr) rt::raise("hardkick:badInput", "DATA_atoms is missing.");
  const int rows = DATA_atoms->numDimensions >= 1 ? DATA_atoms->size[0] : 1;
  int cols = 1;
  for (int d = 1; d < DATA_atoms->numDimensions; ++d) cols *= DATA_atoms->size[d];
  if (cols < 4) {
    rt::raise("hardkick:badInput", "DATA_atoms must have at least 4 columns (x, y, z, radius).");
  }
  if (!(Number_atoms >= 1.0)) rt::raise("hardkick:badInput", "Number_atoms must be at least 1.");
  if (Number_atoms != static_cast<double>(rows)) {
    rt::raise("hardkick:badInput", "Number_atoms must equal the number of rows of DATA_atoms.");
  }
  const int bad = rt::first_negative_row(DATA_atoms->data, rows, 3);
  if (bad >= 0) {
    rt::raise("hardkick:badInput", "DATA_atoms column 4 (radius) must not be negative; row " +
                                       std::to_string(bad + 1) + " holds " +
                                       std::to_string(DATA_atoms->data[bad + 3 * rows]) + ".");
  }
  if (MobcalHS == 0.0 && n_rotations != 3.0) {
    rt::raise("hardkick:badInput",
              "n_rotations must be 3 when MobcalHS is 0 (axis-permutation mode).");
  }
  // Counts of 2^29 or more (or +Inf) are refused (rt::count_fits): they
  // would saturate, or overflow the trajectory total of an entry box.
  if (!rt::count_fits(n_rotations)) {
    rt::raise("hardkick:badInput", "n_rotations must be a number of orientations below 2^29.");
  }
  if (!rt::count_fits(N_total)) {
    rt::raise("hardkick:badInput", "N_total must be a number of trajectories below 2^29.");
  }
}
