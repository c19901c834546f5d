#include <gtest/gtest.h>

#include "data_loader/store.h"
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
