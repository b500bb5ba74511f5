// RAR 5 / RAR 7 decoder on streams built by a small test encoder: every symbol
// kind, block boundaries, filters, solid runs, window wrap-around, and hostile or
// truncated input.
#include "rarlib/unpack/rar5_decoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "rarlib/unpack/rar5_filters.h"
#include "tests/rarlib/decoder_test_util.h"

namespace rarlib {
namespace {

using decodetest::BitWriter;

// Encodes a RAR5 stream with fixed tables in which every code is its own symbol
// number: main 9 bits, distance 7, low distance 4, repeat length 6. `out` mirrors
// what the decoder must produce (before filters).
class Rar5Encoder {
 public:
  explicit Rar5Encoder(bool rar7 = false) : dist_symbols_(rar7 ? 80 : 64) {}

  void Literal(uint8_t b) {
    w_.Put(b, 9);
    out_.push_back(b);
    run_.push_back(b);
  }
  void Literals(const std::string& s) {
    for (char c : s) Literal(static_cast<uint8_t>(c));
  }
  // A new match; `length` is the final length (distance bonus included).
  void Match(uint32_t length, uint64_t dist) {
    uint32_t bonus = (dist > 0x100) + (dist > 0x2000) + (dist > 0x40000);
    w_.Put(262 + PutLengthSlot(length - bonus, /*put=*/false), 9);
    PutLengthSlot(length - bonus, true);
    PutDistance(dist);
    PushOld(dist);
    last_length_ = length;
    Copy(length, dist);
  }
  void Repeat(int k, uint32_t length) {
    w_.Put(258 + static_cast<uint64_t>(k), 9);
    uint64_t d = old_[k];
    for (int i = k; i > 0; --i) old_[i] = old_[i - 1];
    old_[0] = d;
    w_.Put(PutLengthSlot(length, false), 6);
    PutLengthSlot(length, true);
    last_length_ = length;
    Copy(length, d);
  }
  void Last() {
    w_.Put(257, 9);
    if (last_length_) Copy(last_length_, old_[0]);
  }
  void Filter(uint32_t start, uint32_t length, int type, int channels = 1) {
    w_.Put(256, 9);
    PutNumber(start);
    PutNumber(length);
    w_.Put(static_cast<uint64_t>(type), 3);
    if (type == 0) w_.Put(static_cast<uint64_t>(channels - 1), 5);
  }
  // Ends the current block: everything written since the last EndBlock becomes
  // one block, with the tables in front when `tables`.
  void EndBlock(bool last, bool tables = true) {
    BitWriter payload;
    if (tables) PutTables(payload);
    const std::vector<uint8_t>& body = w_.bytes();
    for (size_t i = 0; i < body.size(); ++i) {
      int n = (i + 1 == body.size() && w_.bits_in_last() != 0) ? w_.bits_in_last() : 8;
      payload.Put(static_cast<uint64_t>(body[i] >> (8 - n)), n);
    }
    uint32_t size = static_cast<uint32_t>(payload.bytes().size());
    int valid = payload.bits_in_last() == 0 ? 8 : payload.bits_in_last();
    int size_bytes = size < 0x100 ? 1 : size < 0x10000 ? 2 : 3;
    uint8_t flags = static_cast<uint8_t>((valid - 1) | ((size_bytes - 1) << 3) | (last ? 0x40 : 0) |
                                         (tables ? 0x80 : 0));
    uint8_t check = static_cast<uint8_t>(0x5A ^ flags ^ size ^ (size >> 8) ^ (size >> 16));
    stream_.push_back(flags);
    stream_.push_back(check);
    for (int i = 0; i < size_bytes; ++i) stream_.push_back(static_cast<uint8_t>(size >> (8 * i)));
    stream_.insert(stream_.end(), payload.bytes().begin(), payload.bytes().end());
    w_ = BitWriter();
  }
  // Starts the next member of a solid run: a fresh stream, same history.
  void NextMember() {
    stream_.clear();
    out_.clear();
  }

  std::vector<uint8_t> stream_;
  std::vector<uint8_t> out_;  // this member's output, unfiltered
  std::vector<uint8_t> run_;  // the whole run's output, unfiltered

 private:
  // Returns the slot of `length`; with `put`, writes its extra bits.
  uint32_t PutLengthSlot(uint32_t length, bool put) {
    for (uint32_t s = 0; s < 44; ++s) {
      uint32_t bits = s < 8 ? 0 : s / 4 - 1;
      uint32_t base = s < 8 ? 2 + s : 2 + ((4 + (s & 3)) << bits);
      if (length >= base && length - base < (1u << bits)) {
        if (put) w_.Put(length - base, static_cast<int>(bits));
        return s;
      }
    }
    ADD_FAILURE() << "length " << length;
    return 0;
  }
  void PutDistance(uint64_t d) {
    for (uint32_t ds = 0; ds < dist_symbols_; ++ds) {
      int bits = ds < 4 ? 0 : static_cast<int>(ds / 2 - 1);
      uint64_t base = ds < 4 ? ds + 1 : 1 + (uint64_t{2 + (ds & 1)} << bits);
      if (d < base || d - base >= (uint64_t{1} << bits)) continue;
      uint64_t extra = d - base;
      w_.Put(ds, 7);
      if (bits >= 4) {
        w_.Put(extra >> 4, bits - 4);
        w_.Put(extra & 15, 4);
      } else {
        w_.Put(extra, bits);
      }
      return;
    }
    ADD_FAILURE() << "distance " << d;
  }
  void PutNumber(uint32_t v) {
    int n = v < 0x100 ? 1 : v < 0x10000 ? 2 : v < 0x1000000 ? 3 : 4;
    w_.Put(static_cast<uint64_t>(n - 1), 2);
    for (int i = 0; i < n; ++i) w_.Put((v >> (8 * i)) & 0xFF, 8);
  }
  void PutTables(BitWriter& p) {
    for (int i = 0; i < 20; ++i) p.Put(5, 4);  // level symbol s has the code s
    auto lengths = [&](size_t n, uint64_t len) {
      for (size_t i = 0; i < n; ++i) p.Put(len, 5);
    };
    lengths(306, 9);
    lengths(dist_symbols_, 7);
    lengths(16, 4);
    lengths(44, 6);
  }
  void PushOld(uint64_t d) {
    for (int i = 3; i > 0; --i) old_[i] = old_[i - 1];
    old_[0] = d;
  }
  void Copy(uint32_t length, uint64_t dist) {
    for (uint32_t i = 0; i < length; ++i) {
      uint8_t b = dist == 0 || dist > run_.size() ? 0 : run_[run_.size() - dist];
      run_.push_back(b);
      out_.push_back(b);
    }
  }

  uint32_t dist_symbols_;
  BitWriter w_;
  uint64_t old_[4] = {};
  uint32_t last_length_ = 0;
};

using decodetest::VecSink;

std::unique_ptr<Decoder> Make(int version = 50, uint64_t dict = 1 << 20) {
  std::unique_ptr<Decoder> d;
  DecoderParams p;
  p.version = version;
  p.dict_size = dict;
  EXPECT_EQ(CreateRar5Decoder(p, &d), DecodeStatus::kOk);
  return d;
}

DecodeStatus DecodeAll(Decoder& d, const std::vector<uint8_t>& stream, uint64_t size, bool solid,
                       std::vector<uint8_t>* out = nullptr) {
  decodetest::MemSource src(stream);
  VecSink sink;
  DecodeStatus st = d.Decode(src, size, solid, sink);
  if (out) *out = sink.out;
  return st;
}

TEST(Rar5DecoderTest, EverySymbolKindAcrossBlocks) {
  Rar5Encoder e;
  e.Literals("abcdefgh");
  e.Match(5, 8);   // no overlap
  e.Match(20, 1);  // overlapping run of one byte
  e.Match(7, 3);   // overlapping pattern
  e.EndBlock(false);
  e.Literals("0123456789ABCDEF");
  for (int i = 0; i < 300; ++i) e.Literal(static_cast<uint8_t>(i * 7));
  e.Match(300, 0x120);  // bonus +1
  e.Repeat(1, 9);       // distance 3 again, moved to the front
  e.Repeat(0, 4);
  e.Last();                             // same length and distance once more
  e.EndBlock(false, /*tables=*/false);  // a block that reuses the tables
  e.EndBlock(false);                    // a block holding only tables
  e.Match(4097, 1);                     // the longest length
  e.EndBlock(true);
  auto d = Make();
  std::vector<uint8_t> out;
  ASSERT_EQ(DecodeAll(*d, e.stream_, e.out_.size(), false, &out), DecodeStatus::kOk);
  EXPECT_EQ(out, e.out_);
}

TEST(Rar5DecoderTest, FiltersTransformTheWrittenBytesOnly) {
  Rar5Encoder e;
  // A DELTA range of 2 channels, followed by a match that reads the unfiltered
  // window bytes.
  e.Literals("xy");
  e.Filter(0, 6, /*type=*/0, /*channels=*/2);
  for (uint8_t b : {1, 2, 3, 10, 20, 30}) e.Literal(b);
  e.Match(6, 6);
  e.Filter(0, 9, /*type=*/1);  // E8 at file offset 14
  const uint8_t call[] = {0xE8, 0x00, 0x10, 0x00, 0x00, 0x90, 0x90, 0x90, 0x90};
  for (uint8_t b : call) e.Literal(b);
  e.Filter(0, 8, /*type=*/3);  // ARM at file offset 23
  const uint8_t arm[] = {0x10, 0x00, 0x00, 0xEB, 0x00, 0x00, 0x00, 0xEB};
  for (uint8_t b : arm) e.Literal(b);
  e.EndBlock(true);
  std::vector<uint8_t> want = {'x',  'y',  0xFF, 0xF6, 0xFD, 0xE2, 0xFA, 0xC4, 1,    2,    3,
                               10,   20,   30,   0xE8, 0xF1, 0x0F, 0x00, 0x00, 0x90, 0x90, 0x90,
                               0x90, 0x0B, 0x00, 0x00, 0xEB, 0xFA, 0xFF, 0xFF, 0xEB};
  auto d = Make();
  std::vector<uint8_t> out;
  ASSERT_EQ(DecodeAll(*d, e.stream_, e.out_.size(), false, &out), DecodeStatus::kOk);
  EXPECT_EQ(out, want);
}

TEST(Rar5FiltersTest, X86AddressesAroundTheOffsetLimits) {
  const struct {
    const char* name;
    std::vector<uint8_t> in;
    uint32_t offset;
    bool e9;
    std::vector<uint8_t> want;
  } cases[] = {
      {"positive below 2^24",
       {0xE8, 0x00, 0x10, 0x00, 0x00, 0},
       0,
       false,
       {0xE8, 0xFF, 0x0F, 0x00, 0x00, 0}},
      {"offset taken mod 2^24",
       {0xE8, 0x00, 0x10, 0x00, 0x00, 0},
       0x01000000,
       false,
       {0xE8, 0xFF, 0x0F, 0x00, 0x00, 0}},
      {"at or above 2^24 kept",
       {0xE8, 0x00, 0x00, 0x00, 0x01, 0},
       0,
       false,
       {0xE8, 0x00, 0x00, 0x00, 0x01, 0}},
      {"negative that stays negative kept",
       {0xE8, 0x00, 0x00, 0x00, 0xF0, 0},
       5,
       false,
       {0xE8, 0x00, 0x00, 0x00, 0xF0, 0}},
      {"negative made positive by the offset",
       {0xE8, 0xFF, 0xFF, 0xFF, 0xFF, 0},
       5,
       false,
       {0xE8, 0xFF, 0xFF, 0xFF, 0x00, 0}},
      {"E9 only with E8E9",
       {0xE9, 0x00, 0x10, 0x00, 0x00, 0},
       0,
       false,
       {0xE9, 0x00, 0x10, 0x00, 0x00, 0}},
      {"E9 with E8E9",
       {0xE9, 0x00, 0x10, 0x00, 0x00, 0},
       0,
       true,
       {0xE9, 0xFF, 0x0F, 0x00, 0x00, 0}},
      {"no room for an address at the end",
       {0, 0xE8, 0x00, 0x10, 0x00},
       0,
       false,
       {0, 0xE8, 0x00, 0x10, 0x00}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<uint8_t> d = c.in;
    Rar5FilterE8(d.data(), d.size(), c.offset, c.e9);
    EXPECT_EQ(d, c.want);
  }
  std::vector<uint8_t> arm = {0x00, 0x00, 0x00, 0xEB, 0x01};  // tail shorter than 4
  Rar5FilterArm(arm.data(), arm.size(), 8);
  EXPECT_EQ(arm, (std::vector<uint8_t>{0xFE, 0xFF, 0xFF, 0xEB, 0x01}));
  std::vector<uint8_t> delta_out(5);
  const uint8_t delta_in[] = {1, 1, 1, 2, 2};  // 3 channels: planes {1,1} {1,2} {2}
  Rar5FilterDelta(delta_in, delta_out.data(), 5, 3);
  EXPECT_EQ(delta_out, (std::vector<uint8_t>{0xFF, 0xFF, 0xFE, 0xFE, 0xFD}));
}

TEST(Rar5DecoderTest, SolidRunKeepsHistoryTablesAndDistances) {
  Rar5Encoder e;
  e.Literals("solid history ");
  e.Match(6, 14);
  e.EndBlock(true);
  auto d = Make();
  std::vector<uint8_t> out;
  ASSERT_EQ(DecodeAll(*d, e.stream_, e.out_.size(), false, &out), DecodeStatus::kOk);
  EXPECT_EQ(out, e.out_);

  e.NextMember();
  e.Last();         // repeats the previous member's last match
  e.Match(13, 20);  // reaches into the previous member
  e.EndBlock(true, /*tables=*/false);
  ASSERT_EQ(DecodeAll(*d, e.stream_, e.out_.size(), true, &out), DecodeStatus::kOk);
  EXPECT_EQ(out, e.out_);
  const std::vector<uint8_t> second = e.stream_;
  const size_t second_size = e.out_.size();

  // A larger member makes the window grow; the run's first bytes stay reachable.
  e.NextMember();
  for (int i = 0; i < 200000; ++i) e.Literal(static_cast<uint8_t>(i % 251));
  e.Match(14, e.run_.size());
  e.EndBlock(true);
  ASSERT_EQ(DecodeAll(*d, e.stream_, e.out_.size(), true, &out), DecodeStatus::kOk);
  EXPECT_TRUE(out == e.out_);
  EXPECT_EQ(std::vector<uint8_t>(out.end() - 14, out.end()),
            std::vector<uint8_t>(e.run_.begin(), e.run_.begin() + 14));

  // The second member in a fresh run has neither tables nor history.
  EXPECT_EQ(DecodeAll(*d, second, second_size, false), DecodeStatus::kBadData);
  // After a failure the run is lost until a non-solid member starts a new one.
  EXPECT_EQ(DecodeAll(*d, second, second_size, true), DecodeStatus::kBadData);
}

TEST(Rar5DecoderTest, WindowWrapsAtAFractionalRar7Size) {
  // 256 KiB + 3/32: not a power of two. About 1 MiB of output with matches
  // reaching back almost the whole window, through each wrap point.
  const uint64_t dict = (256 << 10) + (256 << 10) / 32 * 3;
  Rar5Encoder e(/*rar7=*/true);
  uint32_t x = 1;
  for (int i = 0; i < 5000; ++i) {
    x = x * 1103515245 + 12345;
    e.Literal(static_cast<uint8_t>(x >> 16));
  }
  while (e.out_.size() < (1u << 20)) {
    uint64_t dist = std::min<uint64_t>(e.out_.size(), dict - (e.out_.size() % 4000));
    e.Match(4000, dist);
    x = x * 1103515245 + 12345;
    e.Literal(static_cast<uint8_t>(x >> 16));
    if (e.out_.size() % 50000 < 4200) e.EndBlock(false);
  }
  e.Match(100, dict);  // the window's full reach
  e.EndBlock(true);
  auto d = Make(70, dict);
  std::vector<uint8_t> out;
  ASSERT_EQ(DecodeAll(*d, e.stream_, e.out_.size(), false, &out), DecodeStatus::kOk);
  EXPECT_TRUE(out == e.out_);
  // One byte further than the window reaches is refused.
  Rar5Encoder far(true);
  for (int i = 0; i < 300000; ++i) far.Literal(static_cast<uint8_t>(i));
  far.Match(10, dict + 1);
  far.EndBlock(true);
  auto d2 = Make(70, dict);
  EXPECT_EQ(DecodeAll(*d2, far.stream_, far.out_.size(), false), DecodeStatus::kBadData);
}

// Builds a member from a few symbols and one final tweak of the stream.
struct BadCase {
  const char* name;
  void (*build)(Rar5Encoder& e);
  uint64_t size_delta;  // added to the declared size
  DecodeStatus want;
};

TEST(Rar5DecoderTest, HostileAndTruncatedInput) {
  const BadCase cases[] = {
      {"distance before the first byte",
       [](Rar5Encoder& e) {
         e.Literals("ab");
         e.Match(4, 3);
       },
       0, DecodeStatus::kBadData},
      {"repeat of a distance never set",
       [](Rar5Encoder& e) {
         e.Literals("ab");
         e.Repeat(2, 4);
       },
       0, DecodeStatus::kBadData},
      {"filter type 4",
       [](Rar5Encoder& e) {
         e.Filter(0, 4, 4);
         e.Literals("abcd");
       },
       0, DecodeStatus::kBadData},
      {"filter over 4 MiB",
       [](Rar5Encoder& e) {
         e.Filter(0, 0x400001, 1);
         e.Literals("abcd");
       },
       0, DecodeStatus::kBadData},
      {"overlapping filters",
       [](Rar5Encoder& e) {
         e.Filter(0, 8, 1);
         e.Filter(4, 8, 1);
         e.Literals("0123456789ab");
       },
       0, DecodeStatus::kBadData},
      {"filter past the member's end",
       [](Rar5Encoder& e) {
         e.Filter(2, 8, 1);
         e.Literals("abcd");
       },
       0, DecodeStatus::kBadData},
      {"data ends before the declared size", [](Rar5Encoder& e) { e.Literals("abcd"); }, 1,
       DecodeStatus::kBadData},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Rar5Encoder e;
    c.build(e);
    e.EndBlock(true);
    auto d = Make();
    EXPECT_EQ(DecodeAll(*d, e.stream_, e.out_.size() + c.size_delta, false), c.want);
  }

  Rar5Encoder e;
  e.Literals("some text that will be cut");
  e.EndBlock(false);
  e.Literals("more");
  e.EndBlock(true);
  const std::vector<uint8_t> good = e.stream_;
  auto d = Make();
  for (size_t cut = 0; cut < good.size(); ++cut) {  // every truncation fails cleanly
    std::vector<uint8_t> s(good.begin(), good.begin() + static_cast<long>(cut));
    EXPECT_NE(DecodeAll(*d, s, e.out_.size(), false), DecodeStatus::kOk) << "cut " << cut;
  }
  std::vector<uint8_t> bad_check = good;
  bad_check[1] ^= 1;
  EXPECT_EQ(DecodeAll(*d, bad_check, e.out_.size(), false), DecodeStatus::kBadData);
  std::vector<uint8_t> no_tables = good;
  no_tables[0] &= 0x7F;  // first block without tables
  no_tables[1] ^= 0x80;
  EXPECT_EQ(DecodeAll(*d, no_tables, e.out_.size(), false), DecodeStatus::kBadData);
  std::vector<uint8_t> four_size_bytes = good;
  four_size_bytes[0] |= 0x18;
  EXPECT_EQ(DecodeAll(*d, four_size_bytes, e.out_.size(), false), DecodeStatus::kBadData);
}

TEST(Rar5DecoderTest, OutputStopsAtTheDeclaredSizeAndReportsIoFailures) {
  Rar5Encoder e;
  e.Literals("0123456789");
  e.Match(100, 10);
  e.EndBlock(true);
  auto d = Make();
  std::vector<uint8_t> out;
  ASSERT_EQ(DecodeAll(*d, e.stream_, 50, false, &out), DecodeStatus::kOk);
  EXPECT_EQ(out, std::vector<uint8_t>(e.out_.begin(), e.out_.begin() + 50));
  ASSERT_EQ(DecodeAll(*d, e.stream_, UINT64_MAX, false, &out), DecodeStatus::kOk);  // size unknown
  EXPECT_EQ(out, e.out_);

  const std::vector<uint8_t> head(e.stream_.begin(), e.stream_.begin() + 20);
  decodetest::MemSource failing(head, SIZE_MAX, /*fail_at_end=*/true);
  VecSink sink;
  EXPECT_EQ(d->Decode(failing, e.out_.size(), false, sink), DecodeStatus::kReadError);
  decodetest::MemSource src(e.stream_);
  VecSink refusing;
  refusing.refuse_ = true;
  EXPECT_EQ(d->Decode(src, e.out_.size(), false, refusing), DecodeStatus::kWriteError);
}

TEST(Rar5DecoderTest, CreationLimitsAndWindowSizing) {
  std::unique_ptr<Decoder> d;
  DecoderParams p;
  p.version = 60;
  p.dict_size = 1 << 20;
  EXPECT_EQ(CreateRar5Decoder(p, &d), DecodeStatus::kUnsupported);
  p.version = 70;
  p.dict_size = kMaxWindowSize + 1;
  EXPECT_EQ(CreateRar5Decoder(p, &d), DecodeStatus::kUnsupported);
  // The largest dictionary for a small member allocates only what the member needs.
  auto big = Make(70, kMaxWindowSize);
  Rar5Encoder e(true);
  e.Literals("tiny");
  e.Match(8, 4);
  e.EndBlock(true);
  std::vector<uint8_t> out;
  ASSERT_EQ(DecodeAll(*big, e.stream_, e.out_.size(), false, &out), DecodeStatus::kOk);
  EXPECT_EQ(out, e.out_);
  // An empty member may have no packed data at all.
  EXPECT_EQ(DecodeAll(*big, {}, 0, false), DecodeStatus::kOk);
}

}  // namespace
}  // namespace rarlib
