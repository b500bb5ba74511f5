// Canonical Huffman decoding for the RAR decoders (RAR 2.0, 2.9, 5.0).
//
// A table is sent as code lengths len[0..n-1], each 0..15 (0 = no code). Codes are
// assigned canonically, as in DEFLATE: shorter codes first, equal lengths in symbol
// order. Any length set is accepted and every bit pattern decodes to a symbol,
// exactly as the RAR archivers' own decoder does it, so that a scanner sees the
// same bytes an extraction by the archiver would produce:
//   - a valid (complete) code decodes as any canonical decoder would;
//   - in an incomplete set, a pattern that is no code decodes as the length-15
//     slot it falls into, giving symbol 0 when that slot holds no symbol;
//   - in an over-subscribed set, patterns past the first code of a length fall
//     through to the longer lengths by the same rule.
// Decoding is bounded either way (at most 15 bits per symbol, never past the
// table), so hostile tables only produce arbitrary symbols, which the decoders
// then check like any other.
//
// Decoding looks up the next kQuickBits bits in a table; longer codes take a short
// walk over at most five lengths.
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

  // Builds from `n` code lengths (1 <= n <= kMaxSymbols, each 0..kMaxBits). Returns
  // false, leaving the table cleared, only for an invalid argument.
  bool Build(const uint8_t* lengths, size_t n);

  // Decodes one symbol (0..n-1); -1 only for a cleared table.
  int Decode(BitReader& br) const {
    uint32_t v = static_cast<uint32_t>(br.Peek(16));
    uint16_t e = quick_[v >> (16 - kQuickBits)];
    if (e != 0) {
      br.Skip(e & 0xF);
      return e >> 4;
    }
    return DecodeSlow(br, v);
  }
  // The same on a register taken from `br` (see BitReader::Take).
  int Decode(BitReader& br, BitReader::Register& r) const {
    if (r.nbits < 16) r = br.Refilled(r);
    uint32_t v = static_cast<uint32_t>(r.bits >> 48);
    uint32_t e = quick_[v >> (16 - kQuickBits)];
    if (e == 0) {
      if (n_ == 0) return -1;
      e = LookupSlow(v);
    }
    r.bits <<= e & 0xF;
    r.nbits -= static_cast<int>(e & 0xF);
    return static_cast<int>(e >> 4);
  }

 private:
  // Length and sorted-list slot of the 16-bit left-aligned pattern `v`.
  int Lookup(uint32_t v, int first_len, int* len) const;
  int DecodeSlow(BitReader& br, uint32_t v) const;
  // (symbol << 4) | length for a pattern whose code is longer than kQuickBits.
  uint32_t LookupSlow(uint32_t v) const;

  // Quick entries: (symbol << 4) | length; 0 = a code longer than kQuickBits.
  uint16_t quick_[1u << kQuickBits];
  // limit_[L]: first left-aligned 16-bit value past the codes of length <= L (it
  // can pass 65536 for an over-subscribed set).
  uint32_t limit_[kMaxBits + 1];
  // base_[L]: index in sorted_ of the first length-L symbol.
  uint16_t base_[kMaxBits + 1];
  // Symbols by (length, index); slots past the coded symbols hold symbol 0.
  uint16_t sorted_[kMaxSymbols];
  size_t n_ = 0;
};

// Reads the RAR 2.9 / 5.0 code-length list: twenty 4-bit level-code lengths (15
// escapes to a zero run or a length of 15), then `n` lengths coded with that level
// code (symbols 16/17 repeat the previous length, 18/19 give zero runs, all cut off
// at `n`). With `delta`, level symbols 0..15 add to the old length in `lengths`
// (mod 16); otherwise they replace it. Returns false on bad data (a repeat at
// position 0, or reading past the end of the data).
bool ReadCodeLengths(BitReader& br, uint8_t* lengths, size_t n, bool delta);

}  // namespace rarlib

#endif  // RARLIB_UNPACK_HUFFMAN_H_
