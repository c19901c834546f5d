// Volume writers: the voxelised material as a legacy ASCII VTK file, or as a
// raw little-endian float32 volume with a JSON sidecar.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/cancel.h"
#include "common/error.h"
#include "common/json.h"
#include "export/file_io.h"
#include "sample/voxel_map.h"

namespace tess::exporter {

// ---- VTK legacy (STRUCTURED_POINTS) ----

// Lines 1-10 of the file: the header up to the phase section's lookup table;
// the title line carries line_text(name).
void append_vtk_header(std::string& out, std::string_view name, const sample::VoxelGrid& grid,
                       const sample::Point& origin, double spacing);
// One phase index per line, x-fastest.
void append_vtk_phase_values(std::string& out, const sample::VoxelGrid& grid, const Cancel& cancel = Cancel::never());
// "SCALARS <vtk_array_name(property)> float 1", "LOOKUP_TABLE default", one
// "%.6f" value per line.
void append_vtk_scalars(std::string& out, std::string_view property, const std::vector<double>& values,
                        const Cancel& cancel = Cancel::never());

// `property` of `entry` sampled at every voxel centre of a grid with the given
// counts over `box`, x-fastest; a failed sample gives 0.0.
std::vector<double> voxel_sample(const Json& entry, std::string_view property, const sample::Box& box,
                                 double voxel_size, std::uint64_t nx, std::uint64_t ny, std::uint64_t nz,
                                 double scale_m, const Cancel& cancel = Cancel::never());

// The functions of this file that take a Cancel throw Cancelled when it
// stops. The exporters leave their targets as they were after a failure or
// a stop (see FileWriter); a raw volume and its sidecar replace their
// targets only once both are whole.
Result<std::string> export_vtk_legacy(std::string_view name, std::string_view out_path, const sample::Box& box,
                                      double voxel_size, const std::vector<std::string>& properties,
                                      std::optional<double> scale_m, const Cancel& cancel = Cancel::never());

// ---- Raw float32 volume and sidecar ----

// 4 bytes per voxel, little-endian float32, x-fastest: the phase index, or in
// mode "occupancy" 1.0 for any voxel with material (index >= 0), else 0.0.
// Handed to `put` in pieces of 256 KiB from one reused buffer; stops at the
// first failure of `put`.
Status raw_volume(const sample::VoxelGrid& grid, std::string_view mode, const ByteSink& put,
                  const Cancel& cancel = Cancel::never());

// The sidecar beside `out_path`: its last component's extension replaced by
// ".json", or ".json" appended when it has none.
std::filesystem::path sidecar_path(const std::filesystem::path& out_path);

// The sidecar document: pretty JSON, two-space indent, no final line feed.
std::string sidecar_json(std::string_view name, std::string_view mode, const sample::Box& box, double voxel_size,
                         const sample::VoxelGrid& grid);

// Appends `s` as a JSON string: only '"', '\\' and control characters escaped.
void append_json_string(std::string& out, std::string_view s);

Result<std::string> export_sdf_raw(std::string_view name, std::string_view out_path, const sample::Box& box,
                                   double voxel_size, std::optional<double> scale_m, std::string_view mode,
                                   const Cancel& cancel = Cancel::never());

}  // namespace tess::exporter
