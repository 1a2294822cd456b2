#include "numeric.h"

#include <cmath>

namespace rt {
// (implemented separately)
}  // namespace rt
