#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>

#include "common/thread_pool.h"
#include "data_loader/data_loader.h"
#include "data_loader/sharded_map.h"
#include "data_loader/store.h"
#include "data_loader/tiers.h"
#include "scratch_helpers.h"

using namespace tess;
using namespace tess::data_loader;
namespace fs = std::filesystem;

TEST(Tiers, LooseSpellings) {
  for (auto [text, scope] : {std::pair{"Alloys", 3},
                             {"ALLOY", 3},
                             {"alloysss", 3},
                             {"Subatoms", 0},
                             {"subatomics", 0},
                             {"cells", 8},
                             {"cell_components", 9},
                             {"Nucleic_Acids", 10},
                             {"amino_acids", 6},
                             {"ATOMS", 1},
                             {"BIOMATERIALS", 11},
                             {"s", 12},
                             {"ss", 12},
                             {"", 12},
                             {" atom", 12},
                             {"glass", 12},
                             {"nucleic acid", 12},
                             {"protein\xC3\x9F", 12}}) {
    EXPECT_EQ(str_to_scope(text), scope) << text;
  }
}

TEST(ShardedMap, InsertScanAndOrder) {
  ShardedMap<int> map(42);
  auto value = [&](const char* k) { return map.with(k, [](const int* v) { return v ? *v : -1; }); };
  EXPECT_FALSE(map.insert("a", 1).has_value());
  EXPECT_EQ(map.insert("a", 2), std::optional<int>(1));
  EXPECT_EQ(std::pair(value("a"), value("A")), std::pair(2, -1));
  // A scan visits each key once with its latest value; only its order depends on the seed.
  auto scan = [](std::uint64_t seed) {
    ShardedMap<int> m(seed);
    for (int i = 0; i < 100; ++i) m.insert(std::to_string(i % 40), i);
    std::vector<std::pair<std::string, int>> seen;
    m.for_each([&](const std::string& k, const int& v) { return seen.emplace_back(k, v), true; });
    return seen;
  };
  auto one = scan(1), two = scan(2);
  EXPECT_NE(one, two);
  std::sort(one.begin(), one.end());
  std::sort(two.begin(), two.end());
  EXPECT_EQ(one, two);
  ASSERT_EQ(one.size(), 40u);
  for (const auto& [k, v] : one) EXPECT_EQ(v, std::stoi(k) + (std::stoi(k) < 20 ? 80 : 40));
  ShardedMap<int> pooled;
  parallel_for(64, [&](std::size_t i) {
    for (int k = 0; k < 100; ++k) pooled.insert(std::to_string(i) + "/" + std::to_string(k), k);
  });
  EXPECT_EQ(pooled.size(), 6400u);
}

TEST(Loader, KeepsAcceptedFilesAndSkipsTheRest) {
  const fs::path root = scratch("tessarine-loader-", "root");
  fs::create_directories(root / "molecule" / "sub");
  auto write = [&](const std::string& rel, const std::string& text) {
    std::ofstream(root / rel, std::ios::binary) << text;
  };
  write("molecule/LdrList.json", "[1, 2]");
  write("molecule/LdrTrailing.json", "{} x");
  write("molecule/LdrEmpty.json", "");
  write("molecule/LdrUpper.JSON", "{}");
  write("molecule/.json", "{}");
  write("molecule/.LdrHidden.json", "{\"h\": true}");
  write("molecule/H2O.LdrLiquid.json", "{\"state\": \"liquid\"}");
  write("molecule/sub/LdrNested.json", "{}");
  write("molecule/LdrBadUtf8.json", "\"\xC3\x28\"");
  write("molecule/LdrBom.json", "\xEF\xBB\xBF{}");
  write("molecule/LdrTarget.txt", "{\"linked\": 1}");
  fs::create_symlink(root / "molecule" / "LdrTarget.txt", root / "molecule" / "LdrLink.json");
  ASSERT_EQ(::mkfifo((root / "molecule" / "LdrFifo.json").c_str(), 0600), 0);
  write(std::string("molecule/Ldr\xFF.json"), "{}");

  auto loaded = load_all_tiers(root);  // a FIFO must not block the load
  ASSERT_TRUE(loaded.ok());
  EXPECT_EQ(*loaded, std::vector<std::string>{});  // skipped without a word
  auto in_molecule = [](const char* name) { return DATA().get_entry("molecule", name); };
  EXPECT_EQ(in_molecule("LdrList"), std::optional<Json>(Json::array({1, 2})));
  EXPECT_EQ(in_molecule(".LdrHidden"), std::optional<Json>(Json{{"h", true}}));
  EXPECT_TRUE(in_molecule("H2O.LdrLiquid").has_value());
  EXPECT_EQ(in_molecule("LdrLink"), std::optional<Json>(Json{{"linked", 1}}));
  // (Deep nesting, directories and dangling links are checked through the module.)
  for (const char* skipped :
       {"LdrTrailing", "LdrEmpty", "LdrUpper", "", "LdrNested", "LdrBadUtf8", "LdrBom", "LdrFifo"}) {
    EXPECT_FALSE(in_molecule(skipped).has_value()) << skipped;
  }
  fs::remove_all(root.parent_path());
}

TEST(Loader, RootNamesAreReportedAsValidText) {
  auto bad = load_all_tiers(fs::path(std::string("/nonexistent/\xFF")));
  EXPECT_EQ(bad.error().message(), "data_loader::load_all_tiers: root does not exist: /nonexistent/\xEF\xBF\xBD");
}
