#include "support/molecules.h"

#include <cmath>
#include <random>

namespace ccs::test {

std::vector<Point> c60_cage(double bond) {
  const double g = (1.0 + std::sqrt(5.0)) / 2.0;
  const double scale = bond / 2.0;
  const double base[3][3] = {{0.0, 1.0, 3.0 * g}, {1.0, 2.0 + g, 2.0 * g}, {g, 2.0, 2.0 * g + 1.0}};
  std::vector<Point> out;
  for (const auto& b : base) {
    for (int signs = 0; signs < 8; ++signs) {
      double v[3];
      bool duplicate = false;
      for (int k = 0; k < 3; ++k) {
        const bool neg = (signs >> k) & 1;
        if (neg && b[k] == 0.0) duplicate = true;  // -0 is the same point
        v[k] = neg ? -b[k] : b[k];
      }
      if (duplicate) continue;
      for (int r = 0; r < 3; ++r) {
        out.push_back({v[r % 3] * scale, v[(r + 1) % 3] * scale, v[(r + 2) % 3] * scale});
      }
    }
  }
  return out;
}

std::vector<Point> ball_cluster(int n, double volume_per_atom, std::uint32_t seed) {
  std::mt19937 gen(seed);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  const double radius = std::cbrt(3.0 * n * volume_per_atom / (4.0 * M_PI));
  std::vector<Point> out;
  while (static_cast<int>(out.size()) < n) {
    const double x = u(gen), y = u(gen), z = u(gen);
    if (x * x + y * y + z * z > 1.0) continue;
    out.push_back({radius * x, radius * y, radius * z});
  }
  return out;
}

}  // namespace ccs::test
