// Canonical Huffman decoding for the RAR decoders (RAR 2.0, 2.9, 5.0).
//
// A table is sent as code lengths len[0..n-1], each 0..15 (0 = no code). Codes are
// assigned canonically, as in DEFLATE: shorter codes first, equal lengths in symbol
// order. Build() rejects over-subscribed length sets; incomplete sets (including
// the empty set and a single code of length 1) are accepted, and a bit pattern that
// is no code decodes as -1, which callers treat as bad data.
//
// Decoding looks up the next kQuickBits bits in a table; longer codes take a short
// canonical walk.
#ifndef RARLIB_UNPACK_HUFFMAN_H_
#define RARLIB_UNPACK_HUFFMAN_H_

#include <cstddef>
#include <cstdint>

#include "rarlib/unpack/bitreader.h"

namespace rarlib {

class HuffmanTable {
 public:
  static constexpr int kMaxBits = 15;
  static constexpr int kQuickBits = 10;
  // Largest alphabet any RAR table uses (RAR5 main table: 306).
  static constexpr size_t kMaxSymbols = 512;

  HuffmanTable() { Clear(); }

  // Makes the table decode nothing (every pattern gives -1).
  void Clear();

  // Builds from `n` code lengths (n <= kMaxSymbols, each 0..kMaxBits). Returns false,
  // leaving the table cleared, for an over-subscribed set or an invalid argument.
  bool Build(const uint8_t* lengths, size_t n);

  // Decodes one symbol; -1 when the next bits are not a code of this table.
  int Decode(BitReader& br) const {
    uint32_t v = static_cast<uint32_t>(br.Peek(kMaxBits));
    uint16_t e = quick_[v >> (kMaxBits - kQuickBits)];
    if (e != 0) {
      br.Skip(e & 0xF);
      return e >> 4;
    }
    return DecodeSlow(br, v);
  }

 private:
  int DecodeSlow(BitReader& br, uint32_t v) const;

  // Quick entries: (symbol << 4) | length; 0 = longer code or no code.
  uint16_t quick_[1u << kQuickBits];
  // limit_[L]: first left-aligned kMaxBits-bit value above the codes of length <= L.
  uint32_t limit_[kMaxBits + 1];
  // base_[L]: index in sorted_ of the first length-L symbol.
  uint16_t base_[kMaxBits + 1];
  uint16_t sorted_[kMaxSymbols];
  size_t count_ = 0;
};

// Reads the RAR 2.9 / 5.0 code-length list: twenty 4-bit level-code lengths (15
// escapes to a zero run or a length of 15), then `n` lengths coded with that level
// code (symbols 16/17 repeat the previous length, 18/19 give zero runs, all cut off
// at `n`). With `delta`, level symbols 0..15 add to the old length in `lengths`
// (mod 16); otherwise they replace it. Returns false on bad data (an invalid level
// code, a repeat at position 0, or reading past the end of the data).
bool ReadCodeLengths(BitReader& br, uint8_t* lengths, size_t n, bool delta);

}  // namespace rarlib

#endif  // RARLIB_UNPACK_HUFFMAN_H_
