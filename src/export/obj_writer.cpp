#include "export/obj_writer.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <filesystem>
#include <limits>
#include <new>
#include <system_error>
#include <unordered_map>

#include "common/hash.h"
#include "common/memory.h"
#include "common/numfmt.h"
#include "export/file_io.h"
#include "export/lattice_text.h"
#include "export/names.h"
#include "export/stream.h"

namespace tess::exporter {
namespace {

// The final path component, or nothing when the path ends without a file name.
std::optional<std::size_t> file_name_start(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  const std::size_t start = slash == std::string::npos ? 0 : slash + 1;
  const std::string_view last = std::string_view(path).substr(start);
  if (last.empty() || last == "." || last == "..") return std::nullopt;
  return start;
}

// Canonical lattice index per axis: the first index with the same bits, so
// equal canonical triples are exactly the corners with equal coordinates.
std::vector<std::uint64_t> canonical_indices(const std::vector<double>& values) {
  std::vector<std::uint64_t> canon(values.size());
  std::unordered_map<std::uint64_t, std::uint64_t> first;
  for (std::size_t i = 0; i < values.size(); ++i) {
    canon[i] = first.emplace(std::bit_cast<std::uint64_t>(values[i]), i).first->second;
  }
  return canon;
}

// Faces numbered, then formatted, a piece at a time.
constexpr std::uint64_t kFacesPerPiece = 16384;

template <class Index>
Status put_obj(std::string_view name, std::string_view mtl_reference, const VoxelGrid& grid, const FaceSweep& sweep,
               const std::vector<std::uint64_t>& per_run, const std::array<std::vector<double>, 3>& at, bool dense,
               const ByteSink& put, const Cancel& cancel) {
  std::array<std::vector<std::uint64_t>, 3> canon;
  for (int a = 0; a < 3; ++a) canon[a] = canonical_indices(at[a]);
  const std::uint64_t ly = at[1].size(), lz = at[2].size();
  auto key_of = [&](const LatticeFace::Corner& c) {
    return (canon[0][static_cast<std::size_t>(c[0])] * ly + canon[1][static_cast<std::size_t>(c[1])]) * lz +
           canon[2][static_cast<std::size_t>(c[2])];
  };
  std::uint64_t faces = 0;
  for (auto n : per_run) faces += n;

  // Vertices are numbered in the order in which the faces first reach them.
  // The index holds every vertex's number; the text is then made piece by
  // piece from it, each piece writing the vertices it reaches first.
  constexpr Index kUnset = std::numeric_limits<Index>::max();
  std::vector<Index> table;
  std::unordered_map<std::uint64_t, Index> map;
  if (dense) {
    assign_checked(table, static_cast<std::size_t>(at[0].size() * ly * lz), kUnset, cancel);
  } else {
    map.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(faces, std::uint64_t{1} << 26)));
  }
  auto number_of = [&](const LatticeFace::Corner& c) -> Index {
    const std::uint64_t key = key_of(c);
    return dense ? table[static_cast<std::size_t>(key)] : map.find(key)->second;
  };
  const std::size_t groups = std::max<std::size_t>(grid.phase_names.size(), 1);
  auto group_of = [&](const LatticeFace& face) {
    return static_cast<std::size_t>(std::clamp<std::int64_t>(face.phase, 0, static_cast<std::int64_t>(groups) - 1));
  };
  const auto pieces = face_pieces(sweep, per_run, kFacesPerPiece);
  std::vector<Index> first_number(pieces.size() + 1);  // of the vertices each piece reaches first
  std::vector<std::uint64_t> faces_of(groups, 0);
  Index next = 0;
  for (std::size_t c = 0; c < pieces.size(); ++c) {
    cancel.check();  // pieces c of pieces.size() numbered
    first_number[c] = next;
    for_each_in(sweep, pieces[c], [&](const LatticeFace& face) {
      for (const auto& corner : face.corners()) {
        const std::uint64_t key = key_of(corner);
        Index& slot = dense ? table[static_cast<std::size_t>(key)] : map.try_emplace(key, kUnset).first->second;
        if (slot == kUnset) slot = next++;
      }
      ++faces_of[group_of(face)];
    });
  }
  first_number[pieces.size()] = next;

  const LatticeText text[3] = {LatticeText(at[0], 6), LatticeText(at[1], 6), LatticeText(at[2], 6)};
  if (auto w = put("mtllib " + std::string(mtl_reference) + "\n"); !w) return w;
  auto vertices = put_pieces(
      pieces.size(),
      [&](std::size_t c, std::string& out) {
        out.clear();
        if (first_number[c] == first_number[c + 1]) return;
        Index expected = first_number[c];
        for_each_in(sweep, pieces[c], [&](const LatticeFace& face) {
          for (const auto& v : face.corners()) {
            if (number_of(v) != expected) continue;  // reached before
            ++expected;
            out += "v ";
            out += text[0][static_cast<std::size_t>(v[0])];
            out += ' ';
            out += text[1][static_cast<std::size_t>(v[1])];
            out += ' ';
            out += text[2][static_cast<std::size_t>(v[2])];
            out += '\n';
          }
        });
      },
      put, cancel);
  if (!vertices) return vertices;

  const std::string object_prefix = obj_name(name) + '_';
  const std::vector<std::string> materials = obj_names(grid.phase_names);
  for (std::size_t g = 0; g < groups; ++g) {
    if (faces_of[g] == 0) continue;
    const std::string& phase = materials[g];
    std::string head = "o ";
    head += object_prefix;
    head += phase;
    head += "\nusemtl ";
    head += phase;
    head += '\n';
    if (auto w = put(head); !w) return w;
    auto written = put_pieces(
        pieces.size(),
        [&](std::size_t c, std::string& out) {
          out.clear();
          for_each_in(sweep, pieces[c], [&](const LatticeFace& face) {
            if (group_of(face) != g) return;
            out += 'f';
            for (const auto& v : face.corners()) {
              out += ' ';
              numfmt::append_unsigned(out, static_cast<unsigned long long>(number_of(v)) + 1);
            }
            out += '\n';
          });
        },
        put, cancel);
    if (!written) return written;
  }
  return ok_status();
}

}  // namespace

std::string mtl_path_for(const std::string& obj_path) {
  const auto start = file_name_start(obj_path);
  if (!start) return obj_path;
  const std::size_t dot = obj_path.rfind('.');
  if (dot == std::string::npos || dot <= *start) return obj_path + ".mtl";  // none, or only a leading dot
  return obj_path.substr(0, dot + 1) + "mtl";
}

std::string mtl_reference_name(const std::string& mtl_path) {
  const auto start = file_name_start(mtl_path);
  return start ? mtl_path.substr(*start) : std::string("material.mtl");
}

std::array<double, 3> phase_colour(std::string_view phase) {
  const std::uint64_t h = hash::fnv1a(phase);
  return {static_cast<double>((h >> 48) & 0xFF) / 255.0, static_cast<double>((h >> 32) & 0xFF) / 255.0,
          static_cast<double>((h >> 16) & 0xFF) / 255.0};
}

std::string mtl_text(const std::vector<std::string>& phases) {
  const std::vector<std::string> materials = obj_names(phases);
  std::string out;
  for (std::size_t i = 0; i < phases.size(); ++i) {
    const auto rgb = phase_colour(phases[i]);
    out += "newmtl ";
    out += materials[i];
    out += "\nKd";
    for (double c : rgb) {
      out += ' ';
      numfmt::append_fixed(out, c, 4);
    }
    out += "\nKa";
    for (double c : rgb) {
      out += ' ';
      numfmt::append_fixed(out, 0.2 * c, 4);
    }
    out += "\nKs 0.5 0.5 0.5\nNs 32\n\n";
  }
  return out;
}

Status obj_stream(std::string_view name, std::string_view mtl_reference, const VoxelGrid& grid, const Point& origin,
                  double voxel_size, VertexIndex how, const ByteSink& put, const Cancel& cancel) {
  const FaceSweep sweep(grid, cancel);
  const auto per_run = sweep.count_per_run(cancel);
  std::uint64_t faces = 0;
  for (auto n : per_run) faces += n;
  std::array<std::vector<double>, 3> at;
  const std::uint64_t n[3] = {grid.nx, grid.ny, grid.nz};
  for (int a = 0; a < 3; ++a) at[a] = lattice_coordinates(origin[a], voxel_size, grid.phase_ids.empty() ? 0 : n[a]);
  const std::uint64_t lattice = at[0].size() * at[1].size() * at[2].size();
  // A table over the whole lattice while it is not much larger than the
  // surface; a hash map for surfaces much thinner than their lattice.
  const bool dense =
      how == VertexIndex::dense || (how == VertexIndex::automatic && lattice <= 4 * faces + (std::uint64_t{1} << 20));
  const std::uint64_t most_vertices = std::min(lattice, 4 * faces);
  if (most_vertices < std::numeric_limits<std::uint32_t>::max()) {
    return put_obj<std::uint32_t>(name, mtl_reference, grid, sweep, per_run, at, dense, put, cancel);
  }
  return put_obj<std::uint64_t>(name, mtl_reference, grid, sweep, per_run, at, dense, put, cancel);
}

std::string obj_text(std::string_view name, std::string_view mtl_reference, const VoxelGrid& grid, const Point& origin,
                     double voxel_size, VertexIndex how, const Cancel& cancel) {
  std::string out;
  const auto made = obj_stream(
      name, mtl_reference, grid, origin, voxel_size, how,
      [&](std::string_view bytes) {
        out += bytes;
        return ok_status();
      },
      cancel);
  if (!made) panic("obj_text: a string refused the text");
  return out;
}

Result<ObjFiles> export_obj(std::string_view name, const std::string& obj_path, const sample::Box& bounds,
                            double voxel_size, std::optional<double> scale_m, const Cancel& cancel) {
  if (name.empty()) return Error("export_obj: name required");
  if (voxel_size <= 0.0) return Error("export_obj: voxel_size must be positive");
  const std::string mtl_path = mtl_path_for(obj_path);
  if (file_name_start(obj_path) && same_destination(obj_path, mtl_path)) {
    return Error("export_obj: obj_path '" + obj_path +
                 "' is also where its MTL library would go; the OBJ would overwrite it, so give obj_path "
                 "another extension (such as .obj)");
  }
  auto grid = sample::voxel_phase_map(name, bounds, voxel_size, scale_m, cancel);
  if (!grid) return std::move(grid).error();
  try {
    // The library is written first, so that a target it cannot have fails
    // before the surface is built; both files replace their targets only
    // once both are whole.
    auto mtl = FileWriter::create(mtl_path, Parents::create, cancel);
    if (!mtl) return std::move(mtl).error();
    if (auto w = mtl->write(mtl_text(grid->phase_names)); !w) return std::move(w).error();
    auto obj = FileWriter::create(obj_path, Parents::create, cancel);
    if (!obj) return std::move(obj).error();
    auto written = obj_stream(
        name, mtl_reference_name(mtl_path), *grid, bounds.min, voxel_size, VertexIndex::automatic,
        [&](std::string_view bytes) { return obj->write(bytes); }, cancel);
    if (!written) return std::move(written).error();
    if (auto w = finish_both(*mtl, *obj); !w) return std::move(w).error();
  } catch (const std::bad_alloc&) {
    return Error(too_large_message("export_obj: the OBJ of this grid", "use a larger voxel_size"));
  } catch (const std::length_error&) {
    return Error(too_large_message("export_obj: the OBJ of this grid", "use a larger voxel_size"));
  }
  return ObjFiles{obj_path, mtl_path};
}

}  // namespace tess::exporter
