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

// Reads a whole regular file (after following links). Anything else (a
// directory, a FIFO, a device) is refused so that it can neither fail midway
// nor block the import.
bool read_regular_file(const std::string& path, std::string& out) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return false;
  struct stat st {};
  bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  if (ok) {
    out.clear();
    out.reserve(static_cast<std::size_t>(st.st_size));
    char buf[1 << 16];
    for (;;) {
      const ssize_t n = ::read(fd, buf, sizeof buf);
      if (n == 0) break;
      if (n < 0) {
        if (errno == EINTR) continue;
        ok = false;
        break;
      }
      out.append(buf, static_cast<std::size_t>(n));
    }
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
    std::string path = dir;
    path += '/';
    path += file_name;
    if (!read_regular_file(path, bytes)) continue;
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
