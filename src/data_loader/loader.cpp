#include "data_loader/loader.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "common/json.h"
#include "common/thread_pool.h"
#include "common/unicode.h"
#include "data_loader/store.h"
#include "data_loader/tiers.h"

namespace tess::data_loader {
namespace {

bool is_directory(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Reads a whole regular file (after following links) named relative to the
// open directory `dir_fd`. Anything else (a directory, a FIFO, a device) is
// refused so that it can neither fail midway nor block the import.
bool read_regular_file(int dir_fd, const char* name, std::string& out) {
  int fd = ::openat(dir_fd, name, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOATIME);
  if (fd < 0 && errno == EPERM) fd = ::openat(dir_fd, name, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return false;
  struct stat st {};
  bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  if (ok) {
    // Ask for one byte more than the file holds: a short read of a regular
    // file is its end, so the usual case takes a single read.
    std::size_t want = static_cast<std::size_t>(st.st_size) + 1;
    out.resize(want);
    std::size_t have = 0;
    for (;;) {
      const ssize_t n = ::read(fd, out.data() + have, want - have);
      if (n < 0) {
        if (errno == EINTR) continue;
        ok = false;
        break;
      }
      have += static_cast<std::size_t>(n);
      if (n == 0 || have < want) break;
      want *= 2;  // the file grew while we read it
      out.resize(want);
    }
    out.resize(have);
  }
  ::close(fd);
  return ok;
}

}  // namespace

void load_tier(const std::filesystem::path& root, std::string_view tier) {
  const std::string dir = (root / std::string(tier)).string();
  if (!is_directory(dir)) return;
  DIR* listing = ::opendir(dir.c_str());
  if (listing == nullptr) return;
  std::string bytes;
  while (const dirent* de = ::readdir(listing)) {
    const std::string_view file_name(de->d_name);
    if (file_name == "." || file_name == "..") continue;
    const auto dot = file_name.rfind('.');
    if (dot == std::string_view::npos || dot == 0 || file_name.substr(dot + 1) != "json") continue;
    const std::string_view stem = file_name.substr(0, dot);
    if (!unicode::is_valid_utf8(stem)) continue;
    if (!read_regular_file(::dirfd(listing), de->d_name, bytes)) continue;
    Result<Json> value = parse_json(bytes);
    if (!value) continue;
    (void)DATA().insert_entry(tier, std::string(stem), std::move(value).value());
  }
  ::closedir(listing);
}

Status load_all_tiers(const std::filesystem::path& root) {
  const std::string shown = unicode::to_valid_utf8(root.native());
  struct stat st {};
  if (::stat(root.c_str(), &st) != 0) {
    return Error("data_loader::load_all_tiers: root does not exist: " + shown);
  }
  if (!S_ISDIR(st.st_mode)) {
    return Error("data_loader::load_all_tiers: root is not a directory: " + shown);
  }
  DATA().set_root(root);
  parallel_for(TIER_NAMES.size(), [&](std::size_t i) { load_tier(root, TIER_NAMES[i]); });
  return ok_status();
}

}  // namespace tess::data_loader
