// The export room: the voxelised material written as files, and shader
// source. Every volume and surface writer starts from sample::voxel_phase_map;
// the VTK writer samples properties through sample::voxel_sample; all files
// are written through FileWriter. Used by the facade's py_export_* calls.
//
//   obj_writer.h, stl_writer.h  surfaces (boundary.h extracts them)
//   vtk_writer.h, raw_writer.h  volumes
//   shader.h                    GLSL and HLSL source
//   file_io.h                   whole files replaced only once written
//   names.h                     names made safe for each file's text
//   lattice_text.h              lattice coordinates formatted once
//
// A new exporter is a <format>_writer.h/.cpp pair here: it takes the grid
// from voxel_phase_map, numbers from common/numfmt, names through names.h
// and writes through FileWriter.
#pragma once

#include "export/obj_writer.h"
#include "export/raw_writer.h"
#include "export/shader.h"
#include "export/stl_writer.h"
#include "export/vtk_writer.h"
