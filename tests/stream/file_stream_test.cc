// cFileStream: broken construction, the spill sequence, the read cache,
// positioning and copying from other streams.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <string>

#include "stream/file_stream.h"
#include "stream/memory_stream.h"
#include "tests/stream/host_stream.h"
#include "tests/stream/stream_test_util.h"

using streamtest::pattern;
using streamtest::readFile;
using streamtest::writeFile;

namespace {

const uint8_t* bytesOf(const std::string& s) { return reinterpret_cast<const uint8_t*>(s.data()); }

TEST(FileStream, BrokenStreamsRefuseEverything) {
  streamtest::DiagCapture diag;
  cFileStream nullPath(nullptr);
  EXPECT_EQ(nullPath.ctorStat(), STAT_ERR_BAD_PARAM);
  cFileStream emptyPath(u"");
  EXPECT_EQ(emptyPath.ctorStat(), STAT_INFO_EMPTY_NAME);

  for (cFileStream* s : {&nullPath, &emptyPath}) {
    uint8_t b[4];
    int64_t n = -1;
    EXPECT_EQ(s->open(0x716, 0x80), STAT_ERR_NOT_CONSTRUCTED);
    EXPECT_EQ(s->read(b, 4, &n), STAT_ERR_NOT_CONSTRUCTED);
    EXPECT_EQ(n, 0);
    EXPECT_EQ(s->write(b, 4, &n), STAT_ERR_NOT_CONSTRUCTED);
    EXPECT_EQ(s->flush(), STAT_ERR_NOT_CONSTRUCTED);
    EXPECT_EQ(s->close(), STAT_ERR_NOT_CONSTRUCTED);
    EXPECT_EQ(s->seek(0, FIO_SEEK_BEGIN), STAT_ERR_NOT_CONSTRUCTED);
    EXPECT_EQ(s->truncate(), STAT_ERR_NOT_CONSTRUCTED);
    EXPECT_EQ(s->length(), -1);
    EXPECT_EQ(s->tell(), 0);
    EXPECT_EQ(s->printf("abc"), 0);
    EXPECT_EQ(s->name(), nullptr);
  }
  EXPECT_TRUE(diag.contains("cFileStream::length: WX_ASSERT failed: mCtorStat == STAT_OK"));
}

TEST(FileStream, SpillSequenceLeavesExactlyTheBytesWritten) {
  // As the plug-in spills a host stream: construct on an existing empty file,
  // open(0x716, 0x80), write chunks of 32768 bytes, close.
  streamtest::ScratchDir dir;
  writeFile(dir.path("spill"), "");
  const std::string data = pattern(3 * 32768 + 4321);
  HostStreamLog log;
  auto host = makeHostStream(data, &log);
  ASSERT_EQ(host->seek(0, FIO_SEEK_BEGIN), STAT_OK);
  int64_t remaining = host->length();

  cFileStream out(dir.wpath("spill").c_str());
  ASSERT_EQ(out.open(0x716, 0x80), STAT_OK);
  EXPECT_EQ(out.length(), 0);
  std::string chunkBuf(32768, '\0');
  uint8_t* chunk = reinterpret_cast<uint8_t*>(chunkBuf.data());
  while (remaining > 0) {
    const int64_t n = remaining < 32768 ? remaining : 32768;
    int64_t got = 0, put = 0;
    ASSERT_EQ(host->read(chunk, n, &got), STAT_OK);
    ASSERT_EQ(got, n);
    ASSERT_EQ(out.write(chunk, n, &put), STAT_OK);
    ASSERT_EQ(put, n);
    remaining -= n;
  }
  EXPECT_EQ(out.tell(), static_cast<int64_t>(data.size()));
  EXPECT_EQ(out.close(), STAT_OK);
  EXPECT_EQ(readFile(dir.path("spill")), data);
}

TEST(FileStream, ReadStopsAtTheEndThenReportsIt) {
  streamtest::ScratchDir dir;
  const std::string data = pattern(100);
  writeFile(dir.path("a"), data);
  cFileStream s(dir.wpath("a").c_str());
  EXPECT_EQ(s.length(), 100);  // measured while not open
  ASSERT_EQ(s.open(FIO_MODE_READ, 0x80), STAT_OK);
  uint8_t buf[200];
  int64_t got = -1;
  EXPECT_EQ(s.read(buf, 200, &got), STAT_OK);
  EXPECT_EQ(got, 100);
  EXPECT_EQ(memcmp(buf, data.data(), 100), 0);
  got = -1;
  EXPECT_EQ(s.read(buf, 200, &got), STAT_ERR_FILE_END);
  EXPECT_EQ(got, 0);
  EXPECT_EQ(s.tell(), 100);

  // A large read goes straight into the caller's buffer.
  const std::string big = pattern(5000, 2);
  writeFile(dir.path("b"), big);
  cFileStream b(dir.wpath("b").c_str());
  ASSERT_EQ(b.open(FIO_MODE_READ, 0x80), STAT_OK);
  std::string into(5000, '\0');
  ASSERT_EQ(b.read(reinterpret_cast<uint8_t*>(into.data()), 4000, &got), STAT_OK);
  ASSERT_EQ(b.read(reinterpret_cast<uint8_t*>(into.data()) + 4000, 4000, &got), STAT_OK);
  EXPECT_EQ(got, 1000);
  EXPECT_EQ(into, big);
}

TEST(FileStream, SmallReadsAreServedFromOnePlatformRead) {
  streamtest::ScratchDir dir;
  const std::string path = dir.path("a");
  writeFile(path, pattern(2000));
  const std::string original = readFile(path);
  cFileStream s(streamtest::wide(path).c_str());
  ASSERT_EQ(s.open(FIO_MODE_READ | FIO_MODE_WRITE, 0x80), STAT_OK);
  uint8_t a[10], b[10];
  int64_t got = 0;
  ASSERT_EQ(s.read(a, 10, &got), STAT_OK);

  // Change the file behind the stream's back: a read served by the cache
  // still sees the old bytes, so the first read fetched them both.
  {
    std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(10);
    f << "ZZZZZZZZZZ";
  }
  ASSERT_EQ(s.read(b, 10, &got), STAT_OK);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(b), 10), original.substr(10, 10));

  // Our own write drops the cache: reading the range again shows new bytes.
  ASSERT_EQ(s.seek(5, FIO_SEEK_BEGIN), STAT_OK);
  int64_t put = 0;
  ASSERT_EQ(s.write(bytesOf("abc"), 3, &put), STAT_OK);
  ASSERT_EQ(s.seek(0, FIO_SEEK_BEGIN), STAT_OK);
  uint8_t c[20];
  ASSERT_EQ(s.read(c, 20, &got), STAT_OK);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(c), 20),
            original.substr(0, 5) + "abc" + original.substr(8, 2) + "ZZZZZZZZZZ");
}

TEST(FileStream, SeekClampsUnlessWriting) {
  streamtest::ScratchDir dir;
  writeFile(dir.path("a"), std::string(100, 'x'));
  const struct {
    uint32_t mode;
    int64_t offset;
    int32_t origin;
    int64_t position;
  } cases[] = {
      {FIO_MODE_READ, 150, FIO_SEEK_BEGIN, 100},
      {FIO_MODE_READ | FIO_MODE_WRITE, 150, FIO_SEEK_BEGIN, 150},
      {FIO_MODE_READ, -5, FIO_SEEK_BEGIN, 0},
      {FIO_MODE_READ, -10, FIO_SEEK_END, 90},
      {FIO_MODE_READ, 7, 9, 7},  // any other origin counts from the start
      {FIO_MODE_READ, INT64_MAX, FIO_SEEK_END, 100},
  };
  for (const auto& c : cases) {
    cFileStream s(dir.wpath("a").c_str());
    ASSERT_EQ(s.open(c.mode, 0x80), STAT_OK);
    EXPECT_EQ(s.seek(c.offset, c.origin), STAT_OK);
    EXPECT_EQ(s.tell(), c.position) << c.offset << "/" << c.origin;
  }
}

TEST(FileStream, WritePastTheEndLandsAtThePosition) {
  streamtest::ScratchDir dir;
  writeFile(dir.path("a"), std::string(100, 'x'));
  cFileStream s(dir.wpath("a").c_str());
  ASSERT_EQ(s.open(FIO_MODE_READ | FIO_MODE_WRITE, 0x80), STAT_OK);
  ASSERT_EQ(s.seek(150, FIO_SEEK_BEGIN), STAT_OK);
  int64_t put = 0;
  ASSERT_EQ(s.write(bytesOf("END"), 3, &put), STAT_OK);
  EXPECT_EQ(s.length(), 153);
  EXPECT_EQ(s.tell(), 153);
  // Positioned past the end again, truncate grows the file to the position.
  ASSERT_EQ(s.seek(160, FIO_SEEK_BEGIN), STAT_OK);
  EXPECT_EQ(s.truncate(), STAT_OK);
  ASSERT_EQ(s.close(), STAT_OK);
  EXPECT_EQ(readFile(dir.path("a")),
            std::string(100, 'x') + std::string(50, '\0') + "END" + std::string(7, '\0'));
}

TEST(FileStream, TruncateNeedsWriteMode) {
  streamtest::ScratchDir dir;
  writeFile(dir.path("a"), "0123456789");
  cFileStream s(dir.wpath("a").c_str());
  ASSERT_EQ(s.open(FIO_MODE_READ, 0x80), STAT_OK);
  ASSERT_EQ(s.seek(4, FIO_SEEK_BEGIN), STAT_OK);
  EXPECT_EQ(s.truncate(), STAT_ERR_BAD_STATE);
  EXPECT_EQ(s.length(), 10);

  s.close();
  cFileStream w(dir.wpath("a").c_str());
  ASSERT_EQ(w.open(FIO_MODE_READ | FIO_MODE_WRITE, 0x80), STAT_OK);
  ASSERT_EQ(w.seek(4, FIO_SEEK_BEGIN), STAT_OK);
  EXPECT_EQ(w.truncate(), STAT_OK);
  EXPECT_EQ(w.length(), 4);
  w.close();
  EXPECT_EQ(readFile(dir.path("a")), "0123");
}

TEST(FileStream, FailedWriteChangesNothing) {
  streamtest::ScratchDir dir;
  writeFile(dir.path("a"), "0123456789");
  cFileStream s(dir.wpath("a").c_str());
  ASSERT_EQ(s.open(FIO_MODE_READ, 0x80), STAT_OK);  // the file is not writable
  ASSERT_EQ(s.seek(3, FIO_SEEK_BEGIN), STAT_OK);
  int64_t put = -1;
  EXPECT_EQ(s.write(bytesOf("xyz"), 3, &put), STAT_ERR_WRITE_FAILED);
  EXPECT_EQ(put, 0);
  EXPECT_EQ(s.tell(), 3);
  EXPECT_EQ(s.length(), 10);
  uint8_t b[3];
  int64_t got = 0;
  ASSERT_EQ(s.read(b, 3, &got), STAT_OK);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(b), 3), "345");
}

TEST(FileStream, ReopenContinuesAtTheOldPosition) {
  streamtest::ScratchDir dir;
  writeFile(dir.path("a"), "0123456789");
  cFileStream s(dir.wpath("a").c_str());
  ASSERT_EQ(s.open(FIO_MODE_READ, 0x80), STAT_OK);
  ASSERT_EQ(s.seek(6, FIO_SEEK_BEGIN), STAT_OK);
  ASSERT_EQ(s.close(), STAT_OK);
  EXPECT_EQ(s.flush(), STAT_ERR_NOT_OPEN);
  ASSERT_EQ(s.open(FIO_MODE_READ, 0x80), STAT_OK);
  uint8_t b[2];
  int64_t got = 0;
  ASSERT_EQ(s.read(b, 2, &got), STAT_OK);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(b), 2), "67");
}

TEST(FileStream, NeverOpenedStreamFailsItsTransfers) {
  streamtest::ScratchDir dir;
  writeFile(dir.path("a"), "0123456789");
  streamtest::DiagCapture diag;
  cFileStream s(dir.wpath("a").c_str());
  uint8_t b[4];
  int64_t n = 0;
  EXPECT_EQ(s.read(b, 4, &n), STAT_ERR_NO_FILE);
  EXPECT_EQ(s.write(b, 4, &n), STAT_ERR_NO_FILE);
  EXPECT_TRUE(diag.contains("File::tell: WX_ASSERT failed: isOpen()"));
  EXPECT_EQ(readFile(dir.path("a")), "0123456789");
}

TEST(FileStream, CopiesFromOtherStreams) {
  streamtest::ScratchDir dir;
  const std::string data = pattern(3000);
  HostStreamLog log;
  auto host = makeHostStream(data, &log);

  cFileStream s(dir.wpath("a").c_str());
  int64_t copied = -1;
  EXPECT_EQ(s.copyFromStream(host.get(), 10, &copied), STAT_ERR_BAD_MODE);  // not open
  ASSERT_EQ(s.open(FIO_MODE_READ | FIO_MODE_WRITE, 0x80), STAT_OK);
  EXPECT_EQ(s.copyFromStream(host.get(), 0, &copied), STAT_ERR_NOT_CONSTRUCTED);

  ASSERT_EQ(host->seek(1000, FIO_SEEK_BEGIN), STAT_OK);
  EXPECT_EQ(s.copyFromStream(host.get(), -1, &copied), STAT_OK);
  EXPECT_EQ(copied, 2000);

  // A source that delivers less: nothing is written.
  HostStreamLog shortLog;
  auto shortHost = makeHostStream(data, &shortLog, 500);
  EXPECT_EQ(s.copyFromStream(shortHost.get(), 1000, &copied), STAT_ERR_SHORT_READ);
  EXPECT_EQ(copied, 0);
  s.close();
  EXPECT_EQ(readFile(dir.path("a")), data.substr(1000));
}

TEST(FileStream, CopyAbove16MiBWarnsAndStillCopies) {
  streamtest::ScratchDir dir;
  const int64_t size = 20 << 20;
  cMemoryStream src(size, 1024);
  ASSERT_EQ(src.open(FIO_MODE_READ | FIO_MODE_WRITE, 0), STAT_OK);
  ASSERT_EQ(src.seek(size - 1, FIO_SEEK_BEGIN), STAT_OK);  // zero-filled data
  int64_t put = 0;
  ASSERT_EQ(src.write(bytesOf("!"), 1, &put), STAT_OK);
  ASSERT_EQ(src.seek(0, FIO_SEEK_BEGIN), STAT_OK);

  streamtest::DiagCapture diag;
  cFileStream s(dir.wpath("big").c_str());
  ASSERT_EQ(s.open(FIO_MODE_WRITE, 0x80), STAT_OK);
  int64_t copied = 0;
  EXPECT_EQ(s.copyFromStream(&src, -1, &copied), STAT_OK);
  EXPECT_EQ(copied, size);
  EXPECT_TRUE(diag.contains(
      "cFileStream::copyFromStream: WX_ASSERT failed: numBytes >= 0 && numBytes < 0x1000000"));
  s.close();
  EXPECT_EQ(std::filesystem::file_size(dir.path("big")), static_cast<uintmax_t>(size));
}

}  // namespace
