#include "export/boundary.h"

#include <algorithm>

#include "common/thread_pool.h"

namespace tess::exporter {

std::array<LatticeFace::Corner, 4> LatticeFace::corners() const {
  const auto [i, j, k] = c0;
  std::array<Corner, 4> c;
  // Each axis's natural order and the axis sign it winds about.
  int winds = 0;
  switch (axis) {
    case 0: c = {{{i, j, k}, {i, j + 1, k}, {i, j + 1, k + 1}, {i, j, k + 1}}}; winds = 1; break;
    case 1: c = {{{i, j, k}, {i + 1, j, k}, {i + 1, j, k + 1}, {i, j, k + 1}}}; winds = -1; break;
    default: c = {{{i, j, k}, {i + 1, j, k}, {i + 1, j + 1, k}, {i, j + 1, k}}}; winds = 1; break;
  }
  if (winds != sign) std::swap(c[1], c[3]);
  return c;
}

FaceSweep::FaceSweep(const VoxelGrid& grid) : nx_(grid.nx), ny_(grid.ny), nz_(grid.nz) {
  if (grid.phase_ids.empty()) {
    nx_ = ny_ = nz_ = 0;
    return;
  }
  ids_.resize(grid.phase_ids.size());
  empty_.assign(static_cast<std::size_t>(nz_), -1);
  // For each j this is a transpose of an nx-by-nz matrix; tiles keep both
  // sides in cache.
  constexpr std::uint64_t kTile = 16;
  const std::int32_t* src = grid.phase_ids.data();
  std::int32_t* dst = ids_.data();
  const std::uint64_t nx = nx_, ny = ny_, nz = nz_;
  parallel_for(static_cast<std::size_t>(ny), [&](std::size_t j) {
    for (std::uint64_t k0 = 0; k0 < nz; k0 += kTile)
      for (std::uint64_t i0 = 0; i0 < nx; i0 += kTile)
        for (std::uint64_t k = k0; k < std::min(k0 + kTile, nz); ++k)
          for (std::uint64_t i = i0; i < std::min(i0 + kTile, nx); ++i)
            dst[(i * ny + j) * nz + k] = src[i + nx * (j + ny * k)];
  });
}

std::vector<std::uint64_t> FaceSweep::count_per_run() const {
  std::vector<std::uint64_t> counts(plane_count(), 0);
  parallel_for(counts.size(), [&](std::size_t run) {
    std::uint64_t n = 0;
    for_each_in(run, [&](const LatticeFace&) { ++n; });
    counts[run] = n;
  });
  return counts;
}

std::uint64_t FaceSweep::count() const {
  std::uint64_t n = 0;
  for (auto c : count_per_run()) n += c;
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
  for (int a = 0; a < 3; ++a) at[a] = lattice_coordinates(origin[a], voxel_size, grid.phase_ids.empty() ? 0 : counts[a]);
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
