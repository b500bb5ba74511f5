#include "rarlib/unpack/huffman.h"

#include <cstring>

namespace rarlib {

void HuffmanTable::Clear() {
  std::memset(quick_, 0, sizeof(quick_));
  std::memset(limit_, 0, sizeof(limit_));
  std::memset(base_, 0, sizeof(base_));
  count_ = 0;
}

bool HuffmanTable::Build(const uint8_t* lengths, size_t n) {
  Clear();
  if (n > kMaxSymbols) return false;
  uint32_t count[kMaxBits + 1] = {};
  for (size_t i = 0; i < n; ++i) {
    if (lengths[i] > kMaxBits) return false;
    ++count[lengths[i]];
  }
  count[0] = 0;
  uint32_t acc = 0;  // left-aligned code space used by lengths <= L
  uint32_t next[kMaxBits + 1] = {};
  uint16_t base = 0;
  for (int len = 1; len <= kMaxBits; ++len) {
    next[len] = acc;
    base_[len] = base;
    acc += count[len] << (kMaxBits - len);
    if (acc > (1u << kMaxBits)) {
      Clear();
      return false;
    }
    limit_[len] = acc;
    base = static_cast<uint16_t>(base + count[len]);
  }
  count_ = base;

  uint16_t fill[kMaxBits + 1];
  std::memcpy(fill, base_, sizeof(fill));
  for (size_t sym = 0; sym < n; ++sym) {
    int len = lengths[sym];
    if (len == 0) continue;
    sorted_[fill[len]++] = static_cast<uint16_t>(sym);
    uint32_t code = next[len];
    next[len] += 1u << (kMaxBits - len);
    if (len <= kQuickBits) {
      uint32_t start = code >> (kMaxBits - kQuickBits);
      uint32_t span = 1u << (kQuickBits - len);
      uint16_t e = static_cast<uint16_t>((sym << 4) | static_cast<unsigned>(len));
      for (uint32_t k = 0; k < span; ++k) quick_[start + k] = e;
    }
  }
  return true;
}

int HuffmanTable::DecodeSlow(BitReader& br, uint32_t v) const {
  uint32_t prev = 0;
  for (int len = 1; len <= kMaxBits; ++len) {
    if (v < limit_[len]) {
      uint32_t idx = base_[len] + ((v - prev) >> (kMaxBits - len));
      if (idx >= count_) return -1;
      br.Skip(len);
      return sorted_[idx];
    }
    prev = limit_[len];
  }
  return -1;
}

bool ReadCodeLengths(BitReader& br, uint8_t* lengths, size_t n, bool delta) {
  constexpr size_t kLevelSymbols = 20;
  uint8_t level[kLevelSymbols];
  for (size_t i = 0; i < kLevelSymbols;) {
    uint8_t v = static_cast<uint8_t>(br.Read(4));
    if (v == 15) {
      uint32_t zeros = br.Read32(4);
      if (zeros != 0) {
        for (uint32_t k = 0; k < zeros + 2 && i < kLevelSymbols; ++k) level[i++] = 0;
        continue;
      }
    }
    level[i++] = v;
  }
  HuffmanTable lt;
  if (!lt.Build(level, kLevelSymbols)) return false;

  for (size_t i = 0; i < n;) {
    int sym = lt.Decode(br);
    if (sym < 0 || br.Overrun()) return false;
    if (sym < 16) {
      lengths[i] = static_cast<uint8_t>(delta ? (lengths[i] + sym) & 15 : sym);
      ++i;
      continue;
    }
    uint32_t run;
    uint8_t value = 0;
    if (sym == 16 || sym == 18) {
      run = 3 + br.Read32(3);
    } else {
      run = 11 + br.Read32(7);
    }
    if (sym == 16 || sym == 17) {
      if (i == 0) return false;
      value = lengths[i - 1];
    }
    for (uint32_t k = 0; k < run && i < n; ++k) lengths[i++] = value;
  }
  return !br.Overrun();
}

}  // namespace rarlib
