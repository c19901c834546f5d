#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <limits>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "common/json.h"
#include "sample/field_model.h"
#include "sample/phase_picker.h"
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

std::string message_of(const tess::Result<double>& r) { return r ? "ok" : r.error().message(); }

// The phase the picker gives at `p`, or the picker's failure.
std::string pick(const Json& entry, const Point& p, double cell) {
  auto picker = PhasePicker::build(entry);
  return picker ? picker->names()[picker->pick(p, cell)] : picker.error().message();
}

// What sample() gives for the entry in hand.
tess::Result<double> evaluate(const Json& entry, std::string_view property, const std::optional<Point>& at,
                              std::optional<double> scale) {
  return prepare_field(entry, property, scale, at ? Points::one : Points::none).at(at.value_or(Point{}));
}

}  // namespace

TEST(VoronoiHash, WorkedExample) {
  EXPECT_EQ(PhasePicker::cell_hash(0, 0, 0), 0x81d23fd7003c2305ULL);
  EXPECT_EQ(PhasePicker::cell_hash(-1, 0, 0), 0xe26a2a692e4c4f7dULL);
  const Json e = alpha_beta();
  EXPECT_EQ(pick(e, {0.0005, 0.0002, 0.0002}, 0.001), "alpha");
  EXPECT_EQ(pick(e, {-0.0005, 0.0002, 0.0002}, 0.001), "beta");
  // Through the registry, at fine scale: the phase's own value.
  EXPECT_EQ(*evaluate(e, "Density", Point{0.0005, 0.0002, 0.0002}, std::nullopt), 10.0);
  EXPECT_EQ(*evaluate(e, "Density", Point{-0.0005, 0.0002, 0.0002}, std::nullopt), 20.0);
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
  const double mean = (0.6 * 10.0 + 0.4 * 20.0) / (0.6 + 0.4), inf = std::numeric_limits<double>::infinity();
  const Point p{0.0005, 0.0002, 0.0002};
  // Coarse scales and no point average; unusable scales fall back to 0.001-cells.
  using At = std::optional<Point>;
  using Scale = std::optional<double>;
  // clang-format off
  for (auto [at, scale, want] : {std::tuple<At, Scale, double>{std::nullopt, std::nullopt, mean}, {std::nullopt, 0.001, mean},
           {p, 0.01, mean}, {p, 5.0, mean}, {p, 0.0, 10.0}, {p, -1.0, 10.0}, {p, inf, 10.0}, {p, std::nan(""), 10.0}}) {
    // clang-format on
    EXPECT_EQ(*evaluate(e, "Density", at, scale), want) << scale.value_or(-2);
  }
  // A fine scale is the cell edge itself: at a point whose phase differs between 0.001- and 0.005-cells.
  int n = 0;
  while (n < 200 && pick(e, {0.0013 * n, 0.0007, -0.0021}, 0.001) == pick(e, {0.0013 * n, 0.0007, -0.0021}, 0.005)) ++n;
  ASSERT_LT(n, 200);
  const Point q{0.0013 * n, 0.0007, -0.0021};
  EXPECT_EQ(*evaluate(e, "Density", q, 0.005), pick(e, q, 0.005) == "alpha" ? 10.0 : 20.0);
}

TEST(VoronoiModel, FailureMessages) {
  const Point p{0.0005, 0.0002, 0.0002};
  for (auto [fractions, message] :
       {std::pair{"{}", "entry missing 'phase_volume_fractions' object"},
        {R"({"phase_volume_fractions": [1]})", "entry missing 'phase_volume_fractions' object"},
        {R"({"phase_volume_fractions": {}})", "phase_volume_fractions is empty"},
        {R"({"phase_volume_fractions": {"a": "0.5"}})", "no numeric phase fractions"},
        {R"({"phase_volume_fractions": {"a": 0.5, "b": -0.5}})", "total phase volume must be > 0"}}) {
    EXPECT_EQ(pick(Json::parse(fractions), p, 0.001), std::string("voronoi sample: ") + message);
  }
  const Json no_props = Json::parse(R"({"phase_volume_fractions": {"a": 1}})");
  EXPECT_EQ(message_of(phase_property_lookup(no_props, "a", "D")),
            "voronoi sample: entry missing 'phase_properties' object");
  const Json props = Json::parse(R"({"phase_properties": {"a": {"D": "7", "E": 7}, "b": 3}})");
  for (auto [phase, message] : {std::pair{"b", "no properties for phase 'b'"},
                                {"c", "no properties for phase 'c'"},
                                {"a", "phase 'a' missing numeric 'D'"}}) {
    EXPECT_EQ(message_of(phase_property_lookup(props, phase, "D")), std::string("voronoi sample: ") + message);
  }
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

namespace {

// The model's walk, written out plainly: the first phase whose running sum
// reaches the target, else the last.
std::size_t walk(const std::vector<double>& fractions, double target) {
  double running = 0.0;
  for (std::size_t i = 0; i < fractions.size(); ++i) {
    running += fractions[i];
    if (target <= running) return i;
  }
  return fractions.size() - 1;
}

std::size_t walk_hash(const std::vector<double>& fractions, std::uint64_t hash) {
  double total = 0.0;
  for (double f : fractions) total += f;
  double u = static_cast<double>(hash) * 0x1p-64;
  if (u > 1.0) u = 1.0;
  return walk(fractions, total * u);
}

std::string name_of(std::size_t i) {
  char name[32];
  std::snprintf(name, sizeof name, "p%06zu", i);
  return name;
}

// An entry whose numeric fractions are `fractions` in name order, with a
// string member after each of them (skipped by the picker).
Json entry_of(const std::vector<double>& fractions) {
  Json table = Json::object();
  for (std::size_t i = 0; i < fractions.size(); ++i) {
    table[name_of(i)] = fractions[i];
    table[name_of(i) + "s"] = "1";
  }
  return {{"phase_volume_fractions", table}};
}

}  // namespace

TEST(VoronoiHash, PicksAgreeWithThePlainWalk) {
  for (std::uint64_t v : {0ULL, 3ULL, (1ULL << 53) + 1, (1ULL << 63) - 1, (1ULL << 63) + 1024, (1ULL << 63) + 1025,
                          0x81d23fd7003c2305ULL, ~0ULL, ~0ULL - 1023}) {
    EXPECT_EQ(PhasePicker::to_double(v), static_cast<double>(v)) << v;
  }
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double tiny = std::numeric_limits<double>::denorm_min();
  std::vector<std::vector<double>> tables = {
      {0.6, 0.4},
      {7},
      {0, 1, 0, 2.5e-17, 3},  // zeros: equal running sums
      {0, 0, 0, 1},           // a hash of 0 picks the first zero
      {2, -1, 0.5, -0.25},    // running sums that fall back
      {-1, 3, -1, 0, 0.5},    // ... from below zero
      {1e-300, 1e300},
      {1e308, 1e308},  // an infinite total
      {1, inf, 2},     // an infinite phase
      {1, nan, 2},     // a NaN total: always the last
      {inf, -inf, 1},  // NaN from infinities
      {tiny, tiny, 0, tiny},
      {0.1, 0.2, 0.3, 0.1, 0.2, 0.1},                                      // sums that round
      {3, -3, 3, -3, 3, -3, 3, -3, 3, -3, 3, -3, 3, -3, 3, -3, 3, -3, 1},  // more phases than thresholds
  };
  std::mt19937_64 rng(11);
  const std::vector<double> pieces = {0.0, -0.0, 1.0, 0.5, 0.25, -0.5, 1e-17, 3.0, 0.1};
  for (std::size_t n : {3, 16, 17, 40, 5000}) {
    std::vector<double> table(n);
    for (double& f : table) f = pieces[rng() % pieces.size()];
    table.back() = 1.0;
    tables.push_back(table);
  }

  for (const auto& table : tables) {
    const Json e = entry_of(table);
    SCOPED_TRACE(e.dump());
    for (auto use : {PhasePicker::Use::once, PhasePicker::Use::many}) {
      const auto picker = *PhasePicker::build(e, use);
      ASSERT_EQ(picker.names().size(), table.size());
      for (std::size_t i = 0; i < table.size(); ++i) ASSERT_EQ(picker.names()[i], name_of(i));

      // Targets at, just below and just above every running sum (ties).
      std::vector<double> targets = {0.0, -0.0, inf, -inf, nan, 1.0};
      double running = 0.0;
      for (double f : table) {
        running += f;
        targets.insert(targets.end(), {running, std::nextafter(running, -inf), std::nextafter(running, inf)});
      }
      for (double t : targets) ASSERT_EQ(picker.pick_target(t), walk(table, t)) << t;

      // Hashes: the ends, random ones and, for small tables, both sides of
      // every step of the walk.
      std::vector<std::uint64_t> probes = {0, 1, ~0ULL, ~0ULL - 1, 1ULL << 63, (1ULL << 63) - 1};
      for (int k = 0; k < 2000; ++k) probes.push_back(rng());
      const std::uint64_t stride = table.size() > 40 ? 0 : 1ULL << 52;
      for (std::uint64_t h = 0; stride != 0 && h < ~0ULL - stride; h += stride) {
        if (walk_hash(table, h) == walk_hash(table, h + stride)) continue;
        std::uint64_t lo = h, hi = h + stride;
        while (hi - lo > 1) {
          const std::uint64_t mid = lo + (hi - lo) / 2;
          (walk_hash(table, mid) == walk_hash(table, lo) ? lo : hi) = mid;
        }
        probes.insert(probes.end(), {lo - 1, lo, hi, hi + 1});
      }
      for (auto h : probes) ASSERT_EQ(picker.pick_hash(h), walk_hash(table, h)) << h;
    }
  }
}

TEST(VoronoiHash, BuildingStopsWhenCancelled) {
  std::vector<double> table(20000, 1.0);
  const tess::Cancel stop([] { return true; }, std::chrono::nanoseconds(0));
  EXPECT_THROW((void)PhasePicker::build(entry_of(table), PhasePicker::Use::many, stop), tess::Cancelled);
}
