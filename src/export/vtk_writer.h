// The voxelised material as a legacy ASCII VTK file (STRUCTURED_POINTS): the
// phase of every voxel, then one section per requested property sampled at
// the voxel centres.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/cancel.h"
#include "common/error.h"
#include "sample/geometry.h"
#include "sample/voxel_map.h"

namespace tess::exporter {

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

// The functions of this file that take a Cancel throw Cancelled when it
// stops. The writer leaves its target as it was after a failure or a stop
// (see FileWriter).
Result<std::string> export_vtk_legacy(std::string_view name, std::string_view out_path, const sample::Box& box,
                                      double voxel_size, const std::vector<std::string>& properties,
                                      std::optional<double> scale_m, const Cancel& cancel = Cancel::never());

}  // namespace tess::exporter
