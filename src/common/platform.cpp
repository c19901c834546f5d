#include "common/platform.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string_view>
#include <system_error>
#include <type_traits>

#include "common/memory.h"

// Which of these a build has is decided by CMake's checks (TESSARINE_HAVE_*).
#if TESSARINE_HAVE_UNISTD_H
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>
#endif
#if TESSARINE_HAVE_SYS_RANDOM_H
#include <sys/random.h>
#endif
#if TESSARINE_HAVE_PROC_SUPER_MAGIC
#include <linux/magic.h>
#include <sys/statfs.h>
#endif
#if TESSARINE_HAVE_OPENAT && TESSARINE_HAVE_DIRFD
#include <dirent.h>
#endif
#if TESSARINE_HAVE_BCRYPTGENRANDOM || TESSARINE_HAVE_GLOBALMEMORYSTATUSEX
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#endif
#if TESSARINE_HAVE_BCRYPTGENRANDOM
#include <bcrypt.h>
#endif

namespace tess::platform {
namespace {

#if !TESSARINE_HAVE_GETRANDOM && !TESSARINE_HAVE_GETENTROPY && !TESSARINE_HAVE_BCRYPTGENRANDOM
Status read_urandom(std::span<std::byte> out) {
#if TESSARINE_HAVE_UNISTD_H
  int fd = -1;
  do {
    fd = ::open("/dev/urandom", O_RDONLY | O_CLOEXEC | O_NOCTTY);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return os_error(errno);
  while (!out.empty()) {
    const ssize_t n = ::read(fd, out.data(), out.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      const int err = n < 0 ? errno : EIO;
      ::close(fd);
      return os_error(err);
    }
    out = out.subspan(static_cast<std::size_t>(n));
  }
  ::close(fd);
  return ok_status();
#else
  (void)out;
  return os_error(ENOSYS);
#endif
}
#endif

// strerror_r comes in two kinds: the POSIX one fills the buffer and returns
// 0; the GNU one returns the text, which may be a string of its own.
[[maybe_unused]] const char* strerror_text(int result, const char* buf) { return result == 0 ? buf : nullptr; }
[[maybe_unused]] const char* strerror_text(const char* text, const char* /*buf*/) { return text; }

// Reads a whole file the system says has `size` bytes through `read_some`,
// which works like read(2): bytes read, 0 at the end, -1 with errno set.
template <class ReadSome>
Directory::Read read_whole(std::uint64_t size, std::string& out, int& err, ReadSome read_some) {
  // Ask for one byte more than the file holds: a short read of a regular
  // file is its end, so the usual case takes a single read.
  if (!checked_add(size, 1) || !may_allocate(size + 1)) return Directory::Read::too_large;
  std::size_t want = static_cast<std::size_t>(size) + 1;
  out.resize(want);
  std::size_t have = 0;
  for (;;) {
    const auto n = read_some(out.data() + have, want - have);
    if (n < 0) {
      if (errno == EINTR) continue;
      err = errno;
      return Directory::Read::failed;
    }
    have += static_cast<std::size_t>(n);
    if (n == 0 || have < want) break;
    want *= 2;  // the file grew while we read it
    out.resize(want);
  }
  out.resize(have);
  return Directory::Read::ok;
}

}  // namespace

Status random_bytes(std::span<std::byte> out, bool wait) {
#if TESSARINE_HAVE_GETRANDOM
  const unsigned flags = wait ? 0U : static_cast<unsigned>(GRND_NONBLOCK);
  while (!out.empty()) {
    const ssize_t n = ::getrandom(out.data(), out.size(), flags);
    if (n < 0) {
      if (errno == EINTR) continue;
      return os_error(errno);
    }
    out = out.subspan(static_cast<std::size_t>(n));
  }
  return ok_status();
#elif TESSARINE_HAVE_GETENTROPY
  (void)wait;
  while (!out.empty()) {
    const std::size_t n = std::min<std::size_t>(out.size(), 256);  // the most one call gives
    if (::getentropy(out.data(), n) != 0) return os_error(errno);
    out = out.subspan(n);
  }
  return ok_status();
#elif TESSARINE_HAVE_BCRYPTGENRANDOM
  (void)wait;
  while (!out.empty()) {
    const auto n = static_cast<ULONG>(std::min<std::size_t>(out.size(), std::size_t{1} << 20));
    const NTSTATUS status =
        ::BCryptGenRandom(nullptr, reinterpret_cast<PUCHAR>(out.data()), n, BCRYPT_USE_SYSTEM_PREFERRED_RNG);
    if (!BCRYPT_SUCCESS(status)) {
      return Error("BCryptGenRandom failed with status " + std::to_string(static_cast<unsigned long>(status)));
    }
    out = out.subspan(n);
  }
  return ok_status();
#else
  (void)wait;
  return read_urandom(out);
#endif
}

std::optional<std::uint64_t> physical_memory() noexcept {
#if TESSARINE_HAVE_SC_PHYS_PAGES
  const long pages = ::sysconf(_SC_PHYS_PAGES);
  const long page_size = ::sysconf(_SC_PAGESIZE);
  if (pages <= 0 || page_size <= 0) return std::nullopt;
  return checked_mul(static_cast<std::uint64_t>(pages), static_cast<std::uint64_t>(page_size));
#elif TESSARINE_HAVE_GLOBALMEMORYSTATUSEX
  MEMORYSTATUSEX status{};
  status.dwLength = sizeof status;
  if (!::GlobalMemoryStatusEx(&status)) return std::nullopt;
  return status.ullTotalPhys;
#else
  return std::nullopt;
#endif
}

std::string error_text(int errnum) {
#if TESSARINE_HAVE_STRERROR_R
  char buf[256] = "";
  if (const char* text = strerror_text(strerror_r(errnum, buf, sizeof buf), buf)) return text;
  return "Unknown error " + std::to_string(errnum);
#else
  static std::mutex lock;  // strerror may share one buffer between threads
  const std::lock_guard<std::mutex> hold(lock);
  return std::strerror(errnum);
#endif
}

bool in_proc(const std::string& dir) noexcept {
  const char* path = dir.empty() ? "." : dir.c_str();
#if TESSARINE_HAVE_PROC_SUPER_MAGIC
  struct statfs fs {};
  return ::statfs(path, &fs) == 0 && fs.f_type == PROC_SUPER_MAGIC;
#else
  // Without the file system's kind, /proc is where it is mounted. /dev/fd
  // of the BSDs and macOS names open files as well.
  try {
    std::error_code ec;
    const std::string real = std::filesystem::canonical(path, ec).generic_string();
    if (ec) return false;
    return real == "/proc" || real.starts_with("/proc/") || real == "/dev/fd" || real.starts_with("/dev/fd/");
  } catch (const std::exception&) {
    return false;
  }
#endif
}

Result<bool> allocate_file(int fd, std::uint64_t offset, std::uint64_t length) {
#if TESSARINE_HAVE_FALLOCATE
  if (offset > std::uint64_t{INT64_MAX} || length > std::uint64_t{INT64_MAX} - offset) return os_error(EFBIG);
  for (;;) {
    if (::fallocate(fd, 0, static_cast<off_t>(offset), static_cast<off_t>(length)) == 0) return true;
    switch (errno) {
      case EINTR: continue;
      // Not offered by the system or this file system (tmpfs of old
      // kernels, FUSE, network file systems), or not for this kind of file.
      case EOPNOTSUPP:
#if defined(ENOTSUP) && ENOTSUP != EOPNOTSUPP
      case ENOTSUP:
#endif
      case ENOSYS:
      case ENODEV:
      case ESPIPE:
      case EINVAL: return false;
      default: return os_error(errno);
    }
  }
#else
  (void)fd;
  (void)offset;
  (void)length;
  return false;
#endif
}

#if TESSARINE_HAVE_OPENAT && TESSARINE_HAVE_DIRFD

struct Directory::State {
  DIR* listing = nullptr;
  State() = default;
  State(const State&) = delete;
  State& operator=(const State&) = delete;
  ~State() {
    if (listing != nullptr) ::closedir(listing);
  }
};

Directory::Directory(const std::string& path) : state_(std::make_unique<State>()) {
  state_->listing = ::opendir(path.c_str());
}

bool Directory::is_open() const noexcept { return state_->listing != nullptr; }

const char* Directory::next() {
  if (state_->listing == nullptr) return nullptr;
  while (const dirent* de = ::readdir(state_->listing)) {
    if (std::strcmp(de->d_name, ".") != 0 && std::strcmp(de->d_name, "..") != 0) return de->d_name;
  }
  return nullptr;
}

Directory::Read Directory::read_file(const char* name, std::string& out, int& err) const {
  // O_NONBLOCK: opening a FIFO does not wait for a writer.
  constexpr int kFlags = O_RDONLY | O_CLOEXEC | O_NONBLOCK;
  const int dir_fd = dirfd(state_->listing);  // a macro on some systems
#if TESSARINE_HAVE_O_NOATIME
  // Leaving access times alone spares a write per file; only the owner may ask.
  int fd = ::openat(dir_fd, name, kFlags | O_NOATIME);
  if (fd < 0 && errno == EPERM) fd = ::openat(dir_fd, name, kFlags);
#else
  const int fd = ::openat(dir_fd, name, kFlags);
#endif
  if (fd < 0) return Read::skip;
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{fd};
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return Read::skip;
  return read_whole(static_cast<std::uint64_t>(st.st_size), out, err,
                    [fd](char* p, std::size_t n) { return ::read(fd, p, n); });
}

#else  // the standard library's listing

namespace {

// File names as UTF-8 bytes, whatever the system's own characters.
std::string narrow(const std::filesystem::path& p) {
  if constexpr (std::is_same_v<std::filesystem::path::value_type, char>) {
    return p.string();
  } else {
    const std::u8string u = p.u8string();
    return {u.begin(), u.end()};
  }
}

std::filesystem::path widen(std::string_view s) {
  if constexpr (std::is_same_v<std::filesystem::path::value_type, char>) {
    return {s};
  } else {
    return {std::u8string(s.begin(), s.end())};
  }
}

}  // namespace

struct Directory::State {
  std::filesystem::path path;
  std::filesystem::directory_iterator at;
  bool open = false;
  std::string name;
};

Directory::Directory(const std::string& path) : state_(std::make_unique<State>()) {
  std::error_code ec;
  state_->path = widen(path);
  state_->at = std::filesystem::directory_iterator(state_->path, ec);
  state_->open = !ec;
}

bool Directory::is_open() const noexcept { return state_->open; }

const char* Directory::next() {
  if (state_->at == std::filesystem::directory_iterator()) return nullptr;
  state_->name = narrow(state_->at->path().filename());
  std::error_code ec;
  state_->at.increment(ec);
  if (ec) state_->at = std::filesystem::directory_iterator();
  return state_->name.c_str();
}

Directory::Read Directory::read_file(const char* name, std::string& out, int& err) const {
  const std::filesystem::path path = state_->path / widen(name);
  // Asked before opening, so that a FIFO is never opened (and waited on).
  std::error_code ec;
  if (!std::filesystem::is_regular_file(std::filesystem::status(path, ec)) || ec) return Read::skip;
  const std::uintmax_t size = std::filesystem::file_size(path, ec);
  if (ec) return Read::skip;
  std::ifstream in(path, std::ios::binary);
  if (!in) return Read::skip;
  return read_whole(size, out, err, [&in](char* p, std::size_t n) -> std::streamsize {
    errno = 0;
    in.read(p, static_cast<std::streamsize>(n));
    if (in.bad()) {
      if (errno == 0 || errno == EINTR) errno = EIO;
      return -1;
    }
    return in.gcount();
  });
}

#endif

Directory::~Directory() = default;

}  // namespace tess::platform
