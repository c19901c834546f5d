// Writing whole files for the exporters.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

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

enum class Parents { create, require };

// Creates or truncates the file at `path` and writes `bytes` to it whole.
// With Parents::create a non-empty parent directory part is first created
// with all missing ancestors (mode 0777 before the umask). Every failure
// (directory creation, open, a short or failed write, close) is reported as
// the operating system's error.
Status write_file(const std::string& path, std::string_view bytes, Parents parents);

}  // namespace tess::exporter
