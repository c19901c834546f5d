#include "export/file_io.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <new>
#include <system_error>
#include <utility>

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

Result<FileWriter> FileWriter::create(const std::string& path, Parents parents) {
  // The system would see only the part before a NUL and write another file.
  if (path.find('\0') != std::string::npos) return os_error(EINVAL);
  if (parents == Parents::create) {
    if (auto made = create_parent(path); !made) return std::move(made).error();
  }
  // Create or truncate, noting which: a new file is first tried exclusively.
  for (;;) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) return FileWriter(fd, path);
    if (errno == EINTR) continue;
    if (errno != EEXIST) return os_error(errno);
    const int existing = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (existing >= 0) return FileWriter(existing, std::string());
    if (errno != EINTR && errno != ENOENT) return os_error(errno);  // ENOENT: removed meanwhile
  }
}

FileWriter::~FileWriter() { abandon(); }

FileWriter::FileWriter(FileWriter&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), created_(std::move(other.created_)) {}

FileWriter& FileWriter::operator=(FileWriter&& other) noexcept {
  if (this != &other) {
    abandon();
    fd_ = std::exchange(other.fd_, -1);
    created_ = std::move(other.created_);
  }
  return *this;
}

void FileWriter::abandon() {
  if (fd_ < 0) return;
  // Best effort: devices and pipes cannot be truncated, and nothing more can
  // be reported here than the failure that led here. A file this writer
  // created is removed, unless its path now names another file.
  bool removed = false;
  if (!created_.empty()) {
    struct stat open_file {};
    struct stat at_path {};
    removed = ::fstat(fd_, &open_file) == 0 && ::stat(created_.c_str(), &at_path) == 0 &&
              open_file.st_dev == at_path.st_dev && open_file.st_ino == at_path.st_ino &&
              ::unlink(created_.c_str()) == 0;
  }
  if (!removed) (void)::ftruncate(fd_, 0);
  ::close(fd_);
  fd_ = -1;
}

Status FileWriter::write(std::string_view bytes) {
  if (fd_ < 0) panic("FileWriter::write: the file is closed");
  const char* p = bytes.data();
  std::size_t left = bytes.size();
  while (left > 0) {
    const ssize_t n = ::write(fd_, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
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

Status FileWriter::finish() {
  if (fd_ < 0) panic("FileWriter::finish: the file is closed");
  // close() is not retried after EINTR on Linux: the descriptor is gone.
  if (::close(std::exchange(fd_, -1)) != 0) return os_error(errno);
  return ok_status();
}

Status write_file(const std::string& path, std::string_view bytes, Parents parents, const Cancel& cancel) {
  auto file = FileWriter::create(path, parents);
  if (!file) return std::move(file).error();
  constexpr std::size_t kPiece = std::size_t{1} << 22;
  do {
    cancel.check();
    const std::string_view piece = bytes.substr(0, kPiece);
    if (auto w = file->write(piece); !w) return w;
    bytes.remove_prefix(piece.size());
  } while (!bytes.empty());
  return file->finish();
}

}  // namespace tess::exporter
