// PPMd model tests: real PPM streams cut out of corpus archives (single-block RAR 2.9
// members whose data is one PPM block ending in the end-of-file escape), decoded
// through the escape protocol the RAR 2.9 decoder uses, and malformed headers.
#include "rarlib/unpack/ppm_model.h"
#include "rarlib/unpack/ppm_test_encoder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/corpus.h"

namespace rarlib {
namespace {

class VecInput : public PpmByteInput {
 public:
  explicit VecInput(std::vector<uint8_t> d) : d_(std::move(d)) {}
  int NextByte() override { return pos_ < d_.size() ? d_[pos_++] : -1; }

 private:
  std::vector<uint8_t> d_;
  size_t pos_ = 0;
};

using testsupport::CorpusSlice;
using testsupport::Sha256Hex;

// Decodes one PPM-only member: literal bytes, Esc+1, the two match escapes, and
// Esc+2 as the end. Returns false on a model error or any other escape.
bool DecodeMember(PpmModel& m, VecInput& in, size_t limit, std::vector<uint8_t>* out) {
  int esc = 2;
  if (!m.StartBlock(&in, &esc)) return false;
  auto copy = [&](size_t len, size_t dist) {
    if (dist == 0 || dist > out->size()) return false;
    for (size_t i = 0; i < len && out->size() < limit; ++i) out->push_back((*out)[out->size() - dist]);
    return true;
  };
  while (out->size() < limit) {
    int c = m.DecodeChar();
    if (c < 0) return false;
    if (c != esc) {
      out->push_back(static_cast<uint8_t>(c));
      continue;
    }
    int n = m.DecodeChar();
    if (n == 1) {
      out->push_back(static_cast<uint8_t>(esc));
    } else if (n == 2) {
      return true;
    } else if (n == 4) {
      int d2 = m.DecodeChar(), d1 = m.DecodeChar(), d0 = m.DecodeChar(), l = m.DecodeChar();
      if (d2 < 0 || d1 < 0 || d0 < 0 || l < 0) return false;
      if (!copy(l + 32, (size_t(d2) << 16) + (d1 << 8) + d0 + 2)) return false;
    } else if (n == 5) {
      int l = m.DecodeChar();
      if (l < 0 || !copy(l + 4, 1)) return false;
    } else {
      return false;
    }
  }
  return true;
}

struct CorpusCase {
  const char* archive;
  size_t offset, packed, unpacked;
  const char* sha256;  // nullptr: damaged, must not decode to the full size
};

TEST(PpmModel, CorpusStreams) {
  const CorpusCase kCases[] = {
      // 1 MiB model; order 61 with 64 MiB; 256 MiB (the largest).
      {"junrar_preserved-maxmb0.rar", 71, 1711, 5399,
       "0a31d8250be2a88228f9a76753b6aea50f47af974b37762f526c94c41c4b1b80"},
      {"junrar_legit-maxmb63.rar", 71, 8068, 48524,
       "ce38ef7faf04e1785b1ed0142972c40105045e227d74295a464a2011c1ddca7e"},
      {"junrar_hostile-maxmb255.rar", 71, 8068, 48524,
       "ce38ef7faf04e1785b1ed0142972c40105045e227d74295a464a2011c1ddca7e"},
      {"junrar_hostile-ppm-decodechar.rar", 71, 8068, 48524, nullptr},
      {"junrar_hostile-ppm-ps-collect.rar", 71, 8068, 48524, nullptr},
      {"junrar_hostile-ppm-ps-count.rar", 71, 8068, 48524, nullptr},
      {"junrar_hostile-ppm-ps-mask.rar", 71, 8068, 48524, nullptr},
  };
  for (const CorpusCase& c : kCases) {
    SCOPED_TRACE(c.archive);
    std::vector<uint8_t> data = CorpusSlice(c.archive, c.offset, c.packed);
    if (data.empty()) GTEST_SKIP() << "corpus not available at " << ARCUNPACK_CORPUS_DIR;
    PpmModel m;
    VecInput in(data);
    std::vector<uint8_t> out;
    bool ok = DecodeMember(m, in, c.unpacked, &out);
    if (c.sha256 != nullptr) {
      ASSERT_TRUE(ok);
      EXPECT_EQ(out.size(), c.unpacked);
      EXPECT_EQ(Sha256Hex(out), c.sha256);
    } else {
      EXPECT_FALSE(ok && out.size() == c.unpacked &&
                   Sha256Hex(out) == "ce38ef7faf04e1785b1ed0142972c40105045e227d74295a464a2011c1ddca7e");
    }
  }
}

TEST(PpmModel, SolidContinuationAndTruncation) {
  std::vector<uint8_t> data = CorpusSlice("junrar_preserved-maxmb0.rar", 71, 1711);
  if (data.empty()) GTEST_SKIP() << "corpus not available";
  PpmModel m;
  // Truncated stream: decoding stops with an error instead of inventing bytes.
  {
    VecInput in(std::vector<uint8_t>(data.begin(), data.begin() + 600));
    std::vector<uint8_t> out;
    EXPECT_FALSE(DecodeMember(m, in, 5399, &out));
    EXPECT_LT(out.size(), 5399u);
    EXPECT_EQ(m.DecodeChar(), -1);  // the model stays unusable
  }
  // A block that continues the model needs one; after Reset there is none.
  m.Reset();
  int esc = 2;
  VecInput cont({0x80, 0, 0, 0, 0});
  EXPECT_FALSE(m.StartBlock(&cont, &esc));
  // The full stream still decodes on the same object afterwards.
  VecInput in(data);
  std::vector<uint8_t> out;
  EXPECT_TRUE(DecodeMember(m, in, 5399, &out));
  EXPECT_EQ(out.size(), 5399u);
}

// Long streams under the smallest model run it out of memory many times: the
// free-block gluing and the restarts must leave encoder and decoder in step, and
// stay inside the heap.
TEST(PpmModel, ExhaustedModelRoundTrips) {
  struct {
    int order, mb, esc;
    size_t size;
    bool text;
  } kCases[] = {
      {64, 0, 2, 1 << 20, true},    // deep contexts: many contexts per byte
      {6, 0, 0x41, 1 << 20, false}, // binary data with the escape byte in it
      {25, 1, 7, 1 << 20, true},
  };
  uint32_t x = 88172645u;
  for (auto& c : kCases) {
    SCOPED_TRACE(c.order);
    std::vector<uint8_t> data(c.size);
    const char* words[] = {"the ", "model ", "restarts ", "when ", "memory ", "runs ", "out, ", "and\n"};
    for (size_t i = 0; i < data.size();) {
      x ^= x << 13, x ^= x >> 17, x ^= x << 5;
      if (c.text) {
        for (const char* w = words[x % 8]; *w && i < data.size(); ++w) data[i++] = static_cast<uint8_t>(*w);
        if (x % 97 == 0 && i < data.size()) data[i++] = static_cast<uint8_t>(x >> 8);
      } else {
        data[i++] = static_cast<uint8_t>(x % 251 < 200 ? (x >> 8) & 0x47 : x >> 16);
      }
    }
    std::vector<uint8_t> packed = PpmEncodeBlockForTest(data.data(), data.size(), c.order, c.mb, c.esc);
    ASSERT_FALSE(packed.empty());
    PpmModel m;
    VecInput in(packed);
    std::vector<uint8_t> out;
    ASSERT_TRUE(DecodeMember(m, in, data.size() + 1, &out));
    EXPECT_TRUE(out == data);
  }
}

TEST(PpmModel, MalformedHeaders) {
  struct {
    std::vector<uint8_t> bytes;
    bool ok;
    int esc;
  } kCases[] = {
      {{}, false, 2},                             // nothing
      {{0xA0}, false, 2},                         // reset without memory byte
      {{0xA0, 0x00, 0, 0, 0}, false, 2},          // range decoder needs 4 bytes
      {{0xA0, 0x00, 0, 0, 0, 0}, false, 2},       // order code 0 = order 1: invalid
      {{0xE5, 0x00, 0x07, 0, 0, 0, 0}, true, 7},  // order 6, 1 MiB, new escape 7
      {{0xC5, 0x09}, false, 2},                   // no model to continue
  };
  for (auto& c : kCases) {
    PpmModel m;
    VecInput in(c.bytes);
    int esc = 2;
    EXPECT_EQ(m.StartBlock(&in, &esc), c.ok);
    EXPECT_EQ(esc, c.esc);
  }
}

// A real stream with one byte damaged: the model grown so far meets symbols it
// would not otherwise see. Each run ends (error or end marker) without touching
// memory outside the heap; the sanitizer build is what checks the latter.
TEST(PpmModel, DamagedStreamsStayInBounds) {
  std::vector<uint8_t> data = CorpusSlice("junrar_preserved-maxmb0.rar", 71, 1711);
  if (data.empty()) GTEST_SKIP() << "corpus not available";
  uint32_t x = 1u;
  for (int round = 0; round < 150; ++round) {
    std::vector<uint8_t> bad = data;
    x = x * 1664525u + 1013904223u;
    size_t at = 3 + (x >> 8) % (bad.size() - 3);  // past the header: keep the 1 MiB model
    bad[at] ^= static_cast<uint8_t>(1 + (x >> 3) % 255);
    PpmModel m;
    VecInput in(bad);
    std::vector<uint8_t> out;
    DecodeMember(m, in, 5399, &out);
    ASSERT_LE(out.size(), 5399u);
  }
}

TEST(PpmModel, GarbageNeverHangsOrEscapesTheHeap) {
  // Pseudo-random streams after a valid header: each symbol either decodes or
  // fails; the model must stop once the input runs out.
  uint32_t x = 12345;
  for (int round = 0; round < 20; ++round) {
    std::vector<uint8_t> d = {0xBF, static_cast<uint8_t>(round % 3)};  // order 64
    for (int i = 0; i < 4000; ++i) {
      x = x * 1103515245u + 12345u;
      d.push_back(static_cast<uint8_t>(x >> 24));
    }
    PpmModel m;
    VecInput in(d);
    int esc = 2;
    ASSERT_TRUE(m.StartBlock(&in, &esc));
    int n = 0;
    while (m.DecodeChar() >= 0) ASSERT_LT(++n, 4000 * 64);
  }
}

}  // namespace
}  // namespace rarlib
