#include "export/stl_writer.h"

#include <bit>
#include <cstring>
#include <limits>
#include <new>

#include "common/memory.h"
#include "common/numfmt.h"
#include "export/file_io.h"
#include "export/lattice_text.h"
#include "export/names.h"
#include "export/stream.h"

namespace tess::exporter {
namespace {

static_assert(std::endian::native == std::endian::little, "binary STL is written from little-endian memory");
static_assert(sizeof(float) == 4 && std::numeric_limits<float>::is_iec559);

std::array<std::vector<double>, 3> lattice_of(const VoxelGrid& grid, const Point& origin, double voxel_size) {
  const std::uint64_t n[3] = {grid.nx, grid.ny, grid.nz};
  std::array<std::vector<double>, 3> at;
  for (int a = 0; a < 3; ++a) at[a] = lattice_coordinates(origin[a], voxel_size, grid.phase_ids.empty() ? 0 : n[a]);
  return at;
}

// The two facets of a face: (c0, c1, c2) and (c0, c2, c3).
constexpr int kFacetCorners[2][3] = {{0, 1, 2}, {0, 2, 3}};

}  // namespace

Result<std::uint32_t> stl_facet_count(std::uint64_t quads) {
  constexpr std::uint64_t kMax = std::numeric_limits<std::uint32_t>::max();
  if (quads > kMax / 2) {
    return Error("export_stl: the surface has " + std::to_string(quads) +
                 " faces; a binary STL counts at most 4294967295 triangles, so write it as ASCII "
                 "(binary=False) or use a larger voxel_size");
  }
  return static_cast<std::uint32_t>(quads * 2);
}

Status stl_binary(std::string_view name, const VoxelGrid& grid, const Point& origin, double voxel_size,
                  const ByteSink& put, const Cancel& cancel) {
  const FaceSweep sweep(grid, cancel);
  const auto per_run = sweep.count_per_run(cancel);
  std::uint64_t quads = 0;
  for (auto n : per_run) quads += n;
  auto facets = stl_facet_count(quads);
  if (!facets) return std::move(facets).error();

  const auto at = lattice_of(grid, origin, voxel_size);
  std::array<std::vector<float>, 3> f;
  for (int a = 0; a < 3; ++a) f[a].assign(at[a].begin(), at[a].end());  // rounded to nearest

  char head[84] = {};
  std::string title = "tessarine ";
  title.append(name);
  // The 80-byte title field is padded with zeros, not terminated.
  // NOLINTNEXTLINE(bugprone-not-null-terminated-result)
  std::memcpy(head, title.data(), std::min<std::size_t>(title.size(), 80));
  const std::uint32_t count = *facets;
  std::memcpy(head + 80, &count, 4);
  if (auto w = put(std::string_view(head, sizeof head)); !w) return w;

  // Pieces of about a megabyte, filled on the pool while the earlier ones
  // are written.
  const auto pieces = face_pieces(sweep, per_run, 10000);
  return put_pieces(
      pieces.size(),
      [&](std::size_t c, std::string& out) {
        std::size_t faces = 0;
        for_each_in(sweep, pieces[c], [&](const LatticeFace&) { ++faces; });
        out.resize(100 * faces);
        char* p = out.data();
        for_each_in(sweep, pieces[c], [&](const LatticeFace& face) {
          // Stored value by value: records assembled on the stack and copied
          // out whole stall on store forwarding.
          float normal[3] = {0.0f, 0.0f, 0.0f};
          normal[face.axis] = static_cast<float>(face.sign);
          const auto c4 = face.corners();
          for (const auto& tri : kFacetCorners) {
            std::memcpy(p, normal, sizeof normal);
            for (std::size_t v = 0; v < 3; ++v)
              for (std::size_t a = 0; a < 3; ++a)
                std::memcpy(p + 12 + 12 * v + 4 * a, &f[a][static_cast<std::size_t>(c4[tri[v]][a])], 4);
            p[48] = p[49] = 0;  // the attribute word
            p += 50;
          }
        });
      },
      put, cancel);
}

Status stl_ascii(std::string_view name, const VoxelGrid& grid, const Point& origin, double voxel_size,
                 const ByteSink& put, const Cancel& cancel) {
  const FaceSweep sweep(grid, cancel);
  const auto per_run = sweep.count_per_run(cancel);
  const auto at = lattice_of(grid, origin, voxel_size);
  const LatticeText text[3] = {LatticeText(at[0], 6), LatticeText(at[1], 6), LatticeText(at[2], 6)};
  // "  facet normal <n>\n    outer loop\n" for each axis and sign.
  std::string facet_head[3][2];
  for (int a = 0; a < 3; ++a)
    for (int s = 0; s < 2; ++s) {
      std::string& h = facet_head[a][s];
      h = "  facet normal ";
      for (int b = 0; b < 3; ++b) {
        if (b > 0) h += ' ';
        numfmt::append_fixed(h, b == a ? (s == 0 ? -1.0 : 1.0) : 0.0, 6);
      }
      h += "\n    outer loop\n";
    }
  static constexpr std::string_view kVertex = "\t  vertex ";
  static constexpr std::string_view kTail = "    endloop\n  endfacet\n";

  const std::string title = line_text(name);
  if (auto w = put("solid " + title + "\n"); !w) return w;
  // About 1.5 MB of text a piece.
  const auto pieces = face_pieces(sweep, per_run, 4096);
  auto made = put_pieces(
      pieces.size(),
      [&](std::size_t c, std::string& out) {
        out.clear();
        for_each_in(sweep, pieces[c], [&](const LatticeFace& face) {
          const auto corner = face.corners();
          const std::string& head = facet_head[face.axis][face.sign < 0 ? 0 : 1];
          for (const auto& tri : kFacetCorners) {
            out += head;
            for (int v : tri) {
              out += kVertex;
              out += text[0][static_cast<std::size_t>(corner[v][0])];
              out += ' ';
              out += text[1][static_cast<std::size_t>(corner[v][1])];
              out += ' ';
              out += text[2][static_cast<std::size_t>(corner[v][2])];
              out += '\n';
            }
            out += kTail;
          }
        });
      },
      put, cancel);
  if (!made) return made;
  return put("endsolid " + title + "\n");
}

Result<std::string> export_stl(std::string_view name, const std::string& out_path, const sample::Box& bounds,
                               double voxel_size, std::optional<double> scale_m, bool binary, const Cancel& cancel) {
  if (name.empty()) return Error("export_stl: name required");
  if (voxel_size <= 0.0) return Error("export_stl: voxel_size must be positive");
  auto grid = sample::voxel_phase_map(name, bounds, voxel_size, scale_m, cancel);
  if (!grid) return std::move(grid).error();
  try {
    if (binary) {
      // The file is opened with the first bytes: a surface too large for
      // the format leaves any existing file as it was.
      std::optional<FileWriter> file;
      auto written = stl_binary(
          name, *grid, bounds.min, voxel_size,
          [&](std::string_view bytes) -> Status {
            if (!file) {
              auto made = FileWriter::create(out_path, Parents::require, cancel);
              if (!made) return std::move(made).error();
              file.emplace(std::move(*made));
            }
            return file->write(bytes);
          },
          cancel);
      if (!written) return std::move(written).error();
      if (auto w = file->finish(); !w) return std::move(w).error();
    } else {
      auto file = FileWriter::create(out_path, Parents::create, cancel);
      if (!file) return std::move(file).error();
      auto written = stl_ascii(
          name, *grid, bounds.min, voxel_size, [&](std::string_view bytes) { return file->write(bytes); }, cancel);
      if (!written) return std::move(written).error();
      if (auto w = file->finish(); !w) return std::move(w).error();
    }
  } catch (const std::bad_alloc&) {
    return Error(too_large_message("export_stl: the STL of this grid", "use a larger voxel_size"));
  } catch (const std::length_error&) {
    return Error(too_large_message("export_stl: the STL of this grid", "use a larger voxel_size"));
  }
  return out_path;
}

}  // namespace tess::exporter
