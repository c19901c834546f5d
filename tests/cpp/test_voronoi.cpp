#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

#include "common/json.h"
#include "sample/sample.h"
#include "sample/voronoi.h"

using tess::Json;
using namespace tess::sample;

namespace {

Json alpha_beta() {
  return Json::parse(R"({
    "phase_model": "voronoi", "Density": 5,
    "phase_volume_fractions": {"beta": 0.4, "alpha": 0.6},
    "phase_properties": {"alpha": {"Density": 10}, "beta": {"Density": 20}}})");
}

std::string message_of(const tess::Result<std::string>& r) { return r ? "ok" : r.error().message(); }
std::string message_of(const tess::Result<double>& r) { return r ? "ok" : r.error().message(); }

}  // namespace

TEST(VoronoiHash, WorkedExample) {
  EXPECT_EQ(PhasePicker::cell_hash(0, 0, 0), 0x81d23fd7003c2305ULL);
  EXPECT_EQ(PhasePicker::cell_hash(-1, 0, 0), 0xe26a2a692e4c4f7dULL);
  const Json e = alpha_beta();
  EXPECT_EQ(*pick_phase_by_voronoi_hash(e, {0.0005, 0.0002, 0.0002}, 0.001), "alpha");
  EXPECT_EQ(*pick_phase_by_voronoi_hash(e, {-0.0005, 0.0002, 0.0002}, 0.001), "beta");
  // Through the registry, at fine scale: the phase's own value.
  ensure_field_models_registered();
  EXPECT_EQ(*sample_entry(e, "Density", Point{0.0005, 0.0002, 0.0002}, std::nullopt), 10.0);
  EXPECT_EQ(*sample_entry(e, "Density", Point{-0.0005, 0.0002, 0.0002}, std::nullopt), 20.0);
}

TEST(VoronoiHash, CellIndexFloorsAndSaturates) {
  EXPECT_EQ(PhasePicker::cell_index(0.0, 0.001), 0);
  EXPECT_EQ(PhasePicker::cell_index(-0.000001, 0.001), -1);
  EXPECT_EQ(PhasePicker::cell_index(1e300, 1e-300), std::numeric_limits<std::int64_t>::max());
  EXPECT_EQ(PhasePicker::cell_index(-1e300, 1e-300), std::numeric_limits<std::int64_t>::min());
  EXPECT_EQ(PhasePicker::cell_index(std::nan(""), 0.001), 0);
  EXPECT_EQ(PhasePicker::cell_index(0.0, 0.0), 0);  // 0/0 is NaN
  EXPECT_EQ(PhasePicker::cell_index(1.0, 0.0), std::numeric_limits<std::int64_t>::max());
}

TEST(VoronoiModel, ScaleDecidesBetweenPickingAndAveraging) {
  const Json e = alpha_beta();
  const double mean = (0.6 * 10.0 + 0.4 * 20.0) / (0.6 + 0.4);
  const VoronoiPhaseModel model;
  const Point p{0.0005, 0.0002, 0.0002};
  EXPECT_EQ(*model.evaluate(e, "Density", std::nullopt, std::nullopt), mean);
  EXPECT_EQ(*model.evaluate(e, "Density", p, 0.01), mean);
  EXPECT_EQ(*model.evaluate(e, "Density", p, 5.0), mean);
  // Unusable scales fall back to 0.001-cells; infinity is not "coarse".
  for (double s : {0.0, -1.0, std::numeric_limits<double>::infinity(), std::nan("")}) {
    EXPECT_EQ(*model.evaluate(e, "Density", p, s), 10.0) << s;
  }
  // A fine scale is the cell edge itself: find a point whose phase differs
  // between 0.001- and 0.005-cells and check that the scale is honoured.
  bool found = false;
  for (int n = 0; n < 200 && !found; ++n) {
    const Point q{0.0013 * n, 0.0007, -0.0021};
    const auto fine = *pick_phase_by_voronoi_hash(e, q, 0.001);
    const auto coarse = *pick_phase_by_voronoi_hash(e, q, 0.005);
    if (fine == coarse) continue;
    found = true;
    EXPECT_EQ(*model.evaluate(e, "Density", q, 0.005), coarse == "alpha" ? 10.0 : 20.0);
  }
  EXPECT_TRUE(found);
}

TEST(VoronoiModel, FailureMessages) {
  const Point p{0.0005, 0.0002, 0.0002};
  for (auto [fractions, message] :
       {std::pair{"{}", "entry missing 'phase_volume_fractions' object"},
        {R"({"phase_volume_fractions": [1]})", "entry missing 'phase_volume_fractions' object"},
        {R"({"phase_volume_fractions": {}})", "phase_volume_fractions is empty"},
        {R"({"phase_volume_fractions": {"a": "0.5"}})", "no numeric phase fractions"},
        {R"({"phase_volume_fractions": {"a": 0.5, "b": -0.5}})", "total phase volume must be > 0"}}) {
    EXPECT_EQ(message_of(pick_phase_by_voronoi_hash(Json::parse(fractions), p, 0.001)),
              std::string("voronoi sample: ") + message);
  }
  const Json no_props = Json::parse(R"({"phase_volume_fractions": {"a": 1}})");
  EXPECT_EQ(message_of(phase_property_lookup(no_props, "a", "D")),
            "voronoi sample: entry missing 'phase_properties' object");
  const Json props = Json::parse(R"({"phase_properties": {"a": {"D": "7", "E": 7}, "b": 3}})");
  EXPECT_EQ(message_of(phase_property_lookup(props, "b", "D")), "voronoi sample: no properties for phase 'b'");
  EXPECT_EQ(message_of(phase_property_lookup(props, "c", "D")), "voronoi sample: no properties for phase 'c'");
  EXPECT_EQ(message_of(phase_property_lookup(props, "a", "D")), "voronoi sample: phase 'a' missing numeric 'D'");
  EXPECT_EQ(*phase_property_lookup(props, "a", "E"), 7.0);
}

TEST(VoronoiModel, AverageSkipsNonPositiveAndFallsBackToBulk) {
  // String and zero fractions take no part; a failing lookup of a weighted
  // phase ends the average.
  Json e = Json::parse(R"({"D": 4, "phase_volume_fractions": {"a": "1", "b": 0, "c": 2},
                           "phase_properties": {"c": {"D": 9}}})");
  EXPECT_EQ(*volume_weighted_average(e, "D"), 9.0);
  e["phase_volume_fractions"]["d"] = 1;
  EXPECT_EQ(message_of(volume_weighted_average(e, "D")), "voronoi sample: no properties for phase 'd'");
  // Nothing positive: the bulk value, or the homogeneous message.
  e["phase_volume_fractions"] = {{"a", "1"}, {"b", -1}};
  EXPECT_EQ(*volume_weighted_average(e, "D"), 4.0);
  EXPECT_EQ(message_of(volume_weighted_average(e, "X")), "sample: property 'X' missing or non-numeric");
  EXPECT_EQ(*volume_weighted_average(Json::parse(R"({"D": 2, "phase_volume_fractions": {}})"), "D"), 2.0);
  EXPECT_EQ(message_of(volume_weighted_average(Json::parse("[1]"), "D")),
            "sample: property 'D' missing or non-numeric");
}

TEST(VoronoiHash, ThresholdPickAgreesWithTheArithmetic) {
  for (std::uint64_t v : {0ULL, 3ULL, (1ULL << 53) + 1, (1ULL << 63) - 1, (1ULL << 63) + 1024, (1ULL << 63) + 1025,
                          0x81d23fd7003c2305ULL, ~0ULL, ~0ULL - 1023}) {
    EXPECT_EQ(PhasePicker::to_double(v), static_cast<double>(v)) << v;
  }
  std::mt19937_64 rng(11);
  for (const char* fractions : {R"({"a": 0.6, "b": 0.4})", R"({"a": 0, "b": 1, "c": 0, "d": 2.5e-17, "e": 3})",
                                R"({"a": 2, "b": -1, "c": 0.5, "d": -0.25})", R"({"a": 1e-300, "b": 1e300})",
                                R"({"a": 1e308, "b": 1e308})", R"({"only": 7})"}) {
    Json e = {{"phase_volume_fractions", Json::parse(fractions)}};
    const auto picker = *PhasePicker::build(e);
    std::vector<std::uint64_t> probes = {0, 1, ~0ULL, ~0ULL - 1, 1ULL << 63};
    for (int n = 0; n < 20000; ++n) probes.push_back(rng());
    // Around every step of the exact pick.
    for (std::uint64_t h = 0, step = 1ULL << 50; h < ~0ULL - step; h += step) {
      if (picker.pick_hash_exact(h) != picker.pick_hash_exact(h + step)) {
        std::uint64_t lo = h, hi = h + step;
        while (hi - lo > 1)
          (picker.pick_hash_exact(lo + (hi - lo) / 2) == picker.pick_hash_exact(lo) ? lo : hi) = lo + (hi - lo) / 2;
        probes.insert(probes.end(), {lo - 1, lo, hi, hi + 1});
      }
    }
    for (auto h : probes) ASSERT_EQ(picker.pick_hash(h), picker.pick_hash_exact(h)) << fractions << " " << h;
  }
}
