#include "bench/host_ops.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstring>

#include "plugin/arcunpack.h"
#include "stream/abstract_stream.h"
#include "tests/support/corpus.h"

namespace bench {
namespace {

// A zero-filled host context that is always closed again.
struct Context {
  ArchContext c = {};
  Context() = default;
  Context(const Context&) = delete;
  ~Context() { ArchClose(&c); }
};

bool OpenInto(Context* ctx, const std::u16string& path, const std::u16string& password) {
  if (!password.empty() && ArchSetEncryptionKey(&ctx->c, password.c_str()) != ARCH_OK)
    return false;
  return ArchOpenFile(&ctx->c, path.c_str(), 0) == ARCH_OK;
}

// A read-only host stream over bytes in memory, as a host would implement it.
class MemoryHostStream : public cAbstractStream {
 public:
  MemoryHostStream(const uint8_t* data, uint64_t size) : data_(data), size_(size) {}
  uint32_t open(uint32_t, uint32_t) override { return 0; }
  uint32_t read(uint8_t* dest, int64_t count, int64_t* countRead) override {
    uint64_t left = size_ - pos_;
    uint64_t n = count < 0 ? 0 : static_cast<uint64_t>(count);
    if (n > left) n = left;
    std::memcpy(dest, data_ + pos_, n);
    pos_ += n;
    *countRead = static_cast<int64_t>(n);
    return 0;
  }
  uint32_t write(const uint8_t*, int64_t, int64_t* countWritten) override {
    *countWritten = 0;
    return 0x80000002u;
  }
  uint32_t flush() override { return 0; }
  uint32_t close() override { return 0; }
  int64_t length() override { return static_cast<int64_t>(size_); }
  uint32_t seek(int64_t offset, int32_t origin) override {
    if (origin != FIO_SEEK_BEGIN || offset < 0 || static_cast<uint64_t>(offset) > size_)
      return 0x80000002u;
    pos_ = static_cast<uint64_t>(offset);
    return 0;
  }
  int64_t tell() override { return static_cast<int64_t>(pos_); }
  uint32_t truncate() override { return 0x80000002u; }
  uint32_t copyFromStream(cAbstractStream*, int64_t, int64_t*) override { return 0x80000002u; }
  void setMode(uint32_t mode) override { mMode = mode; }

 private:
  const uint8_t* data_;
  uint64_t size_;
  uint64_t pos_ = 0;
};

}  // namespace

bool FreshEmptyFile(const std::string& path) {
  ::unlink(path.c_str());
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  ::close(fd);
  return true;
}

HostOps::HostOps(const std::string& path, const std::string& password)
    : path_(testsupport::Utf8ToUtf16(path)), password_(testsupport::Utf8ToUtf16(password)) {}

bool HostOps::Open() const {
  Context ctx;
  return OpenInto(&ctx, path_, password_);
}

bool HostOps::Walk(ArchiveStats* stats) const {
  Context ctx;
  if (!OpenInto(&ctx, path_, password_)) return false;
  ArchiveStats s;
  const int32_t count = ctx.c.memberCount;
  for (;;) {
    s.members++;
    s.unpackedBytes += ctx.c.unpackedSize;
    if (ctx.c.unpackedSize > s.largestMember) s.largestMember = ctx.c.unpackedSize;
    const int32_t next = ArchNextItem(&ctx.c);
    if (next == ARCH_NO_ITEM) return false;
    if (next >= count) break;
  }
  if (stats) *stats = s;
  return true;
}

bool HostOps::Scan(std::vector<uint8_t>* buffer, uint64_t* bytes) const {
  Context ctx;
  if (!OpenInto(&ctx, path_, password_)) return false;
  uint64_t total = 0;
  const uint32_t size = static_cast<uint32_t>(buffer->size());
  while (ctx.c.currentIndex < ctx.c.memberCount) {
    total += ctx.c.unpackedSize;
    if (ArchReadMemberToBuffer(&ctx.c, buffer->data(), size) != ARCH_OK) return false;
  }
  *bytes = total;
  return true;
}

bool HostOps::Extract(const std::string& destPath) const {
  Context ctx;
  if (!OpenInto(&ctx, path_, password_)) return false;
  const std::u16string dest = testsupport::Utf8ToUtf16(destPath);
  while (ctx.c.currentIndex < ctx.c.memberCount) {
    if (!FreshEmptyFile(destPath)) return false;
    if (ArchReadMemberToFile(&ctx.c, dest.c_str()) != ARCH_OK) return false;
  }
  return true;
}

OpenSession::OpenSession(const std::string& path, const std::string& password)
    : ctx_(new ArchContext()) {
  const std::u16string pw = testsupport::Utf8ToUtf16(password);
  if (!pw.empty() && ArchSetEncryptionKey(ctx_, pw.c_str()) != ARCH_OK) return;
  ok_ = ArchOpenFile(ctx_, testsupport::Utf8ToUtf16(path).c_str(), 0) == ARCH_OK;
}

OpenSession::~OpenSession() {
  ArchClose(ctx_);
  delete ctx_;
}

bool OpenSession::LookupAll(const std::vector<std::u16string>& names) {
  for (const std::u16string& n : names) {
    if (!ArchDoesMemberExist(ctx_, n.c_str())) return false;
  }
  return true;
}

bool SpillBuffer(const uint8_t* data, uint64_t size) {
  if (size > UINT32_MAX) return false;
  Context ctx;
  return ArchOpenBuffer(&ctx.c, data, static_cast<uint32_t>(size), 0, nullptr) == ARCH_OK;
}

bool SpillStream(const uint8_t* data, uint64_t size) {
  MemoryHostStream stream(data, size);
  Context ctx;
  return ArchOpenStream(&ctx.c, &stream, nullptr) == ARCH_OK;
}

}  // namespace bench
