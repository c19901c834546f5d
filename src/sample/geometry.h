// Points and boxes in metres, as every sampling and export call takes them.
#pragma once

#include <array>

namespace tess::sample {

// A point (x, y, z).
using Point = std::array<double, 3>;

// An axis-aligned box ((xmin, ymin, zmin), (xmax, ymax, zmax)).
struct Box {
  Point min;
  Point max;
};

}  // namespace tess::sample
