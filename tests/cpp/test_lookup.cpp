// Name and formula resolution, name and key lists, against stores built by each test.
#include <gtest/gtest.h>

#include <random>

#include "common/unicode.h"
#include "data_loader/tiers.h"
#include "get/get.h"
#include "get/names.h"
#include "get/resolve.h"

namespace tess::get {
namespace {

using data_loader::DataStore;
using data_loader::SCOPE_ALL;
using data_loader::TIER_NAMES;

void put(DataStore& store, std::string_view tier, std::string name, const char* json) {
  ASSERT_TRUE(store.insert_entry(tier, std::move(name), Json::parse(json)).ok());
}

// The plain algorithm: one scan per stage, lower-casing on every comparison.
std::optional<Json> reference(const DataStore& store, std::string_view name) {
  const auto reader = store.read();
  const std::string lower = unicode::to_lower(name);
  for (auto tier : TIER_NAMES) {
    if (auto e = reader.get_entry(tier, name)) return e;
  }
  auto keyed = [](const Json& v, const char* a, const char* b) -> const Json* {
    const Json* m = member(v, a);
    return m ? m : member(v, b);
  };
  for (int stage = 2; stage <= 6; ++stage) {
    for (auto tier : TIER_NAMES) {
      std::optional<Json> hit;
      reader.scan_tier(tier, [&](const std::string& n, const data_loader::Entry& e) {
        bool match = false;
        if (stage == 2) match = unicode::to_lower(n) == lower;
        const Json* s = keyed(e.value, "Symbol", "symbol");
        if ((stage == 3 || stage == 4) && s && s->is_string())
          match = stage == 3 ? s->get<std::string>() == name : unicode::to_lower(s->get<std::string>()) == lower;
        const Json* a = keyed(e.value, "Aliases", "aliases");
        if ((stage == 5 || stage == 6) && a && a->is_array())
          for (const Json& x : *a)
            if (x.is_string())
              match = match ||
                      (stage == 5 ? x.get<std::string>() == name : unicode::to_lower(x.get<std::string>()) == lower);
        if (match) hit = e.value;
        return !match;
      });
      if (hit) return hit;
    }
  }
  return std::nullopt;
}

// resolve_named against the plain stage-by-stage scans, and resolve_entry
// naming the entry whose value resolve_named returns, in every scope.
TEST(ResolveNamed, OnePassAgreesWithStageByStageScans) {
  const std::vector<std::string> words = {"a", "A", "b", "B", "ΟΔΟΣ", "οδος", "ß", "SS", "İ", "i̇"};
  std::mt19937 rng(7);
  auto word = [&] { return words[rng() % words.size()]; };
  DataStore store;
  for (int i = 0; i < 400; ++i) {
    Json v = {{"i", i}};
    if (rng() % 2) v[rng() % 3 ? "Symbol" : "symbol"] = word();
    if (rng() % 2) v[rng() % 3 ? "Aliases" : "aliases"] = Json::array({word(), word()});
    put(store, TIER_NAMES[rng() % 12], word() + std::to_string(rng() % 40), v.dump().c_str());
  }
  int hits = 0;
  for (const auto& w : words) {
    for (const std::string& q : {w, w + "3", w + "17", w + "x"}) {
      for (const std::uint8_t scope : {SCOPE_ALL, std::uint8_t{1}, std::uint8_t{7}}) {
        auto r = resolve_named(store, q, scope);
        auto entry = resolve_entry(store, q, scope);
        ASSERT_EQ(r.ok(), entry.ok()) << q;
        if (scope == SCOPE_ALL) {
          auto ref = reference(store, q);
          ASSERT_EQ(r.ok(), ref.has_value()) << q;
          if (ref) {
            EXPECT_EQ(*r, *ref) << q;
          }
        }
        if (!entry) {
          EXPECT_EQ(entry.error().message(), r.error().message());
          continue;
        }
        EXPECT_TRUE(scope == SCOPE_ALL || entry->tier == scope);
        EXPECT_EQ(store.get_entry(TIER_NAMES[entry->tier], entry->name), *r) << q;
        ++hits;
      }
    }
  }
  EXPECT_GT(hits, 40);
  // A symbol or alias that is no string is none; "symbol" counts only without "Symbol".
  DataStore odd;
  put(odd, "atom", "Iron", R"({"Symbol": 26, "symbol": "Zz", "Aliases": [1, "ferro"]})");
  put(odd, "molecule", "Ferrite", R"({"aliases": ["FERRO"]})");
  for (auto [spec, name] : {std::pair{"ferro", "Iron"}, {"FeRRo", "Iron"}, {"FERRO", "Ferrite"}}) {
    EXPECT_EQ(resolve_entry(odd, spec, SCOPE_ALL)->name, name) << spec;  // an exact alias first, then any case
  }
  for (const char* none : {"Zz", "zz", "26"}) EXPECT_FALSE(resolve_named(odd, none, SCOPE_ALL).ok()) << none;
}

TEST(ParseFormula, Shapes) {
  auto parts = [](std::string_view spec) {
    auto f = parse_formula(spec);
    if (!f) return "error: " + f.error().message();
    if (!*f) return std::string("not a formula");
    std::string s;
    for (const auto& [n, c] : (*f)->parts) s += "[" + n + "=" + std::to_string(c) + "]";
    return s;
  };
  EXPECT_EQ(parts(" {Fe=2, Ni = +1 ,Fe=0}\t"), "[Fe=2][Ni=1][Fe=0]");
  EXPECT_EQ(parts("{\u00A0Ni\u2003=\u30004294967295}"), "[Ni=4294967295]");
  EXPECT_EQ(parts("x{Fe=1}"), "not a formula");
  EXPECT_EQ(parts("{"), "not a formula");
  EXPECT_EQ(parts("   "), "not a formula");
  for (const char* bad : {"{}", "{ \u2028 }", "{Fe}", "{=2}", "{Fe=2,}", "{,Fe=2}"}) {
    EXPECT_EQ(parts(bad), "error: invalid formula: " + std::string(bad));
  }
  EXPECT_EQ(parts("{Fe=2=3}"), "error: formula count '2=3' is not a non-negative integer");
  for (const char* count : {"", "-1", "x", "+", "++1", "4294967296", "1.5"}) {
    EXPECT_EQ(parts("{Fe=" + std::string(count) + "}"),
              "error: formula count '" + std::string(count) + "' is not a non-negative integer");
  }
  auto f = parse_formula("{Fe=99999999999}");
  ASSERT_FALSE(f.ok());
  ASSERT_NE(f.error().cause(), nullptr);
}

TEST(ResolveFormula, MergesByCount) {
  DataStore store;
  put(store, "atom", "Fe", R"({"density": 7874, "Symbol": "Fe", "formula": "x", "big": 1e308, "neg": -3})");
  put(store, "alloy", "Ni", R"({"density": 8908.5, "Symbol": "Ni", "big": "str", "neg": "late"})");
  put(store, "ceramic", "List", R"([1, 2])");
  put(store, "atom", "A", R"({"v": 0.1})");
  put(store, "atom", "B", R"({"v": -0.30000000000000004})");
  auto run = [&](const Formula& f) {
    auto r = resolve_formula(store, f);
    return r ? dump_compact(*r) : r.error().message();
  };
  EXPECT_EQ(run({{{"Fe", 2}, {"ni", 1}, {"List", 4}}}),
            R"({"Symbol":"Fe","big":null,"density":24656.5,"formula":"Fe2ni1List4","neg":-6.0})");
  EXPECT_EQ(run({{{"Ni", 1}, {"Fe", 0}}}),
            R"({"Symbol":"Ni","big":0.0,"density":8908.5,"formula":"Ni1Fe0","neg":0.0})");
  // 0.1 * 3 rounds to 0.30000000000000004 before the add; a fused multiply-add would not give 0.
  EXPECT_EQ(run({{{"B", 1}, {"A", 3}}}), R"({"formula":"B1A3","v":0.0})");
  EXPECT_NO_THROW(run({{{"Fe", 1000}}}));
  EXPECT_THROW(run({{{"Fe", 1}, {"Fe", 1001}}}), Panic);
  auto missing = resolve_formula(store, Formula{{{"Fe", 1}, {"Nope", 1}}});
  ASSERT_FALSE(missing.ok());
  EXPECT_EQ(missing.error().message(), "formula constituent 'Nope' not found");
  ASSERT_NE(missing.error().cause(), nullptr);
  EXPECT_EQ(missing.error().cause()->message(), "unknown name: Nope");
}

TEST(EntryNames, ListsByTierThenNameAndKeysOnce) {
  DataStore store;
  ASSERT_TRUE(
      store.insert_entry("alloy", "Steel", Json::parse(R"({"Symbol": "St", "Aliases": ["mild steel", 3]})")).ok());
  ASSERT_TRUE(store.insert_entry("alloy", "Brass", Json::parse(R"({"symbol": "Bs", "Aliases": ["Steel"]})")).ok());
  ASSERT_TRUE(store.insert_entry("atom", "Fe", Json::parse(R"({"Symbol": 26})")).ok());
  ASSERT_TRUE(store.insert_entry("atom", "Cu", Json::parse(R"([1, 2])")).ok());

  const std::vector<EntryRef> all = {{1, "Cu"}, {1, "Fe"}, {3, "Brass"}, {3, "Steel"}};
  EXPECT_EQ(entry_names(store, SCOPE_ALL), all);
  EXPECT_EQ(entry_names(store, 3), std::vector<EntryRef>(all.begin() + 2, all.end()));
  EXPECT_TRUE(entry_names(store, 0).empty());

  const std::vector<std::string> alloy_keys = {"Brass", "Bs", "St", "Steel", "mild steel"};
  EXPECT_EQ(lookup_keys(store, 3), alloy_keys);
  const std::vector<std::string> atom_keys = {"Cu", "Fe"};  // a numeric symbol is no key
  EXPECT_EQ(lookup_keys(store, 1), atom_keys);
  EXPECT_EQ(lookup_keys(store, SCOPE_ALL).size(), 7u);
}

}  // namespace
}  // namespace tess::get
