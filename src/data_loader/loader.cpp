#include "data_loader/loader.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <new>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/json.h"
#include "common/memory.h"
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

enum class Read { kOk, kSkip, kTooLarge, kFailed };

// Reads a whole regular file (after following links) named relative to the
// open directory `dir_fd`. Anything else (a directory, a FIFO, a device) is
// skipped so that it can neither fail midway nor block the import. kFailed
// leaves the error number in `err`. Allocation failures are thrown.
Read read_regular_file(int dir_fd, const char* name, std::string& out, int& err) {
  int fd = ::openat(dir_fd, name, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOATIME);
  if (fd < 0 && errno == EPERM) fd = ::openat(dir_fd, name, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return Read::kSkip;
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{fd};
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return Read::kSkip;
  // Ask for one byte more than the file holds: a short read of a regular
  // file is its end, so the usual case takes a single read.
  const auto size = static_cast<std::uint64_t>(st.st_size);
  if (!checked_add(size, 1) || !may_allocate(size + 1)) return Read::kTooLarge;
  std::size_t want = static_cast<std::size_t>(size) + 1;
  out.resize(want);
  std::size_t have = 0;
  for (;;) {
    const ssize_t n = ::read(fd, out.data() + have, want - have);
    if (n < 0) {
      if (errno == EINTR) continue;
      err = errno;
      return Read::kFailed;
    }
    have += static_cast<std::size_t>(n);
    if (n == 0 || have < want) break;
    want *= 2;  // the file grew while we read it
    out.resize(want);
  }
  out.resize(have);
  return Read::kOk;
}

// Reads, parses and stores one file; a warning when it cannot be read or held
// in memory, nothing when it is skipped or stored.
std::optional<std::string> load_file(int dir_fd, const char* file_name, std::string_view tier, std::string_view stem,
                                     std::string& bytes, const std::string& dir) {
  auto warning = [&](const std::string& fault) {
    return "data_loader::load_tier: cannot load " + unicode::to_valid_utf8(dir + "/" + file_name) + ": " + fault;
  };
  try {
    int err = 0;
    switch (read_regular_file(dir_fd, file_name, bytes, err)) {
      case Read::kOk: break;
      case Read::kSkip: return std::nullopt;
      case Read::kTooLarge: return warning(too_large_message("the datasheet"));
      case Read::kFailed: return warning(os_error(err).message());
    }
    Result<Json> value = parse_json(bytes);
    if (!value) return std::nullopt;
    (void)DATA().insert_entry(tier, std::string(stem), std::move(value).value());
    return std::nullopt;
  } catch (const std::bad_alloc&) {
  } catch (const std::length_error&) {
  }
  std::string().swap(bytes);  // give back what a large file took
  return warning(too_large_message("the datasheet"));
}

}  // namespace

std::vector<std::string> load_tier(const std::filesystem::path& root, std::string_view tier) {
  std::vector<std::string> warnings;
  const std::string dir = (root / std::string(tier)).string();
  if (!is_directory(dir)) return warnings;
  DIR* listing = ::opendir(dir.c_str());
  if (listing == nullptr) return warnings;
  try {
    std::string bytes;  // reused from file to file
    while (const dirent* de = ::readdir(listing)) {
      const std::string_view file_name(de->d_name);
      if (file_name == "." || file_name == "..") continue;
      const auto dot = file_name.rfind('.');
      if (dot == std::string_view::npos || dot == 0 || file_name.substr(dot + 1) != "json") continue;
      const std::string_view stem = file_name.substr(0, dot);
      if (!unicode::is_valid_utf8(stem)) continue;
      if (auto warning = load_file(::dirfd(listing), de->d_name, tier, stem, bytes, dir)) {
        warnings.push_back(std::move(*warning));
      }
    }
  } catch (...) {
    ::closedir(listing);
    throw;
  }
  ::closedir(listing);
  return warnings;
}

Result<std::vector<std::string>> load_all_tiers(const std::filesystem::path& root) {
  const std::string shown = unicode::to_valid_utf8(root.native());
  struct stat st {};
  if (::stat(root.c_str(), &st) != 0) {
    return Error("data_loader::load_all_tiers: root does not exist: " + shown);
  }
  if (!S_ISDIR(st.st_mode)) {
    return Error("data_loader::load_all_tiers: root is not a directory: " + shown);
  }
  DATA().set_root(root);
  std::vector<std::vector<std::string>> per_tier(TIER_NAMES.size());
  parallel_for(TIER_NAMES.size(), [&](std::size_t i) { per_tier[i] = load_tier(root, TIER_NAMES[i]); });
  std::vector<std::string> warnings;
  for (auto& tier : per_tier) {
    for (auto& w : tier) warnings.push_back(std::move(w));
  }
  return warnings;
}

}  // namespace tess::data_loader
