// Voxelising a material over a box: every voxel labelled with a phase index.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/cancel.h"
#include "common/error.h"
#include "sample/geometry.h"

namespace tess::sample {

// Phase index per voxel. Stored flat in x-fastest order: the voxel
// (ix, iy, iz) is at ix + nx * (iy + ny * iz).
struct VoxelGrid {
  std::vector<std::int32_t> phase_ids;
  std::vector<std::string> phase_names;
  std::uint64_t nx = 1, ny = 1, nz = 1;
};

// Labels every voxel of edge `voxel_size` of `box` with the phase of entry
// `name` at its centre. Panics when voxel_size is not > 0; fails when the entry
// is unknown or the grid's phase ids may not or cannot be allocated. Throws
// Cancelled when `cancel` stops.
Result<VoxelGrid> voxel_phase_map(std::string_view name, const Box& box, double voxel_size,
                                  std::optional<double> scale_m, const Cancel& cancel = Cancel::never());

}  // namespace tess::sample
