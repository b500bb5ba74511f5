#include "rarlib/unpack/rar5_filters.h"

namespace rarlib {

namespace {

uint32_t Load32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

void Store32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
  p[2] = static_cast<uint8_t>(v >> 16);
  p[3] = static_cast<uint8_t>(v >> 24);
}

}  // namespace

void Rar5FilterE8(uint8_t* data, size_t n, uint32_t file_offset, bool e9) {
  constexpr uint32_t kFileSize = 1u << 24;
  size_t i = 0;
  while (i + 4 < n) {
    uint8_t x = data[i++];
    if (x != 0xE8 && !(e9 && x == 0xE9)) continue;
    uint32_t off = (static_cast<uint32_t>(i) + file_offset) & (kFileSize - 1);
    uint32_t addr = Load32(data + i);
    if (addr & 0x80000000u) {
      if (((addr + off) & 0x80000000u) == 0) Store32(data + i, addr + kFileSize);
    } else if (addr < kFileSize) {
      Store32(data + i, addr - off);
    }
    i += 4;
  }
}

void Rar5FilterArm(uint8_t* data, size_t n, uint32_t file_offset) {
  for (size_t i = 0; i + 3 < n; i += 4) {
    if (data[i + 3] != 0xEB) continue;
    uint32_t v = static_cast<uint32_t>(data[i]) | static_cast<uint32_t>(data[i + 1]) << 8 |
                 static_cast<uint32_t>(data[i + 2]) << 16;
    v -= (file_offset + static_cast<uint32_t>(i)) / 4;
    data[i] = static_cast<uint8_t>(v);
    data[i + 1] = static_cast<uint8_t>(v >> 8);
    data[i + 2] = static_cast<uint8_t>(v >> 16);
  }
}

void Rar5FilterDelta(const uint8_t* in, uint8_t* out, size_t n, unsigned channels) {
  if (channels == 0) return;
  for (size_t ch = 0; ch < channels; ++ch) {
    uint8_t prev = 0;
    for (size_t j = ch; j < n; j += channels) {
      prev = static_cast<uint8_t>(prev - *in++);
      out[j] = prev;
    }
  }
}

}  // namespace rarlib
