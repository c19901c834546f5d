#include "export/raw_writer.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "common/json.h"
#include "export/stream.h"

namespace tess::exporter {

using sample::Box;
using sample::Point;
using sample::VoxelGrid;

namespace {

// Voxels a piece (in whole z-slabs when streamed).
constexpr std::size_t kPiece = std::size_t{1} << 16;

void append_raw(std::string& out, const std::int32_t* ids, std::size_t n, bool occupancy) {
  const std::size_t start = out.size();
  out.resize(start + 4 * n);
  char* dst = out.data() + start;
  for (std::size_t i = 0; i < n; ++i, dst += 4) {
    const float f = occupancy ? (ids[i] >= 0 ? 1.0f : 0.0f) : static_cast<float>(ids[i]);
    const auto bits = std::bit_cast<std::uint32_t>(f);
    for (int b = 0; b < 4; ++b) dst[b] = static_cast<char>((bits >> (8 * b)) & 0xFFu);
  }
}

}  // namespace

Status raw_volume(const VoxelGrid& grid, std::string_view mode, const ByteSink& put, const Cancel& cancel) {
  const bool occupancy = mode == "occupancy";
  const auto& ids = grid.phase_ids;
  std::string buffer;
  for (std::size_t first = 0; first < ids.size(); first += kPiece) {
    cancel.check();
    const std::size_t n = std::min(kPiece, ids.size() - first);
    buffer.clear();
    append_raw(buffer, ids.data() + first, n, occupancy);
    if (auto w = put(buffer); !w) return w;
  }
  return ok_status();
}

Status raw_volume(const sample::PhaseMapper& mapper, std::string_view mode, const ByteSink& put, const Cancel& cancel) {
  const bool occupancy = mode == "occupancy";
  const std::uint64_t plane = mapper.nx() * mapper.ny();
  const std::uint64_t per_piece = std::max<std::uint64_t>(1, kPiece / plane);
  const auto pieces = static_cast<std::size_t>((mapper.nz() + per_piece - 1) / per_piece);
  cancel.start_progress(plane * mapper.nz());
  return put_pieces(
      pieces,
      [&](std::size_t c, std::string& out) {
        const std::uint64_t iz0 = c * per_piece;
        const std::uint64_t iz1 = std::min(mapper.nz(), iz0 + per_piece);
        thread_local std::vector<std::int32_t> ids;  // kept: fresh pages would be faulted in every piece
        ids.resize(static_cast<std::size_t>((iz1 - iz0) * plane));
        mapper.slabs(iz0, iz1, ids.data());
        cancel.advance((iz1 - iz0) * plane);
        out.clear();
        append_raw(out, ids.data(), ids.size(), occupancy);
      },
      put, cancel);
}

std::filesystem::path sidecar_path(const std::filesystem::path& out_path) {
  std::filesystem::path p = out_path;
  p.replace_extension("json");
  return p;
}

std::string sidecar_json(std::string_view name, std::string_view mode, const Box& box, double voxel_size,
                         const VoxelGrid& grid) {
  // Members are kept in byte order of their keys, which is the sidecar's order.
  Json doc = Json::object();
  doc["bounds"] = Json::array({Json(box.min), Json(box.max)});
  doc["dtype"] = "float32";
  doc["layout"] = "x-fastest";
  doc["mode"] = std::string(mode);
  doc["name"] = std::string(name);
  doc["phase_names"] = grid.phase_names;
  doc["shape_xyz"] = Json::array({grid.nx, grid.ny, grid.nz});
  doc["voxel_size_m"] = voxel_size;
  return dump_pretty(doc);
}

Result<std::string> export_sdf_raw(std::string_view name, std::string_view out_path, const Box& box, double voxel_size,
                                   std::optional<double> scale_m, std::string_view mode, const Cancel& cancel) {
  if (name.empty()) return Error("export_sdf_raw: name required");
  if (voxel_size <= 0) return Error("export_sdf_raw: voxel_size must be positive");
  auto mapper = sample::PhaseMapper::make(name, box, voxel_size, scale_m, cancel);
  if (!mapper) return std::move(mapper).error();
  VoxelGrid grid;  // what the sidecar tells; the ids are made slab by slab
  grid.nx = mapper->nx();
  grid.ny = mapper->ny();
  grid.nz = mapper->nz();
  grid.phase_names = mapper->phase_names();

  const std::filesystem::path raw_path{out_path};
  const std::filesystem::path json_path = sidecar_path(raw_path);
  if (same_destination(raw_path.string(), json_path.string())) {
    return Error("export_sdf_raw: sidecar path '" + json_path.string() + "' would overwrite the volume file '" +
                 std::string(out_path) + "'");
  }

  // Both files replace their targets only once both are whole. The volume's
  // size is known: a disk without room for it fails before it is written.
  auto raw = FileWriter::create(raw_path.string(), Parents::require, cancel);
  if (!raw) return std::move(raw).error();
  if (auto st = raw->reserve(4 * grid.nx * grid.ny * grid.nz); !st) return std::move(st).error();
  if (auto st = raw_volume(
          *mapper, mode, [&](std::string_view bytes) { return raw->write(bytes); }, cancel);
      !st) {
    return std::move(st).error();
  }
  auto sidecar = FileWriter::create(json_path.string(), Parents::require, cancel);
  if (!sidecar) return std::move(sidecar).error();
  if (auto st = sidecar->write(sidecar_json(name, mode, box, voxel_size, grid)); !st) return std::move(st).error();
  if (auto st = finish_both(*raw, *sidecar); !st) return std::move(st).error();
  return std::string(out_path);
}

}  // namespace tess::exporter
