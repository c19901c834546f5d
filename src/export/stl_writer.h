// STL surface meshes, binary or ASCII, of a voxelised material.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/error.h"
#include "export/boundary.h"
#include "export/file_io.h"
#include "sample/voxel_map.h"

namespace tess::exporter {

// Voxelises entry `name` over `bounds` and writes its boundary surface to
// `out_path`; returns out_path. The writers below and this one throw
// Cancelled when `cancel` stops; the target is left as it was, as after any
// failure (see FileWriter).
Result<std::string> export_stl(std::string_view name, const std::string& out_path, const sample::Box& bounds,
                               double voxel_size, std::optional<double> scale_m, bool binary,
                               const Cancel& cancel = Cancel::never());

// The facet count field of a binary STL for `quads` faces (two facets each);
// fails when it does not fit the 32-bit field.
Result<std::uint32_t> stl_facet_count(std::uint64_t quads);

// The whole binary file, handed to `put` in pieces of about a megabyte:
// 80-byte header ("tessarine <name>", raw bytes), facet count, 50 bytes per facet. Fails before any byte is
// handed over when the facet count does not fit its field, and with the
// first failure of `put`.
Status stl_binary(std::string_view name, const VoxelGrid& grid, const Point& origin, double voxel_size,
                  const ByteSink& put, const Cancel& cancel = Cancel::never());

// The whole ASCII file, its "solid" and "endsolid" lines naming
// line_text(name), handed to `put` in pieces of a megabyte or two; fails
// with the first failure of `put`.
Status stl_ascii(std::string_view name, const VoxelGrid& grid, const Point& origin, double voxel_size,
                 const ByteSink& put, const Cancel& cancel = Cancel::never());

}  // namespace tess::exporter
