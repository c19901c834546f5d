// Wavefront OBJ surfaces with an MTL material library, one material per phase.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/error.h"
#include "export/boundary.h"
#include "export/file_io.h"
#include "sample/voxel_map.h"

namespace tess::exporter {

struct ObjFiles {
  std::string obj_path;
  std::string mtl_path;
};

// Voxelises entry `name` over `bounds` and writes the MTL library, then the
// OBJ surface; each replaces its target only once both are whole (see
// FileWriter). Throws Cancelled when `cancel` stops, leaving both targets as
// they were, as after any failure.
Result<ObjFiles> export_obj(std::string_view name, const std::string& obj_path, const sample::Box& bounds,
                            double voxel_size, std::optional<double> scale_m, const Cancel& cancel = Cancel::never());

// obj_path with its extension replaced by (or extended with) "mtl"; a path
// without a final file name is returned unchanged.
std::string mtl_path_for(const std::string& obj_path);

// The name the OBJ's mtllib line gives: the MTL path's file name, or
// "material.mtl" when it has none.
std::string mtl_reference_name(const std::string& mtl_path);

// The diffuse colour of a phase, from a hash of its name.
std::array<double, 3> phase_colour(std::string_view phase);

// One material per phase, named by obj_names; the colour comes from the
// phase's own name.
std::string mtl_text(const std::vector<std::string>& phases);

// How the OBJ text merges equal corners; both give the same text.
// The object and material names are those of obj_name and obj_names.
enum class VertexIndex { automatic, dense, hashed };

// The OBJ text handed to `put` in pieces, in order; fails with the first
// failure of `put`.
Status obj_stream(std::string_view name, std::string_view mtl_reference, const VoxelGrid& grid, const Point& origin,
                  double voxel_size, VertexIndex how, const ByteSink& put, const Cancel& cancel = Cancel::never());

// The same text whole.
std::string obj_text(std::string_view name, std::string_view mtl_reference, const VoxelGrid& grid, const Point& origin,
                     double voxel_size, VertexIndex how = VertexIndex::automatic,
                     const Cancel& cancel = Cancel::never());

}  // namespace tess::exporter
