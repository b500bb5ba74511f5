// The RAR 5.0 output filters, as pure transforms over one filtered range.
//
// A RAR5 stream can ask for a range of its output to be transformed before it is
// written: x86 CALL/JMP address conversion (E8, E8E9), ARM BL conversion, or
// byte-plane delta coding. `file_offset` is the offset of the range's first byte in
// the member's output, modulo 2^32. All transforms stay inside [0, n).
#ifndef RARLIB_UNPACK_RAR5_FILTERS_H_
#define RARLIB_UNPACK_RAR5_FILTERS_H_

#include <cstddef>
#include <cstdint>

namespace rarlib {

enum class Rar5FilterType : uint8_t {
  kDelta = 0,
  kE8 = 1,
  kE8E9 = 2,
  kArm = 3,
};

// Converts absolute x86 call (0xE8) and, with `e9`, jump (0xE9) targets back to
// relative ones, in place.
void Rar5FilterE8(uint8_t* data, size_t n, uint32_t file_offset, bool e9);

// Converts absolute ARM BL targets back to relative ones, in place.
void Rar5FilterArm(uint8_t* data, size_t n, uint32_t file_offset);

// Rebuilds interleaved bytes from `channels` (1..32) delta-coded planes stored one
// after the other in `in`; writes n bytes to `out` (which must not overlap `in`).
void Rar5FilterDelta(const uint8_t* in, uint8_t* out, size_t n, unsigned channels);

}  // namespace rarlib

#endif  // RARLIB_UNPACK_RAR5_FILTERS_H_
