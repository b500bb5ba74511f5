// rarlib::Crc32 must agree with zlib's crc32 for every length, alignment and
// continuation split. Its carry-less paths start at 64 and 1024 bytes and step
// by 16, 64 and 256 bytes, so the lengths around those edges matter most.
#include "rarlib/crc32.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <random>
#include <vector>

namespace rarlib {
namespace {

uint32_t ZlibCrc(uint32_t crc, const uint8_t* p, size_t n) {
  return static_cast<uint32_t>(crc32(crc, p, static_cast<uInt>(n)));
}

std::vector<uint8_t> RandomBytes(size_t n, uint32_t salt) {
  std::mt19937 rng(0x5eedu ^ salt);
  std::vector<uint8_t> v(n);
  for (auto& b : v) b = static_cast<uint8_t>(rng());
  return v;
}

TEST(Crc32, KnownValue) {
  const uint8_t msg[] = "123456789";
  EXPECT_EQ(Crc32(0, msg, 9), 0xCBF43926u);
  EXPECT_EQ(Crc32(0, nullptr, 0), 0u);
  EXPECT_EQ(Crc32(0x1234u, nullptr, 0), 0x1234u);
}

// Every length up to 300 and large ones, at every start offset within 16
// bytes, from a zero and a non-zero previous value.
TEST(Crc32, MatchesZlibOverLengthsAndAlignments) {
  const std::vector<uint8_t> buf = RandomBytes((1 << 20) + 64, 1);
  std::vector<size_t> lengths;
  for (size_t n = 0; n <= 300; ++n) lengths.push_back(n);
  for (size_t n : {511u, 512u, 513u, 1023u, 1024u, 1025u, 1279u, 1280u, 1343u, 4095u, 4096u,
                   65536u + 7u, 1u << 20})
    lengths.push_back(n);
  for (size_t n : lengths) {
    for (size_t off = 0; off < 16; ++off) {
      if (n > 300 && off % 5 != 0) continue;  // large lengths: a few offsets suffice
      for (uint32_t prev : {0u, 0xDEADBEEFu}) {
        ASSERT_EQ(Crc32(prev, buf.data() + off, n), ZlibCrc(prev, buf.data() + off, n))
            << "length " << n << " offset " << off << " prev " << prev;
      }
    }
  }
}

// Splitting the input anywhere and continuing from the first result gives the
// one-shot value.
TEST(Crc32, ContinuationAtEverySplit) {
  const std::vector<uint8_t> buf = RandomBytes(333, 2);
  const uint32_t whole = ZlibCrc(0, buf.data(), buf.size());
  for (size_t split = 0; split <= buf.size(); ++split) {
    const uint32_t head = Crc32(0, buf.data(), split);
    ASSERT_EQ(Crc32(head, buf.data() + split, buf.size() - split), whole) << "split " << split;
  }
}

// Patterned data that random bytes rarely hit: all zeros, all ones, one bit.
TEST(Crc32, MatchesZlibOnPatterns) {
  for (uint8_t fill : {0x00, 0xFF, 0x80, 0x01}) {
    std::vector<uint8_t> buf(4096 + 3, fill);
    buf[buf.size() / 2] ^= 0x10;
    for (size_t n : {64u, 65u, 127u, 128u, 4096u + 3u}) {
      ASSERT_EQ(Crc32(0, buf.data(), n), ZlibCrc(0, buf.data(), n))
          << "fill " << int(fill) << " length " << n;
    }
  }
}

TEST(Crc32, PortableMatchesZlib) {
  const std::vector<uint8_t> buf = RandomBytes(1000, 3);
  EXPECT_EQ(Crc32Portable(7, buf.data(), buf.size()), ZlibCrc(7, buf.data(), buf.size()));
}

}  // namespace
}  // namespace rarlib
