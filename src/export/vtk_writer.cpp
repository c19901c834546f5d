#include "export/vtk_writer.h"

#include <algorithm>
#include <charconv>
#include <new>
#include <optional>
#include <stdexcept>
#include <utility>

#include "common/memory.h"
#include "common/numfmt.h"
#include "common/thread_pool.h"
#include "export/file_io.h"
#include "export/names.h"
#include "export/stream.h"
#include "sample/grid_sample.h"

namespace tess::exporter {

using sample::Box;
using sample::Point;
using sample::VoxelGrid;

namespace {

// Voxels formatted into one piece of the file, in whole z-slabs.
constexpr std::uint64_t kPieceVoxels = std::uint64_t{1} << 18;

void append_phase_line(std::string& s, std::int32_t v) {
  if (v >= 0 && v < 10) {
    const char line[2] = {static_cast<char>('0' + v), '\n'};
    s.append(line, 2);
  } else {
    char buf[16];
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    *r.ptr++ = '\n';
    s.append(buf, r.ptr);
  }
}

void append_value_line(std::string& s, double v) {
  numfmt::append_fixed(s, v, 6);
  s += '\n';
}

std::string scalars_head(std::string_view property) {
  return "SCALARS " + vtk_array_name(property) + " float 1\nLOOKUP_TABLE default\n";
}

void append_uint(std::string& out, std::uint64_t v) {
  char buf[24];
  auto r = std::to_chars(buf, buf + sizeof buf, v);
  out.append(buf, r.ptr);
}

std::string too_large(const VoxelGrid& grid) {
  return too_large_message("export_vtk_legacy: the text of a grid of " + std::to_string(grid.nx) + " x " +
                               std::to_string(grid.ny) + " x " + std::to_string(grid.nz) + " voxels",
                           "use a larger voxel_size or fewer properties");
}

}  // namespace

void append_vtk_header(std::string& out, std::string_view name, const VoxelGrid& grid, const Point& origin,
                       double spacing) {
  out += "# vtk DataFile Version 3.0\ntessarine ";
  out += line_text(name);
  out += "\nASCII\nDATASET STRUCTURED_POINTS\nDIMENSIONS ";
  append_uint(out, grid.nx);
  out += ' ';
  append_uint(out, grid.ny);
  out += ' ';
  append_uint(out, grid.nz);
  out += "\nORIGIN ";
  for (int k = 0; k < 3; ++k) {
    if (k > 0) out += ' ';
    numfmt::append_shortest_positional(out, origin[static_cast<std::size_t>(k)]);
  }
  out += "\nSPACING ";
  for (int k = 0; k < 3; ++k) {
    if (k > 0) out += ' ';
    numfmt::append_shortest_positional(out, spacing);
  }
  out += "\nPOINT_DATA ";
  // The product of the counts, as the grid holds exactly that many voxels.
  append_uint(out, grid.nx * grid.ny * grid.nz);
  out += "\nSCALARS phase_id int 1\nLOOKUP_TABLE default\n";
}

void append_vtk_phase_values(std::string& out, const VoxelGrid& grid, const Cancel& cancel) {
  for (std::size_t i = 0; i < grid.phase_ids.size(); ++i) {
    if (i % kPieceVoxels == 0) cancel.check();
    append_phase_line(out, grid.phase_ids[i]);
  }
}

void append_vtk_scalars(std::string& out, std::string_view property, const std::vector<double>& values,
                        const Cancel& cancel) {
  out += scalars_head(property);
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (i % kPieceVoxels == 0) cancel.check();
    append_value_line(out, values[i]);
  }
}

Result<std::string> export_vtk_legacy(std::string_view name, std::string_view out_path, const Box& box,
                                      double voxel_size, const std::vector<std::string>& properties,
                                      std::optional<double> scale_m, const Cancel& cancel) {
  if (name.empty()) return Error("export_vtk_legacy: name required");
  if (voxel_size <= 0) return Error("export_vtk_legacy: voxel_size must be positive");
  auto mapper = sample::PhaseMapper::make(name, box, voxel_size, scale_m, cancel);
  if (!mapper) return std::move(mapper).error();
  VoxelGrid g;  // the counts; the ids are made slab by slab
  g.nx = mapper->nx();
  g.ny = mapper->ny();
  g.nz = mapper->nz();

  // Every voxel takes at least 2 bytes in the phase section and 9 in each
  // property section; refuse at once what can never be held.
  const auto sections = checked_mul(9, properties.size());
  const auto per_voxel = sections ? checked_add(2, *sections) : std::nullopt;
  const auto voxel_bytes = per_voxel ? checked_mul(g.nx * g.ny * g.nz, *per_voxel) : std::nullopt;
  const auto bytes = voxel_bytes ? checked_add(*voxel_bytes, 256) : std::nullopt;
  if (!bytes || !may_allocate(*bytes)) return Error(too_large(g));

  try {
    auto file = FileWriter::create(std::string(out_path), Parents::create, cancel);
    if (!file) return std::move(file).error();
    const ByteSink put = [&](std::string_view piece) { return file->write(piece); };
    std::string head;
    append_vtk_header(head, name, g, box.min, voxel_size);
    if (auto w = put(head); !w) return std::move(w).error();

    // Each section in pieces of whole z-slabs.
    const std::uint64_t plane = g.nx * g.ny;
    const std::uint64_t per_piece = std::max<std::uint64_t>(1, kPieceVoxels / plane);
    const auto pieces = static_cast<std::size_t>((g.nz + per_piece - 1) / per_piece);
    auto slabs_of = [&](std::size_t c) {
      const std::uint64_t iz0 = c * per_piece;
      return std::pair{iz0, std::min(g.nz, iz0 + per_piece)};
    };
    // Progress counts the voxels of every section as they are made.
    cancel.start_progress(g.nz * plane * (1 + properties.size()));
    auto phases = put_pieces(
        pieces,
        [&](std::size_t c, std::string& out) {
          thread_local std::vector<std::int32_t> ids;  // kept: fresh pages would be faulted in every piece
          const auto [iz0, iz1] = slabs_of(c);
          ids.resize(static_cast<std::size_t>((iz1 - iz0) * plane));
          mapper->slabs(iz0, iz1, ids.data());
          cancel.advance((iz1 - iz0) * plane);
          out.clear();
          for (std::int32_t v : ids) append_phase_line(out, v);
        },
        put, cancel);
    if (!phases) return std::move(phases).error();

    const double s = scale_m.value_or(voxel_size);
    for (const auto& property : properties) {
      const sample::VoxelSampler sampler(name, property, box, voxel_size, {g.nx, g.ny, g.nz}, s, cancel);
      if (auto w = put(scalars_head(property)); !w) return std::move(w).error();
      auto written = put_pieces(
          pieces,
          [&](std::size_t c, std::string& out) {
            thread_local std::vector<double> values;
            const auto [iz0, iz1] = slabs_of(c);
            values.resize(static_cast<std::size_t>((iz1 - iz0) * plane));
            sampler.slabs(iz0, iz1, values.data());
            cancel.advance((iz1 - iz0) * plane);
            out.clear();
            for (double v : values) append_value_line(out, v);
          },
          put, cancel);
      if (!written) return std::move(written).error();
    }
    if (auto w = file->finish(); !w) return std::move(w).error();
  } catch (const std::bad_alloc&) {
    return Error(too_large(g));
  } catch (const std::length_error&) {
    return Error(too_large(g));
  }
  return std::string(out_path);
}

}  // namespace tess::exporter
