// RAR 2.0 and RAR 1.5 decoders on real packed streams cut out of corpus archives
// (LZ, multimedia, and a stream with a distance reaching before its start), and
// what they promise on bad input: exact output size, kBadData on truncated or
// over-declared data, kWriteError when the sink refuses, and a broken run that only
// a non-solid call repairs.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "rarlib/unpack/decoder.h"
#include "tests/rarlib/decoder_test_util.h"
#include "tests/support/corpus.h"

namespace rarlib {
namespace {

using decodetest::MemSource;
using decodetest::VecSink;

using testsupport::Sha256Hex;

struct Stream {
  int version;
  const char* archive;
  size_t offset, packed, unpacked;
  const char* sha256;  // nullptr: the stream is bad data
  std::vector<uint8_t> data;
};

std::vector<Stream> LoadStreams() {
  std::vector<Stream> s = {
      {20, "junrar_BoatModernEnglish-regular-unpack20.rar", 73, 42551, 56464,
       "0aeeb3c12f01d7089ca83eb321d5a54673ba0e6011231f5bc1fa10102ea3d797", {}},
      {20, "junrar_BoatModernEnglish-audio-text-unpack20.rar", 73, 27902, 56464,
       "0aeeb3c12f01d7089ca83eb321d5a54673ba0e6011231f5bc1fa10102ea3d797", {}},
      {15, "junrar_void-dist-v15.rar", 42849, 99, 107,
       "ad43c21d4e68b2dcd345bf2dfe6f40082d1a54f8ba9e61b629ad5adcefa01ff1", {}},
      {15, "junrar_void-dist-v15.rar", 64, 42742, 56464, nullptr, {}},
  };
  for (Stream& x : s) {
    x.data = testsupport::CorpusSlice(x.archive, x.offset, x.packed);
    if (x.data.empty()) return {};
  }
  return s;
}

std::unique_ptr<Decoder> Make(int version) {
  std::unique_ptr<Decoder> d;
  DecoderParams p;
  p.version = version;
  p.dict_size = 1u << 20;
  EXPECT_EQ(CreateDecoder(p, &d), DecodeStatus::kOk);
  return d;
}

DecodeStatus DecodeAll(Decoder& d, const std::vector<uint8_t>& data, uint64_t size, bool solid,
                 VecSink* sink) {
  MemSource src(data);
  return d.Decode(src, size, solid, *sink);
}

TEST(OldDecoders, RealStreamsAndTheirFailures) {
  std::vector<Stream> streams = LoadStreams();
  if (streams.empty()) GTEST_SKIP() << "corpus not available at " << ARCUNPACK_CORPUS_DIR;
  for (const Stream& s : streams) {
    SCOPED_TRACE(std::string(s.archive) + " @" + std::to_string(s.offset));
    std::unique_ptr<Decoder> d = Make(s.version);
    VecSink sink;
    DecodeStatus st = DecodeAll(*d, s.data, s.unpacked, false, &sink);
    EXPECT_LE(sink.out.size(), s.unpacked);
    if (s.sha256 == nullptr) {
      EXPECT_EQ(st, DecodeStatus::kBadData);
      // The failed member breaks the run: a solid continuation is refused.
      VecSink again;
      EXPECT_EQ(DecodeAll(*d, s.data, s.unpacked, true, &again), DecodeStatus::kBadData);
      EXPECT_TRUE(again.out.empty());
      continue;
    }
    ASSERT_EQ(st, DecodeStatus::kOk);
    EXPECT_EQ(Sha256Hex(sink.out), s.sha256);

    // Truncated data, or a declared size beyond what the data holds: bad data,
    // never more than the declared size.
    std::vector<uint8_t> half(s.data.begin(), s.data.begin() + s.data.size() / 2);
    VecSink cut;
    EXPECT_EQ(DecodeAll(*d, half, s.unpacked, false, &cut), DecodeStatus::kBadData);
    EXPECT_LT(cut.out.size(), s.unpacked);
    VecSink longer;
    EXPECT_EQ(DecodeAll(*d, s.data, s.unpacked + 5000, false, &longer), DecodeStatus::kBadData);
    EXPECT_LE(longer.out.size(), s.unpacked + 5000);

    // A refusing sink stops the decoder.
    VecSink refusing(s.unpacked / 3);
    if (s.unpacked > 1000) {
      EXPECT_EQ(DecodeAll(*d, s.data, s.unpacked, false, &refusing), DecodeStatus::kWriteError);
    }
    // A non-solid call after the failures starts afresh and decodes right.
    VecSink fresh;
    ASSERT_EQ(DecodeAll(*d, s.data, s.unpacked, false, &fresh), DecodeStatus::kOk);
    EXPECT_EQ(fresh.out, sink.out);
  }
}

TEST(OldDecoders, DamagedStreamsStayInBounds) {
  std::vector<Stream> streams = LoadStreams();
  if (streams.empty()) GTEST_SKIP() << "corpus not available";
  uint32_t x = 2463534242u;
  for (const Stream& s : streams) {
    std::unique_ptr<Decoder> d = Make(s.version);
    for (int round = 0; round < 40; ++round) {
      std::vector<uint8_t> bad = s.data;
      for (int k = 0; k < 1 + round % 4; ++k) {
        x ^= x << 13, x ^= x >> 17, x ^= x << 5;
        bad[x % bad.size()] ^= static_cast<uint8_t>(1 + (x >> 24) % 255);
      }
      VecSink sink;
      DecodeStatus st = DecodeAll(*d, bad, s.unpacked, false, &sink);
      ASSERT_TRUE(st == DecodeStatus::kOk || st == DecodeStatus::kBadData) << static_cast<int>(st);
      ASSERT_EQ(sink.out.size() == s.unpacked, st == DecodeStatus::kOk);
    }
  }
}

// MSB-first bit writer for hand-made RAR 2.0 streams.
struct Bits {
  std::vector<uint8_t> bytes;
  int used = 8;
  void Put(uint32_t v, int n) {
    for (int i = n - 1; i >= 0; --i) {
      if (used == 8) bytes.push_back(0), used = 0;
      bytes.back() |= static_cast<uint8_t>(((v >> i) & 1) << (7 - used++));
    }
  }
};

// An LZ table read (tables not kept) whose main table has two codes of length 1:
// `literal` ("0") and the table switch 269 ("1"); all else empty. Level code:
// 18 = "0" (zero run), 0 = "10", 1 = "11".
void PutTables20(Bits* b, int literal) {
  b->Put(0, 1);  // LZ
  b->Put(0, 1);  // old lengths start from zero
  for (int sym = 0; sym < 19; ++sym) b->Put(sym == 18 ? 1 : (sym <= 1 ? 2 : 0), 4);
  auto zeros = [b](int n) {
    for (; n > 0;) {
      int k = n > 138 ? 138 : n;
      if (n - k != 0 && n - k < 11) k = n - 11;
      b->Put(0, 1);
      b->Put(static_cast<uint32_t>(k - 11), 7);
      n -= k;
    }
  };
  zeros(literal);
  b->Put(3, 2);
  zeros(269 - literal - 1);
  b->Put(3, 2);
  zeros(374 - 270);
}

// A table switch right after a member's last byte belongs to the next solid
// member: the next member decodes with the new tables and reads none itself.
TEST(OldDecoders, TrailingTableSwitchCarriesIntoTheNextSolidMember) {
  Bits first;
  PutTables20(&first, 'A');
  first.Put(0, 10);  // "AAAAAAAAAA"
  first.Put(1, 1);   // table switch after the end
  PutTables20(&first, 'B');
  first.bytes.resize(first.bytes.size() + 8, 0);
  Bits second;
  second.Put(0, 6);  // "BBBBBB" with the carried tables
  second.bytes.resize(second.bytes.size() + 8, 0);

  std::unique_ptr<Decoder> d = Make(20);
  VecSink a, b;
  ASSERT_EQ(DecodeAll(*d, first.bytes, 10, false, &a), DecodeStatus::kOk);
  EXPECT_EQ(std::string(a.out.begin(), a.out.end()), "AAAAAAAAAA");
  ASSERT_EQ(DecodeAll(*d, second.bytes, 6, true, &b), DecodeStatus::kOk);
  EXPECT_EQ(std::string(b.out.begin(), b.out.end()), "BBBBBB");
  // Without the switch the second member continues with the first tables.
  Bits plain;
  PutTables20(&plain, 'A');
  plain.Put(0, 10);
  plain.bytes.resize(plain.bytes.size() + 8, 0);
  VecSink c, e;
  ASSERT_EQ(DecodeAll(*d, plain.bytes, 10, false, &c), DecodeStatus::kOk);
  ASSERT_EQ(DecodeAll(*d, second.bytes, 6, true, &e), DecodeStatus::kOk);
  EXPECT_EQ(std::string(e.out.begin(), e.out.end()), "AAAAAA");
}

TEST(OldDecoders, EmptyMemberReadsNothingAndKeepsTheRun) {
  for (int version : {13, 15, 20, 26}) {
    std::unique_ptr<Decoder> d = Make(version);
    std::vector<uint8_t> none;
    VecSink sink;
    EXPECT_EQ(DecodeAll(*d, none, 0, false, &sink), DecodeStatus::kOk);
    EXPECT_EQ(DecodeAll(*d, none, 0, true, &sink), DecodeStatus::kOk);
    EXPECT_TRUE(sink.out.empty());
  }
}

}  // namespace
}  // namespace rarlib
