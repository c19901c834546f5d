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
