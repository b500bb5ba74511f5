// CRC-32 with the reflected polynomial 0xEDB88320, the checksum RAR members
// carry for their unpacked bytes.
#ifndef RARLIB_CRC32_H_
#define RARLIB_CRC32_H_

#include <cstddef>
#include <cstdint>

namespace rarlib {

// Returns the CRC-32 of `n` bytes at `data` continued from `crc`, the value a
// previous call returned for the bytes before them (0 to start). The result is
// bit-for-bit zlib's crc32(crc, data, n) for any n, including n beyond 4 GiB.
// Uses carry-less multiplication when the CPU has it (checked once, thread
// safe); short inputs and other CPUs go to zlib. `data` needs no alignment and
// may be null when n is 0.
uint32_t Crc32(uint32_t crc, const uint8_t* data, size_t n);

// The same through zlib only, for comparison and for CPUs without the
// instructions.
uint32_t Crc32Portable(uint32_t crc, const uint8_t* data, size_t n);

}  // namespace rarlib

#endif  // RARLIB_CRC32_H_
