#include "export/stl_writer.h"

#include <bit>
#include <cstring>
#include <functional>
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

std::array<std::vector<double>, 3> lattice_of(const FaceSweep& sweep, const Point& origin, double voxel_size) {
  const std::uint64_t n[3] = {sweep.nx(), sweep.ny(), sweep.nz()};
  std::array<std::vector<double>, 3> at;
  for (int a = 0; a < 3; ++a) at[a] = lattice_coordinates(origin[a], voxel_size, sweep.plane_count() == 0 ? 0 : n[a]);
  return at;
}

// The two facets of a face: (c0, c1, c2) and (c0, c2, c3).
constexpr int kFacetCorners[2][3] = {{0, 1, 2}, {0, 2, 3}};

// The 100 bytes of a face's two facets. Within a row of the sweep (one axis,
// i and j fixed) only k changes from face to face, so the records of both
// signs are made once per row and each face copies one and puts in its z
// coordinates.
class FaceRecords {
 public:
  explicit FaceRecords(const std::array<std::vector<float>, 3>& f) : f_(f) {}

  void put(const LatticeFace& face, char* p) {
    if (face.axis != axis_ || face.c0[0] != i_ || face.c0[1] != j_) start_row(face);
    const int s = face.sign > 0 ? 1 : 0;
    std::memcpy(p, record_[s], 100);
    const float* z = f_[2].data() + face.c0[2];
    for (std::size_t t = 0; t < 2; ++t)
      for (std::size_t v = 0; v < 3; ++v) std::memcpy(p + 50 * t + 20 + 12 * v, z + dz_[s][t][v], 4);
  }

 private:
  void start_row(const LatticeFace& face) {
    axis_ = face.axis;
    i_ = face.c0[0];
    j_ = face.c0[1];
    for (int s = 0; s < 2; ++s) {
      const auto& off = detail::kCornerOffsets[axis_][s];
      char* p = record_[s];
      float normal[3] = {0.0f, 0.0f, 0.0f};
      normal[axis_] = s > 0 ? 1.0f : -1.0f;
      for (std::size_t t = 0; t < 2; ++t, p += 50) {
        std::memcpy(p, normal, sizeof normal);
        for (std::size_t v = 0; v < 3; ++v) {
          const auto& o = off[static_cast<std::size_t>(kFacetCorners[t][v])];
          std::memcpy(p + 12 + 12 * v, &f_[0][static_cast<std::size_t>(i_ + o[0])], 4);
          std::memcpy(p + 16 + 12 * v, &f_[1][static_cast<std::size_t>(j_ + o[1])], 4);
          std::memset(p + 20 + 12 * v, 0, 4);  // the face's own
          dz_[s][t][v] = o[2];
        }
        p[48] = p[49] = 0;  // the attribute word
      }
    }
  }

  const std::array<std::vector<float>, 3>& f_;
  std::uint8_t axis_ = 3;  // no row yet
  std::uint64_t i_ = 0, j_ = 0;
  char record_[2][100] = {};
  std::uint8_t dz_[2][2][3] = {};
};

// The whole binary file of `sweep`; `open(size)` is called with the file's
// size once it is known to fit the format, before the first byte.
Status binary_of(std::string_view name, const FaceSweep& sweep, const Point& origin, double voxel_size,
                 const std::function<Status(std::uint64_t)>& open, const ByteSink& put, const Cancel& cancel) {
  const auto per_run = sweep.count_per_run(cancel);
  std::uint64_t quads = 0;
  for (auto n : per_run) quads += n;
  auto facets = stl_facet_count(quads);
  if (!facets) return std::move(facets).error();

  const auto at = lattice_of(sweep, origin, voxel_size);
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
  if (auto o = open(sizeof head + std::uint64_t{50} * count); !o) return o;
  if (auto w = put(std::string_view(head, sizeof head)); !w) return w;

  // Pieces of about a megabyte, filled on the pool while the earlier ones
  // are written.
  const auto pieces = face_pieces(sweep, per_run, 10000);
  return put_pieces(
      pieces.size(),
      [&](std::size_t c, std::string& out) {
        out.resize(static_cast<std::size_t>(100 * count_in(sweep, pieces[c])));
        char* p = out.data();
        FaceRecords records(f);
        for_each_in(sweep, pieces[c], [&](const LatticeFace& face) {
          records.put(face, p);
          p += 100;
        });
      },
      put, cancel);
}

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
  return binary_of(
      name, sweep, origin, voxel_size, [](std::uint64_t) { return ok_status(); }, put, cancel);
}

namespace {

// The whole ASCII file of `sweep`.
Status ascii_of(std::string_view name, const FaceSweep& sweep, const Point& origin, double voxel_size,
                const ByteSink& put, const Cancel& cancel) {
  const auto per_run = sweep.count_per_run(cancel);
  const auto at = lattice_of(sweep, origin, voxel_size);
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

}  // namespace

Status stl_ascii(std::string_view name, const VoxelGrid& grid, const Point& origin, double voxel_size,
                 const ByteSink& put, const Cancel& cancel) {
  return ascii_of(name, FaceSweep(grid, cancel), origin, voxel_size, put, cancel);
}

Result<std::string> export_stl(std::string_view name, const std::string& out_path, const sample::Box& bounds,
                               double voxel_size, std::optional<double> scale_m, bool binary, const Cancel& cancel) {
  if (name.empty()) return Error("export_stl: name required");
  if (voxel_size <= 0.0) return Error("export_stl: voxel_size must be positive");
  // In the order the surface is swept, so that the sweep takes the ids as they are.
  auto grid = sample::voxel_phase_map(name, bounds, voxel_size, scale_m, cancel, sample::Layout::z_fastest);
  if (!grid) return std::move(grid).error();
  try {
    const FaceSweep sweep(std::move(*grid), cancel);
    if (binary) {
      // The file is opened once its size is known: a surface too large for
      // the format leaves any existing file as it was, and a disk without
      // room for the file fails before anything is written.
      std::optional<FileWriter> file;
      auto written = binary_of(
          name, sweep, bounds.min, voxel_size,
          [&](std::uint64_t size) -> Status {
            auto made = FileWriter::create(out_path, Parents::require, cancel);
            if (!made) return std::move(made).error();
            file.emplace(std::move(*made));
            return file->reserve(size);
          },
          [&](std::string_view bytes) { return file->write(bytes); }, cancel);
      if (!written) return std::move(written).error();
      if (auto w = file->finish(); !w) return std::move(w).error();
    } else {
      auto file = FileWriter::create(out_path, Parents::create, cancel);
      if (!file) return std::move(file).error();
      auto written = ascii_of(
          name, sweep, bounds.min, voxel_size, [&](std::string_view bytes) { return file->write(bytes); }, cancel);
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
