// cMemoryBuffer and cMemoryStream: growth, zero-fill, modes, limits,
// assignment and raw access.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "stream/memory_buffer.h"
#include "stream/memory_stream.h"
#include "ubl/vmem.h"
#include "tests/stream/host_stream.h"
#include "tests/stream/stream_test_util.h"

namespace {

const uint8_t* bytesOf(const char* s) { return reinterpret_cast<const uint8_t*>(s); }

TEST(MemoryBuffer, ConstructionLimits) {
  const struct {
    int64_t size, growBy, maxSize;
    RSLT stat;
    int64_t sizeAfter;
  } cases[] = {
      {100, 1024, 4096, STAT_OK, 100},
      {0, 1024, 4096, STAT_OK, 0},
      {5000, 1024, 4096, STAT_ERR_SIZE_OVER_MAX, 0},
      {100, 8192, 4096, STAT_ERR_TOO_BIG, 0},
      {-1, 1024, 4096, STAT_ERR_BAD_PARAM, 0},
  };
  for (const auto& c : cases) {
    cMemoryBuffer b(c.size, nullptr, c.growBy, c.maxSize);
    EXPECT_EQ(b.ctorStat(), c.stat) << c.size << "/" << c.growBy;
    EXPECT_EQ(b.size(), c.sizeAfter);
  }
  cMemoryBuffer dflt(10, nullptr, -1, 4096);
  EXPECT_EQ(dflt.growBy(), 1024);
  cMemoryBuffer fixed(10, nullptr, 0, 4096);
  EXPECT_FALSE(fixed.growable());
  EXPECT_EQ(fixed.resize(20), STAT_ERR_NOT_GROWABLE);
}

TEST(MemoryBuffer, GetAndPutBytes) {
  cMemoryBuffer b(1024, nullptr, 1024, 1 << 20);
  std::string data = streamtest::pattern(3000);
  int64_t n = -1;
  ASSERT_EQ(b.putBytes(reinterpret_cast<const uint8_t*>(data.data()), 0, 3000, &n), STAT_OK);
  EXPECT_EQ(n, 3000);
  EXPECT_EQ(b.size(), 3072);  // grown in whole increments

  uint8_t out[100];
  EXPECT_EQ(b.getBytes(out, 3000, 100, &n), STAT_OK);
  EXPECT_EQ(n, 72);
  EXPECT_EQ(b.getBytes(out, 3072, 10, &n), STAT_INFO_NOTHING_DONE);
  EXPECT_EQ(n, 0);
  {
    streamtest::DiagCapture diag;
    EXPECT_EQ(b.getBytes(out, 3073, 10, &n), STAT_ERR_BAD_PARAM);
    EXPECT_TRUE(diag.contains("cMemoryBuffer::getBytes: argued offset c01 exceeds buffer size c00"));
  }
  EXPECT_EQ(b.putBytes(bytesOf("x"), 0, 0, &n), STAT_INFO_NOTHING_DONE);
  EXPECT_EQ(b.putBytes(bytesOf("x"), (int64_t{1} << 20), 1, &n), STAT_ERR_BAD_STATE);
  EXPECT_EQ(b.putBytes(bytesOf("x"), INT64_MAX, 1, &n), STAT_ERR_BAD_STATE);

  cMemoryBuffer fixed(16, nullptr, 0, 4096);
  EXPECT_EQ(fixed.putBytes(bytesOf("0123456789"), 10, 10, &n), STAT_ERR_NO_ROOM);

  EXPECT_EQ(b.rawPtrAlias(3071), b.rawPtrAlias(0) + 3071);
  EXPECT_EQ(b.rawPtrAlias(3072), nullptr);

  cMemoryBuffer copy(b);
  EXPECT_EQ(copy.ctorStat(), STAT_OK);
  EXPECT_EQ(copy.size(), 3072);
  EXPECT_EQ(memcmp(copy.rawPtrAlias(0), data.data(), 3000), 0);
}

TEST(MemoryBuffer, StorageAtARequestedAddress) {
  // Find a free range, give it back, then ask for it by address.
  void* probe = ublVirtualAlloc(nullptr, 8192, UBL_MEM_RESERVE, UBL_PAGE_READWRITE, "test");
  ASSERT_NE(probe, nullptr);
  ASSERT_TRUE(ublVirtualFree(probe, 8192, UBL_MEM_RELEASE, "test"));
  {
    cMemoryBuffer b(8192, probe, 1024, 1 << 20);
    ASSERT_EQ(b.ctorStat(), STAT_OK);
    EXPECT_EQ(b.rawPtrAlias(0), probe);
    EXPECT_EQ(b.rawPtrAlias(8191)[0], 0);

    // The range is taken now: a second buffer there fails and says why.
    streamtest::DiagCapture diag;
    cMemoryBuffer clash(4096, probe, 1024, 1 << 20);
    EXPECT_EQ(clash.ctorStat(), STAT_ERR_NO_MEMORY);
    EXPECT_EQ(clash.size(), 0);
    EXPECT_TRUE(diag.contains("Error: cMemoryBuffer::cMemoryBuffer failed with error 12"));
  }
  // Released again by the destructor: the range can be had once more.
  void* again = ublVirtualAlloc(probe, 8192, UBL_MEM_RESERVE, UBL_PAGE_READWRITE, "test");
  EXPECT_EQ(again, probe);
  if (again != nullptr) ublVirtualFree(again, 8192, UBL_MEM_RELEASE, "test");
}

TEST(MemoryStream, ConstructionAndModes) {
  cMemoryStream zero(0, 1024);
  EXPECT_EQ(zero.ctorStat(), STAT_ERR_ZERO_SIZE);
  EXPECT_EQ(zero.open(FIO_MODE_READ, 0), STAT_ERR_NOT_CONSTRUCTED);
  cMemoryStream huge(MEMORY_STREAM_MAX_BYTES + 1, 1024);
  EXPECT_EQ(huge.ctorStat(), STAT_ERR_SIZE_OVER_MAX);

  cMemoryStream s(64, 1024);
  EXPECT_TRUE(s.testMode(FIO_MODE_CLOSED));
  EXPECT_EQ(s.open(FIO_MODE_READ | FIO_MODE_EXISTING, 0), STAT_ERR_MUST_EXIST);
  ASSERT_EQ(s.open(FIO_MODE_READ | FIO_MODE_WRITE, 0), STAT_OK);
  const std::string fifty(50, 'f');
  int64_t n = 0;
  ASSERT_EQ(s.write(reinterpret_cast<const uint8_t*>(fifty.data()), 50, &n), STAT_OK);
  EXPECT_EQ(s.open(FIO_MODE_WRITE | FIO_MODE_CREATE_NEW, 0), STAT_ERR_MUST_BE_NEW);

  // Read-write open keeps the data and starts at 0; close keeps it too.
  ASSERT_EQ(s.close(), STAT_OK);
  EXPECT_EQ(s.length(), -1);
  ASSERT_EQ(s.open(FIO_MODE_READ | FIO_MODE_WRITE, 0), STAT_OK);
  EXPECT_EQ(s.tell(), 0);
  EXPECT_EQ(s.length(), 50);
  // A write-only open empties it.
  ASSERT_EQ(s.open(FIO_MODE_WRITE, 0), STAT_OK);
  EXPECT_EQ(s.length(), 0);
  EXPECT_TRUE(s.testMode(FIO_MODE_TRUNCATE));
  uint8_t b[4];
  EXPECT_EQ(s.read(b, 4, &n), STAT_ERR_BAD_MODE);
}

TEST(MemoryStream, WritesGrowTheBuffer) {
  cMemoryStream s(16, 1024);
  ASSERT_EQ(s.open(FIO_MODE_WRITE, 0), STAT_OK);
  const std::string twenty = streamtest::pattern(20);
  int64_t n = 0;
  ASSERT_EQ(s.write(reinterpret_cast<const uint8_t*>(twenty.data()), 20, &n), STAT_OK);
  EXPECT_EQ(n, 20);
  EXPECT_EQ(s.buffer()->size(), 1040);
  EXPECT_EQ(s.length(), 20);

  cMemoryStream fixed(16, 0);
  ASSERT_EQ(fixed.open(FIO_MODE_WRITE, 0), STAT_OK);
  EXPECT_EQ(fixed.write(reinterpret_cast<const uint8_t*>(twenty.data()), 20, &n), STAT_ERR_NO_ROOM);
  EXPECT_EQ(n, 0);
  EXPECT_EQ(fixed.length(), 0);

  cMemoryStream closed(16, 1024);
  EXPECT_EQ(closed.write(bytesOf("x"), 1, &n), STAT_ERR_BAD_MODE);
}

TEST(MemoryStream, SeekZeroFillsAndGrows) {
  const std::string ten(10, 'T');
  auto tenBytes = [&](int64_t growBy) {
    auto s = std::make_unique<cMemoryStream>(64, growBy);
    EXPECT_EQ(s->open(FIO_MODE_READ | FIO_MODE_WRITE, 0), STAT_OK);
    int64_t n = 0;
    EXPECT_EQ(s->write(reinterpret_cast<const uint8_t*>(ten.data()), 10, &n), STAT_OK);
    return s;
  };

  auto s = tenBytes(1024);
  // Dirty the storage beyond the data, to see the zero-fill.
  memset(s->rawPtrAlias(0, FIO_SEEK_BEGIN) + 10, 0xAB, 54);
  EXPECT_EQ(s->seek(0, FIO_SEEK_END), STAT_OK);
  EXPECT_EQ(s->tell(), 9);  // the end origin counts from the last byte
  EXPECT_EQ(s->seek(-20, FIO_SEEK_CURRENT), STAT_ERR_MEM_SEEK_BEFORE_START);
  EXPECT_EQ(s->tell(), 0);
  EXPECT_EQ(s->seek(5, 7), STAT_ERR_BAD_PARAM);

  EXPECT_EQ(s->seek(100, FIO_SEEK_BEGIN), STAT_OK);
  EXPECT_EQ(s->tell(), 100);
  EXPECT_EQ(s->buffer()->size(), 1088);
  EXPECT_EQ(s->length(), 1088);
  const uint8_t* p = s->rawPtrAlias(0, FIO_SEEK_BEGIN);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(p), 10), ten);
  for (int i = 10; i < 1088; ++i) ASSERT_EQ(p[i], 0) << i;

  auto fixed = tenBytes(0);
  EXPECT_EQ(fixed->seek(100, FIO_SEEK_BEGIN), STAT_INFO_CLAMPED);
  EXPECT_EQ(fixed->tell(), 10);
  // Within the storage the data simply lengthen with zeros.
  EXPECT_EQ(fixed->seek(30, FIO_SEEK_BEGIN), STAT_OK);
  EXPECT_EQ(fixed->length(), 30);

  // A far target fails at the maximum without touching memory past it.
  auto far = tenBytes(1024);
  EXPECT_EQ(far->seek(int64_t{1} << 40, FIO_SEEK_BEGIN), STAT_ERR_BAD_STATE);
  int64_t n = 0;
  EXPECT_EQ(far->write(bytesOf("x"), 1, &n), STAT_ERR_BAD_STATE);
}

TEST(MemoryStream, ReadsAndEndOfData) {
  cMemoryStream s(64, 1024);
  ASSERT_EQ(s.open(FIO_MODE_READ | FIO_MODE_WRITE, 0), STAT_OK);
  int64_t n = 0;
  ASSERT_EQ(s.write(bytesOf("0123456789"), 10, &n), STAT_OK);
  ASSERT_EQ(s.seek(4, FIO_SEEK_BEGIN), STAT_OK);
  uint8_t b[20];
  EXPECT_EQ(s.read(b, 20, &n), STAT_OK);
  EXPECT_EQ(n, 6);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(b), 6), "456789");
  n = -1;
  EXPECT_EQ(s.read(b, 20, &n), STAT_ERR_BAD_PARAM);
  EXPECT_EQ(n, 0);
  EXPECT_EQ(s.read(nullptr, 1, &n), STAT_ERR_BAD_PARAM);

  ASSERT_EQ(s.seek(3, FIO_SEEK_BEGIN), STAT_OK);
  ASSERT_EQ(s.truncate(), STAT_OK);
  EXPECT_EQ(s.length(), 3);
}

TEST(MemoryStream, DiagnosticsOfTellAndRawAccess) {
  streamtest::DiagCapture diag;
  cMemoryStream s(16, 1024);
  EXPECT_EQ(s.tell(), -1);
  EXPECT_TRUE(diag.contains("Error: cMemoryStream::Tell: stream not open"));
  EXPECT_EQ(s.rawPtrAlias(0, FIO_SEEK_BEGIN), nullptr);
  EXPECT_TRUE(diag.contains("cMemoryStream::rawPtrAlias: bad stream mode"));

  ASSERT_EQ(s.open(FIO_MODE_READ | FIO_MODE_WRITE, 0), STAT_OK);
  int64_t n = 0;
  ASSERT_EQ(s.write(bytesOf("0123456789"), 10, &n), STAT_OK);
  // Data shorter than the storage: the end is a valid address.
  EXPECT_EQ(s.rawPtrAlias(0, FIO_SEEK_END), s.rawPtrAlias(0, FIO_SEEK_BEGIN) + 10);
  EXPECT_EQ(s.rawPtrAlias(-11, FIO_SEEK_END), nullptr);
  EXPECT_TRUE(diag.contains("cMemoryStream::rawPtrAlias: underflow"));
  EXPECT_EQ(s.rawPtrAlias(1, FIO_SEEK_END), nullptr);
  EXPECT_TRUE(diag.contains("cMemoryStream::rawPtrAlias: overflow"));

  // Data filling the whole storage: the end is refused by the buffer.
  ASSERT_EQ(s.write(bytesOf("abcdef"), 6, &n), STAT_OK);
  ASSERT_EQ(s.buffer()->size(), 16);
  EXPECT_EQ(s.rawPtrAlias(0, FIO_SEEK_END), nullptr);
  EXPECT_TRUE(diag.contains(
      "cMemoryBuffer::rawPtrAlias: could not allocate pointer: location 16, but size was 16"));
}

TEST(MemoryStream, CopyFromStreamLimitsAndSourceState) {
  const std::string data = streamtest::pattern(300);
  HostStreamLog log;
  auto host = makeHostStream(data, &log);
  cMemoryStream s(16, 1024);
  int64_t copied = -1;
  EXPECT_EQ(s.copyFromStream(host.get(), 10, &copied), STAT_ERR_BAD_MODE);  // closed
  ASSERT_EQ(s.open(FIO_MODE_READ | FIO_MODE_WRITE, 0), STAT_OK);
  EXPECT_EQ(s.copyFromStream(host.get(), 0, &copied), STAT_INFO_NOTHING_DONE);
  {
    streamtest::DiagCapture diag;
    EXPECT_EQ(s.copyFromStream(host.get(), 0x6400001, &copied), STAT_ERR_TOO_BIG);
    EXPECT_TRUE(diag.contains("cMemoryStream::copyFromStream: youre kidding, right?? size=6400001"));
  }
  EXPECT_EQ(log.calls, "");  // refused before touching the source

  // A short source is no error: what came is what is written.
  EXPECT_EQ(s.copyFromStream(host.get(), 1000, &copied), STAT_OK);
  EXPECT_EQ(copied, 300);
  EXPECT_EQ(s.length(), 300);
  {
    streamtest::DiagCapture diag;
    EXPECT_EQ(s.copyFromStream(host.get(), -1, &copied), STAT_ERR_FAILED);
    EXPECT_TRUE(diag.contains(
        "cMemoryStream::copyFromStream: bad source stream state: tell=12c, length=12c"));
  }
}

TEST(MemoryStream, AssignmentAndComparison) {
  cMemoryStream a(16, 1024), b(8, 1024);
  ASSERT_EQ(a.open(FIO_MODE_READ | FIO_MODE_WRITE, 0), STAT_OK);
  int64_t n = 0;
  ASSERT_EQ(a.write(bytesOf("hello world, again"), 18, &n), STAT_OK);
  ASSERT_EQ(a.seek(6, FIO_SEEK_BEGIN), STAT_OK);

  EXPECT_FALSE(b == a);  // b is closed: no length
  b = a;
  EXPECT_EQ(b.ctorStat(), STAT_OK);
  EXPECT_EQ(b.mode(), a.mode());
  EXPECT_EQ(b.tell(), 6);
  EXPECT_TRUE(b == a);
  // A deep copy: changing one leaves the other.
  ASSERT_EQ(b.write(bytesOf("W"), 1, &n), STAT_OK);
  EXPECT_FALSE(b == a);

  cMemoryStream broken(0, 1024);
  b = broken;
  EXPECT_EQ(b.ctorStat(), STAT_ERR_ASSIGN_SOURCE);
  b = a;  // a broken target stays broken
  EXPECT_EQ(b.ctorStat(), STAT_ERR_ASSIGN_BROKEN);
  EXPECT_EQ(b.open(FIO_MODE_READ, 0), STAT_ERR_NOT_CONSTRUCTED);
}

}  // namespace
