// Small voxel grids for the exporter tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sample/voxel_map.h"

inline tess::sample::VoxelGrid grid_of(std::uint64_t nx, std::uint64_t ny, std::uint64_t nz,
                                       std::vector<std::int32_t> ids, std::vector<std::string> names = {"a"}) {
  return {std::move(ids), std::move(names), nx, ny, nz};
}
