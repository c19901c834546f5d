#include "export/file_io.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdint>
#include <filesystem>
#include <new>
#include <span>
#include <system_error>
#include <utility>

#include "common/platform.h"

namespace tess::exporter {
namespace {

Status create_parent(const std::string& path) {
  const std::filesystem::path parent = std::filesystem::path(path).parent_path();
  if (parent.empty()) return ok_status();
  std::error_code ec;
  std::filesystem::create_directories(parent, ec);
  if (ec) return os_error(ec.value());
  return ok_status();
}

// The directory part of a path, with its final slash ("" for none), and the
// last component.
std::string dir_part(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string base_part(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool same_inode(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

// 64 bits no other process can guess, for the name of a temporary (its
// exclusive creation alone already keeps it from taking over another file).
std::uint64_t unpredictable_bits() {
  std::uint64_t bits = 0;
  if (platform::random_bytes(std::as_writable_bytes(std::span(&bits, 1)), false)) return bits;
  static std::atomic<std::uint64_t> counter{0};
  const auto now = static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
  return (now * 0x9e3779b97f4a7c15ULL) ^ (static_cast<std::uint64_t>(::getpid()) << 32) ^ counter.fetch_add(1);
}

// A new temporary file in the directory `dir` (ending in '/', or empty for
// the current one): ".<target name>.<random>.tmp", the target name cut to 100
// bytes at a character boundary. Created exclusively, with `mode` before the
// umask. Gives the descriptor and fills `name`, or -1 with errno set.
int open_temporary(const std::string& dir, const std::string& target_name, mode_t mode, std::string& name) {
  std::size_t keep = std::min<std::size_t>(target_name.size(), 100);
  while (keep > 0 && keep < target_name.size() && (static_cast<unsigned char>(target_name[keep]) & 0xC0) == 0x80) {
    --keep;  // not inside a UTF-8 sequence
  }
  static constexpr char kDigits[] = "0123456789abcdefghijklmnopqrstuv";
  for (;;) {
    std::uint64_t bits = unpredictable_bits();
    name = dir + "." + target_name.substr(0, keep) + ".";
    for (int i = 0; i < 13; ++i, bits >>= 5) name += kDigits[bits & 31];
    name += ".tmp";
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd >= 0 || (errno != EEXIST && errno != EINTR)) return fd;
  }
}

// Opens an existing target to write it where it is. O_NONBLOCK makes a FIFO
// without a reader fail at once (ENXIO) rather than wait for one, and keeps
// writes to a full pipe or device from blocking (see wait_writable). O_TRUNC
// only matters for a regular file: devices and pipes ignore it.
int open_in_place(const std::string& path) {
  for (;;) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_TRUNC | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd >= 0 || errno != EINTR) return fd;
  }
}

}  // namespace

namespace {

// link_destination, also telling whether a link on the way lies in /proc,
// whose links (/proc/self/fd/N, reached from /dev/stdout) name open files
// rather than places.
Result<std::string> follow_links(const std::string& path, bool& through_proc) {
  constexpr int kMostLinks = 40;  // as the system follows them
  std::string at = path;
  through_proc = false;
  for (int links = 0;; ++links) {
    struct stat st {};
    if (::lstat(at.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return at;  // nothing there, or no link
    const std::string dir = dir_part(at);
    if (platform::in_proc(dir)) through_proc = true;
    if (links == kMostLinks) return os_error(ELOOP);
    // Read into a buffer larger than the content, which shows that nothing
    // was cut; the size a link reports is only a hint (in /proc it is not
    // the content's).
    std::string content(std::max<std::size_t>(static_cast<std::size_t>(st.st_size), 255) + 1, '\0');
    ssize_t n = 0;
    while ((n = ::readlink(at.c_str(), content.data(), content.size())) == static_cast<ssize_t>(content.size())) {
      if (content.size() > PATH_MAX) return os_error(ENAMETOOLONG);
      content.resize(2 * content.size());
    }
    if (n < 0) return os_error(errno);
    content.resize(static_cast<std::size_t>(n));
    if (content.empty() || content[0] != '/') content.insert(0, dir);
    at = std::move(content);
  }
}

}  // namespace

Result<std::string> link_destination(const std::string& path) {
  bool through_proc = false;
  return follow_links(path, through_proc);
}

namespace {

// One spelling for a place: the real path of its directory and its own name.
std::string place_of(const std::string& path) {
  const std::string dir = dir_part(path);
  std::error_code ec;
  const std::filesystem::path real = std::filesystem::canonical(dir.empty() ? "." : dir, ec);
  if (ec) return std::filesystem::path(path).lexically_normal().string();
  return real.string() + "/" + base_part(path);
}

}  // namespace

bool same_destination(const std::string& a, const std::string& b) {
  if (a == b) return true;
  const auto da = link_destination(a);
  const auto db = link_destination(b);
  const std::string& pa = da ? *da : a;
  const std::string& pb = db ? *db : b;
  struct stat sa {};
  struct stat sb {};
  if (::stat(pa.c_str(), &sa) == 0 && ::stat(pb.c_str(), &sb) == 0) return same_inode(sa, sb);
  return place_of(pa) == place_of(pb);
}

Result<FileWriter> FileWriter::create(const std::string& path, Parents parents, const Cancel& cancel) {
  // The system would see only the part before a NUL and write another file.
  if (path.find('\0') != std::string::npos) return os_error(EINVAL);
  if (path.empty()) return os_error(ENOENT);
  if (parents == Parents::create) {
    if (auto made = create_parent(path); !made) return std::move(made).error();
  }

  // What the path names decides where the bytes go (see the header). A
  // target that is neither a regular file nor absent is written in place;
  // so is one reached through a link of /proc, which names an open file (a
  // shell's redirection of /dev/stdout keeps getting the bytes, as before),
  // and one whose links lead elsewhere than the file found (changed
  // meanwhile).
  struct stat target {};
  bool exists = true;
  if (::stat(path.c_str(), &target) != 0) {
    if (errno != ENOENT) return os_error(errno);
    exists = false;
  }
  bool replace = !exists || S_ISREG(target.st_mode);
  std::string destination;
  if (replace) {
    bool through_proc = false;
    auto found = follow_links(path, through_proc);
    if (!found) return std::move(found).error();
    destination = std::move(*found);
    // A name that is no file name: the open below reports what the system
    // makes of it.
    const std::string name = base_part(destination);
    const bool file_name = !name.empty() && name != "." && name != "..";
    struct stat there {};
    const bool found_there = !exists || (::lstat(destination.c_str(), &there) == 0 && same_inode(there, target));
    replace = file_name && found_there && !through_proc;
  }

  if (replace) {
    // A new file gets 0666 before the umask, as open() would give it; an
    // existing one keeps its bits. The temporary never has more bits than
    // the target, so the bytes are never readable by anyone the target
    // keeps out.
    const mode_t bits = exists ? (target.st_mode & 07777) : 0666;
    std::string temporary;
    const int fd = open_temporary(dir_part(destination), base_part(destination), bits & 0777, temporary);
    if (fd >= 0) {
      // Best effort: a file system without permission bits takes what it can.
      if (exists) (void)::fchmod(fd, bits);
      return FileWriter(fd, std::move(temporary), std::move(destination), false, cancel);
    }
    // A directory that takes no new file may still hold a writable file.
    if (!exists || (errno != EACCES && errno != EPERM)) return os_error(errno);
  }
  const int fd = open_in_place(path);
  if (fd < 0) return os_error(errno);
  struct stat opened {};
  const bool regular = ::fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode);
  return FileWriter(fd, std::string(), path, regular, cancel);
}

FileWriter::~FileWriter() { abandon(); }

FileWriter::FileWriter(FileWriter&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      temporary_(std::exchange(other.temporary_, std::string())),
      destination_(std::move(other.destination_)),
      empty_if_dropped_(other.empty_if_dropped_),
      completed_(other.completed_),
      allocate_(other.allocate_),
      written_(other.written_),
      allocated_(other.allocated_),
      cancel_(other.cancel_) {}

FileWriter& FileWriter::operator=(FileWriter&& other) noexcept {
  if (this != &other) {
    abandon();
    fd_ = std::exchange(other.fd_, -1);
    temporary_ = std::exchange(other.temporary_, std::string());
    destination_ = std::move(other.destination_);
    empty_if_dropped_ = other.empty_if_dropped_;
    completed_ = other.completed_;
    allocate_ = other.allocate_;
    written_ = other.written_;
    allocated_ = other.allocated_;
    cancel_ = other.cancel_;
  }
  return *this;
}

void FileWriter::abandon() noexcept {
  // Best effort: nothing more can be reported here than the failure that
  // led here. A regular file written in place is emptied rather than left
  // partial; devices and pipes are left alone.
  if (fd_ >= 0) {
    if (empty_if_dropped_) (void)::ftruncate(fd_, 0);
    ::close(fd_);
    fd_ = -1;
  }
  if (!temporary_.empty()) {
    ::unlink(temporary_.c_str());
    temporary_.clear();
  }
}

void FileWriter::wait_writable() const {
  pollfd p{fd_, POLLOUT, 0};
  // Without a token there is nothing to ask between waits.
  (void)::poll(&p, 1, cancel_->active() ? 10 : -1);
  cancel_->check();
}

Status FileWriter::allocate_to(std::uint64_t end) {
  if (!allocate_ || end <= allocated_) return ok_status();
  // Only bytes that will be written: a mode-0 allocation moves the end of
  // the file to `end`.
  auto done = platform::allocate_file(fd_, allocated_, end - allocated_);
  if (!done) {
    abandon();
    return std::move(done).error();
  }
  if (*done) {
    allocated_ = end;
  } else {
    allocate_ = false;  // the writes allocate as they go
  }
  return ok_status();
}

Status FileWriter::reserve(std::uint64_t size) {
  if (fd_ < 0 || completed_) panic("FileWriter::reserve: the file is closed");
  if (written_ > 0) panic("FileWriter::reserve: bytes already written");
  return allocate_to(size);
}

Status FileWriter::write(std::string_view bytes) {
  if (fd_ < 0 || completed_) panic("FileWriter::write: the file is closed");
  if (auto a = allocate_to(written_ + bytes.size()); !a) return a;
  written_ += bytes.size();
  const char* p = bytes.data();
  std::size_t left = bytes.size();
  while (left > 0) {
    const ssize_t n = ::write(fd_, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      if (errno == EAGAIN) {  // a full pipe or device, opened in place
        wait_writable();
        continue;
      }
      const int err = errno;
      abandon();
      return os_error(err);
    }
    if (n == 0) {  // no progress and no error: the device takes no more
      abandon();
      return os_error(ENOSPC);
    }
    p += n;
    left -= static_cast<std::size_t>(n);
  }
  return ok_status();
}

Status FileWriter::complete() {
  if (fd_ < 0 || completed_) panic("FileWriter::complete: the file is closed");
  // Allocated blocks past the bytes would end the file in zeros.
  if (allocate_ && allocated_ != written_) panic("FileWriter::complete: fewer bytes written than reserved");
  // No fsync: the bytes are whole for every reader once renamed, and an
  // export does not pay for surviving a crash of the whole system.
  // close() is not retried after EINTR on Linux: the descriptor is gone.
  if (::close(std::exchange(fd_, -1)) != 0) {
    const int err = errno;
    abandon();
    return os_error(err);
  }
  completed_ = true;
  return ok_status();
}

Status FileWriter::commit() {
  if (!completed_) panic("FileWriter::commit: the file is not complete");
  if (temporary_.empty()) return ok_status();
  if (::rename(temporary_.c_str(), destination_.c_str()) != 0) {
    const int err = errno;
    abandon();
    return os_error(err);
  }
  temporary_.clear();
  return ok_status();
}

Status FileWriter::finish() {
  if (auto done = complete(); !done) return done;
  return commit();
}

Status finish_both(FileWriter& first, FileWriter& second) {
  if (auto done = first.complete(); !done) return done;
  if (auto done = second.complete(); !done) return done;
  if (auto done = first.commit(); !done) return done;
  return second.commit();
}

Status write_pieces(FileWriter& file, std::string_view bytes, const Cancel& cancel) {
  constexpr std::size_t kPiece = std::size_t{1} << 22;
  do {
    cancel.check();
    const std::string_view piece = bytes.substr(0, kPiece);
    if (auto w = file.write(piece); !w) return w;
    bytes.remove_prefix(piece.size());
  } while (!bytes.empty());
  return ok_status();
}

Status write_file(const std::string& path, std::string_view bytes, Parents parents, const Cancel& cancel) {
  auto file = FileWriter::create(path, parents, cancel);
  if (!file) return std::move(file).error();
  if (auto w = write_pieces(*file, bytes, cancel); !w) return w;
  return file->finish();
}

}  // namespace tess::exporter
