// cConsoleStream and ublPrint: what reaches standard output.
#include <gtest/gtest.h>

#include <string>

#include "stream/console_stream.h"

namespace {

// Runs `body` with standard output captured; returns what it printed.
template <typename F>
std::string captured(F body) {
  testing::internal::CaptureStdout();
  body();
  fflush(stdout);
  return testing::internal::GetCapturedStdout();
}

TEST(ConsoleStream, OnlyWritesAndFlushes) {
  cConsoleStream c;
  uint8_t b[4];
  int64_t n = 77;
  EXPECT_EQ(c.read(b, 4, &n), STAT_ERR_NO_FILE);
  EXPECT_EQ(n, 77);  // untouched
  EXPECT_EQ(c.copyFromStream(&c, 4, &n), STAT_ERR_NO_FILE);
  EXPECT_EQ(n, 77);
  EXPECT_EQ(c.seek(0, FIO_SEEK_BEGIN), STAT_ERR_NO_FILE);
  EXPECT_EQ(c.truncate(), STAT_ERR_NO_FILE);
  EXPECT_EQ(c.tell(), 0);
  EXPECT_EQ(c.length(), 0);
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(c.open(FIO_MODE_READ, 0), STAT_OK);
    EXPECT_EQ(c.close(), STAT_OK);
  }
  EXPECT_EQ(c.flush(), STAT_OK);

  std::string out = captured([&] {
    EXPECT_EQ(c.write(reinterpret_cast<const uint8_t*>("x"), 0, &n), STAT_OK);
    EXPECT_EQ(n, 0);
  });
  EXPECT_EQ(out, "");
}

TEST(ConsoleStream, WriteTakesTheLow32BitsOfTheCount) {
  // 4 GiB + 5: only the 5 bytes the low half names are read and written.
  cConsoleStream c;
  const char five[] = "hello";
  int64_t n = 0;
  std::string out = captured([&] {
    EXPECT_EQ(c.write(reinterpret_cast<const uint8_t*>(five), (int64_t{1} << 32) + 5, &n),
              STAT_OK);
  });
  EXPECT_EQ(n, 5);
  EXPECT_EQ(out, "hello");
  EXPECT_EQ(c.write(nullptr, 3, &n), STAT_ERR_BAD_PARAM);
  EXPECT_EQ(c.write(reinterpret_cast<const uint8_t*>(five), -1, &n), STAT_ERR_BAD_PARAM);
}

TEST(ConsoleStream, WideOutputStaysUtf16WhateverTheMode) {
  cConsoleStream c;
  c.setMode(FIO_MODE_NARROW_TEXT);
  int64_t written = 0;
  std::string out = captured([&] { written = c.wprintf(u"%s", u"abc"); });
  EXPECT_EQ(written, 6);
  EXPECT_EQ(out, std::string("a\0b\0c\0", 6));
  out = captured([&] { written = c.printf("%s", "abc"); });
  EXPECT_EQ(written, 3);
  EXPECT_EQ(out, "abc");
}

TEST(UblPrint, WritesTheConvertedTextThroughTheConsoleStream) {
  cConsoleStream console;
  cConsoleStream* saved = gConsoleStream;
  gConsoleStream = &console;

  uint64_t n = 99;
  std::string out = captured([&] { n = ublPrint(u"%s=%d \u00e9\n", u"x", 7); });
  EXPECT_EQ(out, "x=7 \xc3\xa9\n");
  EXPECT_EQ(n, out.size());

  out = captured([&] { n = ublPrint(u"%s", u""); });
  EXPECT_EQ(n, 0u);
  EXPECT_EQ(out, "");

  // Cut at 2047 characters, written without a terminator.
  const std::u16string long3000(3000, u'p');
  out = captured([&] { n = ublPrint(u"%s", long3000.c_str()); });
  EXPECT_EQ(n, 2047u);
  EXPECT_EQ(out, std::string(2047, 'p'));

  // Ill-formed text (an unpaired surrogate) converts to nothing.
  out = captured([&] { n = ublPrint(u"a\xD800z"); });
  EXPECT_EQ(n, 0u);

  gConsoleStream = nullptr;
  out = captured([&] { n = ublPrint(u"lost"); });
  EXPECT_EQ(n, 0u);
  EXPECT_EQ(out, "");
  gConsoleStream = saved;
}

}  // namespace
