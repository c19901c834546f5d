#include "export/file_io.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <new>
#include <utility>
#include <system_error>

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

}  // namespace

FileBuffer::FileBuffer(std::size_t size) : size_(size) {
  if (size == 0) return;
  void* p = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED) throw std::bad_alloc();
#ifdef MADV_HUGEPAGE
  if (size >= (std::size_t{2} << 20)) ::madvise(p, size, MADV_HUGEPAGE);  // a hint; failure is harmless
#endif
  data_ = static_cast<char*>(p);
}

FileBuffer::~FileBuffer() {
  if (data_ != nullptr) ::munmap(data_, size_);
}

FileBuffer::FileBuffer(FileBuffer&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)) {}

FileBuffer& FileBuffer::operator=(FileBuffer&& other) noexcept {
  if (this != &other) {
    if (data_ != nullptr) ::munmap(data_, size_);
    data_ = std::exchange(other.data_, nullptr);
    size_ = std::exchange(other.size_, 0);
  }
  return *this;
}

Status write_file(const std::string& path, std::string_view bytes, Parents parents) {
  if (parents == Parents::create) {
    if (auto made = create_parent(path); !made) return made;
  }
  int fd = -1;
  do {
    fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return os_error(errno);

  const char* p = bytes.data();
  std::size_t left = bytes.size();
  while (left > 0) {
    const ssize_t n = ::write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      const int err = errno;
      ::close(fd);
      return os_error(err);
    }
    if (n == 0) {  // no progress and no error: the device takes no more
      ::close(fd);
      return os_error(ENOSPC);
    }
    p += n;
    left -= static_cast<std::size_t>(n);
  }
  // close() is not retried after EINTR on Linux: the descriptor is gone.
  if (::close(fd) != 0) return os_error(errno);
  return ok_status();
}

}  // namespace tess::exporter
