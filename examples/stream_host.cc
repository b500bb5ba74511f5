// stream_host: hands an archive to the plug-in through a host stream (C++).
//
//   stream_host ARCHIVE   reads ARCHIVE into memory, offers it to ArchOpenStream
//                         through a host stream class, and prints every member's
//                         name, size and CRC-32 in the format of scan_rar
//
// The stream class is the part a scanning engine writes: it derives from
// cAbstractStream (abstract_stream.h, which needs nothing linked) and
// answers seek, length and read; the plug-in calls nothing else on it.
// Exit status: 0 when the archive opened and every member extracted, else 1.
#include <arcunpack.h>
#include <abstract_stream.h>

#include <cstdio>
#include <cstring>
#include <vector>

namespace {

// Members larger than this are skipped rather than held in memory.
constexpr uint32_t kMaxMemberBytes = 256u * 1024u * 1024u;

// A read-only stream over bytes the host already holds.
class BytesStream : public cAbstractStream {
 public:
  BytesStream(const uint8_t* data, int64_t size) : data_(data), size_(size) {}

  uint32_t read(uint8_t* dest, int64_t count, int64_t* got) override {
    int64_t n = count < size_ - pos_ ? count : size_ - pos_;
    if (n < 0) n = 0;
    if (n > 0) std::memcpy(dest, data_ + pos_, size_t(n));
    pos_ += n;
    *got = n;
    return kOk;
  }
  int64_t length() override { return size_; }
  uint32_t seek(int64_t offset, int32_t origin) override {
    const int64_t base = origin == FIO_SEEK_BEGIN ? 0 : origin == FIO_SEEK_CURRENT ? pos_ : size_;
    if (offset < -base || offset > size_ - base) return kFail;
    pos_ = base + offset;
    return kOk;
  }
  int64_t tell() override { return pos_; }

  // Not used by the plug-in; a read-only stream refuses what would change it.
  uint32_t open(uint32_t, uint32_t) override { return kOk; }
  uint32_t write(const uint8_t*, int64_t, int64_t* written) override {
    *written = 0;
    return kFail;
  }
  uint32_t flush() override { return kOk; }
  uint32_t close() override { return kOk; }
  uint32_t truncate() override { return kFail; }
  uint32_t copyFromStream(cAbstractStream*, int64_t, int64_t*) override { return kFail; }
  void setMode(uint32_t mode) override { mMode = mode; }

 private:
  static constexpr uint32_t kOk = 0;
  static constexpr uint32_t kFail = 0x80000002;  // a failure: top two bits 10
  const uint8_t* data_;
  int64_t size_;
  int64_t pos_ = 0;
};

uint32_t crc32Of(const uint8_t* p, size_t n) {
  uint32_t c = 0xFFFFFFFFu;
  while (n--) {
    c ^= *p++;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
  }
  return c ^ 0xFFFFFFFFu;
}

void printName(const char16_t* s) {
  for (; s != nullptr && *s; ++s) {
    uint32_t cp = *s;
    if (cp >= 0xD800 && cp <= 0xDBFF && s[1] >= 0xDC00 && s[1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (s[1] - 0xDC00);
      ++s;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = 0xFFFD;
    }
    char out[4];
    int n = 0;
    if (cp < 0x80) {
      out[n++] = char(cp);
    } else if (cp < 0x800) {
      out[n++] = char(0xC0 | (cp >> 6));
      out[n++] = char(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      out[n++] = char(0xE0 | (cp >> 12));
      out[n++] = char(0x80 | ((cp >> 6) & 0x3F));
      out[n++] = char(0x80 | (cp & 0x3F));
    } else {
      out[n++] = char(0xF0 | (cp >> 18));
      out[n++] = char(0x80 | ((cp >> 12) & 0x3F));
      out[n++] = char(0x80 | ((cp >> 6) & 0x3F));
      out[n++] = char(0x80 | (cp & 0x3F));
    }
    std::fwrite(out, 1, size_t(n), stdout);
  }
}

// Reads a whole file of at most 1 GiB.
bool readFile(const char* path, std::vector<uint8_t>* out) {
  std::FILE* f = std::fopen(path, "rb");
  if (f == nullptr) return false;
  long n = -1;
  if (std::fseek(f, 0, SEEK_END) == 0) n = std::ftell(f);
  bool ok = n >= 0 && n <= (1L << 30) && std::fseek(f, 0, SEEK_SET) == 0;
  if (ok) {
    out->resize(size_t(n));
    ok = std::fread(out->data(), 1, size_t(n), f) == size_t(n);
  }
  std::fclose(f);
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: stream_host ARCHIVE\n");
    return 2;
  }
  std::vector<uint8_t> bytes;
  if (!readFile(argv[1], &bytes)) {
    std::fprintf(stderr, "stream_host: cannot read %s\n", argv[1]);
    return 1;
  }

  ArchInitInfo info;
  ArchInit(&info);
  ArchContext ctx = {};
  BytesStream stream(bytes.data(), int64_t(bytes.size()));
  const int32_t rc = ArchOpenStream(&ctx, &stream, nullptr);  // spilled into $TEMP or /tmp
  if (rc != ARCH_OK) {
    std::fprintf(stderr, "stream\tcannot open the archive: %ld\n", long(rc));
    ArchClose(&ctx);
    return 1;
  }
  std::printf("stream\topened: %d member(s)\n", ctx.memberCount);
  int failures = 0;
  std::vector<uint8_t> buf;
  while (ctx.currentIndex < ctx.memberCount) {
    const int32_t at = ctx.currentIndex;
    const uint32_t size = ctx.unpackedSize;
    std::printf("stream\t%d\t", at);
    printName(ctx.memberName);  // borrowed: print it before the next call
    if (size > kMaxMemberBytes) {
      std::printf("\t%lu\tskipped: too large for memory\n", (unsigned long)size);
      if (ArchNextItem(&ctx) == ARCH_NO_ITEM) break;
      continue;
    }
    buf.assign(size ? size : 1, 0);
    if (ArchReadMemberToBuffer(&ctx, buf.data(), size) == ARCH_OK) {
      std::printf("\t%lu\tcrc32=%08lx\n", (unsigned long)size,
                  (unsigned long)crc32Of(buf.data(), size));
    } else {
      std::printf("\t%lu\tfailed\n", (unsigned long)size);
      ++failures;
      if (ctx.currentIndex == at && ArchNextItem(&ctx) == ARCH_NO_ITEM) break;
    }
  }
  ArchClose(&ctx);  // deletes the spilled copy
  return failures == 0 ? 0 : 1;
}
