#include "rarlib/file_io.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cstring>

namespace rarlib {

int64_t MemoryAccess::ReadAt(uint64_t offset, uint8_t* buf, size_t n) {
  if (offset >= size_) return 0;
  size_t avail = size_ - static_cast<size_t>(offset);
  if (n > avail) n = avail;
  std::memcpy(buf, data_ + offset, n);
  return static_cast<int64_t>(n);
}

InputFile::~InputFile() { Close(); }

bool InputFile::Open(const std::string& path) {
  Close();
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return false;
  }
  fd_ = fd;
  size_ = static_cast<uint64_t>(st.st_size);
  return true;
}

bool InputFile::Close() {
  if (fd_ < 0) return true;
  int rc = ::close(fd_);
  fd_ = -1;
  return rc == 0;
}

int64_t InputFile::ReadAt(uint64_t offset, uint8_t* buf, size_t n) {
  if (fd_ < 0) return -1;
  if (offset >= size_) return 0;
  if (offset > static_cast<uint64_t>(INT64_MAX)) return -1;
  size_t done = 0;
  while (done < n) {
    ssize_t got = ::pread(fd_, buf + done, n - done, static_cast<off_t>(offset + done));
    if (got < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (got == 0) break;
    done += static_cast<size_t>(got);
  }
  return static_cast<int64_t>(done);
}

OutputFile::~OutputFile() { Close(); }

bool OutputFile::Create(const std::string& path) {
  Close();
  // An existing file is emptied only when it holds bytes: some file systems (ext4)
  // take a truncation to zero as a replace-by-rewrite and force the new contents to
  // disk at close, which would make extraction into a fresh empty file wait for it.
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  struct stat st;
  const bool known = ::fstat(fd, &st) == 0;
  if (!known || (S_ISREG(st.st_mode) && st.st_size > 0)) {
    int rc;
    do {
      rc = ::ftruncate(fd, 0);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
      ::close(fd);
      return false;
    }
  }
  fd_ = fd;
  return true;
}

bool OutputFile::Write(const uint8_t* data, size_t n) {
  if (fd_ < 0) return false;
  while (n > 0) {
    ssize_t put = ::write(fd_, data, n);
    if (put < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += put;
    n -= static_cast<size_t>(put);
  }
  return true;
}

bool OutputFile::Close() {
  if (fd_ < 0) return true;
  int rc = ::close(fd_);
  fd_ = -1;
  return rc == 0;
}

uint32_t UnixToDosTime(int64_t unix_seconds) {
  time_t t = static_cast<time_t>(unix_seconds);
  struct tm tm;
  if (localtime_r(&t, &tm) == nullptr || tm.tm_year < 80 || tm.tm_year > 207) return 0;
  return (static_cast<uint32_t>(tm.tm_year - 80) << 25) | (static_cast<uint32_t>(tm.tm_mon + 1) << 21) |
         (static_cast<uint32_t>(tm.tm_mday) << 16) | (static_cast<uint32_t>(tm.tm_hour) << 11) |
         (static_cast<uint32_t>(tm.tm_min) << 5) | (static_cast<uint32_t>(tm.tm_sec / 2));
}

}  // namespace rarlib
