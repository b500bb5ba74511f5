#include "rarlib/parser.h"

#include <cstring>
#include <vector>

#include "rarlib/rar.h"

namespace rarlib {

std::unique_ptr<BlockParser> MakeRar4Parser();
std::unique_ptr<BlockParser> MakeRar5Parser();
std::unique_ptr<BlockParser> MakeRar14Parser();

namespace {

// Classifies the bytes at `p` (at least 8 readable, zero-padded at the end).
ArchiveFormat Classify(const uint8_t* p, size_t avail) {
  if (avail < 4 || p[0] != 0x52) return ArchiveFormat::kNone;
  if (p[1] == 0x45 && p[2] == 0x7E && p[3] == 0x5E) return ArchiveFormat::kRar14;
  if (avail < 7 || std::memcmp(p + 1, "ar!\x1A\x07", 5) != 0) return ArchiveFormat::kNone;
  if (p[6] == 0) return ArchiveFormat::kRar4;
  if (p[6] == 1) return avail >= 8 && p[7] == 0 ? ArchiveFormat::kRar5 : ArchiveFormat::kNone;
  if (p[6] <= 4) return ArchiveFormat::kNewer;
  return ArchiveFormat::kNone;
}

}  // namespace

int ReadExact(RandomAccess& file, uint64_t pos, uint8_t* buf, size_t n) {
  int64_t got = file.ReadAt(pos, buf, n);
  if (got < 0) return ERAR_EREAD;
  return static_cast<size_t>(got) == n ? 0 : ERAR_BAD_DATA;
}

ArchiveFormat FindSignature(RandomAccess& file, uint64_t* offset) {
  uint8_t head[8] = {};
  int64_t got = file.ReadAt(0, head, sizeof head);
  if (got <= 0) return ArchiveFormat::kNone;
  ArchiveFormat f = Classify(head, static_cast<size_t>(got));
  if (f != ArchiveFormat::kNone) {
    *offset = 0;
    return f;
  }
  // Search the SFX window in chunks that overlap by the signature length.
  constexpr size_t kChunk = 1 << 16;
  constexpr size_t kOverlap = 8;
  std::vector<uint8_t> buf(kChunk + kOverlap);
  uint64_t end = file.Size() < kMaxSfxSize ? file.Size() : kMaxSfxSize;
  for (uint64_t base = 1; base < end; base += kChunk) {
    size_t want = kChunk + kOverlap;
    int64_t n = file.ReadAt(base, buf.data(), want);
    if (n <= 0) break;
    size_t avail = static_cast<size_t>(n);
    size_t scan = avail < kChunk ? avail : kChunk;
    if (base + scan > end) scan = static_cast<size_t>(end - base);
    for (size_t i = 0; i < scan; ++i) {
      const uint8_t* p = static_cast<const uint8_t*>(std::memchr(buf.data() + i, 0x52, scan - i));
      if (p == nullptr) break;
      i = static_cast<size_t>(p - buf.data());
      ArchiveFormat c = Classify(p, avail - i);
      if (c == ArchiveFormat::kRar14) {
        // An old signature behind a prefix counts only for a marked SFX module.
        uint8_t mark[4];
        if (ReadExact(file, 28, mark, 4) != 0 || std::memcmp(mark, "RSFX", 4) != 0) continue;
      }
      if (c != ArchiveFormat::kNone) {
        *offset = base + i;
        return c;
      }
    }
  }
  return ArchiveFormat::kNone;
}

std::unique_ptr<BlockParser> MakeParser(ArchiveFormat format) {
  switch (format) {
    case ArchiveFormat::kRar4:
      return MakeRar4Parser();
    case ArchiveFormat::kRar5:
      return MakeRar5Parser();
    case ArchiveFormat::kRar14:
      return MakeRar14Parser();
    default:
      return nullptr;
  }
}

}  // namespace rarlib
