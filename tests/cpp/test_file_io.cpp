#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "export/file_io.h"

namespace fs = std::filesystem;
using tess::exporter::FileWriter;
using tess::exporter::Parents;
using tess::exporter::write_file;

namespace {

fs::path scratch(const char* name) {
  fs::path dir = fs::temp_directory_path() / ("tess_file_io_" + std::to_string(::getpid())) / name;
  fs::remove_all(dir);
  return dir;
}

std::string slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace

TEST(FileIo, WritesWholeFilesAndReportsFailures) {
  const fs::path dir = scratch("parents");
  const std::string target = (dir / "a" / "b" / "f.bin").string();
  const std::string bytes("x\0y\n", 4);
  auto refused = write_file(target, bytes, Parents::require);
  ASSERT_FALSE(refused);
  EXPECT_EQ(refused.error().message(), "No such file or directory (os error 2)");
  EXPECT_FALSE(fs::exists(dir / "a"));

  // A NUL would cut the path short: nothing is created under either name.
  const std::string cut = (dir / "a").string() + std::string("\0/f.bin", 7);
  auto nul = write_file(cut, bytes, Parents::create);
  ASSERT_FALSE(nul);
  EXPECT_EQ(nul.error().message(), "Invalid argument (os error 22)");
  EXPECT_FALSE(fs::exists(dir));

  ASSERT_TRUE(write_file(target, bytes, Parents::create));
  EXPECT_EQ(slurp(target), bytes);
  ASSERT_TRUE(write_file(target, "z", Parents::require));  // truncates
  EXPECT_EQ(slurp(target), "z");
  fs::remove_all(dir.parent_path());
  // A device that takes nothing: the write fails, never a success. (Paths
  // that are directories or lie below files are checked through the module.)
  if (fs::exists("/dev/full")) {
    auto full = write_file("/dev/full", std::string(100000, 'x'), Parents::require);
    ASSERT_FALSE(full);
    EXPECT_EQ(full.error().message(), "No space left on device (os error 28)");
  }
}

TEST(FileIo, WriterAppendsPiecesAndEmptiesUnfinishedFiles) {
  const fs::path dir = scratch("writer");
  fs::create_directories(dir);
  const std::string target = (dir / "f.bin").string();
  {
    auto file = FileWriter::create(target, Parents::require);
    ASSERT_TRUE(file);
    ASSERT_TRUE(file->write("ab"));
    ASSERT_TRUE(file->write(std::string_view("\0c", 2)));
    ASSERT_TRUE(file->finish());
  }
  EXPECT_EQ(slurp(target), std::string("ab\0c", 4));
  {  // dropped midway, as after a failure further on: no partial file
    auto file = FileWriter::create(target, Parents::require);
    ASSERT_TRUE(file);
    ASSERT_TRUE(file->write("partial"));
  }
  EXPECT_TRUE(fs::exists(target));
  EXPECT_EQ(fs::file_size(target), 0u);
  fs::remove_all(dir.parent_path());
}
