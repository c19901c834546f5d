// Writing whole files for the exporters.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "common/cancel.h"
#include "common/error.h"

namespace tess::exporter {

// The zero-filled bytes of a whole file, mapped straight from the system
// (large ones on huge pages where the system allows), so that big outputs
// are neither cleared twice nor grown by copying. Throws std::bad_alloc.
class FileBuffer {
 public:
  explicit FileBuffer(std::size_t size);
  ~FileBuffer();
  FileBuffer(FileBuffer&& other) noexcept;
  FileBuffer& operator=(FileBuffer&& other) noexcept;
  FileBuffer(const FileBuffer&) = delete;
  FileBuffer& operator=(const FileBuffer&) = delete;

  char* data() { return data_; }
  std::size_t size() const { return size_; }
  std::string_view view() const { return {data_, size_}; }

 private:
  char* data_ = nullptr;
  std::size_t size_ = 0;
};

// Receives a file's bytes in order, piece by piece; a failure stops the file.
using ByteSink = std::function<Status(std::string_view)>;

enum class Parents { create, require };

// A file written from start to end in pieces, for outputs made a chunk at a
// time from a reused buffer. Every failure (directory creation, open, a short
// or failed write, close) is reported as the operating system's error. A
// file that is not finished (a write failed, or the writer was dropped, as
// when the call is cancelled) is removed when this writer created it, else
// truncated to empty, so that no partial file looks like a complete one.
class FileWriter {
 public:
  // Creates or truncates the file at `path`. With Parents::create a non-empty
  // parent directory part is first created with all missing ancestors (mode
  // 0777 before the umask). A path holding a NUL character is refused as an
  // invalid argument (EINVAL), before anything is created.
  static Result<FileWriter> create(const std::string& path, Parents parents);
  ~FileWriter();
  FileWriter(FileWriter&& other) noexcept;
  FileWriter& operator=(FileWriter&& other) noexcept;
  FileWriter(const FileWriter&) = delete;
  FileWriter& operator=(const FileWriter&) = delete;

  // Appends `bytes` whole. After a failure the file is abandoned.
  Status write(std::string_view bytes);
  // Closes the file; a failed close is reported.
  Status finish();

 private:
  FileWriter(int fd, std::string created) : fd_(fd), created_(std::move(created)) {}
  void abandon();
  int fd_ = -1;
  std::string created_;  // the path, when this writer created the file
};

// Creates or truncates the file at `path` and writes `bytes` to it whole,
// as FileWriter does, in pieces between which `cancel` is polled; throws
// Cancelled (the file unfinished) when it stops.
Status write_file(const std::string& path, std::string_view bytes, Parents parents,
                  const Cancel& cancel = Cancel::never());

}  // namespace tess::exporter
