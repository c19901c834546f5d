#include <gtest/gtest.h>

#include <map>
#include <random>

#include "export/boundary.h"
#include "grid_helpers.h"

using namespace tess::exporter;

namespace {

Point sub(const Point& a, const Point& b) { return {a[0] - b[0], a[1] - b[1], a[2] - b[2]}; }
Point cross(const Point& a, const Point& b) {
  return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}
double dot(const Point& a, const Point& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

// Both triangles of the quad wind counter-clockwise about its normal.
bool winds_about_normal(const Quad& q) {
  const auto& c = q.corners;
  return dot(cross(sub(c[1], c[0]), sub(c[2], c[0])), q.normal) > 0 &&
         dot(cross(sub(c[2], c[0]), sub(c[3], c[0])), q.normal) > 0;
}

}  // namespace

// (The corners and winding of one voxel are pinned by the writers' golden bytes.)
TEST(BoundaryQuads, FacesBetweenPhasesAndEmptyVoxels) {
  auto quads = boundary_quads(grid_of(2, 1, 1, {0, 1}), {0, 0, 0}, 1.0);
  ASSERT_EQ(quads.size(), 11u);
  EXPECT_EQ(quads[0].normal, (Point{-1, 0, 0}));
  EXPECT_EQ(quads[0].phase, 0);
  EXPECT_EQ(quads[1].normal, (Point{-1, 0, 0}));  // between the phases: the high side's
  EXPECT_EQ(quads[1].phase, 1);
  EXPECT_EQ(quads[1].corners[0], (Point{1, 0, 0}));
  EXPECT_EQ(quads[2].normal, (Point{1, 0, 0}));
  EXPECT_EQ(quads[2].phase, 1);
  EXPECT_EQ(boundary_quads(grid_of(2, 1, 1, {1, 1}), {0, 0, 0}, 1.0).size(), 10u);
  // -1 is no material: nothing between two of them or towards the outside.
  EXPECT_EQ(boundary_quads(grid_of(2, 1, 1, {-1, -1}), {0, 0, 0}, 1.0).size(), 0u);
  quads = boundary_quads(grid_of(2, 1, 1, {-1, 0}), {0, 0, 0}, 1.0);
  ASSERT_EQ(quads.size(), 6u);
  EXPECT_EQ(quads[0].corners[0], (Point{1, 0, 0}));
  EXPECT_EQ(quads[0].normal, (Point{-1, 0, 0}));
  // No voxels on an axis: no faces.
  EXPECT_TRUE(boundary_quads(grid_of(0, 3, 3, {}), {0, 0, 0}, 1.0).empty());
  // The outer face lies at whole voxels from the origin, not at summed steps.
  double xmax = 0;
  for (const auto& q : boundary_quads(grid_of(4, 1, 1, {0, 0, 0, 0}), {0, 0, 0}, 0.3))
    for (const auto& c : q.corners) xmax = std::max(xmax, c[0]);
  EXPECT_EQ(xmax, 0.0 + 4.0 * 0.3);
}

TEST(BoundaryQuads, EveryEdgeIsWalkedOnceEachWay) {
  // A random solid with holes, and a random two-phase grid: per phase
  // surface (faces of that phase towards anything else) or the whole solid,
  // every directed edge is matched by its reverse, so the surfaces are
  // closed and consistently oriented.
  std::mt19937 rng(7);
  const std::uint64_t nx = 5, ny = 4, nz = 6;
  std::vector<std::int32_t> ids(nx * ny * nz);
  for (auto& id : ids) id = static_cast<std::int32_t>(rng() % 3) - 1;  // -1, 0 or 1
  auto g = grid_of(nx, ny, nz, ids);
  for (auto& id : g.phase_ids) id = id < 0 ? -1 : 0;
  const auto solid = boundary_quads(g, {0.1, -0.2, 0.3}, 0.25);
  std::map<std::pair<Point, Point>, int> edges;
  for (const auto& q : solid) {
    ASSERT_TRUE(winds_about_normal(q));
    for (int c = 0; c < 4; ++c) ++edges[{q.corners[c], q.corners[(c + 1) % 4]}];
  }
  for (const auto& [e, n] : edges) {
    auto back = edges.find({e.second, e.first});
    ASSERT_NE(back, edges.end());
    EXPECT_EQ(back->second, n);
  }
  // Two phases: every face winds about its normal, which points away from
  // the voxel of its own phase.
  const auto two = boundary_quads(grid_of(nx, ny, nz, ids), {0, 0, 0}, 1.0);
  for (const auto& q : two) ASSERT_TRUE(winds_about_normal(q));
}

TEST(FaceSweep, VisitsTheFacesOfABruteForceSweepAndCountsThemAsVisited) {
  // Rows longer than 64 voxels and not a multiple of it; ids in either
  // layout. The writers size their pieces by the counts, so a count that
  // differs from the faces visited would overrun them.
  std::mt19937 rng(11);
  const std::uint64_t nx = 3, ny = 4, nz = 70;
  std::vector<std::int32_t> ids(nx * ny * nz);  // x fastest
  for (auto& id : ids) id = rng() % 5 == 0 ? static_cast<std::int32_t>(rng() % 3) - 1 : 0;
  auto id = [&](std::uint64_t i, std::uint64_t j, std::uint64_t k) { return ids[i + nx * (j + ny * k)]; };
  using Face = std::array<std::int64_t, 6>;  // axis, sign, phase, i, j, k
  std::vector<Face> expected;
  auto face = [&](int axis, std::int32_t a, std::int32_t b, std::uint64_t i, std::uint64_t j, std::uint64_t k) {
    if (a != b)
      expected.push_back({axis, b >= 0 ? -1 : 1, b >= 0 ? b : a, std::int64_t(i), std::int64_t(j), std::int64_t(k)});
  };
  for (std::uint64_t i = 0; i <= nx; ++i)
    for (std::uint64_t j = 0; j < ny; ++j)
      for (std::uint64_t k = 0; k < nz; ++k) face(0, i > 0 ? id(i - 1, j, k) : -1, i < nx ? id(i, j, k) : -1, i, j, k);
  for (std::uint64_t i = 0; i < nx; ++i)
    for (std::uint64_t j = 0; j <= ny; ++j)
      for (std::uint64_t k = 0; k < nz; ++k) face(1, j > 0 ? id(i, j - 1, k) : -1, j < ny ? id(i, j, k) : -1, i, j, k);
  for (std::uint64_t i = 0; i < nx; ++i)
    for (std::uint64_t j = 0; j < ny; ++j)
      for (std::uint64_t k = 0; k <= nz; ++k) face(2, k > 0 ? id(i, j, k - 1) : -1, k < nz ? id(i, j, k) : -1, i, j, k);

  auto z_fastest = grid_of(nx, ny, nz, {});
  z_fastest.layout = tess::sample::Layout::z_fastest;
  for (std::uint64_t i = 0; i < nx; ++i)
    for (std::uint64_t j = 0; j < ny; ++j)
      for (std::uint64_t k = 0; k < nz; ++k) z_fastest.phase_ids.push_back(id(i, j, k));
  for (const FaceSweep& sweep : {FaceSweep(grid_of(nx, ny, nz, ids)), FaceSweep(std::move(z_fastest))}) {
    std::vector<Face> got;
    for (std::size_t run = 0; run < sweep.plane_count(); ++run) {
      const std::uint64_t half = sweep.rows_in(run) / 2, before = got.size();
      sweep.for_each_in_rows(run, 0, half, [&](const LatticeFace& f) {
        got.push_back({f.axis, f.sign, f.phase, std::int64_t(f.c0[0]), std::int64_t(f.c0[1]), std::int64_t(f.c0[2])});
      });
      EXPECT_EQ(sweep.count_in_rows(run, 0, half), got.size() - before) << run;
      sweep.for_each_in_rows(run, half, sweep.rows_in(run), [&](const LatticeFace& f) {
        got.push_back({f.axis, f.sign, f.phase, std::int64_t(f.c0[0]), std::int64_t(f.c0[1]), std::int64_t(f.c0[2])});
      });
      EXPECT_EQ(sweep.count_in(run), got.size() - before) << run;
    }
    EXPECT_EQ(got, expected);
  }
}
