// Writing whole files for the exporters.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>

#include "common/cancel.h"
#include "common/error.h"

namespace tess::exporter {

// Receives a file's bytes in order, piece by piece; a failure stops the file.
using ByteSink = std::function<Status(std::string_view)>;

enum class Parents { create, require };

// A file written from start to end in pieces. Where the bytes go is decided
// once, when the writer is created, by what the path names:
//
//  - a regular file, or nothing yet: a new temporary file in the directory of
//    the final destination (the end of the path's chain of symbolic links,
//    followed even when it dangles), renamed over the destination by
//    commit(). Until then the target is untouched, and a writer dropped
//    before its commit (after a failure, or when the call is cancelled)
//    removes its temporary. A replaced file keeps its permission bits; a
//    link stays a link and the file it leads to is replaced.
//  - a FIFO: refused at once with the system's ENXIO when no reader has it
//    open, instead of waiting for one. With a reader (a pipeline reading
//    /dev/stdout, `cat fifo`) someone is waiting for exactly these bytes, so
//    they are written to it in place, as to a device; a full pipe is waited
//    on in short slices between which the cancel token is asked, so a reader
//    that stops reading cannot hold the call past Ctrl-C.
//  - anything else that exists (a character device such as /dev/null or
//    /dev/full, a directory), and any file reached through a link of /proc
//    (/dev/stdout): opened in place and never replaced; the system decides
//    whether it can be written.
//
// A new temporary file gets its blocks allocated ahead of its bytes where the
// file system can (see reserve()): the disk's room is then taken as the file
// is written rather than when the system gets round to it, and renaming it
// over an existing file does not make the system write it out first.
//
// An existing regular file in a directory where no new file may be made
// (permission denied) is written in place as well, the one case where a
// failure midway is not undone; the file is then left empty, never partial.
// Every failure (directory creation, open, a short or failed write, close,
// rename) is reported as the operating system's error.
class FileWriter {
 public:
  // With Parents::create a non-empty parent directory part of `path` is first
  // created with all missing ancestors (mode 0777 before the umask). A path
  // holding a NUL character is refused as an invalid argument (EINVAL),
  // before anything is created. Writes wait on `cancel` as described above.
  static Result<FileWriter> create(const std::string& path, Parents parents, const Cancel& cancel = Cancel::never());
  ~FileWriter();
  FileWriter(FileWriter&& other) noexcept;
  FileWriter& operator=(FileWriter&& other) noexcept;
  FileWriter(const FileWriter&) = delete;
  FileWriter& operator=(const FileWriter&) = delete;

  // Appends `bytes` whole. After a failure the file is abandoned. Throws
  // Cancelled when the token stops while a full pipe or device is awaited.
  Status write(std::string_view bytes);
  // Announces that the file will receive exactly `size` bytes in all, and
  // allocates them ahead where the file system can, so that a disk without
  // room for them fails here, before anything is written (with the error a
  // write would give). Nothing to do for a file written in place. Call it
  // before the first write.
  Status reserve(std::uint64_t size);
  // Ends the bytes: closes the file, a failed close being reported. The
  // target is not replaced yet.
  Status complete();
  // Puts a completed file in place by renaming its temporary over the target
  // (nothing to do for a file written in place).
  Status commit();
  // complete(), then commit().
  Status finish();

 private:
  FileWriter(int fd, std::string temporary, std::string destination, bool empty_if_dropped, const Cancel& cancel)
      : fd_(fd),
        temporary_(std::move(temporary)),
        destination_(std::move(destination)),
        empty_if_dropped_(empty_if_dropped),
        allocate_(!temporary_.empty()),
        cancel_(&cancel) {}
  void abandon() noexcept;
  void wait_writable() const;
  Status allocate_to(std::uint64_t end);

  int fd_ = -1;
  std::string temporary_;          // the file being written, until renamed or removed; empty in place
  std::string destination_;        // what the temporary replaces
  bool empty_if_dropped_ = false;  // a regular file written in place
  bool completed_ = false;
  bool allocate_ = false;        // blocks are allocated ahead of the bytes (until the file system refuses)
  std::uint64_t written_ = 0;    // bytes written so far
  std::uint64_t allocated_ = 0;  // bytes whose blocks are allocated, never fewer than written_ while allocate_
  const Cancel* cancel_ = nullptr;
};

// Completes both files, then commits both: neither target changes unless both
// were written whole. (A failed second rename cannot undo the first; renames
// within a directory do not fail in practice.)
Status finish_both(FileWriter& first, FileWriter& second);

// Appends `bytes` to `file` in pieces between which `cancel` is polled;
// throws Cancelled when it stops.
Status write_pieces(FileWriter& file, std::string_view bytes, const Cancel& cancel = Cancel::never());

// Writes `bytes` whole to `path` through a FileWriter, in pieces between which
// `cancel` is polled; throws Cancelled (the target untouched) when it stops.
Status write_file(const std::string& path, std::string_view bytes, Parents parents,
                  const Cancel& cancel = Cancel::never());

// The path where the chain of symbolic links that starts at `path` ends,
// whether or not a file is there: `path` itself when it is no link. A link's
// relative content is taken from the link's own directory. Fails with ELOOP
// after 40 links, and with the error of a link that cannot be read.
Result<std::string> link_destination(const std::string& path);

// True when writing `a` and writing `b` would write the same file: the same
// path, the same existing file, or the same place for a file yet to be
// made, links (dangling ones included) followed to their destinations.
bool same_destination(const std::string& a, const std::string& b);

}  // namespace tess::exporter
