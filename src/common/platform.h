// What the core asks of the operating system beyond the standard library and
// the POSIX file calls of export/file_io: entropy, the size of physical
// memory, error descriptions, /proc, allocating a file's blocks ahead, and
// reading a directory of files. Each takes the system's best interface that the build
// found (TESSARINE_HAVE_* from CMake) and falls back to a portable one, so a
// new system is filled in here and nowhere else.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "common/error.h"

namespace tess::platform {

// Fills `out` from the system's entropy source, in this order of preference:
// getrandom, getentropy, BCryptGenRandom, /dev/urandom. Fails with the
// system's error. With `wait` false, a source that is not seeded yet (early
// in boot) fails with EAGAIN instead of waiting; sources that never wait
// ignore it.
Status random_bytes(std::span<std::byte> out, bool wait = true);

// The machine's physical memory in bytes; nothing when the system does not say.
std::optional<std::uint64_t> physical_memory() noexcept;

// The system's description of error number `errnum` ("No such file or
// directory"), safe on any thread.
std::string error_text(int errnum);

// True when the directory `dir` lies in /proc, whose symbolic links
// (/proc/self/fd/N) name open files rather than places.
bool in_proc(const std::string& dir) noexcept;

// Allocates the blocks of bytes offset .. offset + length - 1 (length > 0) of the regular
// file open as `fd` ahead of writing them, extending the file to their end
// (fallocate mode 0; never emulated by writing zeros). True when the blocks
// are allocated; false, with nothing done, when the system or the file
// system cannot (then the writes allocate them as usual). Fails with the
// system's error where writing the bytes would fail too: no room on the
// disk (ENOSPC, EDQUOT), beyond the file size limit (EFBIG), I/O errors.
Result<bool> allocate_file(int fd, std::uint64_t offset, std::uint64_t length);

// A directory opened for listing, and the files in it read whole.
class Directory {
 public:
  // Opens `path`; is_open() tells whether that worked.
  explicit Directory(const std::string& path);
  ~Directory();
  Directory(const Directory&) = delete;
  Directory& operator=(const Directory&) = delete;

  bool is_open() const noexcept;
  // The name of the next entry, in the order the system lists them, "." and
  // ".." left out; valid until the next call. nullptr at the end, or when
  // the listing fails.
  const char* next();

  enum class Read { ok, skip, too_large, failed };
  // Reads the entry `name` whole into `out` when it is a regular file after
  // following links. Anything else (a directory, a FIFO, a device, a file
  // that cannot be opened) is `skip`, without waiting on it; a file larger
  // than may_allocate allows is `too_large`; a read that fails midway is
  // `failed` with the error number in `err`. Allocation failures are thrown.
  Read read_file(const char* name, std::string& out, int& err) const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace tess::platform
