#include "export/boundary.h"

#include <algorithm>
#include <utility>

#include "common/memory.h"
#include "common/thread_pool.h"

namespace tess::exporter {

FaceSweep::FaceSweep(const VoxelGrid& grid, const Cancel& cancel) : FaceSweep(grid, nullptr, cancel) {}

FaceSweep::FaceSweep(VoxelGrid&& grid, const Cancel& cancel) : FaceSweep(grid, &grid.phase_ids, cancel) {}

FaceSweep::FaceSweep(const VoxelGrid& grid, std::vector<std::int32_t>* ids_to_take, const Cancel& cancel)
    : nx_(grid.nx), ny_(grid.ny), nz_(grid.nz) {
  if (grid.phase_ids.empty()) {
    nx_ = ny_ = nz_ = 0;
    return;
  }
  empty_.assign(static_cast<std::size_t>(nz_), -1);
  if (grid.layout != sample::Layout::z_fastest) {
    transpose(grid, cancel);
  } else if (ids_to_take != nullptr) {
    ids_ = std::move(*ids_to_take);
  } else {
    ids_ = grid.phase_ids;
  }
}

void FaceSweep::transpose(const VoxelGrid& grid, const Cancel& cancel) {
  assign_checked(ids_, grid.phase_ids.size(), std::int32_t{0}, cancel);
  // For each j this is a transpose of an nx-by-nz matrix; tiles keep both
  // sides in cache.
  constexpr std::uint64_t kTile = 16;
  const std::int32_t* src = grid.phase_ids.data();
  std::int32_t* dst = ids_.data();
  const std::uint64_t nx = nx_, ny = ny_, nz = nz_;
  parallel_for(
      static_cast<std::size_t>(ny),
      [&](std::size_t j) {
        for (std::uint64_t k0 = 0; k0 < nz; k0 += kTile)
          for (std::uint64_t i0 = 0; i0 < nx; i0 += kTile)
            for (std::uint64_t k = k0; k < std::min(k0 + kTile, nz); ++k)
              for (std::uint64_t i = i0; i < std::min(i0 + kTile, nx); ++i)
                dst[(i * ny + j) * nz + k] = src[i + nx * (j + ny * k)];
      },
      cancel);
}

std::vector<std::uint64_t> FaceSweep::count_per_run(const Cancel& cancel) const {
  std::vector<std::uint64_t> counts(plane_count(), 0);
  parallel_for(
      counts.size(), [&](std::size_t run) { counts[run] = count_in(run); }, cancel);
  return counts;
}

std::uint64_t FaceSweep::count_in_rows(std::size_t run, std::uint64_t j0, std::uint64_t j1) const {
  // As for_each_in, without branches on the ids.
  auto differ = [](const std::int32_t* a, const std::int32_t* b, std::uint64_t len) {
    std::uint64_t n = 0;
    for (std::uint64_t k = 0; k < len; ++k) n += a[k] != b[k];
    return n;
  };
  auto between_rows = [&](const std::int32_t* a, const std::int32_t* b) { return differ(a, b, nz_); };
  const std::int32_t* none = empty_.data();
  std::uint64_t n = 0;
  if (run <= nx_) {
    const std::uint64_t i = run;
    for (std::uint64_t j = j0; j < j1; ++j) n += between_rows(i > 0 ? row(i - 1, j) : none, i < nx_ ? row(i, j) : none);
  } else if (run <= 2 * nx_) {
    const std::uint64_t i = run - (nx_ + 1);
    for (std::uint64_t j = j0; j < j1; ++j) n += between_rows(j > 0 ? row(i, j - 1) : none, j < ny_ ? row(i, j) : none);
  } else {
    const std::uint64_t i = run - (2 * nx_ + 1);
    for (std::uint64_t j = j0; j < j1; ++j) {
      const std::int32_t* r = row(i, j);
      n += (r[0] != -1) + differ(r, r + 1, nz_ - 1) + (r[nz_ - 1] != -1);
    }
  }
  return n;
}

std::uint64_t FaceSweep::count(const Cancel& cancel) const {
  std::uint64_t n = 0;
  for (auto c : count_per_run(cancel)) n += c;
  return n;
}

std::vector<double> lattice_coordinates(double origin, double voxel_size, std::uint64_t n) {
  std::vector<double> v(static_cast<std::size_t>(n + 1));
  for (std::uint64_t i = 0; i <= n; ++i) {
    const double step = static_cast<double>(i) * voxel_size;  // a product, then a sum
    v[static_cast<std::size_t>(i)] = origin + step;
  }
  return v;
}

std::vector<Quad> boundary_quads(const VoxelGrid& grid, const Point& origin, double voxel_size) {
  const FaceSweep sweep(grid);
  std::array<std::vector<double>, 3> at;
  const std::uint64_t counts[3] = {grid.nx, grid.ny, grid.nz};
  for (int a = 0; a < 3; ++a)
    at[a] = lattice_coordinates(origin[a], voxel_size, grid.phase_ids.empty() ? 0 : counts[a]);
  std::vector<Quad> quads;
  sweep.for_each([&](const LatticeFace& f) {
    Quad q{};
    const auto corners = f.corners();
    for (int c = 0; c < 4; ++c)
      for (int a = 0; a < 3; ++a) q.corners[c][a] = at[a][static_cast<std::size_t>(corners[c][a])];
    q.normal = {0.0, 0.0, 0.0};
    q.normal[f.axis] = f.sign;
    q.phase = f.phase;
    quads.push_back(q);
  });
  return quads;
}

}  // namespace tess::exporter
