// Test-only builders for RAR 2.9 data: filter programs with a chosen size and CRC32,
// filter records, and a small LZ stream writer whose Huffman tables give every
// symbol a fixed-width code (so the code of a symbol is the symbol itself).
#ifndef TESTS_RARLIB_RAR29_TEST_UTIL_H_
#define TESTS_RARLIB_RAR29_TEST_UTIL_H_

#include <zlib.h>

#include <cstdint>
#include <utility>
#include <vector>

#include "tests/rarlib/decoder_test_util.h"

namespace rarlib {
namespace test29 {

using Bytes = std::vector<uint8_t>;

// A program of `size` bytes (>= 6) whose first byte is the XOR of the others and
// whose CRC32 is `crc`: enough to be taken for the standard filter with that size
// and CRC.
inline Bytes ForgeProgram(size_t size, uint32_t crc) {
  uint32_t table[256];
  uint8_t top_to_index[256];
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t c = i;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
    table[i] = c;
    top_to_index[c >> 24] = static_cast<uint8_t>(i);
  }
  Bytes code(size);
  for (uint32_t variant = 0;; ++variant) {
    for (size_t i = 1; i + 4 < size; ++i) code[i] = static_cast<uint8_t>(i * 7 + variant);
    for (uint32_t first = 0; first < 256; ++first) {
      code[0] = static_cast<uint8_t>(first);
      // Four trailing bytes that steer the CRC register onto the target.
      uint32_t state =
          static_cast<uint32_t>(crc32(0L, code.data(), static_cast<uInt>(size - 4))) ^ 0xFFFFFFFFu;
      uint32_t reg = crc ^ 0xFFFFFFFFu;
      for (int k = 0; k < 4; ++k) {
        uint8_t idx = top_to_index[reg >> 24];
        reg = ((reg ^ table[idx]) << 8) | idx;
      }
      uint32_t tail = reg ^ state;
      for (int k = 0; k < 4; ++k) code[size - 4 + k] = static_cast<uint8_t>(tail >> (8 * k));
      uint8_t x = 0;
      for (size_t i = 1; i < size; ++i) x ^= code[i];
      if (x == code[0]) return code;
    }
  }
}

using decodetest::BitWriter;

// The record's variable-length number, always in its 34-bit form or the short one.
inline void PutNum(BitWriter& w, uint32_t v) {
  if (v < 16) {
    w.Put(0, 2);
    w.Put(v, 4);
  } else if (v < 256) {
    w.Put(1, 2);
    w.Put(v, 8);
  } else if (v < 65536) {
    w.Put(2, 2);
    w.Put(v, 16);
  } else {
    w.Put(3, 2);
    w.Put(v >> 16, 16);
    w.Put(v & 0xFFFF, 16);
  }
}

// A filter record: its flags byte and the bytes that follow it.
struct RecordFields {
  int index = -1;  // -1: no program index (LastFilter); 0: forget all; k: program k-1
  uint32_t start = 0;
  bool plus258 = false;
  int64_t length = -1;                         // -1: use the stored length
  std::vector<std::pair<int, uint32_t>> regs;  // register number, value
  const Bytes* code = nullptr;                 // program code when it defines one
};

inline std::pair<uint8_t, Bytes> MakeRecord(const RecordFields& s) {
  BitWriter w;
  uint8_t flags = 0;
  if (s.index >= 0) {
    flags |= 0x80;
    PutNum(w, static_cast<uint32_t>(s.index));
  }
  PutNum(w, s.start);
  if (s.plus258) flags |= 0x40;
  if (s.length >= 0) {
    flags |= 0x20;
    PutNum(w, static_cast<uint32_t>(s.length));
  }
  if (!s.regs.empty()) {
    flags |= 0x10;
    uint32_t mask = 0;
    for (const auto& r : s.regs) mask |= 1u << r.first;
    w.Put(mask, 7);
    for (int i = 0; i < 7; ++i) {
      for (const auto& r : s.regs) {
        if (r.first == i) PutNum(w, r.second);
      }
    }
  }
  if (s.code != nullptr) {
    PutNum(w, static_cast<uint32_t>(s.code->size()));
    for (uint8_t b : *s.code) w.Put(b, 8);
  }
  return {flags, w.bytes()};
}

// Writes a RAR 2.9 LZ stream. Tables: main symbols 9 bits, distance slots 6 bits,
// low-distance symbols 5 bits, length slots 5 bits, so each code is the symbol.
class LzWriter {
 public:
  // A table read with fresh (non-delta) lengths.
  void Tables() {
    w_.Align();
    w_.Put(0, 1);                               // LZ block
    w_.Put(0, 1);                               // old lengths cleared
    for (int i = 0; i < 20; ++i) w_.Put(5, 4);  // level code: every symbol 5 bits
    auto run = [&](int len, int count) {
      for (int i = 0; i < count; ++i) w_.Put(static_cast<uint64_t>(len), 5);
    };
    run(9, 299);
    run(6, 60);
    run(5, 17);
    run(5, 28);
  }
  void Literal(uint8_t b) { w_.Put(b, 9); }
  void Literals(const Bytes& b) {
    for (uint8_t c : b) Literal(c);
  }
  // Short match of length 2, distance 1..4 (symbol 263).
  void Short(uint32_t dist) {
    w_.Put(263, 9);
    w_.Put(dist - 1, 2);
  }
  // Match of length 3..10 (length slots 0..7; the decoder adds 1 for distances of
  // 0x2000 and more, 2 from 0x40000) at any distance up to 4 MiB.
  void Match(uint32_t len, uint32_t dist) {
    w_.Put(271 + (len - 3), 9);
    static const uint8_t kSlotsPerBits[19] = {4, 2, 2, 2, 2, 2, 2,  2, 2, 2,
                                              2, 2, 2, 2, 2, 2, 14, 0, 12};
    const uint32_t d = dist - 1;
    uint32_t base = 0, slot_base = 0;
    unsigned ds = 0, bits = 0, slot = 0;
    for (unsigned b = 0; b < 19; ++b) {
      for (unsigned i = 0; i < kSlotsPerBits[b]; ++i, ++slot) {
        if (base <= d) {
          ds = slot;
          bits = b;
          slot_base = base;
        }
        base += 1u << b;
      }
    }
    uint32_t extra = d - slot_base;
    w_.Put(ds, 6);
    if (ds >= 10) {
      if (bits > 4) w_.Put(extra >> 4, static_cast<int>(bits - 4));
      w_.Put(extra & 15, 5);  // low-distance symbol
    } else if (bits > 0) {
      w_.Put(extra, static_cast<int>(bits));
    }
  }
  // Match reusing the latest distance, length 2..9 (symbol 259, slots 0..7).
  void Repeat(uint32_t len) {
    w_.Put(259, 9);
    w_.Put(len - 2, 5);
  }
  // The last match length again at the latest distance (symbol 258).
  void LastLength() { w_.Put(258, 9); }
  void Filter(const RecordFields& s) {
    auto rec = MakeRecord(s);
    w_.Put(257, 9);
    w_.Put(rec.first | 7u, 8);  // size code 7: the size follows in 16 bits
    w_.Put(rec.second.size(), 16);
    for (uint8_t b : rec.second) w_.Put(b, 8);
  }
  // End of file; `keep_tables` lets the next solid member continue with these tables.
  void End(bool keep_tables) {
    w_.Put(256, 9);
    w_.Put(0, 1);
    w_.Put(keep_tables ? 0 : 1, 1);
  }
  // End of block followed by a new table read.
  void NewTables() {
    w_.Put(256, 9);
    w_.Put(1, 1);
    Tables();
  }
  Bytes bytes() const { return w_.bytes(); }

 private:
  BitWriter w_;
};

}  // namespace test29
}  // namespace rarlib

#endif  // TESTS_RARLIB_RAR29_TEST_UTIL_H_
