// Bit reader and canonical Huffman decoding shared by the RAR decoders.
#include <gtest/gtest.h>

#include <vector>

#include "rarlib/unpack/bitreader.h"
#include "rarlib/unpack/huffman.h"
#include "tests/rarlib/decoder_test_util.h"

namespace rarlib {
namespace {

using decodetest::BitWriter;
using PieceSource = decodetest::MemSource;

TEST(BitReaderTest, FieldsOfEveryWidthAcrossChunkAndPieceBoundaries) {
  // Field widths 0..56 in a pseudo-random order, enough data to cross 64 KiB chunks.
  std::vector<std::pair<uint64_t, int>> fields;
  uint64_t x = 0x9E3779B97F4A7C15ull;
  BitWriter w;
  while (w.bytes().size() < BitReader::kChunkSize * 2 + 100) {
    x ^= x << 13;
    x ^= x >> 7;
    x ^= x << 17;
    int n = static_cast<int>(x % 57);
    uint64_t v = n == 0 ? 0 : (x >> 3) & (~0ull >> (64 - n));
    fields.push_back({v, n});
    w.Put(v, n);
  }
  for (size_t piece : {size_t{1}, size_t{7}, size_t{100000}}) {
    PieceSource src(w.bytes(), piece);
    BitReader br(&src);
    uint64_t pos = 0;
    for (const auto& f : fields) {
      ASSERT_EQ(br.Peek(f.second), f.first);
      ASSERT_EQ(br.Read(f.second), f.first) << "piece " << piece;
      pos += static_cast<uint64_t>(f.second);
      ASSERT_EQ(br.Position(), pos);
    }
    EXPECT_FALSE(br.Overrun());
  }
  // The same fields through a register held outside the reader, handed back now
  // and then as the decoders do around calls that use the reader itself.
  for (size_t piece : {size_t{1}, size_t{7}, size_t{100000}}) {
    PieceSource src(w.bytes(), piece);
    BitReader br(&src);
    BitReader::Register r = br.Take();
    uint64_t pos = 0;
    for (size_t i = 0; i < fields.size(); ++i) {
      ASSERT_EQ(br.Read(r, fields[i].second), fields[i].first) << "piece " << piece;
      pos += static_cast<uint64_t>(fields[i].second);
      if (i % 64 == 0) {
        br.Give(r);
        ASSERT_EQ(br.Position(), pos);
        r = br.Take();
      }
    }
    br.Give(r);
    EXPECT_EQ(br.Position(), pos);
    EXPECT_FALSE(br.Overrun());
  }
}

TEST(BitReaderTest, ZerosPastEndAndOverrunOnlyWhenConsumed) {
  PieceSource src({0xA5, 0xFF}, 1);
  BitReader br(&src);
  EXPECT_EQ(br.Read(4), 0xAu);
  EXPECT_EQ(br.Peek(32), 0x5FF00000u);  // peeking past the end is harmless
  EXPECT_FALSE(br.Overrun());
  br.Skip(12);
  EXPECT_FALSE(br.Overrun());  // exactly at the end
  EXPECT_EQ(br.Read(1), 0u);
  EXPECT_TRUE(br.Overrun());
  EXPECT_FALSE(br.ReadFailed());
}

TEST(BitReaderTest, AlignAndSourceFailure) {
  PieceSource src({0x80, 0x12}, 2, /*fail_at_end=*/true);
  BitReader br(&src);
  EXPECT_EQ(br.Read(1), 1u);
  br.Align();
  EXPECT_EQ(br.Position(), 8u);
  br.Align();
  EXPECT_EQ(br.Position(), 8u);
  EXPECT_EQ(br.Read(8), 0x12u);
  EXPECT_TRUE(br.ReadFailed());
  EXPECT_EQ(br.Read(8), 0u);
  EXPECT_TRUE(br.Overrun());
}

// Canonical codes of a length set, as (code, length) per symbol.
std::vector<std::pair<uint32_t, int>> CanonicalCodes(const std::vector<uint8_t>& lens) {
  std::vector<std::pair<uint32_t, int>> codes(lens.size(), {0, 0});
  uint32_t code = 0;
  for (int len = 1; len <= 15; ++len) {
    for (size_t s = 0; s < lens.size(); ++s) {
      if (lens[s] == len) codes[s] = {code++, len};
    }
    code <<= 1;
  }
  return codes;
}

TEST(HuffmanTest, DecodesEveryCodeOfValidSets) {
  std::vector<uint8_t> deep(20, 0);  // lengths 1..15: exercises the long-code path
  for (int i = 0; i < 15; ++i) deep[static_cast<size_t>(i)] = static_cast<uint8_t>(i + 1);
  deep[15] = 15;
  std::vector<uint8_t> flat(306, 0);
  for (size_t i = 0; i < 256; ++i) flat[i] = 8;
  std::vector<uint8_t> mixed(306, 0);  // 2 x 1/4, 3 x 1/8, 301 x 1/4096
  for (size_t i = 0; i < 306; ++i) mixed[i] = static_cast<uint8_t>(i < 2 ? 2 : i < 5 ? 3 : 12);
  const struct {
    const char* name;
    std::vector<uint8_t> lengths;
  } cases[] = {
      {"single code", {0, 1, 0}}, {"complete small", {2, 2, 2, 3, 3}},
      {"incomplete", {1, 0, 3}},  {"deep chain", deep},
      {"byte alphabet", flat},    {"mixed lengths", mixed},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    HuffmanTable t;
    ASSERT_TRUE(t.Build(c.lengths.data(), c.lengths.size()));
    auto codes = CanonicalCodes(c.lengths);
    BitWriter w;
    std::vector<int> expect;
    for (int round = 0; round < 2; ++round) {
      for (size_t s = 0; s < codes.size(); ++s) {
        if (codes[s].second == 0) continue;
        w.Put(codes[s].first, codes[s].second);
        expect.push_back(static_cast<int>(s));
      }
    }
    PieceSource src(w.bytes(), 3);
    BitReader br(&src);
    for (int s : expect) ASSERT_EQ(t.Decode(br), s);
    EXPECT_FALSE(br.Overrun());
  }
}

// Patterns that are no code, and over-subscribed sets, decode as the archiver's
// own decoder does: deterministically, at most 15 bits, never out of the table.
TEST(HuffmanTest, PatternsOutsideAValidCodeDecodeLikeTheArchiver) {
  const struct {
    const char* name;
    std::vector<uint8_t> lengths;
    uint16_t bits;  // the next 16 bits of the stream
    int symbol;
    uint64_t consumed;
  } cases[] = {
      {"single code, pattern 1", {0, 1}, 0xFFFF, 1, 15},
      {"single code, first empty slot", {0, 1}, 0x8000, 0, 15},
      {"incomplete, past the last code", {1, 0, 3}, 0xFFFF, 0, 15},
      {"no codes at all", {0, 0, 0}, 0x1234, 0, 15},
      {"over-subscribed, 0", {1, 1, 1}, 0x0000, 0, 1},
      {"over-subscribed, 1", {1, 1, 1}, 0xFFFF, 1, 1},
      {"over-subscribed long", {2, 2, 2, 2, 2, 15}, 0xFFFF, 3, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    HuffmanTable t;
    ASSERT_TRUE(t.Build(c.lengths.data(), c.lengths.size()));
    PieceSource src({static_cast<uint8_t>(c.bits >> 8), static_cast<uint8_t>(c.bits)}, 2);
    BitReader br(&src);
    EXPECT_EQ(t.Decode(br), c.symbol);
    EXPECT_EQ(br.Position(), c.consumed);
  }
}

TEST(HuffmanTest, InvalidArgumentsAndClearedTables) {
  HuffmanTable t;
  PieceSource src({0x00, 0x00}, 2);
  BitReader br(&src);
  EXPECT_EQ(t.Decode(br), -1);  // never built
  const uint8_t too_long[] = {16, 1};
  EXPECT_FALSE(t.Build(too_long, 2));
  EXPECT_EQ(t.Decode(br), -1);
  EXPECT_FALSE(t.Build(too_long, 0));
  std::vector<uint8_t> too_many(HuffmanTable::kMaxSymbols + 1, 9);
  EXPECT_FALSE(t.Build(too_many.data(), too_many.size()));
}

TEST(HuffmanTest, CodeLengthListWithRunsAndDelta) {
  // Level code: all twenty symbols of length 5, so symbol s has the code s.
  BitWriter w;
  for (int i = 0; i < 20; ++i) w.Put(5, 4);
  auto level = [&](int sym) { w.Put(static_cast<uint32_t>(sym), 5); };
  level(7);  // 7
  level(16);
  w.Put(0, 3);  // 3 x 7
  level(18);
  w.Put(1, 3);  // 4 x 0
  level(3);     // 3
  level(19);
  w.Put(127, 7);  // 138 zeros, cut off at the end
  std::vector<uint8_t> lens(12, 1);
  PieceSource src(w.bytes(), 64);
  BitReader br(&src);
  ASSERT_TRUE(ReadCodeLengths(br, lens.data(), lens.size(), /*delta=*/false));
  EXPECT_EQ(lens, (std::vector<uint8_t>{7, 7, 7, 7, 0, 0, 0, 0, 3, 0, 0, 0}));

  BitWriter d;
  for (int i = 0; i < 20; ++i) d.Put(5, 4);
  d.Put(14, 5);  // (14 + 7) & 15 = 5
  d.Put(16, 5);
  d.Put(0, 3);  // repeats are absolute: 5, 5, 5
  std::vector<uint8_t> old = {7, 1, 1, 1};
  PieceSource src2(d.bytes(), 64);
  BitReader br2(&src2);
  ASSERT_TRUE(ReadCodeLengths(br2, old.data(), old.size(), /*delta=*/true));
  EXPECT_EQ(old, (std::vector<uint8_t>{5, 5, 5, 5}));
}

TEST(HuffmanTest, CodeLengthListErrors) {
  BitWriter rep0;  // a repeat at position 0
  for (int i = 0; i < 20; ++i) rep0.Put(5, 4);
  rep0.Put(17, 5);
  rep0.Put(0, 7);
  BitWriter truncated;  // the list runs past the end of the data
  for (int i = 0; i < 20; ++i) truncated.Put(5, 4);
  truncated.Put(1, 5);
  for (const auto* w : {&rep0, &truncated}) {
    std::vector<uint8_t> lens(300, 0);
    PieceSource src(w->bytes(), 64);
    BitReader br(&src);
    EXPECT_FALSE(ReadCodeLengths(br, lens.data(), lens.size(), false));
  }
}

}  // namespace
}  // namespace rarlib
