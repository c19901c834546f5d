#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <vector>

#include "export/file_io.h"
#include "scratch_helpers.h"

namespace fs = std::filesystem;
using tess::Cancel;
using tess::Cancelled;
using tess::exporter::FileWriter;
using tess::exporter::Parents;
using tess::exporter::same_destination;
using tess::exporter::write_file;

namespace {

fs::path scratch(const char* name) { return ::scratch("tess_file_io_", name); }

// The names in `dir`, sorted: what a writer leaves behind.
std::vector<std::string> names_in(const fs::path& dir) {
  std::vector<std::string> out;
  for (const auto& e : fs::directory_iterator(dir)) out.push_back(e.path().filename().string());
  std::sort(out.begin(), out.end());
  return out;
}

using Names = std::vector<std::string>;

mode_t mode_of(const fs::path& p) {
  struct stat st {};
  EXPECT_EQ(::stat(p.c_str(), &st), 0);
  return st.st_mode;
}

// A character device like /dev/<name>: a node of our own in `dir` where the
// system lets us make one, so that a writer that wrongly replaced its target
// could never touch the real one; else the real one, only ever written.
std::string device(const fs::path& dir, const char* name, unsigned minor) {
  std::string own = (dir / name).string();
  if (::mknod(own.c_str(), S_IFCHR | 0666, makedev(1, minor)) == 0) {
    const int fd = ::open(own.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd >= 0) {
      ::close(fd);
      return own;
    }
    ::unlink(own.c_str());
  }
  return std::string("/dev/") + name;
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

  ASSERT_TRUE(write_file(target, bytes, Parents::create));
  EXPECT_EQ(slurp(target), bytes);
  ASSERT_TRUE(write_file(target, "z", Parents::require));  // replaced whole
  EXPECT_EQ(slurp(target), "z");
  EXPECT_EQ(names_in(dir / "a" / "b"), Names{"f.bin"});
  fs::remove_all(dir.parent_path());
}

TEST(FileIo, AFailureOrAStopLeavesTheOldFileAndNoTemporary) {
  const fs::path dir = scratch("failure");
  const fs::path target = dir / "keep.vtk";
  std::ofstream(target) << "old";
  auto untouched = [&] { return slurp(target) == "old" && names_in(dir) == Names{"keep.vtk"}; };
  {  // complete but never committed, as the first of two files whose second failed
    auto file = FileWriter::create(target.string(), Parents::require);
    ASSERT_TRUE(file && file->write("whole"));
    EXPECT_EQ(names_in(dir).size(), 2u);  // the temporary beside the target
    ASSERT_TRUE(file->complete());
  }
  EXPECT_TRUE(untouched());
  fs::remove_all(dir.parent_path());
}

TEST(FileIo, ReplacedFilesKeepTheirBitsAndLinksStayLinks) {
  const fs::path dir = scratch("links");
  const fs::path kept = dir / "kept.stl";
  std::ofstream(kept) << "old";
  ASSERT_EQ(::chmod(kept.c_str(), 0604), 0);
  ASSERT_TRUE(write_file(kept.string(), "new", Parents::require));
  EXPECT_EQ(slurp(kept), "new");
  EXPECT_EQ(mode_of(kept) & 07777, 0604u);

  const mode_t mask = ::umask(022);
  ::umask(mask);
  ASSERT_TRUE(write_file((dir / "fresh.stl").string(), "x", Parents::require));
  EXPECT_EQ(mode_of(dir / "fresh.stl") & 07777, 0666 & ~mask);

  // A link to a file: the file gets the bytes, the link stays.
  fs::create_directories(dir / "sub");
  std::ofstream(dir / "sub" / "real.obj") << "old";
  fs::create_symlink("sub/real.obj", dir / "link.obj");
  ASSERT_TRUE(write_file((dir / "link.obj").string(), "via link", Parents::require));
  EXPECT_TRUE(fs::is_symlink(dir / "link.obj"));
  EXPECT_EQ(slurp(dir / "sub" / "real.obj"), "via link");

  // A chain of links that dangles, relative to each link's directory: the
  // file is made where the chain ends.
  fs::create_symlink("../made.raw", dir / "sub" / "inner");
  fs::create_symlink("sub/inner", dir / "outer.raw");
  ASSERT_TRUE(write_file((dir / "outer.raw").string(), "made", Parents::require));
  EXPECT_TRUE(fs::is_symlink(dir / "outer.raw") && fs::is_symlink(dir / "sub" / "inner"));
  EXPECT_EQ(slurp(dir / "made.raw"), "made");
  EXPECT_EQ(names_in(dir), (Names{"fresh.stl", "kept.stl", "link.obj", "made.raw", "outer.raw", "sub"}));
  EXPECT_EQ(names_in(dir / "sub"), (Names{"inner", "real.obj"}));

  // The same destination however it is reached, before or after it exists.
  fs::create_symlink("x.obj", dir / "x.mtl");
  fs::create_symlink("sub", dir / "also");
  EXPECT_TRUE(same_destination((dir / "x.mtl").string(), (dir / "x.obj").string()));
  EXPECT_TRUE(same_destination((dir / "also" / "new.json").string(), (dir / "sub" / "new.json").string()));
  EXPECT_TRUE(same_destination((dir / "also" / "real.obj").string(), (dir / "link.obj").string()));
  EXPECT_FALSE(same_destination((dir / "x.mtl").string(), (dir / "x.json").string()));

  fs::create_symlink("loop", dir / "loop");
  auto loop = write_file((dir / "loop").string(), "x", Parents::require);
  ASSERT_FALSE(loop);
  EXPECT_EQ(loop.error().message(), "Too many levels of symbolic links (os error 40)");
  fs::remove_all(dir.parent_path());
}

TEST(FileIo, AFifoWithAnIdleReaderHoldsTheCallOnlyUntilTheTokenStops) {
  // (No reader, and a reader that drains it, are checked through the module.)
  const fs::path dir = scratch("fifo");
  const std::string fifo = (dir / "p.stl").string();
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const int idle = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  ASSERT_GE(idle, 0);
  StopAfter stop(20);
  EXPECT_THROW((void)write_file(fifo, std::string(1 << 20, 'p'), Parents::require, stop.cancel), Cancelled);
  ::close(idle);
  EXPECT_EQ(names_in(dir), Names{"p.stl"});
  EXPECT_TRUE(fs::is_fifo(fifo));
  fs::remove_all(dir.parent_path());
}

TEST(FileIo, DevicesAreWrittenInPlace) {
  const fs::path dir = scratch("devices");
  const std::string null = device(dir, "null", 3), full = device(dir, "full", 7);
  ASSERT_TRUE(write_file(null, std::string(100000, 'x'), Parents::require));
  auto refused = write_file(full, std::string(100000, 'x'), Parents::require);
  ASSERT_FALSE(refused);
  EXPECT_EQ(refused.error().message(), "No space left on device (os error 28)");
  EXPECT_TRUE(S_ISCHR(mode_of(null)) && S_ISCHR(mode_of(full)));
  fs::remove_all(dir.parent_path());
}

TEST(FileIo, AFileInADirectoryClosedToNewFilesIsWrittenInPlace) {
  // Only a user without the power to override permissions sees the
  // directory refuse a temporary; as root the test runs as nobody.
  const fs::path dir = scratch("closed");
  const fs::path target = dir / "open.hlsl";
  std::ofstream(target) << "old";
  ASSERT_EQ(::chmod(target.c_str(), 0666), 0);
  ASSERT_EQ(::chmod(dir.c_str(), 0755), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::chmod(dir.c_str(), 0555);
    if (::geteuid() == 0 && ::setresuid(65534, 65534, 65534) != 0) ::_exit(2);
    ::_exit(write_file(target.string(), "new", Parents::require) ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ::chmod(dir.c_str(), 0755);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(slurp(target), "new");
  EXPECT_EQ(names_in(dir), Names{"open.hlsl"});
  fs::remove_all(dir.parent_path());
}

TEST(FileIo, AFileOfKnownSizeWithoutRoomFailsBeforeItsFirstByte) {
  // Room runs out as on a full disk: beyond a file size limit, with the
  // limit's signal ignored, allocation fails like a write, with EFBIG.
  const fs::path dir = scratch("room");
  const fs::path target = dir / "big.raw";
  std::ofstream(target) << "old";
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{4096, RLIM_INFINITY};
    if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(2);
    auto file = FileWriter::create(target.string(), Parents::require);
    if (!file) ::_exit(2);
    const auto reserved = file->reserve(std::uint64_t{1} << 20);
    if (reserved) ::_exit(3);  // a file system that allocates nothing ahead
    ::_exit(reserved.error().message() == "File too large (os error 27)" ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == 3) GTEST_SKIP() << "no allocation ahead on this file system";
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(slurp(target), "old");
  EXPECT_EQ(names_in(dir), Names{"big.raw"});
  fs::remove_all(dir.parent_path());
}
