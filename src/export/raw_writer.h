// The voxelised material as a headerless little-endian float32 volume, one
// value per voxel, with a JSON sidecar that describes it.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "common/cancel.h"
#include "common/error.h"
#include "export/file_io.h"
#include "sample/geometry.h"
#include "sample/voxel_map.h"

namespace tess::exporter {

// 4 bytes per voxel, little-endian float32, x-fastest: the phase index, or in
// mode "occupancy" 1.0 for any voxel with material (index >= 0), else 0.0.
// Handed to `put` in pieces of 256 KiB from one reused buffer; stops at the
// first failure of `put`. Throws Cancelled when `cancel` stops.
Status raw_volume(const sample::VoxelGrid& grid, std::string_view mode, const ByteSink& put,
                  const Cancel& cancel = Cancel::never());
// The same bytes of the grid `mapper` labels, its ids made a few z-slabs at a
// time on the pool while the earlier pieces go to `put`.
Status raw_volume(const sample::PhaseMapper& mapper, std::string_view mode, const ByteSink& put,
                  const Cancel& cancel = Cancel::never());

// The sidecar beside `out_path`: its last component's extension replaced by
// ".json", or ".json" appended when it has none.
std::filesystem::path sidecar_path(const std::filesystem::path& out_path);

// The sidecar document (dump_pretty): bounds, dtype, layout, mode, name,
// phase_names, shape_xyz and voxel_size_m.
std::string sidecar_json(std::string_view name, std::string_view mode, const sample::Box& box, double voxel_size,
                         const sample::VoxelGrid& grid);

// Writes the raw volume to `out_path` (its directory must exist) and the
// sidecar beside it; both replace their targets only once both are whole, and
// after a failure or a stop (Cancelled) both targets are as they were.
Result<std::string> export_sdf_raw(std::string_view name, std::string_view out_path, const sample::Box& box,
                                   double voxel_size, std::optional<double> scale_m, std::string_view mode,
                                   const Cancel& cancel = Cancel::never());

}  // namespace tess::exporter
