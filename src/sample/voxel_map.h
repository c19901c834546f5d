// Voxelising a material over a box: every voxel labelled with a phase index.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/cancel.h"
#include "common/error.h"
#include "sample/sample.h"

namespace tess::sample {

// An axis-aligned box ((xmin, ymin, zmin), (xmax, ymax, zmax)) in metres.
struct Box {
  Point min;
  Point max;
};

// Phase index per voxel. Stored flat in x-fastest order: the voxel
// (ix, iy, iz) is at ix + nx * (iy + ny * iz).
struct VoxelGrid {
  std::vector<std::int32_t> phase_ids;
  std::vector<std::string> phase_names;
  std::uint64_t nx = 1, ny = 1, nz = 1;

  std::size_t flat_index(std::uint64_t ix, std::uint64_t iy, std::uint64_t iz) const {
    return static_cast<std::size_t>(ix + nx * (iy + ny * iz));
  }
  std::int32_t at(std::uint64_t ix, std::uint64_t iy, std::uint64_t iz) const {
    return phase_ids[flat_index(ix, iy, iz)];
  }
};

// The most voxels a grid may have (4 GiB of phase ids).
inline constexpr std::uint64_t kMaxVoxels = std::uint64_t{1} << 30;

// Labels every voxel of edge `voxel_size` of `box` with the phase of entry
// `name` at its centre. Panics when voxel_size is not > 0; fails when the entry
// is unknown or the grid has more than kMaxVoxels voxels or cannot be
// allocated. Throws Cancelled when `cancel` stops.
Result<VoxelGrid> voxel_phase_map(std::string_view name, const Box& box, double voxel_size,
                                  std::optional<double> scale_m, const Cancel& cancel = Cancel::never());

}  // namespace tess::sample
