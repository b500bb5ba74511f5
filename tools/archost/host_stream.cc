#include "tools/archost/host_stream.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace archost {

namespace {

// The host speaks the stream interface's status space without linking the plug-in's
// base library: 0 is success, a value with the top two bits 10 a failure.
constexpr uint32_t kOk = 0;
constexpr uint32_t kFailed = 0x80000002;

}  // namespace

HostFileStream::HostFileStream(const std::string& path) {
  fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat st;
  if (fd_ >= 0 && fstat(fd_, &st) == 0) length_ = st.st_size;
  mMode = FIO_MODE_READ;
}

HostFileStream::~HostFileStream() {
  if (fd_ >= 0) ::close(fd_);
}

uint32_t HostFileStream::open(uint32_t, uint32_t) { return fd_ >= 0 ? kOk : kFailed; }

uint32_t HostFileStream::read(uint8_t* dest, int64_t count, int64_t* countRead) {
  if (countRead != nullptr) *countRead = 0;
  if (fd_ < 0 || dest == nullptr || count < 0) return kFailed;
  int64_t done = 0;
  while (done < count) {
    const ssize_t n = pread(fd_, dest + done, static_cast<size_t>(count - done), position_ + done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return kFailed;
    if (n == 0) break;
    done += n;
  }
  position_ += done;
  if (countRead != nullptr) *countRead = done;
  return kOk;
}

uint32_t HostFileStream::write(const uint8_t*, int64_t, int64_t* countWritten) {
  if (countWritten != nullptr) *countWritten = 0;
  return kFailed;  // a scanner's input is read-only
}

uint32_t HostFileStream::flush() { return kOk; }
uint32_t HostFileStream::close() { return kOk; }
int64_t HostFileStream::length() { return length_; }

uint32_t HostFileStream::seek(int64_t offset, int32_t origin) {
  const int64_t base = origin == FIO_SEEK_CURRENT ? position_
                       : origin == FIO_SEEK_END   ? length_
                                                  : 0;
  const int64_t target = base + offset;
  if (fd_ < 0 || target < 0) return kFailed;
  position_ = target;
  return kOk;
}

int64_t HostFileStream::tell() { return position_; }
uint32_t HostFileStream::truncate() { return kFailed; }

uint32_t HostFileStream::copyFromStream(cAbstractStream*, int64_t, int64_t* countCopied) {
  if (countCopied != nullptr) *countCopied = 0;
  return kFailed;
}

void HostFileStream::setMode(uint32_t mode) { mMode = mode; }

}  // namespace archost
