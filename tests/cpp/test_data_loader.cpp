#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include "common/thread_pool.h"
#include "data_loader/loader.h"
#include "data_loader/sharded_map.h"
#include "data_loader/store.h"
#include "data_loader/tiers.h"

using namespace tess;
using namespace tess::data_loader;
namespace fs = std::filesystem;

TEST(Tiers, LooseSpellings) {
  struct Case {
    const char* text;
    int scope;
  } cases[] = {
      {"Alloys", 3},  {"ALLOY", 3},           {"alloysss", 3},         {"Subatoms", 0},       {"subatomics", 0},
      {"cells", 8},   {"cell_components", 9}, {"Nucleic_Acids", 10},   {"amino_acids", 6},    {"s", 12},
      {"ss", 12},     {"", 12},               {" atom", 12},           {"glass", 12},         {"nucleic acid", 12},
      {"ATOMS", 1},   {"BIOMATERIALS", 11},   {"protein\xC3\x9F", 12},
  };
  for (const auto& c : cases) EXPECT_EQ(str_to_scope(c.text), c.scope) << c.text;
}

TEST(ShardedMap, InsertReplacesAndReturnsTheDisplacedValue) {
  ShardedMap<int> map(42);
  EXPECT_FALSE(map.insert("a", 1).has_value());
  EXPECT_EQ(map.insert("a", 2), std::optional<int>(1));
  EXPECT_EQ(map.with("a", [](const int* v) { return v ? *v : -1; }), 2);
  EXPECT_EQ(map.with("A", [](const int* v) { return v ? *v : -1; }), -1);
  EXPECT_EQ(map.size(), 1u);
}

TEST(ShardedMap, OrderDependsOnTheSeedButContentDoesNot) {
  auto order = [](std::uint64_t seed) {
    ShardedMap<int> map(seed);
    for (int i = 0; i < 200; ++i) map.insert("k" + std::to_string(i), i);
    std::vector<std::string> keys;
    map.for_each([&](const std::string& k, const int&) {
      keys.push_back(k);
      return true;
    });
    return keys;
  };
  auto a = order(1), b = order(2);
  EXPECT_EQ(std::set<std::string>(a.begin(), a.end()), std::set<std::string>(b.begin(), b.end()));
  EXPECT_NE(a, b);
}

TEST(ShardedMap, ConcurrentInsertsOnThePool) {
  ShardedMap<int> map;
  parallel_for(64, [&](std::size_t i) {
    for (int k = 0; k < 100; ++k) map.insert(std::to_string(i) + "/" + std::to_string(k), k);
  });
  EXPECT_EQ(map.size(), 6400u);
}

TEST(Store, HasTheTwelveTiersAndInsertsReturnDisplacedValues) {
  auto names = DATA().tier_names();
  EXPECT_EQ(std::set<std::string>(names.begin(), names.end()),
            std::set<std::string>(TIER_NAMES.begin(), TIER_NAMES.end()));
  auto first = DATA().insert_entry("alloy", "StoreTestX", Json{{"a", 1}});
  ASSERT_TRUE(first.ok());
  EXPECT_FALSE(first->has_value());
  auto second = DATA().insert_entry("alloy", "StoreTestX", Json(2));
  ASSERT_TRUE(second.ok());
  EXPECT_EQ(**second, (Json{{"a", 1}}));
  EXPECT_EQ(DATA().get_entry("alloy", "StoreTestX"), std::optional<Json>(Json(2)));
  EXPECT_FALSE(DATA().get_entry("atom", "StoreTestX").has_value());
  EXPECT_EQ(DATA().find_entry("StoreTestX"), std::optional<Json>(Json(2)));
  EXPECT_FALSE(DATA().find_entry("storetestx").has_value());
  EXPECT_FALSE(DATA().insert_entry("metal", "X", Json()).ok());
}

class LoaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("tessarine-loader-" + std::to_string(::getpid()));
    fs::remove_all(root_);
    fs::create_directories(root_ / "molecule" / "sub");
  }
  void TearDown() override { fs::remove_all(root_); }
  void write(const std::string& rel, const std::string& text) { std::ofstream(root_ / rel, std::ios::binary) << text; }
  fs::path root_;
};

TEST_F(LoaderTest, KeepsAcceptedFilesAndSkipsTheRest) {
  write("molecule/LdrList.json", "[1, 2]");
  write("molecule/LdrTrailing.json", "{} x");
  write("molecule/LdrEmpty.json", "");
  write("molecule/LdrUpper.JSON", "{}");
  write("molecule/.json", "{}");
  write("molecule/.LdrHidden.json", "{\"h\": true}");
  write("molecule/H2O.LdrLiquid.json", "{\"state\": \"liquid\"}");
  write("molecule/sub/LdrNested.json", "{}");
  write("molecule/LdrDeep.json", std::string(10000, '[') + std::string(10000, ']'));
  write("molecule/LdrBadUtf8.json", "\"\xC3\x28\"");
  write("molecule/LdrBom.json", "\xEF\xBB\xBF{}");
  write("molecule/LdrTarget.txt", "{\"linked\": 1}");
  fs::create_symlink(root_ / "molecule" / "LdrTarget.txt", root_ / "molecule" / "LdrLink.json");
  fs::create_symlink(root_ / "molecule" / "missing", root_ / "molecule" / "LdrDangling.json");
  fs::create_directory(root_ / "molecule" / "LdrDir.json");
  ASSERT_EQ(::mkfifo((root_ / "molecule" / "LdrFifo.json").c_str(), 0600), 0);
  write(std::string("molecule/Ldr\xFF.json"), "{}");

  ASSERT_TRUE(load_all_tiers(root_).ok());  // a FIFO must not block the load
  auto in_molecule = [](const char* name) { return DATA().get_entry("molecule", name); };
  EXPECT_EQ(in_molecule("LdrList"), std::optional<Json>(Json::array({1, 2})));
  EXPECT_EQ(in_molecule(".LdrHidden"), std::optional<Json>(Json{{"h", true}}));
  EXPECT_TRUE(in_molecule("H2O.LdrLiquid").has_value());
  EXPECT_EQ(in_molecule("LdrLink"), std::optional<Json>(Json{{"linked", 1}}));
  for (const char* skipped : {"LdrTrailing", "LdrEmpty", "LdrUpper", "", "LdrNested", "LdrDeep", "LdrBadUtf8",
                              "LdrBom", "LdrDangling", "LdrDir", "LdrFifo"}) {
    EXPECT_FALSE(in_molecule(skipped).has_value()) << skipped;
  }
}

TEST_F(LoaderTest, RootMustExistAndBeADirectory) {
  auto missing = load_all_tiers(root_ / "nope");
  ASSERT_FALSE(missing.ok());
  EXPECT_EQ(missing.error().message(), "data_loader::load_all_tiers: root does not exist: " + (root_ / "nope").string());
  write("file", "x");
  auto file = load_all_tiers(root_ / "file");
  ASSERT_FALSE(file.ok());
  EXPECT_EQ(file.error().message(), "data_loader::load_all_tiers: root is not a directory: " + (root_ / "file").string());
  auto bad = load_all_tiers(fs::path(std::string("/nonexistent/\xFF")));
  EXPECT_EQ(bad.error().message(), "data_loader::load_all_tiers: root does not exist: /nonexistent/\xEF\xBF\xBD");
}
