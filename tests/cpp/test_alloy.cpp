#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <tuple>
#include <vector>

#include "alloy/alloy.h"
#include "data_loader/store.h"

namespace {

using tess::Json;
using tess::alloy::AlloyTarget;
using tess::alloy::CandidateRng;
using tess::alloy::Composition;
using tess::alloy::PropertyEstimator;
using tess::alloy::PropertyMap;

void put(const std::string& name, Json value) {
  ASSERT_TRUE(tess::data_loader::DATA().insert_entry("alloy", name, std::move(value)).ok());
}

// A generator in exactly `state` (not all zero), through its seed bytes.
CandidateRng at_state(const CandidateRng::State& state) {
  CandidateRng::SeedBytes bytes{};
  for (std::size_t w = 0; w < 4; ++w) {
    for (std::size_t b = 0; b < 8; ++b) bytes[w * 8 + b] = static_cast<std::uint8_t>(state[w] >> (8 * b));
  }
  return CandidateRng::from_seed_bytes(bytes);
}

// The estimator's last result in ascending key order.
PropertyMap map_of(const PropertyEstimator& e) {
  PropertyMap m;
  for (std::size_t i = 0; i < e.size(); ++i) m.emplace_back(e.slot_key(e.slot(i)), e.value(i));
  std::sort(m.begin(), m.end());
  return m;
}

// A fresh estimate of `c`, its names unnumbered.
PropertyMap estimate_properties(const Composition& c) {
  std::vector<tess::alloy::Constituent> cs;
  for (const auto& [n, f] : c) cs.push_back({n, f});
  PropertyEstimator e;
  e.estimate(cs);
  return map_of(e);
}

std::optional<double> find_property(const PropertyMap& m, std::string_view key) {
  for (const auto& [k, v] : m) {
    if (k == key) return v;
  }
  return std::nullopt;
}

TEST(CandidateRng, XoshiroOutputsFromAKnownState) {
  CandidateRng g = at_state({1, 2, 3, 4});
  EXPECT_EQ(g.next_u64(), 41943041u);
  EXPECT_EQ(g.next_u64(), 58720359u);
  EXPECT_EQ(g.next_u64(), 3588806011781223u);
  EXPECT_EQ(g.next_u64(), 3591011842654386u);
}

TEST(CandidateRng, SeedExpansion) {
  const CandidateRng::SeedBytes expected = {0xec, 0xf2, 0x73, 0xf9, 0x81, 0xb5, 0xcd, 0x45, 0x87, 0xf0, 0x46,
                                            0x73, 0x06, 0xad, 0x6c, 0xad, 0xd0, 0xd0, 0xa3, 0xe3, 0x33, 0x17,
                                            0xe7, 0x67, 0xf2, 0x9b, 0xea, 0x72, 0xd7, 0x8a, 0x7d, 0xfe};
  EXPECT_EQ(CandidateRng::seed_bytes_from_u64(0), expected);
  CandidateRng g = CandidateRng::seed_from_u64(0);
  const CandidateRng::State state = {0x45CDB581F973F2ECULL, 0xAD6CAD067346F087ULL, 0x67E71733E3A3D0D0ULL,
                                     0xFE7D8AD772EA9BF2ULL};
  EXPECT_EQ(g.state(), state);
  EXPECT_EQ(g.next_u64(), 0x7283E4C96896188CULL);

  // All-zero seed bytes fall back to the SplitMix64 state, never a zero state.
  const CandidateRng::State splitmix = {0xE220A8397B1DCDAFULL, 0x6E789E6AA1B965F4ULL, 0x06C45D188009454FULL,
                                        0xF88BB8A8724C81ECULL};
  EXPECT_EQ(CandidateRng::from_seed_bytes({}).state(), splitmix);

  // Entropy seeding gives distinct generators.
  EXPECT_NE(CandidateRng::seed_from_entropy().state(), CandidateRng::seed_from_entropy().state());
}

TEST(CandidateRng, UniformBelowRejectsAndConsumes) {
  // uniform_below(1) is always 0 but consumes every output >= 2^63 it rejects.
  CandidateRng g = CandidateRng::seed_from_u64(7);
  CandidateRng shadow = g;
  int rejected = 0;
  for (int i = 0; i < 64; ++i) {
    EXPECT_EQ(g.uniform_below(1), 0u);
    for (;;) {
      if (shadow.next_u64() < (std::uint64_t{1} << 63)) break;
      ++rejected;
    }
    ASSERT_EQ(g.state(), shadow.state());
  }
  EXPECT_GT(rejected, 10);

  // Widening multiply: the result is the high word of v * n.
  CandidateRng h = CandidateRng::seed_from_u64(0);
  EXPECT_EQ(h.uniform_below(6), 2u);  // high word of 0x7283E4C96896188C * 6
  for (int i = 0; i < 1000; ++i) EXPECT_LT(h.uniform_below(3), 3u);
}

TEST(CandidateRng, UniformRealBoundsAndRejection) {
  // An output whose top 52 bits are zero gives exactly `low`.
  CandidateRng low = at_state({0, 5, 9, std::uint64_t{1} << 41});
  EXPECT_EQ(low.uniform_real(0.0005, 0.2), 0.0005);

  // The largest output stays below 0.2 without a retry.
  CandidateRng top = at_state({0, 5, 9, UINT64_MAX});
  CandidateRng top_shadow = top;
  EXPECT_EQ(top.uniform_real(0.0005, 0.2), 0.19999999999999996);
  top_shadow.next_u64();
  EXPECT_EQ(top.state(), top_shadow.state());

  // A result that rounds up to `high` is drawn again.
  const double high = std::nextafter(1.0, 2.0);
  CandidateRng up = at_state({0, 5, 9, UINT64_MAX});
  CandidateRng up_shadow = up;
  EXPECT_EQ(up.uniform_real(1.0, high), 1.0);
  up_shadow.next_u64();
  EXPECT_NE(up.state(), up_shadow.state());
}

class Estimate : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    put("EstA", Json::parse(R"({"Properties": {"x": 10, "s": "text"}, "n": 26})"));
    put("EstB", Json::parse(R"({"Properties": {"x": 20, "y": 5}})"));
    put("EstTwice", Json::parse(R"({"x": 1, "Properties": {"x": 3}})"));
    put("EstStringProps", Json::parse(R"({"m": -4, "Properties": "none"})"));
    put("EstArray", Json::parse(R"([1, 2, 3])"));
    put("EstWide", Json::parse(R"({"Properties": {"a": 1, "b": 2, "x": 30, "z": 7.5}, "AtomicNumber": 3})"));
  }
  static double at(const PropertyMap& m, const std::string& key) {
    auto v = find_property(m, key);
    EXPECT_TRUE(v.has_value()) << key;
    return v.value_or(std::nan(""));
  }
};

TEST_F(Estimate, RuleOfMixtures) {
  EXPECT_TRUE(estimate_properties(Composition{}).empty());

  PropertyMap ab = estimate_properties(Composition{{"EstA", 0.6}, {"EstB", 0.4}});
  EXPECT_EQ(at(ab, "x"), 14.0);
  EXPECT_EQ(at(ab, "y"), 5.0);  // only B carries y: not diluted
  EXPECT_EQ(at(ab, "n"), 26.0);
  EXPECT_EQ(ab.size(), 3u);  // no "s", no "Properties"
  EXPECT_TRUE(std::is_sorted(ab.begin(), ab.end()));

  EXPECT_EQ(at(estimate_properties(Composition{{"EstA", 0.6}, {"NoSuchEntry", 0.4}}), "x"), 10.0);
  EXPECT_EQ(at(estimate_properties(Composition{{"EstA", 3}, {"EstB", 1}}), "x"), 12.5);
  EXPECT_EQ(at(estimate_properties(Composition{{"EstTwice", 1}}), "x"), 2.0);
  EXPECT_EQ(estimate_properties(Composition{{"EstStringProps", 1}}), (PropertyMap{{"m", -4.0}}));
  EXPECT_TRUE(estimate_properties(Composition{{"EstArray", 1}}).empty());
  EXPECT_TRUE(estimate_properties(Composition{{"esta", 1}}).empty());  // exact names only

  // Keys carried only by constituents of fraction 0 (or a negative sum) are left out.
  PropertyMap zero = estimate_properties(Composition{{"EstA", 1}, {"EstB", 0}});
  EXPECT_FALSE(find_property(zero, "y"));
  EXPECT_FALSE(find_property(estimate_properties(Composition{{"EstB", -1}}), "y"));
}

TEST_F(Estimate, ReusedEstimatorMatchesFreshEstimates) {
  // One estimator through compositions of different layouts must give what a
  // fresh estimate gives each time (no stale sums or keys).
  const std::vector<Composition> runs = {
      {{"EstA", 0.6}, {"EstB", 0.4}},
      {{"EstWide", 0.5}, {"EstA", 0.5}},
      {{"EstB", 1}},
      {{"EstTwice", 0.3}, {"EstWide", 0.2}, {"EstStringProps", 0.5}},
      {},
      {{"EstB", 0.2}, {"EstA", 0.3}, {"EstWide", 0.5}},
      {{"EstA", 0.6}, {"EstB", 0.4}},
  };
  // Numbered names (whose members the estimator remembers) and unnumbered ones
  // give the same results.
  const std::vector<std::string> numbers = {"EstA", "EstB", "EstWide", "EstTwice", "EstStringProps", "NoSuchEntry"};
  for (bool numbered : {false, true}) {
    PropertyEstimator estimator;
    for (Composition c : runs) {
      if (numbered) c.emplace_back("NoSuchEntry", 0.5);
      std::vector<tess::alloy::Constituent> cs;
      for (const auto& [n, f] : c) {
        const auto at = std::find(numbers.begin(), numbers.end(), n) - numbers.begin();
        cs.push_back({n, f, numbered ? static_cast<std::uint32_t>(at) : tess::alloy::kUnnumbered});
      }
      estimator.estimate(cs);
      EXPECT_EQ(map_of(estimator), estimate_properties(c));
      EXPECT_FALSE(find_property(map_of(estimator), "Properties"));
    }
  }
}

TEST(AlloySearch, DrawsWithoutReplacementAndScalesLargeSums) {
  CandidateRng g = CandidateRng::seed_from_u64(99);
  int scaled = 0;
  for (int i = 0; i < 2000; ++i) {
    const auto d = tess::alloy::draw_composition(g, 5);
    ASSERT_LE(d.k, 4u);
    double s = 0.0;
    for (std::size_t j = 0; j < d.k; ++j) {
      ASSERT_LT(d.index[j], 5u);
      for (std::size_t l = 0; l < j; ++l) ASSERT_NE(d.index[j], d.index[l]);
      s += d.fraction[j];
    }
    EXPECT_LE(s, 0.5 + 1e-15);
    EXPECT_GE(d.base_fraction, 0.5 - 1e-15);
    if (s > 0.4999) ++scaled;
  }
  EXPECT_GT(scaled, 0);
  // A pool of one name draws k = 0 or 1 only, always position 0.
  for (int i = 0; i < 200; ++i) {
    const auto d = tess::alloy::draw_composition(g, 1);
    ASSERT_TRUE(d.k == 0 || (d.k == 1 && d.index[0] == 0u));
  }
}

TEST(AlloySearch, Scoring) {
  using O = std::optional<double>;
  const O none;
  // clang-format off
  for (auto [min, max, weight, want] : {std::tuple{O(10.0), O(20.0), 2.0, O(20.0)}, {O(10.0), none, 1.0, O(4.0)},
           {O(10.0), none, 2.0, O(8.0)}, {none, O(20.0), -1.0, O(-6.0)}, {O(14.0), O(14.0), 3.0, O(0.0)},
           {O(20.0), O(10.0), 1.0, none}, {O(15.0), none, 1.0, none}, {none, O(13.0), 1.0, none}}) {
    // clang-format on
    const std::vector<AlloyTarget> targets = {{"x", min, max, weight}};
    EXPECT_EQ(tess::alloy::score_estimate(targets, [](std::size_t) -> O { return 14.0; }), want);
  }
  const std::vector<AlloyTarget> unknown = {{"x", none, none, 1.0}, {"", none, none, 1.0}};
  EXPECT_FALSE(tess::alloy::score_estimate(unknown, [&](std::size_t i) -> O { return i == 0 ? O(14.0) : none; }));
  const std::vector<AlloyTarget> nan_weight = {{"x", 10.0, none, std::nan("")}};
  EXPECT_TRUE(std::isnan(*tess::alloy::score_estimate(nan_weight, [](std::size_t) -> O { return 14.0; })));
}

// The plain ranking: every item kept, stable, highest first, NaN last.
std::vector<std::size_t> stable_ranking(const std::vector<double>& scores, std::size_t top_k) {
  std::vector<std::size_t> order(scores.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    return !std::isnan(scores[a]) && (std::isnan(scores[b]) || scores[a] > scores[b]);
  });
  order.resize(std::min(top_k, order.size()));
  return order;
}

TEST(AlloySearch, SearchRanksAsKeepingEveryCandidateWould) {
  const double inf = std::numeric_limits<double>::infinity();
  put("RankBase", Json{{"Properties", {{"x", 1.0}}}});
  put("RankUp", Json{{"Properties", {{"x", inf}}}});
  put("RankDown", Json{{"Properties", {{"x", -inf}}}});
  put("RankHigh", Json{{"Properties", {{"x", 2.0}}}});
  put("RankSame", Json{{"Properties", {{"x", 1.0}}}});
  const std::vector<std::string> pool = {"RankUp", "RankDown", "RankHigh", "RankSame"};
  // One estimator reused through compositions of every size must give the
  // fresh estimates. Scores inf, NaN (+inf with -inf, kept) and ties (k = 0 and "RankSame" alone); -inf alone is
  // rejected.
  const std::vector<AlloyTarget> targets = {{"x", -1e308, std::nullopt, 1.0}};
  const std::uint64_t n = 400;

  // The search written out plainly: every passing candidate kept.
  CandidateRng g = CandidateRng::seed_from_u64(5);
  std::vector<Composition> passed;
  std::vector<double> scores;
  for (std::uint64_t i = 0; i < n; ++i) {
    const auto d = tess::alloy::draw_composition(g, pool.size());
    Composition c;
    c.emplace_back("RankBase", d.base_fraction);
    for (std::size_t j = 0; j < d.k; ++j) c.emplace_back(pool[d.index[j]], d.fraction[j]);
    const PropertyMap estimate = estimate_properties(c);
    const auto score = tess::alloy::score_estimate(
        targets, [&](std::size_t t) { return find_property(estimate, targets[t].property); });
    if (!score) continue;
    passed.push_back(std::move(c));
    scores.push_back(*score);
  }
  std::size_t nan_scores = 0;
  for (double v : scores) nan_scores += std::isnan(v) ? 1 : 0;
  ASSERT_GT(nan_scores, 0u);

  for (std::uint64_t top_k : {std::uint64_t{1}, std::uint64_t{3}, std::uint64_t{40}, n}) {
    auto r = tess::alloy::optimize_alloy(targets, "RankBase", pool, n, top_k, 5);
    ASSERT_TRUE(r.ok());
    const auto expected = stable_ranking(scores, static_cast<std::size_t>(top_k));
    ASSERT_EQ(r->size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
      EXPECT_EQ((*r)[i].composition, passed[expected[i]]) << "top_k " << top_k << " place " << i;
      EXPECT_EQ(std::bit_cast<std::uint64_t>((*r)[i].score), std::bit_cast<std::uint64_t>(scores[expected[i]]));
    }
  }
}

}  // namespace
