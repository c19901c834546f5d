// Voxelising a material over a box: every voxel labelled with a phase index.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/cancel.h"
#include "common/error.h"
#include "sample/geometry.h"
#include "sample/phase_picker.h"

namespace tess::sample {

// The order of a grid's voxels when stored flat. x_fastest, the grids' own
// order: voxel (ix, iy, iz) at ix + nx * (iy + ny * iz). z_fastest, the order
// in which the surface writers visit them: at (ix * ny + iy) * nz + iz.
enum class Layout { x_fastest, z_fastest };

// Phase index per voxel, stored flat in `layout` order.
struct VoxelGrid {
  std::vector<std::int32_t> phase_ids;
  std::vector<std::string> phase_names;
  std::uint64_t nx = 1, ny = 1, nz = 1;
  Layout layout = Layout::x_fastest;
};

// What labelling the voxels of one box takes, worked out once: the counts,
// the phases, and the cell hash of each voxel centre up to its last
// coordinate. Ids are then computed for any part of the grid, so that a
// writer can stream a grid it never holds whole. Reading only reads: any
// thread may compute any part.
class PhaseMapper {
 public:
  // Panics when voxel_size is not > 0; fails when the entry is unknown.
  // Throws Cancelled when `cancel` stops.
  static Result<PhaseMapper> make(std::string_view name, const Box& box, double voxel_size,
                                  std::optional<double> scale_m, const Cancel& cancel = Cancel::never());

  std::uint64_t nx() const { return n_[0]; }
  std::uint64_t ny() const { return n_[1]; }
  std::uint64_t nz() const { return n_[2]; }
  const std::vector<std::string>& phase_names() const { return names_; }

  // The ids of the z-slabs iz0 .. iz1 - 1, each nx * ny ids in x-fastest
  // order, into `out`.
  void slabs(std::uint64_t iz0, std::uint64_t iz1, std::int32_t* out) const;

  // The whole grid. Fails when its ids may not or cannot be allocated;
  // throws Cancelled when `cancel` stops.
  Result<VoxelGrid> grid(Layout layout, const Cancel& cancel = Cancel::never()) const;

 private:
  PhaseMapper() = default;
  // The hash state after the bytes of i and j of voxel column (ix, iy).
  std::uint64_t column_hash(std::uint64_t ix, std::uint64_t iy) const;
  std::int32_t id_of(std::uint64_t hash) const;
  // The id of a hash for two phases, without a branch: a hash falls on
  // either side of the threshold at random, which no branch predictor
  // guesses. Held by value, so that a loop keeps it in registers while it
  // stores ids.
  struct Split {
    std::uint64_t at;
    std::int32_t below, above;
    std::int32_t operator()(std::uint64_t hash) const {
      const auto mask = -static_cast<std::int32_t>(hash >= at);
      return below ^ ((below ^ above) & mask);
    }
  };
  void z_rows(std::uint64_t ix, std::int32_t* out, const std::vector<std::uint64_t>& k_table,
              const std::vector<std::uint32_t>& k_run) const;

  std::uint64_t n_[3] = {1, 1, 1};
  std::vector<std::string> names_;
  std::optional<PhasePicker> picker_;  // set when there are several names and picking works
  std::vector<std::int32_t> to_grid_;  // picker index -> index in names_
  // Two phases, the usual case: one threshold splits the hashes.
  std::optional<Split> split_;
  std::vector<std::int64_t> cells_[3];  // cell index of every voxel centre, per axis
  std::vector<std::uint64_t> hash_i_;   // the hash state after the bytes of i, per ix
  std::vector<std::uint64_t> hash_ij_;  // after those of i and j, per (ix, iy), x fastest; empty for huge planes
};

// The grid of entry `name` over `box` in `layout` order: PhaseMapper::make,
// then grid(). Panics when voxel_size is not > 0; fails when the entry is
// unknown or the grid's phase ids may not or cannot be allocated. Throws
// Cancelled when `cancel` stops.
Result<VoxelGrid> voxel_phase_map(std::string_view name, const Box& box, double voxel_size,
                                  std::optional<double> scale_m, const Cancel& cancel = Cancel::never(),
                                  Layout layout = Layout::x_fastest);

}  // namespace tess::sample
