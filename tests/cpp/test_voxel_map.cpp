#include <gtest/gtest.h>

#include <array>
#include <cmath>

#include "data_loader/store.h"
#include "sample/phase_picker.h"
#include "sample/voxel_map.h"

using tess::Json;
using namespace tess::sample;

namespace {

void store(const std::string& name, const char* json) {
  ASSERT_TRUE(tess::data_loader::DATA().insert_entry("alloy", name, Json::parse(json)).ok());
}

VoxelGrid map(std::string_view name, Box box, double s, std::optional<double> scale = std::nullopt) {
  auto g = voxel_phase_map(name, box, s, scale);
  if (!g) ADD_FAILURE() << g.error().message();
  return std::move(g).value();
}

const char* kTwoPhase = R"({"phase_model": "voronoi",
  "phase_volume_fractions": {"beta": 0.4, "alpha": 0.6},
  "phase_properties": {"alpha": {"D": 1}, "beta": {"D": 2}}})";

}  // namespace

TEST(VoxelMap, CountsAreCeilingsAndAtLeastOne) {
  store("vm_plain", R"({"D": 1})");
  auto g = map("vm_plain", {{0, 0, 0}, {0.01, 0.0105, 0.07}}, 0.001);
  EXPECT_EQ((std::array{g.nx, g.ny, g.nz}), (std::array<std::uint64_t, 3>{10, 11, 70}));
  g = map("vm_plain", {{0, 0, 0}, {0.07, 0.01, 0.01}}, 0.01);
  EXPECT_EQ(g.nx, 8u);  // 0.07 / 0.01 is slightly above 7
  // Inverted, flat and NaN extents give one voxel.
  g = map("vm_plain", {{1, 0, 0}, {0, 0, std::nan("")}}, 0.5);
  EXPECT_EQ(g.nx * g.ny * g.nz, 1u);
  EXPECT_EQ(g.phase_ids.size(), 1u);
  // No fractions: the one name is the requested name.
  EXPECT_EQ(g.phase_names, std::vector<std::string>{"vm_plain"});
}

TEST(VoxelMap, MatchesThePointPickerAtEveryVoxelCentre) {
  store("vm_two", kTwoPhase);
  const auto picker = *PhasePicker::build(Json::parse(kTwoPhase));
  auto picked = [&](const Point& p, double cell) { return picker.names()[picker.pick(p, cell)]; };
  auto centre = [](const Box& box, double s, std::uint64_t ix, std::uint64_t iy, std::uint64_t iz) {
    return Point{box.min[0] + (static_cast<double>(ix) + 0.5) * s, box.min[1] + (static_cast<double>(iy) + 0.5) * s,
                 box.min[2] + (static_cast<double>(iz) + 0.5) * s};
  };
  const double s = 0.0005;
  // A box of many slabs and columns; planes too small for the hash tables;
  // a column with more runs of cells than the z-fastest tables take.
  for (const Box& box : {Box{{-0.0031, 0.0007, -0.002}, {0.0029, 0.004, 0.0011}},
                         Box{{0.001, -0.0002, 0.0}, {0.0025, 0.0018, 0.004}}, Box{{0, 0, -1.0}, {8 * s, 8 * s, 1.5}}}) {
    for (std::optional<double> scale : {std::optional<double>(), std::optional<double>(0.0013)}) {
      const auto g = map("vm_two", box, s, scale);
      ASSERT_EQ(g.phase_names, (std::vector<std::string>{"alpha", "beta"}));
      ASSERT_EQ(g.phase_ids.size(), g.nx * g.ny * g.nz);
      const auto z = voxel_phase_map("vm_two", box, s, scale, tess::Cancel::never(), Layout::z_fastest).value();
      ASSERT_EQ(z.phase_ids.size(), g.phase_ids.size());
      int counts[2] = {0, 0};
      for (std::uint64_t iz = 0; iz < g.nz; ++iz)
        for (std::uint64_t iy = 0; iy < g.ny; ++iy)
          for (std::uint64_t ix = 0; ix < g.nx; ++ix) {
            const auto id = g.phase_ids[ix + g.nx * (iy + g.ny * iz)];
            ASSERT_EQ(g.phase_names[static_cast<std::size_t>(id)],
                      picked(centre(box, s, ix, iy, iz), scale.value_or(s)));
            ASSERT_EQ(z.phase_ids[(ix * g.ny + iy) * g.nz + iz], id);
            ++counts[id];
          }
      EXPECT_GT(counts[0], 0);
      EXPECT_GT(counts[1], 0);
    }
  }
  // Planes of more than 2^22 voxels are hashed row by row.
  const Box wide{{-1.0, 0.5, 0.0}, {1.1, 2.5, 0.0}};
  const auto g = map("vm_two", wide, 0.001);
  ASSERT_GT(g.nx * g.ny, std::uint64_t{1} << 22);
  for (std::uint64_t n = 0; n < 2000; ++n) {
    const std::uint64_t ix = (n * 7919) % g.nx, iy = (n * 104729) % g.ny;
    ASSERT_EQ(g.phase_names[static_cast<std::size_t>(g.phase_ids[ix + g.nx * iy])],
              picked(centre(wide, 0.001, ix, iy, 0), 0.001));
  }
}

TEST(VoxelMap, FractionTablesThatCannotPick) {
  store("vm_string", R"({"phase_volume_fractions": {"b": 1, "a": "x"}})");
  auto g = map("vm_string", {{0, 0, 0}, {0.004, 0.004, 0.004}}, 0.001);
  EXPECT_EQ(g.phase_names, (std::vector<std::string>{"a", "b"}));
  for (auto id : g.phase_ids) ASSERT_EQ(id, 1);

  store("vm_zero", R"({"phase_model": "homogeneous", "phase_volume_fractions": {"a": 0, "b": 0}})");
  g = map("vm_zero", {{0, 0, 0}, {0.004, 0.004, 0.004}}, 0.001);
  EXPECT_EQ(g.phase_names.size(), 2u);
  for (auto id : g.phase_ids) ASSERT_EQ(id, 0);
}

TEST(VoxelMap, Failures) {
  store("vm_plain", R"({"D": 1})");
  for (double s : {0.0, -1.0, std::nan("")}) {
    EXPECT_THROW((void)voxel_phase_map("vm_plain", {{0, 0, 0}, {1, 1, 1}}, s, std::nullopt), tess::Panic);
  }
  // Grids that cannot be held fail at once: a product that overflows, one
  // that fits 64 bits but not memory, and one axis alone beyond the limit.
  for (Box box : {Box{{0, 0, 0}, {1, 1, 1}}, Box{{0, 0, 0}, {1e-3, 1e-3, 1e-3}}, Box{{0, 0, 0}, {1e300, 0, 0}}}) {
    auto g = voxel_phase_map("vm_plain", box, 1e-9, std::nullopt);
    ASSERT_FALSE(g);
    EXPECT_NE(g.error().message().find("voxel_phase_map: a grid of "), std::string::npos) << g.error().message();
    EXPECT_NE(g.error().message().find("is too large"), std::string::npos);
  }
}
