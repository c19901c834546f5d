#include "sample/voxel_map.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>

#include "common/hash.h"
#include "common/memory.h"
#include "common/thread_pool.h"
#include "sample/sample.h"

namespace tess::sample {
namespace {

using hash::kFnvPrime;

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
// Slabs of at least this many voxels finish their hashes through a table of k.
constexpr std::size_t kTableFrom = 64;
// The z-fastest grid keeps tables for up to this many runs of equal cells
// along z (8 MiB).
constexpr std::size_t kMaxRuns = 4096;

std::string too_large(std::uint64_t nx, std::uint64_t ny, std::uint64_t nz) {
  return too_large_message("voxel_phase_map: a grid of " + std::to_string(nx) + " x " + std::to_string(ny) + " x " +
                               std::to_string(nz) + " voxels",
                           "use a larger voxel_size or a smaller box");
}

// FNV-1a feeds the bytes of k into the state h one at a time: XOR, which
// changes only the low byte, then a multiplication, whose low byte depends
// only on the low byte. So every XOR adds to the state a number fixed by the
// low byte of h and by k, and after the 8 bytes of k the state is
// h * P^8 + c_k[h & 0xFF], where c_k[L] = feed(L, k) - L * P^8. A table of
// c_k turns the 8 dependent multiplications of a voxel into one.
constexpr std::uint64_t kPrime8 = [] {
  std::uint64_t p = 1;
  for (int b = 0; b < 8; ++b) p *= kFnvPrime;
  return p;
}();

std::uint64_t finish_table(std::uint64_t k, std::uint64_t low) { return hash::fnv1a_feed_u64(low, k) - low * kPrime8; }

void k_table(std::int64_t k, std::uint64_t* c) {
  for (std::uint64_t low = 0; low < 256; ++low) c[low] = finish_table(static_cast<std::uint64_t>(k), low);
}

}  // namespace

Result<PhaseMapper> PhaseMapper::make(std::string_view name, const Box& box, double voxel_size,
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

  PhaseMapper m;
  for (int a = 0; a < 3; ++a) m.n_[a] = axis_count(box.min[a], box.max[a], voxel_size);
  const auto [nx, ny, nz] = m.n_;
  m.names_ = std::move(plan.names);
  // A grid whose ids could not be held is refused before anything of its
  // size is made.
  const auto nxy = checked_mul(nx, ny);
  const auto total = nxy ? checked_mul(*nxy, nz) : std::nullopt;
  if (!total || !may_allocate(*total, sizeof(std::int32_t))) return Error(too_large(nx, ny, nz));
  if (!plan.picker) return m;
  m.picker_ = std::move(plan.picker);
  m.to_grid_ = std::move(plan.to_grid_id);
  if (const auto& t = m.picker_->thresholds(); t.size() == 1) {
    m.split_ = Split{t[0], m.to_grid_[m.picker_->first_index()], m.to_grid_[m.picker_->first_index() + 1]};
  }

  const double cell = scale_m.value_or(voxel_size);
  try {
    for (int a = 0; a < 3; ++a) m.cells_[a] = centre_cells(box.min[a], voxel_size, m.n_[a], cell);
    // The hash state after the bytes of i depends on ix alone, after those
    // of j on (ix, iy): both are computed once.
    m.hash_i_.resize(static_cast<std::size_t>(nx));
    for (std::size_t ix = 0; ix < m.hash_i_.size(); ++ix)
      m.hash_i_[ix] = hash::fnv1a_feed_u64(hash::kFnvBasis, static_cast<std::uint64_t>(m.cells_[0][ix]));
    const auto plane = checked_mul(nx, ny);
    if (plane && *plane <= kMaxPlaneTable) {
      m.hash_ij_.resize(static_cast<std::size_t>(*plane));
      const auto row = static_cast<std::size_t>(nx);
      parallel_for(
          static_cast<std::size_t>(ny),
          [&](std::size_t iy) {
            const auto j = static_cast<std::uint64_t>(m.cells_[1][iy]);
            for (std::size_t ix = 0; ix < row; ++ix) m.hash_ij_[iy * row + ix] = hash::fnv1a_feed_u64(m.hash_i_[ix], j);
          },
          cancel);
    }
  } catch (const std::bad_alloc&) {
    return Error(too_large(nx, ny, nz));
  }
  return m;
}

std::uint64_t PhaseMapper::column_hash(std::uint64_t ix, std::uint64_t iy) const {
  if (!hash_ij_.empty()) return hash_ij_[static_cast<std::size_t>(iy * n_[0] + ix)];
  return hash::fnv1a_feed_u64(hash_i_[static_cast<std::size_t>(ix)],
                              static_cast<std::uint64_t>(cells_[1][static_cast<std::size_t>(iy)]));
}

std::int32_t PhaseMapper::id_of(std::uint64_t hash) const { return to_grid_[picker_->pick_hash(hash)]; }

void PhaseMapper::slabs(std::uint64_t iz0, std::uint64_t iz1, std::int32_t* out) const {
  const auto [nx, ny, nz] = n_;
  const auto plane = static_cast<std::size_t>(nx * ny);
  if (!picker_) {
    std::fill_n(out, static_cast<std::size_t>(iz1 - iz0) * plane, 0);
    return;
  }
  constexpr std::size_t kBlock = 256;
  std::uint64_t prefix[kBlock];
  std::uint64_t c[256];
  const Split split = split_.value_or(Split{});
  for (std::uint64_t iz = iz0; iz < iz1; ++iz) {
    std::int32_t* slab = out + static_cast<std::size_t>(iz - iz0) * plane;
    const std::int64_t k = cells_[2][static_cast<std::size_t>(iz)];
    if (iz > iz0 && k == cells_[2][static_cast<std::size_t>(iz - 1)]) {
      std::memcpy(slab, slab - plane, plane * sizeof(std::int32_t));  // the same cells
      continue;
    }
    const bool table = plane >= kTableFrom;
    if (table) k_table(k, c);
    for (std::uint64_t iy = 0; iy < ny; ++iy) {
      for (std::uint64_t ix0 = 0; ix0 < nx; ix0 += kBlock) {
        const auto len = static_cast<std::size_t>(std::min<std::uint64_t>(kBlock, nx - ix0));
        const std::uint64_t* h = prefix;
        if (!hash_ij_.empty()) {
          h = hash_ij_.data() + static_cast<std::size_t>(iy * nx + ix0);
        } else {
          for (std::size_t v = 0; v < len; ++v) prefix[v] = column_hash(ix0 + v, iy);
        }
        std::int32_t* dst = slab + static_cast<std::size_t>(iy * nx + ix0);
        if (table && split_) {
          for (std::size_t v = 0; v < len; ++v) dst[v] = split(h[v] * kPrime8 + c[h[v] & 0xFF]);
        } else if (table) {
          for (std::size_t v = 0; v < len; ++v) dst[v] = id_of(h[v] * kPrime8 + c[h[v] & 0xFF]);
        } else {
          for (std::size_t v = 0; v < len; ++v)
            dst[v] = id_of(hash::fnv1a_feed_u64(h[v], static_cast<std::uint64_t>(k)));
        }
      }
    }
  }
}

void PhaseMapper::z_rows(std::uint64_t ix, std::int32_t* out, const std::vector<std::uint64_t>& k_table_all,
                         const std::vector<std::uint32_t>& k_run) const {
  const auto [nx, ny, nz] = n_;
  const std::size_t runs = k_table_all.size() / 256;
  for (std::uint64_t iy = 0; iy < ny; ++iy) {
    std::int32_t* row = out + static_cast<std::size_t>((ix * ny + iy) * nz);
    const std::uint64_t h = column_hash(ix, iy);
    if (runs == 0) {
      for (std::size_t k = 0; k < nz; ++k)
        row[k] = id_of(hash::fnv1a_feed_u64(h, static_cast<std::uint64_t>(cells_[2][k])));
      continue;
    }
    const std::uint64_t base = h * kPrime8;
    const std::uint64_t* c = k_table_all.data() + (h & 0xFF) * runs;
    if (split_) {
      const Split split = *split_;
      for (std::size_t k = 0; k < nz; ++k) row[k] = split(base + c[k_run[k]]);
    } else {
      for (std::size_t k = 0; k < nz; ++k) row[k] = id_of(base + c[k_run[k]]);
    }
  }
}

Result<VoxelGrid> PhaseMapper::grid(Layout layout, const Cancel& cancel) const {
  const auto [nx, ny, nz] = n_;
  const auto nxy = checked_mul(nx, ny);
  const auto total = nxy ? checked_mul(*nxy, nz) : std::nullopt;
  if (!total || !may_allocate(*total, sizeof(std::int32_t))) return Error(too_large(nx, ny, nz));
  VoxelGrid grid;
  grid.nx = nx;
  grid.ny = ny;
  grid.nz = nz;
  grid.layout = layout;
  grid.phase_names = names_;
  cancel.start_progress(*total);
  try {
    assign_checked(grid.phase_ids, static_cast<std::size_t>(*total), std::int32_t{0}, cancel);
    if (!picker_) {
      cancel.advance(*total);
      return grid;
    }
    std::int32_t* ids = grid.phase_ids.data();
    const auto& ck = cells_[2];
    if (layout == Layout::x_fastest) {
      // One task per run of slabs with the same cells: the first is
      // computed, the others copied. Every voxel is computed as alone, so
      // the grid does not depend on how the tasks are spread.
      std::vector<std::uint64_t> first{0};
      for (std::uint64_t iz = 1; iz < nz; ++iz) {
        if (ck[iz] != ck[iz - 1]) first.push_back(iz);
      }
      first.push_back(nz);
      const auto plane = static_cast<std::size_t>(*nxy);
      parallel_for(
          first.size() - 1,
          [&](std::size_t r) {
            slabs(first[r], first[r + 1], ids + first[r] * plane);
            cancel.advance((first[r + 1] - first[r]) * plane);
          },
          cancel);
      return grid;
    }
    // z fastest: a table of c_k per run of equal cells along z, laid out by
    // low byte, so that each column reads its row of it in order.
    std::vector<std::uint32_t> k_run(static_cast<std::size_t>(nz));
    std::vector<std::int64_t> run_cell;
    for (std::size_t k = 0; k < nz; ++k) {
      if (k == 0 || ck[k] != ck[k - 1]) run_cell.push_back(ck[k]);
      k_run[k] = static_cast<std::uint32_t>(std::min(run_cell.size() - 1, kMaxRuns));
    }
    std::vector<std::uint64_t> table;
    if (run_cell.size() <= kMaxRuns && nx * ny >= kTableFrom) {
      const std::size_t runs = run_cell.size();
      table.resize(256 * runs);
      for (std::size_t r = 0; r < runs; ++r)
        for (std::uint64_t low = 0; low < 256; ++low)
          table[low * runs + r] = finish_table(static_cast<std::uint64_t>(run_cell[r]), low);
    }
    const std::uint64_t column = ny * nz;  // a copy: clang cannot capture the binding
    parallel_for(
        static_cast<std::size_t>(nx),
        [&](std::size_t ix) {
          z_rows(ix, ids, table, k_run);
          cancel.advance(column);
        },
        cancel);
  } catch (const std::bad_alloc&) {
    return Error(too_large(nx, ny, nz));
  }
  return grid;
}

Result<VoxelGrid> voxel_phase_map(std::string_view name, const Box& box, double voxel_size,
                                  std::optional<double> scale_m, const Cancel& cancel, Layout layout) {
  auto mapper = PhaseMapper::make(name, box, voxel_size, scale_m, cancel);
  if (!mapper) return std::move(mapper).error();
  return mapper->grid(layout, cancel);
}

}  // namespace tess::sample
