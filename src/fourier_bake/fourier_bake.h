// The Fourier bake room: a property field sampled over a box and expanded
// into a truncated discrete Fourier series, for py_bake_fourier. It samples
// through the sampling room's lattice path, like the VTK writer.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/cancel.h"
#include "common/error.h"
#include "sample/geometry.h"

namespace tess::fourier_bake {

// One kept term of the series.
struct FourierCoefficient {
  std::int32_t n = 0;  // never negative
  std::int32_t m = 0;
  std::int32_t l = 0;
  double amplitude = 0;  // 2|X| / N
  double phase = 0;      // atan2(Im X, Re X)
};

// The baked field: a periodic field over the box.
struct FourierFieldConfig {
  std::string property_name;
  double base_value = 0;
  std::array<double, 3> domain_size_m{};
  std::vector<FourierCoefficient> coefficients;
  std::string boundary_condition;
};

// Samples (Nx, Ny, Nz) along x, y, z.
using GridSize = std::array<std::uint64_t, 3>;

// The bake of `property` of the stored entry `entry_name`, sampled as
// sample::sample does at the cell centres of the box. After the checks of the
// arguments, fails with the lookup's message when no tier holds
// `entry_name`; a property that the entry lacks samples as 0.0 everywhere.
// Throws Cancelled when `cancel` stops.
Result<FourierFieldConfig> bake_fourier(std::string_view entry_name, std::string_view property,
                                        const sample::Box& bounds, GridSize grid, double truncate_threshold,
                                        const Cancel& cancel = Cancel::never());

}  // namespace tess::fourier_bake
