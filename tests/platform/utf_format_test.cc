// UTF-16 <-> UTF-8 conversion and the bounded wide formatter.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "platform/utf.h"
#include "platform/wformat.h"

namespace {

TEST(Utf, RoundTripsEveryEncodedWidth) {
  struct Case {
    const char16_t* wide;
    const char* utf8;
  } cases[] = {
      {u"", ""},
      {u"abc", "abc"},
      {u"\u00e9t\u00e9", "\xc3\xa9t\xc3\xa9"},            // 2-byte
      {u"\u65e5\u672c", "\xe6\x97\xa5\xe6\x9c\xac"},      // 3-byte
      {u"\U0001F600", "\xf0\x9f\x98\x80"},                // surrogate pair, 4-byte
  };
  for (const Case& c : cases) {
    char narrow[32];
    ASSERT_TRUE(platWideToUtf8(c.wide, narrow, sizeof narrow));
    EXPECT_STREQ(c.utf8, narrow);
    EXPECT_EQ(std::string(c.utf8).size(), platUtf8LengthOf(c.wide));
    char16_t back[16];
    ASSERT_TRUE(platUtf8ToWide(narrow, back, 16, false));
    EXPECT_EQ(std::u16string(c.wide), std::u16string(back));
  }
}

TEST(Utf, RefusesIllFormedAndTooSmall) {
  const char16_t lone[] = {u'a', 0xD800, u'b', 0};
  const char16_t trailing[] = {u'a', 0xDC00, 0};
  char out[16] = "junk";
  EXPECT_EQ(SIZE_MAX, platUtf8LengthOf(lone));
  EXPECT_FALSE(platWideToUtf8(lone, out, sizeof out));
  EXPECT_STREQ("", out);
  EXPECT_FALSE(platWideToUtf8(trailing, out, sizeof out));
  // "é" needs 2 bytes plus the terminator.
  EXPECT_FALSE(platWideToUtf8(u"\u00e9", out, 2));
  EXPECT_TRUE(platWideToUtf8(u"\u00e9", out, 3));

  char16_t w[8];
  EXPECT_FALSE(platUtf8ToWide("a\xff", w, 8, false));
  ASSERT_TRUE(platUtf8ToWide("a\xff" "b\xe6\x97", w, 8, true));
  EXPECT_EQ(std::u16string(u"a\uFFFDb\uFFFD"), std::u16string(w));
  EXPECT_FALSE(platUtf8ToWide("\xc0\xaf", w, 8, false));  // overlong
}

std::u16string fmt(const char16_t* format, ...) {
  char16_t buf[256];
  va_list ap;
  va_start(ap, format);
  platVFormatW(buf, 256, format, ap);
  va_end(ap);
  return buf;
}

TEST(WideFormat, Conversions) {
  EXPECT_EQ(u"[abc][x\u00e9][(null)][(null)]",
            fmt(u"[%s][%S][%s][%S]", u"abc", "x\xc3\xa9", (const char16_t*)nullptr,
                (const char*)nullptr));
  EXPECT_EQ(u"-42 42 4294967295 ff FF A %", fmt(u"%d %i %u %x %X %c %%", -42, 42, -1, 255, 255, 'A'));
  EXPECT_EQ(u"|  7|7  |007|-07|", fmt(u"|%3d|%-3d|%03d|%03d|", 7, 7, 7, -7));
  EXPECT_EQ(u"|ab|  ab|ab  |", fmt(u"|%.2s|%4.2s|%-4.2S|", u"abcdef", u"abcdef", "abcdef"));
  EXPECT_EQ(u"_         1", fmt(u"_%10d", 1));
  EXPECT_EQ(u"2026010203", fmt(u"%04d%02d%02d%02d", 2026, 1, 2, 3));
  EXPECT_EQ(u"-2147483648 18446744073709551615",
            fmt(u"%d %llu", INT32_MIN, static_cast<unsigned long long>(UINT64_MAX)));
  EXPECT_EQ(u"x%q %", fmt(u"x%q %"));
}

TEST(WideFormat, NeverPassesTheBufferAndReportsFullLength) {
  char16_t buf[8];
  for (char16_t& c : buf) c = u'#';
  EXPECT_EQ(10u, platFormatW(buf, 5, u"%s", u"0123456789"));
  EXPECT_EQ(std::u16string(u"0123"), std::u16string(buf));
  EXPECT_EQ(u'#', buf[5]);

  EXPECT_EQ(3u, platFormatW(buf, 0, u"abc"));
  EXPECT_EQ(u'0', buf[0]);  // capacity 0: nothing written at all

  EXPECT_EQ(3u, platFormatW(buf, 1, u"%d", 123));
  EXPECT_EQ(0, buf[0]);

  // A surrogate pair from %S is two units; the cut may fall between them, the
  // terminator still lands inside the buffer.
  EXPECT_EQ(3u, platFormatW(buf, 3, u"a%S", "\xf0\x9f\x98\x80"));
  EXPECT_EQ(0, buf[2]);
}

}  // namespace
