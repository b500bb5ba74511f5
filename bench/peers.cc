#include "bench/peers.h"

#include <archive.h>
#include <archive_entry.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>

#include "bench/host_ops.h"
#include "rarlib/rar.h"

namespace bench {
namespace {

constexpr size_t kPiece = 1 << 20;

struct PeerReader {
  archive* a = archive_read_new();
  PeerReader() {
    archive_read_support_format_rar(a);
    archive_read_support_format_rar5(a);
  }
  ~PeerReader() { archive_read_free(a); }
  bool Open(const std::string& path) {
    return a && archive_read_open_filename(a, path.c_str(), kPiece) == ARCHIVE_OK;
  }
};

}  // namespace

bool PeerWalk(const std::string& path) {
  PeerReader r;
  if (!r.Open(path)) return false;
  archive_entry* e;
  int rc;
  while ((rc = archive_read_next_header(r.a, &e)) == ARCHIVE_OK) {
    if (archive_read_data_skip(r.a) != ARCHIVE_OK) return false;
  }
  return rc == ARCHIVE_EOF;
}

bool PeerScan(const std::string& path, std::vector<uint8_t>* buffer, uint64_t* bytes) {
  PeerReader r;
  if (!r.Open(path)) return false;
  archive_entry* e;
  int rc;
  uint64_t total = 0;
  while ((rc = archive_read_next_header(r.a, &e)) == ARCHIVE_OK) {
    size_t at = 0;
    for (;;) {
      if (at == buffer->size()) break;
      la_ssize_t n = archive_read_data(r.a, buffer->data() + at, buffer->size() - at);
      if (n < 0) return false;
      if (n == 0) break;
      at += static_cast<size_t>(n);
    }
    total += at;
  }
  *bytes = total;
  return rc == ARCHIVE_EOF;
}

bool PeerExtract(const std::string& path, const std::string& destPath) {
  PeerReader r;
  if (!r.Open(path)) return false;
  archive_entry* e;
  int rc;
  while ((rc = archive_read_next_header(r.a, &e)) == ARCHIVE_OK) {
    if (!FreshEmptyFile(destPath)) return false;
    int fd = ::open(destPath.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) return false;
    rc = archive_read_data_into_fd(r.a, fd);
    ::close(fd);
    if (rc != ARCHIVE_OK) return false;
  }
  return rc == ARCHIVE_EOF;
}

bool HeadersOnce(const std::string& path, const std::string& password) {
  RAROpenArchiveDataEx open = {};
  open.ArcName = path.c_str();
  open.OpenMode = RAR_OM_LIST;
  RARHANDLE h = RAROpenArchiveEx(&open);
  if (!h) return false;
  if (!password.empty()) RARSetPassword(h, password.c_str());
  static thread_local RARHeaderDataEx header;
  int n = 0;
  while (RARReadHeaderEx(h, &header) == 0) {
    RARProcessFileW(h, RAR_SKIP, nullptr, nullptr);
    n++;
  }
  return RARCloseArchive(h) == 0 && n > 0;
}

bool RawRead(const std::string& path, std::vector<uint8_t>* buffer, uint64_t* bytes) {
  int fd = ::open(path.c_str(), O_RDONLY);
  if (fd < 0) return false;
  uint64_t total = 0;
  ssize_t n = 0;
  while (total < buffer->size()) {
    const size_t piece = std::min<size_t>(kPiece, buffer->size() - total);
    n = ::read(fd, buffer->data() + total, piece);
    if (n <= 0) break;
    total += static_cast<uint64_t>(n);
  }
  ::close(fd);
  *bytes = total;
  return n >= 0 && total > 0;
}

bool RawWrite(const std::string& dir, const uint8_t* data, uint64_t size) {
  const std::string path = dir + "/raw_write.bin";
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  if (fd < 0) return false;
  uint64_t at = 0;
  while (at < size) {
    size_t piece = size - at < kPiece ? static_cast<size_t>(size - at) : kPiece;
    ssize_t n = ::write(fd, data + at, piece);
    if (n <= 0) break;
    at += static_cast<uint64_t>(n);
  }
  ::close(fd);
  ::unlink(path.c_str());
  return at == size;
}

}  // namespace bench
