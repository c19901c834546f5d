// Resolution to (tier, entry name), and the name and key lists, against
// stores built by each test.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "data_loader/tiers.h"
#include "get/names.h"
#include "get/resolve.h"

namespace tess::get {
namespace {

using data_loader::DataStore;
using data_loader::SCOPE_ALL;
using data_loader::TIER_NAMES;

TEST(ResolveEntry, FindsTheEntryThatResolveNamedReturns) {
  // Colliding names, symbols and aliases in several tiers and letter cases:
  // the entry named must be the one whose value resolve_named returns.
  const std::vector<std::string> words = {"a", "A", "b", "ΟΔΟΣ", "οδος", "ß", "SS", "İ"};
  std::mt19937 rng(11);
  auto word = [&] { return words[rng() % words.size()]; };
  DataStore store;
  for (int i = 0; i < 300; ++i) {
    Json v = {{"i", i}};
    if (rng() % 2) v[rng() % 3 ? "Symbol" : "symbol"] = word();
    if (rng() % 2) v[rng() % 3 ? "Aliases" : "aliases"] = Json::array({word(), word()});
    ASSERT_TRUE(store.insert_entry(TIER_NAMES[rng() % 12], word() + std::to_string(rng() % 30), std::move(v)).ok());
  }
  int hits = 0;
  for (const auto& w : words) {
    for (const std::string& q : {w, w + "3", w + "17", w + "x"}) {
      for (const std::uint8_t scope : {SCOPE_ALL, std::uint8_t{1}, std::uint8_t{7}}) {
        auto value = resolve_named(store, q, scope);
        auto ref = resolve_entry(store, q, scope);
        ASSERT_EQ(value.ok(), ref.ok()) << q;
        if (!ref) {
          EXPECT_EQ(ref.error().message(), value.error().message());
          continue;
        }
        EXPECT_TRUE(scope == SCOPE_ALL || ref->tier == scope);
        EXPECT_EQ(store.get_entry(TIER_NAMES[ref->tier], ref->name), *value) << q;
        ++hits;
      }
    }
  }
  EXPECT_GT(hits, 30);
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
