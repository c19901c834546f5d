// The faces of a voxel grid between different phases and towards the outside.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "sample/voxel_map.h"

namespace tess::exporter {

using sample::Point;
using sample::VoxelGrid;

// One square face, its corners wound counter-clockwise about its normal.
struct Quad {
  std::array<Point, 4> corners;
  Point normal;  // one component +1.0 or -1.0, the others 0.0
  std::int32_t phase;
};

// A face in lattice terms: the plane index along `axis` and the lattice
// indices of its first corner; the exporters format coordinates per axis.
struct LatticeFace {
  std::uint8_t axis;  // 0: x, 1: y, 2: z
  std::int8_t sign;   // the normal's component along axis, -1 or +1
  std::int32_t phase;
  std::array<std::uint64_t, 3> c0;

  using Corner = std::array<std::uint64_t, 3>;
  // The four corners in winding order: counter-clockwise about the normal,
  // starting at c0.
  std::array<Corner, 4> corners() const;
};

// A copy of the grid's ids in z-fastest order (k innermost), the order in
// which the faces are visited.
class FaceSweep {
 public:
  explicit FaceSweep(const VoxelGrid& grid);

  // Calls visit(const LatticeFace&) for every face, in the order of
  // boundary_quads: the x-planes, then the y-planes, then the z-planes,
  // i outermost, k innermost.
  template <class F>
  void for_each(F&& visit) const;

  // The number of faces for_each visits.
  std::uint64_t count() const;

 private:
  std::int32_t id(std::uint64_t i, std::uint64_t j, std::uint64_t k) const {
    return ids_[static_cast<std::size_t>((i * ny_ + j) * nz_ + k)];
  }
  std::vector<std::int32_t> ids_;
  std::uint64_t nx_, ny_, nz_;
};

template <class F>
void FaceSweep::for_each(F&& visit) const {
  LatticeFace face{};
  auto emit = [&](std::uint8_t axis, std::int32_t a, std::int32_t b, std::uint64_t i, std::uint64_t j,
                  std::uint64_t k) {
    if (a == b) return;
    face.axis = axis;
    face.sign = b >= 0 ? -1 : 1;
    face.phase = b >= 0 ? b : a;
    face.c0 = {i, j, k};
    visit(static_cast<const LatticeFace&>(face));
  };
  for (std::uint64_t i = 0; i <= nx_; ++i)
    for (std::uint64_t j = 0; j < ny_; ++j)
      for (std::uint64_t k = 0; k < nz_; ++k)
        emit(0, i > 0 ? id(i - 1, j, k) : -1, i < nx_ ? id(i, j, k) : -1, i, j, k);
  for (std::uint64_t i = 0; i < nx_; ++i)
    for (std::uint64_t j = 0; j <= ny_; ++j)
      for (std::uint64_t k = 0; k < nz_; ++k)
        emit(1, j > 0 ? id(i, j - 1, k) : -1, j < ny_ ? id(i, j, k) : -1, i, j, k);
  for (std::uint64_t i = 0; i < nx_; ++i)
    for (std::uint64_t j = 0; j < ny_; ++j)
      for (std::uint64_t k = 0; k <= nz_; ++k)
        emit(2, k > 0 ? id(i, j, k - 1) : -1, k < nz_ ? id(i, j, k) : -1, i, j, k);
}

// The lattice coordinates origin + i * voxel_size, i = 0 .. n, of one axis.
std::vector<double> lattice_coordinates(double origin, double voxel_size, std::uint64_t n);

// Every boundary face of the grid as a Quad in world coordinates.
std::vector<Quad> boundary_quads(const VoxelGrid& grid, const Point& origin, double voxel_size);

}  // namespace tess::exporter
