#include "export/vtk_writer.h"

#include <atomic>
#include <charconv>
#include <new>
#include <optional>
#include <stdexcept>

#include "common/memory.h"
#include "common/numfmt.h"
#include "common/thread_pool.h"
#include "export/file_io.h"
#include "export/names.h"
#include "sample/grid_sample.h"

namespace tess::exporter {

using sample::Box;
using sample::Point;
using sample::VoxelGrid;

namespace {

constexpr std::size_t kChunk = std::size_t{1} << 16;

// Formats n values in chunks spread over the pool, each chunk into its own
// string by format(out, i), then joins them in order: the text is the same as
// one sequential pass.
template <class Format>
void append_lines(std::string& out, std::size_t n, Format format, const Cancel& cancel) {
  const std::size_t chunks = (n + kChunk - 1) / kChunk;
  if (chunks <= 1) {
    for (std::size_t i = 0; i < n; ++i) format(out, i);
    return;
  }
  std::vector<std::string> parts(chunks);
  std::atomic<bool> failed = false;
  parallel_for(
      chunks,
      [&](std::size_t c) {
        try {
          std::string& part = parts[c];
          const std::size_t end = std::min(n, (c + 1) * kChunk);
          for (std::size_t i = c * kChunk; i < end; ++i) format(part, i);
        } catch (...) {  // bad_alloc; the body must not throw
          failed.store(true);
        }
      },
      cancel);
  if (failed.load()) throw std::bad_alloc();
  std::size_t total = out.size();
  for (const auto& p : parts) total += p.size();
  out.reserve(total);
  for (auto& p : parts) {
    out += p;
    std::string().swap(p);
  }
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
  const auto& ids = grid.phase_ids;
  append_lines(
      out, ids.size(),
      [&](std::string& s, std::size_t i) {
        const std::int32_t v = ids[i];
        if (v >= 0 && v < 10) {
          const char line[2] = {static_cast<char>('0' + v), '\n'};
          s.append(line, 2);
        } else {
          char buf[16];
          auto r = std::to_chars(buf, buf + sizeof buf, v);
          *r.ptr++ = '\n';
          s.append(buf, r.ptr);
        }
      },
      cancel);
}

void append_vtk_scalars(std::string& out, std::string_view property, const std::vector<double>& values,
                        const Cancel& cancel) {
  out += "SCALARS ";
  out += vtk_array_name(property);
  out += " float 1\nLOOKUP_TABLE default\n";
  append_lines(
      out, values.size(),
      [&](std::string& s, std::size_t i) {
        numfmt::append_fixed(s, values[i], 6);
        s += '\n';
      },
      cancel);
}

Result<std::string> export_vtk_legacy(std::string_view name, std::string_view out_path, const Box& box,
                                      double voxel_size, const std::vector<std::string>& properties,
                                      std::optional<double> scale_m, const Cancel& cancel) {
  if (name.empty()) return Error("export_vtk_legacy: name required");
  if (voxel_size <= 0) return Error("export_vtk_legacy: voxel_size must be positive");
  auto grid = sample::voxel_phase_map(name, box, voxel_size, scale_m, cancel);
  if (!grid) return std::move(grid).error();
  const VoxelGrid& g = *grid;

  // Every voxel takes at least 2 bytes in the phase section and 9 in each
  // property section; refuse at once what can never be held.
  const auto sections = checked_mul(9, properties.size());
  const auto per_voxel = sections ? checked_add(2, *sections) : std::nullopt;
  const auto values = per_voxel ? checked_mul(g.phase_ids.size(), *per_voxel) : std::nullopt;
  const auto bytes = values ? checked_add(*values, 256) : std::nullopt;
  if (!bytes || !may_allocate(*bytes)) return Error(too_large(g));

  std::string text;
  try {
    text.reserve(static_cast<std::size_t>(*bytes));
    append_vtk_header(text, name, g, box.min, voxel_size);
    append_vtk_phase_values(text, g, cancel);
    const double s = scale_m.value_or(voxel_size);
    for (const auto& property : properties) {
      append_vtk_scalars(text, property, sample::voxel_sample(name, property, box, voxel_size, g, s, cancel), cancel);
    }
  } catch (const std::bad_alloc&) {
    return Error(too_large(g));
  } catch (const std::length_error&) {
    return Error(too_large(g));
  }

  if (auto st = write_file(std::string(out_path), text, Parents::create, cancel); !st) {
    return std::move(st).error();
  }
  return std::string(out_path);
}

}  // namespace tess::exporter
