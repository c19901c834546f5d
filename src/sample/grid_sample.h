// A property of an entry over a regular lattice of points: the values of the
// VTK writer's property sections and the samples of the Fourier bake. Each
// value is what sample() gives at that point, a failure being 0.0.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "common/cancel.h"
#include "common/error.h"
#include "common/json.h"
#include "sample/field_model.h"
#include "sample/geometry.h"
#include "sample/voxel_map.h"

namespace tess::sample {

// count[a] points along axis a, the centres of cells of edge cell[a] from
// `origin`: point (i, j, k) has coordinate origin[a] + (index + 0.5) * cell[a]
// on each axis.
struct Lattice {
  Point origin{};
  std::array<double, 3> cell{};
  std::array<std::uint64_t, 3> count{};
};

// Which index runs fastest in the flat values: x (the voxel grids' order) or
// z (the Fourier bake's loop order, x outermost).
enum class Order { x_fastest, z_fastest };

// `property` of the entry named `name` at every lattice point observed at
// `scale_m`, flat in `order`, a failed sample being 0.0; or the lookup's
// failure. A copy of the entry is sampled: the token's callback may run code
// that changes the store, which must not wait on a lock this call holds.
// Points are sampled in parallel; every value depends on its own point alone.
// Throws Cancelled when `cancel` stops and std::bad_alloc when the values
// cannot be held.
Result<std::vector<double>> sample_lattice(std::string_view name, std::string_view property, const Lattice& lattice,
                                           double scale_m, Order order, const Cancel& cancel = Cancel::never());

// `property` of entry `name` at the centre of every voxel of `grid` (made
// over `box` with `voxel_size`), x-fastest, observed at `scale_m`; a failed
// sample, a name that no tier holds included, is 0.0. Panics when name or
// property is empty or voxel_size is not positive.
std::vector<double> voxel_sample(std::string_view name, std::string_view property, const Box& box, double voxel_size,
                                 const VoxelGrid& grid, double scale_m, const Cancel& cancel = Cancel::never());
// The same for a grid of `counts` (nx, ny, nz) voxels. Panics as above, and
// when a count is 0 or the values may not be allocated.
std::vector<double> voxel_sample(std::string_view name, std::string_view property, const Box& box, double voxel_size,
                                 const std::array<std::uint64_t, 3>& counts, double scale_m,
                                 const Cancel& cancel = Cancel::never());

// The values of voxel_sample a few z-slabs at a time, for a writer that
// never holds them all: the entry is looked up and the property prepared
// once. Panics as voxel_sample. Reading only reads: any thread may sample
// any slabs.
class VoxelSampler {
 public:
  VoxelSampler(std::string_view name, std::string_view property, const Box& box, double voxel_size,
               const std::array<std::uint64_t, 3>& counts, double scale_m, const Cancel& cancel = Cancel::never());
  VoxelSampler(const VoxelSampler&) = delete;
  VoxelSampler& operator=(const VoxelSampler&) = delete;

  // The values of z-slabs iz0 .. iz1 - 1, x-fastest, into `out`: those of
  // voxel_sample at the same voxels.
  void slabs(std::uint64_t iz0, std::uint64_t iz1, double* out) const;

 private:
  Lattice lattice_;
  std::unique_ptr<const Json> entry_;  // read by field_ while it lives
  std::optional<FieldSampler> field_;  // none when the entry is unknown: every value 0.0
};

}  // namespace tess::sample
