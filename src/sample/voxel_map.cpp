#include "sample/voxel_map.h"

#include <cmath>
#include <limits>
#include <new>
#include <unordered_map>

#include "common/thread_pool.h"
#include "data_loader/store.h"
#include "sample/voronoi.h"

namespace tess::sample {
namespace {

// ceil(extent / s) as an unsigned count: negative and NaN give 0, values
// beyond the range the maximum; then at least 1.
std::uint64_t axis_count(double lo, double hi, double s) {
  const double q = std::ceil((hi - lo) / s);
  std::uint64_t n = 0;
  if (!(q > 0.0)) {
    n = 0;
  } else if (q >= 0x1p64) {
    n = std::numeric_limits<std::uint64_t>::max();
  } else {
    n = static_cast<std::uint64_t>(q);
  }
  return n == 0 ? 1 : n;
}

// What the voxel loop needs from the entry, taken while it is read in place.
struct PhasePlan {
  std::vector<std::string> names;
  std::optional<PhasePicker> picker;    // set when there are several names and picking works
  std::vector<std::int32_t> to_grid_id;  // picker index -> index in names
};

PhasePlan plan_phases(const Json& entry, std::string_view name) {
  PhasePlan plan;
  const Json* fractions = member(entry, "phase_volume_fractions");
  if (fractions != nullptr && fractions->is_object() && !fractions->empty()) {
    for (const auto& item : fractions->items()) plan.names.push_back(item.key());
  } else {
    plan.names.emplace_back(name);
  }
  if (plan.names.size() < 2) return plan;
  auto picker = PhasePicker::build(entry);
  if (!picker) return plan;  // picking fails at every voxel: all ids stay 0
  std::unordered_map<std::string_view, std::int32_t> index;
  for (std::size_t i = 0; i < plan.names.size(); ++i) index.emplace(plan.names[i], static_cast<std::int32_t>(i));
  for (const auto& n : picker->names()) {
    auto it = index.find(n);
    plan.to_grid_id.push_back(it == index.end() ? 0 : it->second);
  }
  plan.picker = std::move(*picker);
  return plan;
}

// Cell index of every voxel centre along one axis.
std::vector<std::int64_t> centre_cells(double lo, double s, std::uint64_t n, double cell) {
  std::vector<std::int64_t> cells(static_cast<std::size_t>(n));
  for (std::uint64_t i = 0; i < n; ++i) {
    const double centre = lo + (static_cast<double>(i) + 0.5) * s;
    cells[static_cast<std::size_t>(i)] = PhasePicker::cell_index(centre, cell);
  }
  return cells;
}

std::string too_large_message(std::uint64_t nx, std::uint64_t ny, std::uint64_t nz) {
  return "voxel_phase_map: a grid of " + std::to_string(nx) + " x " + std::to_string(ny) + " x " +
         std::to_string(nz) + " voxels is too large (at most " + std::to_string(kMaxVoxels) +
         " voxels); use a larger voxel_size or a smaller box";
}

}  // namespace

Result<VoxelGrid> voxel_phase_map(std::string_view name, const Box& box, double voxel_size,
                                  std::optional<double> scale_m) {
  if (!(voxel_size > 0.0)) panic("voxel_phase_map: voxel_size must be positive");
  ensure_field_models_registered();

  // The entry is read in place under the store's shared lock; only the phase
  // plan leaves it.
  std::optional<PhasePlan> plan = data_loader::DATA().read().with_found(
      name, [&](const Json* entry) -> std::optional<PhasePlan> {
        if (entry == nullptr) return std::nullopt;
        return plan_phases(*entry, name);
      });
  if (!plan) return Error(no_datasheet_message(name));

  VoxelGrid grid;
  grid.nx = axis_count(box.min[0], box.max[0], voxel_size);
  grid.ny = axis_count(box.min[1], box.max[1], voxel_size);
  grid.nz = axis_count(box.min[2], box.max[2], voxel_size);
  const std::uint64_t nx = grid.nx, ny = grid.ny, nz = grid.nz;
  if (nx > kMaxVoxels || ny > kMaxVoxels / nx || nz > kMaxVoxels / (nx * ny)) {
    return Error(too_large_message(nx, ny, nz));
  }
  const std::uint64_t total = nx * ny * nz;
  try {
    grid.phase_ids.assign(static_cast<std::size_t>(total), 0);
  } catch (const std::bad_alloc&) {
    return Error(too_large_message(nx, ny, nz));
  }
  grid.phase_names = std::move(plan->names);
  if (!plan->picker) return grid;

  const PhasePicker& picker = *plan->picker;
  const double cell = scale_m.value_or(voxel_size);
  const auto ci = centre_cells(box.min[0], voxel_size, nx, cell);
  const auto cj = centre_cells(box.min[1], voxel_size, ny, cell);
  const auto ck = centre_cells(box.min[2], voxel_size, nz, cell);
  // The hash state after the bytes of i depends on ix alone.
  std::vector<std::uint64_t> hi(static_cast<std::size_t>(nx));
  for (std::size_t ix = 0; ix < hi.size(); ++ix) hi[ix] = PhasePicker::fnv_feed(PhasePicker::kFnvBasis, ci[ix]);

  // One z-slab per task; every voxel is computed as alone, so the grid does
  // not depend on how the slabs are spread.
  std::int32_t* ids = grid.phase_ids.data();
  const auto& to_grid = plan->to_grid_id;
  parallel_for(static_cast<std::size_t>(nz), [&](std::size_t iz) {
    const std::int64_t k = ck[iz];
    std::int32_t* slab = ids + iz * nx * ny;
    for (std::size_t iy = 0; iy < ny; ++iy) {
      const std::int64_t j = cj[iy];
      std::int32_t* row = slab + iy * nx;
      for (std::size_t ix = 0; ix < nx; ++ix) {
        const std::uint64_t h = PhasePicker::fnv_feed(PhasePicker::fnv_feed(hi[ix], j), k);
        row[ix] = to_grid[picker.pick_hash(h)];
      }
    }
  });
  return grid;
}

}  // namespace tess::sample
