#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "common/platform.h"

namespace fs = std::filesystem;
using namespace tess::platform;

TEST(Platform, EntropyFillsEveryByteAndNeverRepeats) {
  std::array<std::byte, 32> a{}, b{};
  ASSERT_TRUE(random_bytes(a).ok());
  ASSERT_TRUE(random_bytes(b, false).ok());
  EXPECT_NE(a, b);
  // More than one call of the system's source gives (getentropy: 256 bytes).
  std::vector<std::byte> many(1000);
  ASSERT_TRUE(random_bytes(many).ok());
  EXPECT_LT(std::count(many.end() - 100, many.end(), std::byte{0}), 10);
}

TEST(Platform, MemoryErrorsAndPages) {
  // The kernel's own count, where the build asks the system at all.
  if (const auto memory = physical_memory()) {
    std::ifstream meminfo("/proc/meminfo");
    std::string key;
    std::uint64_t kib = 0;
    while (meminfo >> key >> kib && key != "MemTotal:") meminfo.ignore(64, '\n');
    EXPECT_EQ(*memory, kib * 1024);
  }
  EXPECT_EQ(error_text(ENOENT), "No such file or directory");
  EXPECT_EQ(error_text(99999), "Unknown error 99999");

  EXPECT_TRUE(in_proc("/proc/self/fd/"));
  EXPECT_TRUE(in_proc("/dev/fd/"));  // a link into /proc
  EXPECT_FALSE(in_proc(fs::temp_directory_path().string()));
  EXPECT_FALSE(in_proc(""));  // the current directory
}

TEST(Platform, DirectoryListsEntriesAndReadsRegularFilesOnly) {
  const fs::path dir = fs::temp_directory_path() / ("tess_platform_" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir / "sub");
  std::ofstream(dir / "a.json", std::ios::binary) << "{\"a\": 1}";
  std::ofstream(dir / "empty", std::ios::binary) << "";
  fs::create_symlink("a.json", dir / "link");
  fs::create_symlink("nowhere", dir / "dangling");
  ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);

  Directory listing(dir.string());
  ASSERT_TRUE(listing.is_open());
  std::vector<std::string> names;
  while (const char* name = listing.next()) names.emplace_back(name);
  EXPECT_EQ(listing.next(), nullptr);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"a.json", "dangling", "empty", "fifo", "link", "sub"}));

  std::string bytes = "old";
  int err = 0;
  for (const char* name : {"a.json", "link"}) {
    EXPECT_EQ(listing.read_file(name, bytes, err), Directory::Read::ok) << name;
    EXPECT_EQ(bytes, "{\"a\": 1}");
  }
  EXPECT_EQ(listing.read_file("empty", bytes, err), Directory::Read::ok);
  EXPECT_EQ(bytes, "");
  for (const char* name : {"sub", "fifo", "dangling", "missing"}) {  // a FIFO without a writer must not block
    EXPECT_EQ(listing.read_file(name, bytes, err), Directory::Read::skip) << name;
  }

  Directory missing((dir / "missing").string());
  EXPECT_FALSE(missing.is_open());
  EXPECT_EQ(missing.next(), nullptr);
  fs::remove_all(dir);
}
