// The RAR 2.9 decoder on hand-made LZ streams: matches, solid continuation, filters,
// window wrap-around, and the failures a hostile or broken stream must produce.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "rarlib/unpack/decoder.h"
#include "tests/rarlib/rar29_test_util.h"

namespace rarlib {
namespace {

using test29::Bytes;
using test29::LzWriter;
using test29::RecordFields;

using decodetest::MemSource;
using decodetest::VecSink;

std::unique_ptr<Decoder> MakeDecoder() {
  std::unique_ptr<Decoder> dec;
  DecoderParams p;
  p.version = 29;
  p.dict_size = 64 << 10;
  EXPECT_EQ(CreateDecoder(p, &dec), DecodeStatus::kOk);
  return dec;
}

Bytes Str(const std::string& s) { return Bytes(s.begin(), s.end()); }

DecodeStatus DecodeAll(Decoder& dec, const Bytes& packed, uint64_t size, bool solid, Bytes* out,
                       size_t piece = 1 << 20) {
  MemSource src(packed, piece);
  VecSink sink;
  DecodeStatus st = dec.Decode(src, size, solid, sink);
  *out = sink.out;
  return st;
}

TEST(Rar29Decoder, MatchKindsAndPieceSizes) {
  LzWriter w;
  w.Tables();
  w.Literals(Str("abc"));
  w.Match(3, 3);  // abc
  w.Short(1);     // cc
  w.Repeat(4);    // cccc, distance 1 again
  w.Literal('x');
  w.Match(4, 13);  // abcab
  w.Repeat(2);     // the same distance: ca... (13 back from here)
  w.LastLength();  // the last length (2) at the latest distance (13)
  w.End(true);
  const std::string want =
      "abcabcccccccx"
      "abca"
      "bc"
      "cc";
  for (size_t piece : {size_t{1}, size_t{3}, size_t{1} << 20}) {
    SCOPED_TRACE(piece);
    auto dec = MakeDecoder();
    Bytes out;
    ASSERT_EQ(DecodeAll(*dec, w.bytes(), want.size(), false, &out, piece), DecodeStatus::kOk);
    EXPECT_EQ(std::string(out.begin(), out.end()), want);
  }
}

TEST(Rar29Decoder, SolidMembersKeepWindowTablesAndHistory) {
  for (bool keep_tables : {true, false}) {
    SCOPED_TRACE(keep_tables);
    LzWriter m1;
    m1.Tables();
    m1.Literals(Str("hello "));
    m1.Match(3, 6);  // "hel"
    m1.End(keep_tables);
    LzWriter m2;
    if (!keep_tables) m2.Tables();
    m2.Repeat(3);     // distance 6 from the previous member: "lo "
    m2.Match(5, 12);  // "hello" from the start of the previous member
    m2.End(true);
    auto dec = MakeDecoder();
    Bytes out;
    ASSERT_EQ(DecodeAll(*dec, m1.bytes(), 9, false, &out), DecodeStatus::kOk);
    EXPECT_EQ(std::string(out.begin(), out.end()), "hello hel");
    // An empty member without packed data in between leaves the state alone.
    ASSERT_EQ(DecodeAll(*dec, {}, 0, true, &out), DecodeStatus::kOk);
    EXPECT_TRUE(out.empty());
    ASSERT_EQ(DecodeAll(*dec, m2.bytes(), 8, true, &out), DecodeStatus::kOk);
    EXPECT_EQ(std::string(out.begin(), out.end()), "lo hello");
    // A non-solid member may not reach back into the previous one.
    EXPECT_EQ(DecodeAll(*dec, m2.bytes(), 8, false, &out), DecodeStatus::kBadData);
  }
}

TEST(Rar29Decoder, WindowWrapsOverLongOutput) {
  // A 1000-byte pattern repeated with matches at distance 1000 and 0x3000 (length
  // bonus) for 3 MiB: crosses the window end several times.
  LzWriter w;
  w.Tables();
  Bytes pattern(1000);
  for (size_t i = 0; i < pattern.size(); ++i) pattern[i] = static_cast<uint8_t>(i * 37 + (i >> 3));
  w.Literals(pattern);
  Bytes want = pattern;
  while (want.size() < 3u << 20) {
    if (want.size() > 0x3000 && want.size() % 3 == 0) {
      w.Match(9, 0x3000);  // 9 + 1 bytes
      for (int i = 0; i < 10; ++i) want.push_back(want[want.size() - 0x3000]);
    } else {
      w.Match(10, 1000);
      for (int i = 0; i < 10; ++i) want.push_back(want[want.size() - 1000]);
    }
  }
  w.End(true);
  auto dec = MakeDecoder();
  Bytes out;
  ASSERT_EQ(DecodeAll(*dec, w.bytes(), want.size(), false, &out, 4096), DecodeStatus::kOk);
  ASSERT_EQ(out.size(), want.size());
  EXPECT_TRUE(out == want);
}

TEST(Rar29Decoder, LongStreamsMixEverySymbolKind) {
  // Tens of KiB of literals with overlapping, run, short, repeated, last-length and
  // far matches and table changes in mid-stream, so long stretches decode without
  // a member boundary or flush in sight.
  LzWriter w;
  w.Tables();
  Bytes want;
  auto copy = [&want](uint32_t len, uint32_t dist) {
    for (uint32_t i = 0; i < len; ++i) want.push_back(want[want.size() - dist]);
  };
  for (int round = 0; round < 600; ++round) {
    for (int i = 0; i < 3; ++i) {
      uint8_t c = static_cast<uint8_t>(round * 7 + i * 89);
      w.Literal(c);
      want.push_back(c);
    }
    w.Match(10, 2);  // overlaps its own output
    copy(10, 2);
    w.Match(7, 1);  // a run of the last byte
    copy(7, 1);
    w.Short(3);
    copy(2, 3);
    w.Repeat(5);  // distance 3 again
    copy(5, 3);
    w.LastLength();  // 5 bytes at distance 3
    copy(5, 3);
    const uint32_t near = 20 + static_cast<uint32_t>(round % 50);
    w.Match(9, near);
    copy(9, near);
    if (want.size() > 0x2100 && round % 5 == 0) {
      w.Match(9, 0x2000);  // 9 + 1 bytes at a far distance
      copy(10, 0x2000);
    }
    if (round % 97 == 50) w.NewTables();
  }
  w.End(true);
  ASSERT_GT(want.size(), 16000u);
  for (size_t piece : {size_t{1}, size_t{5}, size_t{1} << 20}) {
    SCOPED_TRACE(piece);
    auto dec = MakeDecoder();
    Bytes out;
    ASSERT_EQ(DecodeAll(*dec, w.bytes(), want.size(), false, &out, piece), DecodeStatus::kOk);
    EXPECT_TRUE(out == want);
  }

  // The same stream with a distance past the start of the data deep inside it, and
  // cut short in mid-stream: both fail without delivering the whole member.
  LzWriter bad;
  bad.Tables();
  bad.Literals(Bytes(4000, 'q'));
  bad.Match(10, 5000);
  bad.Literals(Bytes(4000, 'r'));
  bad.End(true);
  auto dec = MakeDecoder();
  Bytes out;
  EXPECT_EQ(DecodeAll(*dec, bad.bytes(), 8010, false, &out), DecodeStatus::kBadData);
  Bytes cut = w.bytes();
  cut.resize(cut.size() / 2);
  dec = MakeDecoder();
  EXPECT_EQ(DecodeAll(*dec, cut, want.size(), false, &out), DecodeStatus::kBadData);
  EXPECT_LT(out.size(), want.size());
}

TEST(Rar29Decoder, FiltersTransformTheirRanges) {
  const Bytes e8 = test29::ForgeProgram(53, 0xAD576887u);
  const Bytes delta = test29::ForgeProgram(29, 0x0E06077Du);
  LzWriter w;
  w.Tables();
  w.Literals(Str("ab"));
  // E8 over [2, 12), defined before its bytes; DELTA (2 channels) chained on the
  // same range; then DELTA alone over [12, 16).
  w.Filter(RecordFields{1, 0, false, 10, {}, &e8});
  w.Filter(RecordFields{2, 0, false, 10, {{0, 2}}, &delta});
  w.Literals({0xE8, 0x10, 0, 0, 0, 0, 0, 0, 0, 0});
  w.Filter(RecordFields{2, 0, false, 4, {{0, 2}}, nullptr});
  w.Literals({1, 2, 3, 4});
  w.Literals(Str("z"));
  w.End(true);

  // E8 first (offset 1 within the member's bytes is file offset 3), then DELTA.
  Bytes mid = {0xE8, 0x10 - 3, 0, 0, 0, 0, 0, 0, 0, 0};
  Bytes chained(10);
  uint8_t p0 = 0, p1 = 0;
  for (size_t j = 0, src = 0; j < 10; j += 2) chained[j] = p0 = uint8_t(p0 - mid[src++]);
  for (size_t j = 1, src = 5; j < 10; j += 2) chained[j] = p1 = uint8_t(p1 - mid[src++]);
  Bytes want = Str("ab");
  want.insert(want.end(), chained.begin(), chained.end());
  want.insert(want.end(), {0xFF, 0xFD, 0xFD, 0xF9});
  want.push_back('z');
  auto dec = MakeDecoder();
  Bytes out;
  ASSERT_EQ(DecodeAll(*dec, w.bytes(), want.size(), false, &out), DecodeStatus::kOk);
  EXPECT_EQ(out, want);
}

// Builds a stream with a prefix of tables and "abc".
LzWriter Start() {
  LzWriter w;
  w.Tables();
  w.Literals(Str("abc"));
  return w;
}

TEST(Rar29Decoder, BrokenStreamsFail) {
  const Bytes e8 = test29::ForgeProgram(53, 0xAD576887u);
  const Bytes other = test29::ForgeProgram(53, 0x11111111u);
  struct Case {
    const char* name;
    Bytes packed;
    uint64_t size;
    DecodeStatus want;
  };
  std::vector<Case> cases;
  {
    LzWriter w = Start();
    w.Match(3, 4000000);
    w.End(true);
    cases.push_back({"distance beyond the data", w.bytes(), 6, DecodeStatus::kBadData});
  }
  {
    LzWriter w = Start();
    w.Repeat(3);  // no distance yet
    w.End(true);
    cases.push_back({"repeat before any distance", w.bytes(), 6, DecodeStatus::kBadData});
  }
  {
    LzWriter w = Start();
    w.End(true);
    cases.push_back({"end marker before the size", w.bytes(), 10, DecodeStatus::kBadData});
  }
  cases.push_back({"truncated", Start().bytes(), 1000, DecodeStatus::kBadData});
  cases.push_back({"no data", {}, 10, DecodeStatus::kBadData});
  // A PPM block that continues a model, at the start of a non-solid member.
  cases.push_back(
      {"PPM block without a model", {0x82, 0, 0, 0, 0, 0, 0, 0}, 10, DecodeStatus::kBadData});
  {
    LzWriter w = Start();
    w.Filter(RecordFields{1, 0, false, 3, {}, &other});
    w.Literals(Str("def"));
    w.End(true);
    cases.push_back({"non-standard filter program", w.bytes(), 6, DecodeStatus::kUnsupported});
  }
  {
    LzWriter w = Start();
    w.Filter(RecordFields{1, 0, false, 100, {}, &e8});
    w.Literals(Str("def"));
    w.End(true);
    cases.push_back({"filter range beyond the member", w.bytes(), 6, DecodeStatus::kBadData});
  }
  {
    LzWriter w = Start();
    w.Filter(RecordFields{1, 0, false, 4, {}, &e8});
    w.Filter(RecordFields{1, 2, false, 4, {}, nullptr});
    w.Literals(Str("defghi"));
    w.End(true);
    cases.push_back({"overlapping filters", w.bytes(), 9, DecodeStatus::kBadData});
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    for (size_t piece : {size_t{1}, size_t{1} << 20}) {
      auto dec = MakeDecoder();
      Bytes out;
      EXPECT_EQ(DecodeAll(*dec, c.packed, c.size, false, &out, piece), c.want);
      EXPECT_LE(out.size(), c.size);
      // The run is broken now: a solid continuation refuses, a fresh member works.
      LzWriter ok = Start();
      ok.End(true);
      EXPECT_EQ(DecodeAll(*dec, ok.bytes(), 3, true, &out), DecodeStatus::kBadData);
      EXPECT_EQ(DecodeAll(*dec, ok.bytes(), 3, false, &out), DecodeStatus::kOk);
    }
  }
}

TEST(Rar29Decoder, OutputStopsAtTheDeclaredSize) {
  LzWriter w = Start();
  w.Match(10, 3);
  w.End(true);
  auto dec = MakeDecoder();
  Bytes out;
  ASSERT_EQ(DecodeAll(*dec, w.bytes(), 5, false, &out), DecodeStatus::kOk);
  EXPECT_EQ(std::string(out.begin(), out.end()), "abcab");
}

TEST(Rar29Decoder, SourceAndSinkFailuresAreReported) {
  LzWriter w = Start();
  w.End(true);
  auto dec = MakeDecoder();
  MemSource failing(Start().bytes(), 1 << 20, /*fail_at_end=*/true);
  VecSink sink;
  EXPECT_EQ(dec->Decode(failing, 100, false, sink), DecodeStatus::kReadError);
  MemSource src(w.bytes(), 1 << 20);
  VecSink refusing;
  refusing.refuse_ = true;
  EXPECT_EQ(dec->Decode(src, 3, false, refusing), DecodeStatus::kWriteError);
}

}  // namespace
}  // namespace rarlib
