// A property sampled over a voxel grid, as the VTK writer samples it.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "common/cancel.h"
#include "sample/voxel_map.h"

namespace tess::exporter {

// The values export_vtk_legacy writes in the section of `property` for the
// grid of `counts` (nx, ny, nz) voxels of edge `voxel_size` over `box`,
// before they are formatted: `property` of the entry named exactly `name`
// sampled at every voxel centre, x-fastest, at scale `scale_m` (else the
// voxel size); a failed sample is 0.0, and so is every voxel when no tier
// holds `name`. Panics when `property` is empty, voxel_size is not > 0 or
// the counts hold more than sample::kMaxVoxels voxels. Throws Cancelled when
// `cancel` stops.
std::vector<double> property_grid(std::string_view name, std::string_view property, const sample::Box& box,
                                  double voxel_size, const std::array<std::uint64_t, 3>& counts,
                                  std::optional<double> scale_m, const Cancel& cancel = Cancel::never());

}  // namespace tess::exporter
