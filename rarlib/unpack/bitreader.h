// MSB-first bit reader over a ByteSource, shared by all RAR decoders.
//
// Bits are taken from each byte most-significant bit first; an n-bit field is
// big-endian in bit order. The reader pulls the source in large chunks into its own
// buffer and keeps up to 64 bits in a register, so Peek/Read of up to kMaxPeekBits
// bits is a shift and a mask on the fast path.
//
// Past the end of the data every bit reads as zero. Peeking there is harmless;
// consuming there sets Overrun(), which a decoder turns into kBadData. A source
// failure (Read returns -1) ends the data the same way and sets ReadFailed().
// The reader never loops without progress: once the source is done, refills only
// supply zero bytes.
//
// Not thread-safe; one reader per member's packed data.
#ifndef RARLIB_UNPACK_BITREADER_H_
#define RARLIB_UNPACK_BITREADER_H_

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "rarlib/unpack/decoder.h"

namespace rarlib {

class BitReader {
 public:
  // Widest field Peek/Read accept in one call.
  static constexpr int kMaxPeekBits = 56;
  // Bytes requested from the source per refill.
  static constexpr size_t kChunkSize = 64 * 1024;

  // `src` must outlive the reader. No bytes are read until the first Peek/Read.
  explicit BitReader(ByteSource* src);
  BitReader(const BitReader&) = delete;
  BitReader& operator=(const BitReader&) = delete;

  // Starts over on a new source (bit position 0, flags cleared); keeps the buffer.
  void Reset(ByteSource* src);

  // The next `n` bits (0 <= n <= kMaxPeekBits) as a number, without consuming.
  uint64_t Peek(int n) {
    if (nbits_ < n) TopUp();
    return n == 0 ? 0 : bits_ >> (64 - n);
  }
  // Consumes `n` bits (0 <= n <= kMaxPeekBits).
  void Skip(int n) {
    if (nbits_ < n) TopUp();
    bits_ <<= n;
    nbits_ -= n;
  }
  // Reads and consumes `n` bits (0 <= n <= kMaxPeekBits).
  uint64_t Read(int n) {
    uint64_t v = Peek(n);
    bits_ <<= n;
    nbits_ -= n;
    return v;
  }
  uint32_t Read32(int n) { return static_cast<uint32_t>(Read(n)); }

  // Moves to the next byte boundary (no-op when aligned).
  void Align() {
    int drop = nbits_ & 7;
    bits_ <<= drop;
    nbits_ -= drop;
  }

  // Hot loops may keep the bit register in local variables, where stores into
  // other memory cannot force it to be reloaded: Take() hands out a copy, the
  // loop works on it with the Register functions below, and Give() hands it back
  // before any other member is called.
  struct Register {
    uint64_t bits;  // left-aligned: bit 63 is the next bit
    int nbits;
  };
  Register Take() const { return Register{bits_, nbits_}; }
  void Give(Register r) {
    bits_ = r.bits;
    nbits_ = r.nbits;
  }
  // `r` topped up to at least kMaxPeekBits bits. Inline while the buffer holds a
  // whole word past the read position; buffer ends, source reads and the zero
  // bits past the end take the out-of-line path.
  Register Refilled(Register r) {
    if (r.nbits < kMaxPeekBits && pos_ + 8 <= len_) {
      LoadWord(r.bits, r.nbits);
      return r;
    }
    return RefilledSlow(r);
  }
  // Reads and consumes `n` bits (0 <= n <= kMaxPeekBits) from the register `r`.
  uint64_t Read(Register& r, int n) {
    if (r.nbits < n) r = Refilled(r);
    uint64_t v = n == 0 ? 0 : r.bits >> (64 - n);
    r.bits <<= n;
    r.nbits -= n;
    return v;
  }

  // Bits consumed since the start of the data (including zero bits past its end).
  uint64_t Position() const {
    return (consumed_bytes_ + pos_ + pad_bytes_) * 8 - static_cast<uint64_t>(nbits_);
  }
  // True once bits beyond the end of the data have been consumed.
  bool Overrun() const { return source_done_ && Position() > (consumed_bytes_ + len_) * 8; }
  // True when the data is empty (reads the first chunk if nothing was read yet).
  bool NoData();
  // True when the source reported a failure.
  bool ReadFailed() const { return read_failed_; }

 private:
  // Tops the register up to at least kMaxPeekBits bits: the inline word load
  // when it suffices, Refill() otherwise.
  void TopUp() {
    if (nbits_ < kMaxPeekBits && pos_ + 8 <= len_) {
      LoadWord(bits_, nbits_);
      return;
    }
    Refill();
  }
  // Adds the whole bytes that fit below `nbits` (< kMaxPeekBits) from one
  // 8-byte load at pos_, which leaves at least kMaxPeekBits bits. Needs
  // pos_ + 8 <= len_. The bytes beyond the counted ones land below `nbits` and
  // are the very bytes the next load adds, so OR-ing them again is harmless.
  void LoadWord(uint64_t& bits, int& nbits) {
    uint64_t v;
    std::memcpy(&v, buf_.get() + pos_, 8);
    v = __builtin_bswap64(v);
    bits |= v >> nbits;
    int take = (63 - nbits) >> 3;
    pos_ += static_cast<size_t>(take);
    nbits += take * 8;
  }
  // Out-of-line Refilled() for the cases the word load does not cover.
  Register RefilledSlow(Register r);
  // Tops the register up to at least kMaxPeekBits bits.
  void Refill();
  // Loads the next chunk from the source; false when the source is done.
  bool LoadChunk();

  ByteSource* src_;
  std::unique_ptr<uint8_t[]> buf_;
  size_t len_ = 0;               // valid bytes in buf_
  size_t pos_ = 0;               // next byte of buf_ to enter the register
  uint64_t consumed_bytes_ = 0;  // source bytes before buf_[0]
  uint64_t pad_bytes_ = 0;       // zero bytes supplied after the end
  uint64_t bits_ = 0;            // left-aligned: bit 63 is the next bit
  int nbits_ = 0;                // valid bits in bits_
  bool source_done_ = false;
  bool read_failed_ = false;
};

}  // namespace rarlib

#endif  // RARLIB_UNPACK_BITREADER_H_
