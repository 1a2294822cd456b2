// Plain views of the caller's arrays that the typed parameter records hold.
#pragma once

namespace ccs {

// Column-major rows x cols doubles, read only.
struct TableView {
  const double* data = nullptr;
  int rows = 0;
  int cols = 0;
  int count() const { return rows * cols; }
};

// Random orientations, or the three axis orientations whose transfers form
// the mobility tensor (the plug-ins' MobcalHS = 0).
enum class OrientationMode { Random, AxisTensor };

inline OrientationMode orientation_mode_from_code(double MobcalHS) {
  return MobcalHS == 0.0 ? OrientationMode::AxisTensor : OrientationMode::Random;
}

}  // namespace ccs
