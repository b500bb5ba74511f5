#include "rarlib/unpack/huffman.h"

#include <cstring>

namespace rarlib {

void HuffmanTable::Clear() {
  std::memset(quick_, 0, sizeof(quick_));
  std::memset(limit_, 0, sizeof(limit_));
  std::memset(base_, 0, sizeof(base_));
  n_ = 0;
}

bool HuffmanTable::Build(const uint8_t* lengths, size_t n) {
  Clear();
  if (n == 0 || n > kMaxSymbols) return false;
  uint32_t count[kMaxBits + 1] = {};
  for (size_t i = 0; i < n; ++i) {
    if (lengths[i] > kMaxBits) return false;
    ++count[lengths[i]];
  }
  uint32_t acc = 0;  // codes of length <= L, counted in length-L units
  uint16_t base = 0;
  for (int len = 1; len <= kMaxBits; ++len) {
    acc += count[len];
    limit_[len] = acc << (16 - len);
    acc *= 2;
    base_[len] = base;
    base = static_cast<uint16_t>(base + count[len]);
  }
  uint16_t fill[kMaxBits + 1];
  std::memcpy(fill, base_, sizeof(fill));
  std::memset(sorted_, 0, sizeof(sorted_));
  for (size_t sym = 0; sym < n; ++sym) {
    if (lengths[sym] != 0) sorted_[fill[lengths[sym]]++] = static_cast<uint16_t>(sym);
  }
  n_ = n;

  // Every limit up to kQuickBits is a multiple of 2^(16 - kQuickBits), so all
  // patterns sharing a quick prefix decode alike when their length fits. Each entry
  // is what Lookup gives for its pattern; as the limits never decrease with the
  // length, the length Lookup finds never decreases with the pattern either, so one
  // sweep finds them all, and the first pattern whose code is longer than
  // kQuickBits ends the quick entries.
  int len = 1;
  for (uint32_t p = 0; p < (1u << kQuickBits); ++p) {
    const uint32_t v = p << (16 - kQuickBits);
    while (len < kMaxBits && v >= limit_[len]) ++len;
    if (len > kQuickBits) break;
    const uint32_t idx = base_[len] + ((v - limit_[len - 1]) >> (16 - len));
    const int sym = idx < n_ ? sorted_[idx] : sorted_[0];
    quick_[p] = static_cast<uint16_t>((sym << 4) | len);
  }
  return true;
}

int HuffmanTable::Lookup(uint32_t v, int first_len, int* len) const {
  v &= 0xFFFE;
  int l = first_len;
  while (l < kMaxBits && v >= limit_[l]) ++l;
  *len = l;
  uint32_t idx = base_[l] + ((v - limit_[l - 1]) >> (16 - l));
  return idx < n_ ? sorted_[idx] : sorted_[0];
}

uint32_t HuffmanTable::LookupSlow(uint32_t v) const {
  int len;
  int sym = Lookup(v, kQuickBits + 1, &len);
  return static_cast<uint32_t>(sym) << 4 | static_cast<uint32_t>(len);
}

int HuffmanTable::DecodeSlow(BitReader& br, uint32_t v) const {
  if (n_ == 0) return -1;
  int len;
  int sym = Lookup(v, kQuickBits + 1, &len);
  br.Skip(len);
  return sym;
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
  lt.Build(level, kLevelSymbols);

  for (size_t i = 0; i < n;) {
    int sym = lt.Decode(br);
    if (br.Overrun()) return false;
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
