// RAR 2.9 output filters: the transforms, program recognition and record parsing.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <vector>

#include "rarlib/unpack/filters29.h"
#include "tests/rarlib/rar29_test_util.h"

namespace rarlib {
namespace {

using Bytes = std::vector<uint8_t>;

struct TransformCase {
  const char* name;
  Filter29Kind kind;
  uint32_t r0, r1;
  uint32_t file_offset;
  Bytes in;
  Bytes out;  // empty: the transform must refuse with kBadData
};

Bytes Le(uint32_t v) { return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)}; }
Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes r;
  for (const Bytes& p : parts) r.insert(r.end(), p.begin(), p.end());
  return r;
}

const TransformCase kTransforms[] = {
    // Absolute target 0x10 at offset 1 becomes relative 0x0F.
    {"e8_positive", Filter29Kind::kE8, 0, 0, 0, Cat({{0xE8}, Le(0x10), {0, 0, 0, 0}}),
     Cat({{0xE8}, Le(0x0F), {0, 0, 0, 0}})},
    // The file offset shifts the position; targets >= 16 MiB stay.
    {"e8_offset_and_far", Filter29Kind::kE8, 0, 0, 0x100,
     Cat({{0xE8}, Le(0x200), {0xE8}, Le(0x2000000), {0}}),
     Cat({{0xE8}, Le(0x200 - 0x101), {0xE8}, Le(0x2000000), {0}})},
    // Negative target that becomes non-negative with the offset: + 16 MiB.
    {"e8_negative", Filter29Kind::kE8, 0, 0, 10, Cat({{0xE8}, Le(0xFFFFFFFE), {0}}),
     Cat({{0xE8}, Le(0x00FFFFFE), {0}})},
    // Negative target that stays negative: unchanged.
    {"e8_negative_kept", Filter29Kind::kE8, 0, 0, 0, Cat({{0xE8}, Le(0xFFFFFF00), {0}}),
     Cat({{0xE8}, Le(0xFFFFFF00), {0}})},
    // E9 is only a jump for E8E9; the last four bytes are never an opcode.
    {"e8_ignores_e9", Filter29Kind::kE8, 0, 0, 0, Cat({{0xE9}, Le(0x10), {0}}),
     Cat({{0xE9}, Le(0x10), {0}})},
    {"e8e9_takes_e9", Filter29Kind::kE8E9, 0, 0, 0, Cat({{0xE9}, Le(0x10), {0}}),
     Cat({{0xE9}, Le(0x0F), {0}})},
    {"e8_tail_untouched", Filter29Kind::kE8, 0, 0, 0, Cat({{0, 0xE8}, {1, 2, 3}}),
     Cat({{0, 0xE8}, {1, 2, 3}})},
    {"e8_tiny", Filter29Kind::kE8, 0, 0, 0, {0xE8, 1}, {0xE8, 1}},
    // Channels are stored one after the other and re-interleaved.
    {"delta_two_channels", Filter29Kind::kDelta, 2, 0, 0, {1, 2, 3, 4}, {0xFF, 0xFD, 0xFD, 0xF9}},
    {"delta_no_channels", Filter29Kind::kDelta, 0, 0, 0, {1, 2}, {}},
    {"delta_too_many_channels", Filter29Kind::kDelta, 1025, 0, 0, {1, 2}, {}},
    // One row (no upper neighbours), then green added back to red and blue.
    {"rgb_one_row",
     Filter29Kind::kRgb,
     6,
     0,
     0,
     {1, 2, 3, 4, 5, 6},
     {0xFC, 0xFD, 0xF8, 0xF6, 0xF9, 0xEE}},
    {"rgb_width_too_small", Filter29Kind::kRgb, 2, 0, 0, {1, 2, 3, 4, 5, 6}, {}},
    {"rgb_width_too_large", Filter29Kind::kRgb, 10, 0, 0, {1, 2, 3, 4, 5, 6}, {}},
    {"rgb_red_position", Filter29Kind::kRgb, 6, 3, 0, {1, 2, 3, 4, 5, 6}, {}},
    {"audio_first_bytes", Filter29Kind::kAudio, 1, 0, 0, {5, 3}, {0xFB, 0xF8}},
    {"audio_two_channels", Filter29Kind::kAudio, 2, 0, 0, {5, 3, 7, 1}, {0xFB, 0xF9, 0xF8, 0xF8}},
    {"audio_no_channels", Filter29Kind::kAudio, 0, 0, 0, {1}, {}},
    {"audio_too_many_channels", Filter29Kind::kAudio, 129, 0, 0, {1}, {}},
};

TEST(Rar29Filters, TransformTable) {
  for (const TransformCase& c : kTransforms) {
    SCOPED_TRACE(c.name);
    Filter29Instance f;
    f.kind = c.kind;
    f.regs[0] = c.r0;
    f.regs[1] = c.r1;
    Bytes data = c.in;
    Bytes scratch(data.size() + 1, 0xAA);
    uint8_t* result = nullptr;
    DecodeStatus st = RunFilter29(f, data.data(), static_cast<uint32_t>(data.size()), c.file_offset,
                                  scratch.data(), &result);
    if (c.out.empty()) {
      EXPECT_EQ(st, DecodeStatus::kBadData);
      continue;
    }
    ASSERT_EQ(st, DecodeStatus::kOk);
    EXPECT_EQ(Bytes(result, result + data.size()), c.out);
    EXPECT_EQ(scratch.back(), 0xAA) << "wrote past the result";
  }
}

// Sets `width` bits at little-endian bit position `bit` of a bundle.
void SetBits(uint8_t* p, unsigned bit, unsigned width, uint32_t v) {
  for (unsigned i = 0; i < width; ++i, ++bit) {
    uint8_t m = static_cast<uint8_t>(1u << (bit % 8));
    p[bit / 8] = static_cast<uint8_t>(((v >> i) & 1) ? p[bit / 8] | m : p[bit / 8] & ~m);
  }
}

uint32_t GetBits(const uint8_t* p, unsigned bit, unsigned width) {
  uint32_t v = 0;
  for (unsigned i = 0; i < width; ++i, ++bit) v |= uint32_t((p[bit / 8] >> (bit % 8)) & 1) << i;
  return v;
}

TEST(Rar29Filters, ItaniumRebasesBranchSlotsOnly) {
  Bytes data(48, 0);
  // Bundle 0: template 0x10 marks slot 2 as a branch slot; opcode 5 there.
  SetBits(&data[0], 0, 5, 0x10);
  SetBits(&data[0], 87 + 37, 4, 5);
  SetBits(&data[0], 87 + 13, 20, 0x12345);
  // Slot 1 of the same bundle looks like a branch but the template excludes it.
  SetBits(&data[0], 46 + 37, 4, 5);
  SetBits(&data[0], 46 + 13, 20, 0x777);
  // Bundle 1: template 0x16 (slots 0-2), slot 0 holds a branch below the offset.
  SetBits(&data[16], 0, 5, 0x16);
  SetBits(&data[16], 5 + 37, 4, 5);
  SetBits(&data[16], 5 + 13, 20, 1);
  Bytes before = data;
  Filter29Instance f;
  f.kind = Filter29Kind::kItanium;
  uint8_t* result = nullptr;
  ASSERT_EQ(RunFilter29(f, data.data(), 48, 0x20, nullptr, &result), DecodeStatus::kOk);
  EXPECT_EQ(result, data.data());
  EXPECT_EQ(GetBits(&data[0], 87 + 13, 20), 0x12345u - 2);
  EXPECT_EQ(GetBits(&data[0], 46 + 13, 20), 0x777u);
  EXPECT_EQ(GetBits(&data[16], 5 + 13, 20), (1u - 3) & 0xFFFFF);
  // Only the 20-bit fields changed.
  SetBits(&data[0], 87 + 13, 20, 0x12345);
  SetBits(&data[16], 5 + 13, 20, 1);
  EXPECT_EQ(data, before);
}

TEST(Rar29Filters, ClassifyProgram) {
  struct Case {
    Filter29Kind kind;
    size_t size;
    uint32_t crc;
  } cases[] = {
      {Filter29Kind::kE8, 53, 0xAD576887u},       {Filter29Kind::kE8E9, 57, 0x3CD7E57Eu},
      {Filter29Kind::kItanium, 120, 0x3769893Fu}, {Filter29Kind::kDelta, 29, 0x0E06077Du},
      {Filter29Kind::kRgb, 149, 0x1C2C5DC8u},     {Filter29Kind::kAudio, 216, 0xBC85E701u},
  };
  for (const Case& c : cases) {
    Bytes code = test29::ForgeProgram(c.size, c.crc);
    Filter29Kind kind = Filter29Kind::kUnknown;
    ASSERT_TRUE(ClassifyFilter29Program(code.data(), code.size(), &kind));
    EXPECT_EQ(kind, c.kind);
    // Same CRC at another size, or one byte changed: not a standard filter.
    code[1] ^= 1;
    code[2] ^= 1;
    ASSERT_TRUE(ClassifyFilter29Program(code.data(), code.size(), &kind));
    EXPECT_EQ(kind, Filter29Kind::kUnknown);
    code[0] ^= 1;
    EXPECT_FALSE(ClassifyFilter29Program(code.data(), code.size(), &kind)) << "check byte ignored";
  }
}

TEST(Rar29Filters, RecordsDefineReuseAndBoundPrograms) {
  using test29::RecordFields;
  Filters29 filters;
  const Bytes e8 = test29::ForgeProgram(53, 0xAD576887u);
  const Bytes delta = test29::ForgeProgram(29, 0x0E06077Du);
  auto parse = [&](const RecordFields& s, uint64_t pos) {
    auto rec = test29::MakeRecord(s);
    return filters.ParseRecord(rec.first, rec.second.data(), rec.second.size(), pos);
  };

  // Program 0: E8 at start 5, length 100.
  ASSERT_EQ(parse({1, 5, false, 100, {}, &e8}, 1000), DecodeStatus::kOk);
  // Program 1: DELTA with 3 channels, start + 258.
  ASSERT_EQ(parse({2, 0, true, 30, {{0, 3}}, &delta}, 2000), DecodeStatus::kOk);
  // No index: LastFilter (DELTA) again, with its stored length and fresh registers.
  ASSERT_EQ(parse({-1, 7, false, -1, {}, nullptr}, 3000), DecodeStatus::kOk);
  // Program 0 again by index, with its stored length.
  ASSERT_EQ(parse({1, 1, false, -1, {}, nullptr}, 4000), DecodeStatus::kOk);

  struct Want {
    Filter29Kind kind;
    uint64_t pos;
    uint32_t length, r0;
  } want[] = {{Filter29Kind::kE8, 1005, 100, 0},
              {Filter29Kind::kDelta, 2258, 30, 3},
              {Filter29Kind::kDelta, 3007, 30, 0},
              {Filter29Kind::kE8, 4001, 100, 0}};
  for (const Want& w : want) {
    ASSERT_TRUE(filters.HasPending());
    const Filter29Instance& f = filters.Front();
    EXPECT_EQ(f.kind, w.kind);
    EXPECT_EQ(f.pos, w.pos);
    EXPECT_EQ(f.length, w.length);
    EXPECT_EQ(f.regs[4], w.length);
    EXPECT_EQ(f.regs[0], w.r0);
    filters.PopFront();
  }
  EXPECT_FALSE(filters.HasPending());

  const Bytes unknown = test29::ForgeProgram(40, 0x12345678u);
  Bytes bad_check = e8;
  bad_check[0] ^= 0xFF;
  struct Bad {
    const char* name;
    RecordFields fields;
    size_t cut;  // bytes removed from the end of the record
    DecodeStatus want;
  } bad[] = {
      {"check byte wrong", {3, 0, false, 10, {}, &bad_check}, 0, DecodeStatus::kBadData},
      {"program cut short", {3, 0, false, 10, {}, &e8}, 10, DecodeStatus::kBadData},
      {"not a standard program", {3, 0, false, 10, {}, &unknown}, 0, DecodeStatus::kUnsupported},
      {"index beyond the programs", {9, 0, false, 10, {}, nullptr}, 0, DecodeStatus::kBadData},
      {"range of 256 KiB", {1, 0, false, 0x40000, {}, nullptr}, 0, DecodeStatus::kBadData},
      {"R4 differs from the length",
       {1, 0, false, 10, {{4, 11}}, nullptr},
       0,
       DecodeStatus::kBadData},
  };
  for (const Bad& b : bad) {
    SCOPED_TRACE(b.name);
    auto rec = test29::MakeRecord(b.fields);
    rec.second.resize(rec.second.size() - b.cut);
    EXPECT_EQ(filters.ParseRecord(rec.first, rec.second.data(), rec.second.size(), 0), b.want);
    EXPECT_FALSE(filters.HasPending());
  }

  // Index 0 forgets every program and pending instance and defines program 0 anew.
  ASSERT_EQ(parse({1, 0, false, 10, {}, nullptr}, 0), DecodeStatus::kOk);
  ASSERT_EQ(parse({0, 0, false, 10, {}, &delta}, 0), DecodeStatus::kOk);
  ASSERT_TRUE(filters.HasPending());
  EXPECT_EQ(filters.Front().kind, Filter29Kind::kDelta);
  filters.PopFront();
  EXPECT_FALSE(filters.HasPending());
  EXPECT_EQ(parse({2, 0, false, 10, {}, nullptr}, 0), DecodeStatus::kBadData);
}

}  // namespace
}  // namespace rarlib
