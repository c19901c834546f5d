#include "export/raw_writer.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <utility>
#include <vector>

#include "common/json.h"

namespace tess::exporter {

using sample::Box;
using sample::Point;
using sample::VoxelGrid;

Status raw_volume(const VoxelGrid& grid, std::string_view mode, const ByteSink& put, const Cancel& cancel) {
  const bool occupancy = mode == "occupancy";
  const auto& ids = grid.phase_ids;
  constexpr std::size_t kPiece = std::size_t{1} << 16;  // voxels
  std::vector<char> buffer(4 * std::min(kPiece, ids.size()));
  for (std::size_t first = 0; first < ids.size(); first += kPiece) {
    cancel.check();
    const std::size_t n = std::min(kPiece, ids.size() - first);
    char* dst = buffer.data();
    for (std::size_t i = first; i < first + n; ++i, dst += 4) {
      const float f = occupancy ? (ids[i] >= 0 ? 1.0f : 0.0f) : static_cast<float>(ids[i]);
      const auto bits = std::bit_cast<std::uint32_t>(f);
      for (int b = 0; b < 4; ++b) dst[b] = static_cast<char>((bits >> (8 * b)) & 0xFFu);
    }
    if (auto w = put(std::string_view(buffer.data(), 4 * n)); !w) return w;
  }
  return ok_status();
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
  auto grid = sample::voxel_phase_map(name, box, voxel_size, scale_m, cancel);
  if (!grid) return std::move(grid).error();

  const std::filesystem::path raw_path{out_path};
  const std::filesystem::path json_path = sidecar_path(raw_path);
  if (same_destination(raw_path.string(), json_path.string())) {
    return Error("export_sdf_raw: sidecar path '" + json_path.string() + "' would overwrite the volume file '" +
                 std::string(out_path) + "'");
  }

  // Both files replace their targets only once both are whole.
  auto raw = FileWriter::create(raw_path.string(), Parents::require, cancel);
  if (!raw) return std::move(raw).error();
  if (auto st = raw_volume(
          *grid, mode, [&](std::string_view bytes) { return raw->write(bytes); }, cancel);
      !st) {
    return std::move(st).error();
  }
  auto sidecar = FileWriter::create(json_path.string(), Parents::require, cancel);
  if (!sidecar) return std::move(sidecar).error();
  if (auto st = sidecar->write(sidecar_json(name, mode, box, voxel_size, *grid)); !st) return std::move(st).error();
  if (auto st = finish_both(*raw, *sidecar); !st) return std::move(st).error();
  return std::string(out_path);
}

}  // namespace tess::exporter
