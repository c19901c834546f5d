// The faces of a voxel grid between different phases and towards the outside.
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

#include "common/cancel.h"
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

namespace detail {

// The offsets of the four corners from c0, by axis and by sign (0: -1,
// 1: +1): each axis's natural order, with corners 1 and 3 swapped for the
// sign it does not wind about. A table, as the sign changes from face to face.
using Offsets = std::array<std::array<std::uint8_t, 3>, 4>;
inline constexpr auto kCornerOffsets = [] {
  constexpr Offsets natural[3] = {{{{0, 0, 0}, {0, 1, 0}, {0, 1, 1}, {0, 0, 1}}},
                                  {{{0, 0, 0}, {1, 0, 0}, {1, 0, 1}, {0, 0, 1}}},
                                  {{{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}}};
  constexpr int winds[3] = {1, -1, 1};
  std::array<std::array<Offsets, 2>, 3> t{};
  for (int axis = 0; axis < 3; ++axis)
    for (int s = 0; s < 2; ++s) {
      t[axis][s] = natural[axis];
      if (winds[axis] != (s == 0 ? -1 : 1)) std::swap(t[axis][s][1], t[axis][s][3]);
    }
  return t;
}();

}  // namespace detail

// Inline: the writers ask for the corners of every face.
inline std::array<LatticeFace::Corner, 4> LatticeFace::corners() const {
  const detail::Offsets& off = detail::kCornerOffsets[axis][sign > 0 ? 1 : 0];
  std::array<Corner, 4> c;
  for (std::size_t n = 0; n < 4; ++n)
    for (std::size_t d = 0; d < 3; ++d) c[n][d] = c0[d] + off[n][d];
  return c;
}

// The grid's ids in z-fastest order (k innermost), the order in which the
// faces are visited: a copy, or the grid's own ids when it is given in that
// layout to keep. The constructors and the counts throw Cancelled when
// `cancel` stops.
class FaceSweep {
 public:
  explicit FaceSweep(const VoxelGrid& grid, const Cancel& cancel = Cancel::never());
  explicit FaceSweep(VoxelGrid&& grid, const Cancel& cancel = Cancel::never());

  // The grid's voxel counts (0 for an empty grid).
  std::uint64_t nx() const { return nx_; }
  std::uint64_t ny() const { return ny_; }
  std::uint64_t nz() const { return nz_; }

  // Calls visit(const LatticeFace&) for every face, in the order of
  // boundary_quads: the x-planes, then the y-planes, then the z-planes,
  // i outermost, k innermost.
  template <class F>
  void for_each(F&& visit) const {
    for (std::size_t p = 0; p < plane_count(); ++p) for_each_in(p, visit);
  }

  // The faces come in runs, one per (pass, i): first the nx + 1 runs of the
  // x-planes, then nx runs for each of the y- and z-passes. Runs are
  // independent of one another, so writers may fill them in parallel.
  std::size_t plane_count() const { return nx_ == 0 ? 0 : static_cast<std::size_t>(3 * nx_ + 1); }
  template <class F>
  void for_each_in(std::size_t run, F&& visit) const {
    for_each_in_rows(run, 0, rows_in(run), visit);
  }
  // A run is made of rows (ny of them, ny + 1 in the y-pass); the faces of
  // rows j0 .. j1 - 1 of a run, in the order of for_each_in.
  std::uint64_t rows_in(std::size_t run) const { return run > nx_ && run <= 2 * nx_ ? ny_ + 1 : ny_; }
  template <class F>
  void for_each_in_rows(std::size_t run, std::uint64_t j0, std::uint64_t j1, F&& visit) const;

  // The number of faces for_each visits.
  std::uint64_t count(const Cancel& cancel = Cancel::never()) const;
  // The number of faces of run `run`, and of its rows j0 .. j1 - 1.
  std::uint64_t count_in(std::size_t run) const { return count_in_rows(run, 0, rows_in(run)); }
  std::uint64_t count_in_rows(std::size_t run, std::uint64_t j0, std::uint64_t j1) const;
  // The number of faces of each run.
  std::vector<std::uint64_t> count_per_run(const Cancel& cancel = Cancel::never()) const;

 private:
  // The ids of `grid`, taken from *ids_to_take (the grid's own) when not null.
  FaceSweep(const VoxelGrid& grid, std::vector<std::int32_t>* ids_to_take, const Cancel& cancel);
  void transpose(const VoxelGrid& grid, const Cancel& cancel);
  const std::int32_t* row(std::uint64_t i, std::uint64_t j) const {
    return ids_.data() + static_cast<std::size_t>((i * ny_ + j) * nz_);
  }
  std::vector<std::int32_t> ids_;
  std::vector<std::int32_t> empty_;  // nz ids of -1
  std::uint64_t nx_, ny_, nz_;
};

namespace detail {

// Calls visit(k) for every k < len (at most 64) where a[k] != b[k], in
// order. The comparisons are made first, all of them, into one byte each (a
// loop the compiler turns into vector instructions), then the bytes that are
// set are found eight at a time.
template <class F>
void for_each_differing(const std::int32_t* a, const std::int32_t* b, std::uint64_t len, F&& visit) {
  alignas(8) std::uint8_t differs[64] = {};
  if (len == 64) {  // the usual case, with a length the compiler can unroll
    for (unsigned k = 0; k < 64; ++k) differs[k] = a[k] != b[k];
  } else {
    for (unsigned k = 0; k < len; ++k) differs[k] = a[k] != b[k];
  }
  for (unsigned w = 0; w < len; w += 8) {
    std::uint64_t bytes = 0;
    std::memcpy(&bytes, differs + w, 8);
    if constexpr (std::endian::native == std::endian::little) {
      for (; bytes != 0; bytes &= bytes - 1) visit(w + static_cast<unsigned>(std::countr_zero(bytes)) / 8);
    } else {  // the first byte is the most significant
      while (bytes != 0) {
        const auto lead = static_cast<unsigned>(std::countl_zero(bytes));
        visit(w + lead / 8);
        bytes ^= std::uint64_t{1} << (63 - lead);
      }
    }
  }
}

}  // namespace detail

template <class F>
void FaceSweep::for_each_in_rows(std::size_t run, std::uint64_t j0, std::uint64_t j1, F&& visit) const {
  LatticeFace face{};
  auto emit = [&](std::uint8_t axis, std::int32_t a, std::int32_t b, std::uint64_t i, std::uint64_t j,
                  std::uint64_t k) {
    face.axis = axis;
    face.sign = b >= 0 ? -1 : 1;
    face.phase = b >= 0 ? b : a;
    face.c0 = {i, j, k};
    visit(static_cast<const LatticeFace&>(face));
  };
  // Faces between two rows along k (contiguous here); rows beyond the grid
  // are the row of -1. The ids are compared 64 at a time into a mask whose
  // set bits are then visited: where faces are is as good as random, and a
  // branch per voxel would guess it wrong often.
  auto between_rows = [&](std::uint8_t axis, const std::int32_t* a, const std::int32_t* b, std::uint64_t i,
                          std::uint64_t j) {
    for (std::uint64_t k0 = 0; k0 < nz_; k0 += 64) {
      detail::for_each_differing(a + k0, b + k0, std::min<std::uint64_t>(64, nz_ - k0), [&](unsigned d) {
        const std::uint64_t k = k0 + d;
        emit(axis, a[k], b[k], i, j, k);
      });
    }
  };
  const std::int32_t* none = empty_.data();
  if (run <= nx_) {
    const std::uint64_t i = run;
    for (std::uint64_t j = j0; j < j1; ++j)
      between_rows(0, i > 0 ? row(i - 1, j) : none, i < nx_ ? row(i, j) : none, i, j);
  } else if (run <= 2 * nx_) {
    const std::uint64_t i = run - (nx_ + 1);
    for (std::uint64_t j = j0; j < j1; ++j)
      between_rows(1, j > 0 ? row(i, j - 1) : none, j < ny_ ? row(i, j) : none, i, j);
  } else {
    const std::uint64_t i = run - (2 * nx_ + 1);
    for (std::uint64_t j = j0; j < j1; ++j) {
      const std::int32_t* r = row(i, j);
      if (r[0] != -1) emit(2, -1, r[0], i, j, 0);
      for (std::uint64_t k0 = 1; k0 < nz_; k0 += 64) {
        detail::for_each_differing(r + k0 - 1, r + k0, std::min<std::uint64_t>(64, nz_ - k0), [&](unsigned d) {
          const std::uint64_t k = k0 + d;
          emit(2, r[k - 1], r[k], i, j, k);
        });
      }
      if (r[nz_ - 1] != -1) emit(2, r[nz_ - 1], -1, i, j, nz_);
    }
  }
}

// The lattice coordinates origin + i * voxel_size, i = 0 .. n, of one axis.
std::vector<double> lattice_coordinates(double origin, double voxel_size, std::uint64_t n);

// Every boundary face of the grid as a Quad in world coordinates.
std::vector<Quad> boundary_quads(const VoxelGrid& grid, const Point& origin, double voxel_size);

}  // namespace tess::exporter
