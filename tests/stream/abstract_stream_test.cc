// The stream interface: the table hosts bind to, the formatted output and the
// read cache.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "stream/abstract_stream.h"
#include "stream/file_stream.h"
#include "stream/memory_stream.h"
#include "tests/stream/host_stream.h"
#include "tests/stream/stream_test_util.h"

namespace {

// Table index of a virtual member function under the Itanium C++ ABI, where a
// pointer to a virtual member holds 1 + its byte offset in the table.
template <typename M>
long tableIndex(M member) {
  static_assert(sizeof(M) == 2 * sizeof(void*), "Itanium member pointer");
  uintptr_t raw[2];
  memcpy(raw, &member, sizeof raw);
  EXPECT_EQ(raw[0] & 1, 1u) << "not a virtual member";
  return static_cast<long>((raw[0] - 1) / sizeof(void*));
}

TEST(StreamTable, OperationsSitInTheirSlots) {
  // Slot 0 is the destructor, which takes table entries 0 and 1; slot k >= 1
  // is entry k + 1.
  const struct {
    long index;
    int slot;
  } cases[] = {
      {tableIndex(&cAbstractStream::open), 1},
      {tableIndex(&cAbstractStream::read), 2},
      {tableIndex(&cAbstractStream::write), 3},
      {tableIndex(&cAbstractStream::flush), 4},
      {tableIndex(&cAbstractStream::close), 5},
      {tableIndex(&cAbstractStream::length), 6},
      {tableIndex(&cAbstractStream::seek), 7},
      {tableIndex(&cAbstractStream::tell), 8},
      {tableIndex(&cAbstractStream::truncate), 9},
      {tableIndex(&cAbstractStream::printf), 10},
      {tableIndex(&cAbstractStream::vwprintf), 11},
      {tableIndex(&cAbstractStream::wprintf), 12},
      {tableIndex(&cAbstractStream::copyFromStream), 13},
      {tableIndex(&cAbstractStream::setMode), 14},
      {tableIndex(&cMemoryStream::operator=), 15},
      {tableIndex(&cMemoryStream::operator==), 16},
      {tableIndex(&cMemoryStream::mode), 17},
      {tableIndex(&cMemoryStream::testMode), 18},
      {tableIndex(&cMemoryStream::rawPtrAlias), 19},
  };
  for (const auto& c : cases) EXPECT_EQ(c.index, c.slot + 1) << "slot " << c.slot;
}

TEST(StreamTable, HostStreamIsDrivenThroughItsTable) {
  const std::string bytes = streamtest::pattern(5000);
  HostStreamLog log;
  {
    auto host = makeHostStream(bytes, &log);
    host->seek(1000, FIO_SEEK_BEGIN);
    cMemoryStream target(16, 1024);
    ASSERT_EQ(target.open(FIO_MODE_READ | FIO_MODE_WRITE, 0), STAT_OK);
    int64_t copied = 0;
    ASSERT_EQ(target.copyFromStream(host.get(), -1, &copied), STAT_OK);
    EXPECT_EQ(copied, 4000);
    EXPECT_EQ(log.calls, "stlr");  // our seek, then tell, length, read
    EXPECT_EQ(log.lastReadCount, 4000);
    EXPECT_EQ(memcmp(target.rawPtrAlias(0, FIO_SEEK_BEGIN), bytes.data() + 1000, 4000), 0);

    // The formatted output of the base class reaches the host's own write.
    log.calls.clear();
    EXPECT_EQ(host->printf("%d-%s", 42, "x"), 4);
    EXPECT_EQ(host->wprintf(u"ab%s", u"c"), 6);
    EXPECT_EQ(log.calls, "ww");
    EXPECT_EQ(log.written, std::string("42-xa\0b\0c\0", 10));
  }
  EXPECT_TRUE(log.destroyed);
}

// Writes into a string, to see exactly what the formatted output hands over.
class SinkStream : public cAbstractStream {
 public:
  std::string out;
  int writes = 0;
  RSLT open(uint32_t m, uint32_t) override { return mMode = m, STAT_OK; }
  RSLT read(uint8_t*, int64_t, int64_t*) override { return STAT_ERR_NO_FILE; }
  RSLT write(const uint8_t* src, int64_t count, int64_t* put) override {
    ++writes;
    out.append(reinterpret_cast<const char*>(src), static_cast<size_t>(count));
    *put = count;
    return STAT_OK;
  }
  RSLT flush() override { return STAT_OK; }
  RSLT close() override { return STAT_OK; }
  int64_t length() override { return 0; }
  RSLT seek(int64_t, int32_t) override { return STAT_OK; }
  int64_t tell() override { return 0; }
  RSLT truncate() override { return STAT_OK; }
  RSLT copyFromStream(cAbstractStream*, int64_t, int64_t*) override { return STAT_OK; }
  void setMode(uint32_t m) override { mMode = m; }

  using cAbstractStream::cacheFill;
  using cAbstractStream::cacheLookup;
  using cAbstractStream::dropCache;
};

TEST(StreamFormat, PrintfWritesTheTextOnlyAndCutsAt1023) {
  SinkStream s;
  EXPECT_EQ(s.printf("%s", "ab"), 2);
  EXPECT_EQ(s.out, "ab");

  s.out.clear();
  const std::string long1500(1500, 'q');
  EXPECT_EQ(s.printf("%s", long1500.c_str()), 1023);
  EXPECT_EQ(s.out, long1500.substr(0, 1023));

  s.out.clear();
  s.writes = 0;
  EXPECT_EQ(s.printf("%s", ""), 0);
  EXPECT_EQ(s.writes, 0);
}

TEST(StreamFormat, WideOutputIsUtf16UnlessTheModeAsksForNarrowText) {
  SinkStream s;
  EXPECT_EQ(s.wprintf(u"%s", u"abc"), 6);
  EXPECT_EQ(s.out, std::string("a\0b\0c\0", 6));

  s.out.clear();
  s.setMode(FIO_MODE_NARROW_TEXT);
  EXPECT_EQ(s.wprintf(u"%s", u"abc"), 3);
  EXPECT_EQ(s.out, "abc");

  // Non-ASCII text becomes UTF-8.
  s.out.clear();
  EXPECT_EQ(s.wprintf(u"%s", u"\u00e9\u20ac"), 5);
  EXPECT_EQ(s.out, "\xc3\xa9\xe2\x82\xac");
}

TEST(StreamFormat, WideOutputIsCutAt2047UnitsOr2047Bytes) {
  SinkStream s;
  const std::u16string long3000(3000, u'w');
  EXPECT_EQ(s.wprintf(u"%s", long3000.c_str()), 2 * 2047);

  // Narrow: two-byte characters fill 2046 bytes; the next one no longer fits.
  s.out.clear();
  s.setMode(FIO_MODE_NARROW_TEXT);
  const std::u16string accents(1500, u'\u00e9');
  EXPECT_EQ(s.wprintf(u"%s", accents.c_str()), 2046);
  EXPECT_EQ(s.out.size(), 2046u);
  EXPECT_EQ(s.out.substr(0, 2), "\xc3\xa9");
}

TEST(StreamCache, LookupServesOnlyRangesItHolds) {
  SinkStream s;
  const std::string data = streamtest::pattern(4096);
  s.cacheFill(reinterpret_cast<const uint8_t*>(data.data()), 100, 4096);

  uint8_t out[1100] = {};
  // 4096 bytes at 100 keep offsets 100..1123.
  EXPECT_TRUE(s.cacheLookup(out, 1100, 24));
  EXPECT_EQ(memcmp(out, data.data() + 1000, 24), 0);
  const struct {
    int64_t offset, count;
    bool hit;
  } cases[] = {
      {100, 1024, true},   // the whole block
      {1123, 1, true},     // ends exactly at the last cached byte
      {1100, 25, false},   // one byte longer
      {99, 2, false},      // starts before the block
      {500, 0, false},     // count 0, inside the block
      {-1, 5, false},
  };
  for (const auto& c : cases) {
    memset(out, 0xEE, sizeof out);
    EXPECT_EQ(s.cacheLookup(out, c.offset, c.count), c.hit) << c.offset << "+" << c.count;
    if (!c.hit) {
      EXPECT_EQ(out[0], 0xEE) << "copied on a miss";
    }
  }
  EXPECT_FALSE(s.cacheLookup(nullptr, 200, 1));

  s.dropCache();
  EXPECT_FALSE(s.cacheLookup(out, 200, 1));
}

}  // namespace
