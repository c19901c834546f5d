#include "sample/voxel_map.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>

#include "common/hash.h"
#include "common/memory.h"
#include "common/thread_pool.h"
#include "sample/phase_picker.h"
#include "sample/sample.h"

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

// What the voxel loop needs from the entry.
struct PhasePlan {
  std::vector<std::string> names;
  std::optional<PhasePicker> picker;     // set when there are several names and picking works
  std::vector<std::int32_t> to_grid_id;  // picker index -> index in names
};

// `fractions` is the entry's "phase_volume_fractions" when that is an object
// with members, else null. Linear in the number of phases; throws Cancelled
// when `cancel` stops.
PhasePlan plan_phases(Json fractions, std::string_view name, const Cancel& cancel) {
  PhasePlan plan;
  if (fractions.is_null()) {
    plan.names.emplace_back(name);
    return plan;
  }
  for (const auto& item : fractions.items()) {
    if (plan.names.size() % 4096 == 0) cancel.check();
    plan.names.push_back(item.key());
  }
  if (plan.names.size() < 2) return plan;
  Json entry = Json::object();
  entry["phase_volume_fractions"] = std::move(fractions);
  auto picker = PhasePicker::build(entry, PhasePicker::Use::many, cancel);
  if (!picker) return plan;  // picking fails at every voxel: all ids stay 0
  // The picker's names are some of the plan's, in the same ascending order.
  plan.to_grid_id.reserve(picker->names().size());
  std::size_t at = 0;
  for (const auto& n : picker->names()) {
    while (plan.names[at] != n) ++at;
    plan.to_grid_id.push_back(static_cast<std::int32_t>(at));
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

// Planes of up to this many voxels get a table of their hash prefixes (32 MiB).
constexpr std::size_t kMaxPlaneTable = std::size_t{1} << 22;

std::string too_large(std::uint64_t nx, std::uint64_t ny, std::uint64_t nz) {
  return too_large_message("voxel_phase_map: a grid of " + std::to_string(nx) + " x " + std::to_string(ny) + " x " +
                               std::to_string(nz) + " voxels",
                           "use a larger voxel_size or a smaller box");
}

}  // namespace

Result<VoxelGrid> voxel_phase_map(std::string_view name, const Box& box, double voxel_size,
                                  std::optional<double> scale_m, const Cancel& cancel) {
  if (!(voxel_size > 0.0)) panic("voxel_phase_map: voxel_size must be positive");
  ensure_field_models_registered();

  // Only the fraction table leaves the store, and the plan is made after its
  // lock is released: the token's callback may run code that changes the
  // store, which must not wait on a lock this call holds.
  Result<Json> fractions = with_entry(name, [](const Json& entry) -> Result<Json> {
    const Json* f = member(entry, "phase_volume_fractions");
    return f != nullptr && f->is_object() && !f->empty() ? *f : Json();
  });
  if (!fractions) return std::move(fractions).error();
  PhasePlan plan = plan_phases(std::move(*fractions), name, cancel);

  VoxelGrid grid;
  grid.nx = axis_count(box.min[0], box.max[0], voxel_size);
  grid.ny = axis_count(box.min[1], box.max[1], voxel_size);
  grid.nz = axis_count(box.min[2], box.max[2], voxel_size);
  const std::uint64_t nx = grid.nx, ny = grid.ny, nz = grid.nz;
  const auto nxy = checked_mul(nx, ny);
  const auto total = nxy ? checked_mul(*nxy, nz) : std::nullopt;
  if (!total || !may_allocate(*total, sizeof(std::int32_t))) return Error(too_large(nx, ny, nz));
  try {
    assign_checked(grid.phase_ids, static_cast<std::size_t>(*total), std::int32_t{0}, cancel);
  } catch (const std::bad_alloc&) {
    return Error(too_large(nx, ny, nz));
  }
  grid.phase_names = std::move(plan.names);
  cancel.start_progress(*total);
  if (!plan.picker) {
    cancel.advance(*total);
    return grid;
  }

  const PhasePicker& picker = *plan.picker;
  const double cell = scale_m.value_or(voxel_size);
  const auto ci = centre_cells(box.min[0], voxel_size, nx, cell);
  const auto cj = centre_cells(box.min[1], voxel_size, ny, cell);
  const auto ck = centre_cells(box.min[2], voxel_size, nz, cell);
  // The hash state after the bytes of i depends on ix alone, after those of
  // j on (ix, iy): both are computed once, so each voxel feeds only k.
  std::vector<std::uint64_t> hi(static_cast<std::size_t>(nx));
  for (std::size_t ix = 0; ix < hi.size(); ++ix)
    hi[ix] = hash::fnv1a_feed_u64(hash::kFnvBasis, static_cast<std::uint64_t>(ci[ix]));
  const auto plane = static_cast<std::size_t>(nx * ny);
  std::vector<std::uint64_t> hij;
  if (plane <= kMaxPlaneTable) {
    hij.resize(plane);
    parallel_for(
        static_cast<std::size_t>(ny),
        [&](std::size_t iy) {
          for (std::size_t ix = 0; ix < nx; ++ix)
            hij[iy * nx + ix] = hash::fnv1a_feed_u64(hi[ix], static_cast<std::uint64_t>(cj[iy]));
        },
        cancel);
  }

  // Finishes the hashes of m voxels from their prefix states by feeding the
  // bytes of k, byte by byte across the block (independent chains), then picks.
  const auto& to_grid = plan.to_grid_id;
  auto finish = [&](const std::uint64_t* prefix, std::int64_t k, std::size_t m, std::int32_t* out) {
    constexpr std::size_t kBlock = 256;
    std::uint64_t h[kBlock];
    const auto kbits = static_cast<std::uint64_t>(k);
    for (std::size_t v0 = 0; v0 < m; v0 += kBlock) {
      const std::size_t len = std::min(kBlock, m - v0);
      std::copy_n(prefix + v0, len, h);
      for (int b = 0; b < 8; ++b) {
        const std::uint64_t byte = (kbits >> (8 * b)) & 0xFFU;
        for (std::size_t v = 0; v < len; ++v) h[v] = (h[v] ^ byte) * hash::kFnvPrime;
      }
      for (std::size_t v = 0; v < len; ++v) out[v0 + v] = to_grid[picker.pick_hash(h[v])];
    }
  };

  // One z-slab per task; every voxel is computed as alone, so the grid does
  // not depend on how the slabs are spread.
  std::int32_t* ids = grid.phase_ids.data();
  parallel_for(
      static_cast<std::size_t>(nz),
      [&](std::size_t iz) {
        std::int32_t* slab = ids + iz * plane;
        if (!hij.empty()) {
          finish(hij.data(), ck[iz], plane, slab);
          cancel.advance(plane);
          return;
        }
        std::uint64_t prefix[256];
        for (std::size_t iy = 0; iy < ny && !cancel.poll(); ++iy) {
          for (std::size_t ix0 = 0; ix0 < nx; ix0 += 256) {
            const std::size_t len = std::min<std::size_t>(256, nx - ix0);
            for (std::size_t v = 0; v < len; ++v)
              prefix[v] = hash::fnv1a_feed_u64(hi[ix0 + v], static_cast<std::uint64_t>(cj[iy]));
            finish(prefix, ck[iz], len, slab + iy * nx + ix0);
          }
        }
        cancel.advance(plane);
      },
      cancel);
  return grid;
}

}  // namespace tess::sample
