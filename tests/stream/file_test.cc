// File and the fio_ layer: validated state, the mode table, clamped
// positioning and the transfer limits.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "stream/abstract_stream.h"
#include "stream/file.h"
#include "stream/fio.h"
#include "tests/stream/stream_test_util.h"

using streamtest::readFile;
using streamtest::writeFile;

namespace {

TEST(File, OpenFollowsTheModeWord) {
  streamtest::ScratchDir dir;
  const struct {
    uint32_t mode;
    bool exists;
    RSLT result;
    bool existsAfter;
    const char* contentAfter;
  } cases[] = {
      {FIO_MODE_READ, false, STAT_ERR_OPEN_FAILED, false, ""},
      {FIO_MODE_WRITE, false, STAT_OK, true, ""},  // open always
      {FIO_MODE_WRITE, true, STAT_OK, true, "old"},
      {FIO_MODE_READ | FIO_MODE_EXISTING, false, STAT_ERR_OPEN_FAILED, false, ""},
      {FIO_MODE_WRITE | FIO_MODE_EXISTING | FIO_MODE_TRUNCATE, true, STAT_OK, true, ""},
      {FIO_MODE_WRITE | FIO_MODE_TRUNCATE, false, STAT_OK, true, ""},  // create always
      {FIO_MODE_WRITE | FIO_MODE_CREATE_NEW, true, STAT_ERR_OPEN_FAILED, true, "old"},
      {0x716, true, STAT_OK, true, "old"},  // the spill mode keeps the contents
      {0x716, false, STAT_ERR_OPEN_FAILED, false, ""},
      {FIO_MODE_EXISTING | FIO_MODE_SHARE_READ, true, STAT_ERR_NO_ACCESS_MODE, true, "old"},
      {FIO_MODE_CREATE_NEW, false, STAT_ERR_NO_ACCESS_MODE, false, ""},
  };
  int i = 0;
  for (const auto& c : cases) {
    const std::string path = dir.path("f" + std::to_string(i++));
    if (c.exists) writeFile(path, "old");
    File f(streamtest::wide(path).c_str(), false);
    ASSERT_EQ(f.ctorStat(), STAT_OK);
    EXPECT_EQ(f.open(c.mode, 0x80), c.result) << "mode " << std::hex << c.mode;
    EXPECT_EQ(f.isOpen(), c.result == STAT_OK);
    f.close();
    EXPECT_EQ(std::filesystem::exists(path), c.existsAfter) << "mode " << std::hex << c.mode;
    if (c.existsAfter) {
      EXPECT_EQ(readFile(path), c.contentAfter);
    }
  }
}

TEST(File, RemarksForRepeatedOpenAndClose) {
  streamtest::ScratchDir dir;
  writeFile(dir.path("a"), "0123456789");
  File f(dir.wpath("a").c_str(), false);
  EXPECT_EQ(f.close(), STAT_INFO_NOT_OPEN);
  ASSERT_EQ(f.open(FIO_MODE_READ, 0x80), STAT_OK);
  EXPECT_EQ(f.open(FIO_MODE_WRITE, 0x80), STAT_INFO_ALREADY_OPEN);
  EXPECT_FALSE(RSLT_IS_FATAL(STAT_INFO_ALREADY_OPEN));
  EXPECT_EQ(f.mode(), FIO_MODE_READ);
  EXPECT_EQ(f.close(), STAT_OK);
  EXPECT_EQ(f.mode(), FIO_MODE_CLOSED);
  EXPECT_EQ(f.tell(), -1);
  // A closed File opens again on its name.
  EXPECT_EQ(f.open(FIO_MODE_READ, 0x80), STAT_OK);
  EXPECT_EQ(f.length(), 10);
}

TEST(File, ReadsToTheEndThenReportsIt) {
  streamtest::ScratchDir dir;
  writeFile(dir.path("a"), "0123456789");
  File f(dir.wpath("a").c_str(), false);
  ASSERT_EQ(f.open(FIO_MODE_READ, 0x80), STAT_OK);
  uint8_t buf[32];
  int64_t got = -1;
  EXPECT_EQ(f.read(buf, 32, &got), STAT_OK);
  EXPECT_EQ(got, 10);
  EXPECT_EQ(f.tell(), 10);
  got = -1;
  EXPECT_EQ(f.read(buf, 32, &got), STAT_ERR_FILE_END);
  EXPECT_EQ(got, 0);
  EXPECT_EQ(f.tell(), 10);
}

TEST(File, SeekClampsToTheRecordedLength) {
  streamtest::ScratchDir dir;
  writeFile(dir.path("a"), std::string(100, 'x'));
  File f(dir.wpath("a").c_str(), false);
  ASSERT_EQ(f.open(FIO_MODE_READ | FIO_MODE_WRITE, 0x80), STAT_OK);
  const struct {
    int64_t offset;
    int32_t origin;
    RSLT result;
    int64_t position;
  } cases[] = {
      {-5, FIO_SEEK_BEGIN, STAT_ERR_SEEK_BEFORE_START, 0},
      {110, FIO_SEEK_BEGIN, STAT_ERR_SEEK_PAST_END, 100},
      {40, FIO_SEEK_BEGIN, STAT_OK, 40},
      {-10, FIO_SEEK_CURRENT, STAT_OK, 30},
      {-1, FIO_SEEK_END, STAT_OK, 99},
      {10, FIO_SEEK_END, STAT_ERR_SEEK_PAST_END, 100},
      {INT64_MAX, FIO_SEEK_CURRENT, STAT_ERR_SEEK_PAST_END, 100},
      {INT64_MIN, FIO_SEEK_CURRENT, STAT_ERR_SEEK_BEFORE_START, 0},
  };
  for (const auto& c : cases) {
    int64_t pos = -7;
    EXPECT_EQ(f.seek(c.offset, c.origin, &pos), c.result) << c.offset << "/" << c.origin;
    EXPECT_EQ(pos, c.position);
    EXPECT_EQ(f.tell(), c.position);
  }
  EXPECT_EQ(f.seek(5, 3, nullptr), STAT_ERR_BAD_PARAM);
  EXPECT_EQ(f.tell(), 0);
  // The platform follows the clamped position.
  ASSERT_EQ(f.seek(98, FIO_SEEK_BEGIN, nullptr), STAT_OK);
  int64_t put = 0;
  ASSERT_EQ(f.write(reinterpret_cast<const uint8_t*>("ABCD"), 4, &put), STAT_OK);
  EXPECT_EQ(f.length(), 102);
  f.close();
  EXPECT_EQ(readFile(dir.path("a")).substr(96), "xxABCD");
}

TEST(File, SeekToAPositionWithAllOnesLowBitsSucceeds) {
  // 4 GiB - 1 is an ordinary position; only a platform failure fails a seek.
  streamtest::ScratchDir dir;
  const std::string path = dir.path("sparse");
  writeFile(path, "");
  std::error_code ec;
  std::filesystem::resize_file(path, (int64_t{1} << 32) + 10, ec);
  if (ec) GTEST_SKIP() << "no sparse file of 4 GiB here: " << ec.message();
  File f(streamtest::wide(path).c_str(), false);
  ASSERT_EQ(f.open(FIO_MODE_READ, 0x80), STAT_OK);
  int64_t pos = 0;
  EXPECT_EQ(f.seek(0xFFFFFFFFLL, FIO_SEEK_BEGIN, &pos), STAT_OK);
  EXPECT_EQ(pos, 0xFFFFFFFFLL);
  uint8_t b[4];
  int64_t got = 0;
  EXPECT_EQ(f.read(b, 4, &got), STAT_OK);
  EXPECT_EQ(got, 4);
  EXPECT_EQ(f.tell(), 0xFFFFFFFFLL + 4);
}

TEST(File, RefusesTransfersOf4GiBAndBadBuffers) {
  streamtest::ScratchDir dir;
  File f(dir.wpath("a").c_str(), false);
  ASSERT_EQ(f.open(FIO_MODE_READ | FIO_MODE_WRITE, 0x80), STAT_OK);
  uint8_t b[8] = {};
  int64_t n = -1;
  EXPECT_EQ(f.read(b, int64_t{1} << 32, &n), STAT_ERR_IO_TOO_LARGE);
  EXPECT_EQ(n, 0);
  EXPECT_EQ(f.write(b, int64_t{1} << 32, &n), STAT_ERR_IO_TOO_LARGE);
  EXPECT_EQ(f.tell(), 0);

  streamtest::DiagCapture diag;
  EXPECT_EQ(f.write(nullptr, 5, &n), STAT_ERR_BAD_POINTER);
  EXPECT_TRUE(diag.contains("Warning: File::write: WX_ASSERT failed: buffer != NULL"));
  EXPECT_EQ(f.length(), 0);
}

TEST(File, NamesAndLengthsOfFilesNotOpen) {
  streamtest::ScratchDir dir;
  writeFile(dir.path("a"), "12345");

  File empty(u"", false);
  EXPECT_EQ(empty.ctorStat(), STAT_INFO_EMPTY_NAME);
  EXPECT_TRUE(empty.isValid());
  EXPECT_EQ(empty.open(FIO_MODE_READ, 0x80), STAT_ERR_OPEN_FAILED);
  EXPECT_EQ(empty.length(), -1);

  File null(nullptr, false);
  EXPECT_EQ(null.ctorStat(), STAT_ERR_NULL_NAME);
  EXPECT_EQ(null.open(FIO_MODE_READ, 0x80), STAT_ERR_BAD_STATE);

  File existing(dir.wpath("a").c_str(), false);
  EXPECT_EQ(existing.length(), 5);
  File missing(dir.wpath("missing").c_str(), false);
  EXPECT_EQ(missing.length(), -1);

  // An open File keeps its name when asked to take another.
  ASSERT_EQ(existing.open(FIO_MODE_READ, 0x80), STAT_OK);
  EXPECT_EQ(existing.setName(u"other", false), STAT_ERR_ALREADY_OPEN);
  EXPECT_EQ(std::u16string(existing.name()), dir.wpath("a"));
}

TEST(File, ResolvesRelativeNamesToFullPaths) {
  File f(u"some/../dir/./x.bin", true);
  ASSERT_EQ(f.ctorStat(), STAT_OK);
  const std::string expected =
      (std::filesystem::current_path() / "dir" / "x.bin").lexically_normal().string();
  EXPECT_EQ(streamtest::narrow(f.name()), expected);

  char16_t small[8];
  EXPECT_EQ(fio_fullPath(u"/a/b/c/d", small, 8), STAT_ERR_PATH_TOO_LONG);
  const std::u16string tooLong(300, u'a');
  EXPECT_EQ(fio_fullPath(tooLong.c_str(), small, 8), STAT_ERR_READ_FAILED);
  File unresolved(tooLong.c_str(), true);
  EXPECT_EQ(unresolved.ctorStat(), STAT_ERR_READ_FAILED);
}

TEST(File, TruncateAndExtendMoveTheEndOfTheFile) {
  streamtest::ScratchDir dir;
  writeFile(dir.path("a"), "0123456789");
  File f(dir.wpath("a").c_str(), false);
  ASSERT_EQ(f.open(FIO_MODE_READ | FIO_MODE_WRITE, 0x80), STAT_OK);
  ASSERT_EQ(f.seek(4, FIO_SEEK_BEGIN, nullptr), STAT_OK);
  EXPECT_EQ(f.truncate(), STAT_OK);
  EXPECT_EQ(f.length(), 4);
  // The record follows: the old end is no longer reachable.
  EXPECT_EQ(f.seek(8, FIO_SEEK_BEGIN, nullptr), STAT_ERR_SEEK_PAST_END);
  EXPECT_EQ(f.extend(7), STAT_OK);
  EXPECT_EQ(f.tell(), 7);
  f.close();
  EXPECT_EQ(readFile(dir.path("a")), std::string("0123\0\0\0", 7));

  ASSERT_EQ(f.open(FIO_MODE_READ, 0x80), STAT_OK);
  EXPECT_EQ(f.extend(20), STAT_ERR_BAD_MODE);
}

}  // namespace
