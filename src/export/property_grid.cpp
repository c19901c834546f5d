#include "export/property_grid.h"

#include "data_loader/store.h"
#include "export/volume.h"

namespace tess::exporter {

std::vector<double> property_grid(std::string_view name, std::string_view property, const sample::Box& box,
                                  double voxel_size, const std::array<std::uint64_t, 3>& counts,
                                  std::optional<double> scale_m, const Cancel& cancel) {
  if (property.empty()) panic("property_grid: property must be non-empty");
  if (!(voxel_size > 0.0)) panic("property_grid: voxel_size must be positive");
  const auto [nx, ny, nz] = counts;
  if (nx == 0 || ny == 0 || nz == 0 || nx > sample::kMaxVoxels || ny > sample::kMaxVoxels / nx ||
      nz > sample::kMaxVoxels / (nx * ny)) {
    panic("property_grid: counts out of range");
  }
  const std::optional<Json> entry = data_loader::DATA().find_entry(name);
  if (!entry) return std::vector<double>(static_cast<std::size_t>(nx * ny * nz), 0.0);
  return voxel_sample(*entry, property, box, voxel_size, nx, ny, nz, scale_m.value_or(voxel_size), cancel);
}

}  // namespace tess::exporter
