#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "data_loader/store.h"
#include "grid_helpers.h"
#include "sample/grid_sample.h"
#include "sample/sample.h"

using namespace tess;

TEST(Sample, HomogeneousReadsTheTopLevelNumericMemberOfAnyKnownModel) {
  (void)data_loader::DATA().insert_entry(
      "alloy", "SmpHomog", Json{{"d", 7}, {"s", "7"}, {"Properties", {{"p", 1.5}}}, {"phase_model", "homogeneous"}});
  EXPECT_EQ(*sample::sample("SmpHomog", "d", std::nullopt, std::nullopt), 7.0);
  EXPECT_EQ(*sample::sample("SmpHomog", "d", sample::Point{1, 2, 3}, -1.0), 7.0);
  EXPECT_EQ(sample::sample("SmpHomog", "s", std::nullopt, std::nullopt).error().message(),
            "sample: property 's' missing or non-numeric");
  EXPECT_FALSE(sample::sample("SmpHomog", "p", std::nullopt, std::nullopt).ok());

  EXPECT_EQ(sample::model_key(Json{{"phase_model", "voronoi"}}), "voronoi");
  EXPECT_EQ(sample::model_key(Json{{"phase_model", 3}}), "homogeneous");
  EXPECT_EQ(sample::model_key(Json::array()), "homogeneous");
  (void)data_loader::DATA().insert_entry("ceramic", "SmpOther", Json{{"phase_model", "nonesuch"}, {"d", 2u}});
  EXPECT_EQ(*sample::sample("SmpOther", "d", std::nullopt, std::nullopt), 2.0);
}

TEST(GridSample, EveryValueIsThePointValueAtItsCentre) {
  // The VTK writer's values are sample()'s at every voxel centre, failures
  // 0.0, for fine, coarse and unusable scales. (The lattice in z-fastest
  // order is the bake's, checked against its direct sum.)
  auto& data = data_loader::DATA();
  (void)data.insert_entry("alloy", "smp_plain", Json::parse(R"({"density": 7850})"));
  (void)data.insert_entry("alloy", "smp_three", Json::parse(R"({"phase_model": "voronoi", "density": 1,
      "phase_volume_fractions": {"a": 0.3, "b": 0.5, "c": "x", "d": 0.2},
      "phase_properties": {"a": {"density": 10}, "b": {"density": 20}, "d": {}}})"));
  (void)data.insert_entry("alloy", "smp_zero", Json::parse(R"({"phase_model": "voronoi", "density": 5,
      "phase_volume_fractions": {"a": 0}})"));
  const sample::Box box{{-0.0021, 0.0004, 0.0}, {0.003, 0.002, 0.002}};
  const auto grid = grid_of(11, 4, 3, std::vector<std::int32_t>(132));
  const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
  for (const char* name : {"smp_plain", "smp_three", "smp_zero", "smp_none"}) {
    for (const char* property : {"density", "missing"}) {
      for (double scale : {0.0007, 0.002, 0.01, 0.0, inf, nan}) {
        const auto v = sample::voxel_sample(name, property, box, 0.0005, grid, scale);
        ASSERT_EQ(v.size(), 132u);
        for (std::uint64_t iz = 0, i = 0; iz < 3; ++iz)
          for (std::uint64_t iy = 0; iy < 4; ++iy)
            for (std::uint64_t ix = 0; ix < 11; ++ix, ++i) {
              const sample::Point c{box.min[0] + (static_cast<double>(ix) + 0.5) * 0.0005,
                                    box.min[1] + (static_cast<double>(iy) + 0.5) * 0.0005,
                                    box.min[2] + (static_cast<double>(iz) + 0.5) * 0.0005};
              const auto expect = sample::sample(name, property, c, scale);
              ASSERT_EQ(v[i], expect ? *expect : 0.0) << name << " " << property << " " << scale;
            }
      }
    }
  }
}
