// The pure steps of a record: time, stamp, marker and line shape.
#include "tracelog/record_format.h"

#include <gtest/gtest.h>

#include <string>

#include "tracelog/levels.h"
#include "tracelog/stopwatch.h"
#include "tracelog_test_util.h"

namespace {

const char16_t* const kStamp = u"[7][02/03 04:05:06.000007]";

struct LineCase {
  const char* what;
  const char16_t* marker;
  const char16_t* subName;
  const char16_t* text;
  const char16_t* detail;
  uint32_t flags;
  int32_t value;
  const char16_t* stringValue;
  const char* expected;  // after the stamp; "" for no line
};

const LineCase kLineCases[] = {
    {"pre-formatted log text", u":", nullptr, u"T", nullptr, TLR_LOG, 0, nullptr, ":[src] T\r\n"},
    {"printf-style log message", u":", u"N", nullptr, u"M", TLR_LOG | TLR_STRING, 0, nullptr,
     ":[src:N]  M \r\n"},
    {"trace enter with decimal", u">", nullptr, u"T", nullptr, TLR_ENTER | TLR_DEC, 42, nullptr,
     ">[src] T 42\n"},
    {"trace string kind without value", u"=", nullptr, u"T", nullptr, TLR_MARK | TLR_STRING, 0,
     nullptr, "=[src] T\n"},
    {"trace string value", u"<", nullptr, u"T", nullptr, TLR_LEAVE | TLR_STRING, 0, u"sv",
     "<[src] T sv\n"},
    {"log string value", u":", nullptr, u"T", nullptr, TLR_LOG | TLR_STRING, 0, u"sv",
     ":[src] T sv\r\n"},
    {"empty sub-name keeps the colon", u":", u"", u"T", nullptr, TLR_LOG, 0, nullptr,
     ":[src:] T\r\n"},
    {"empty text and detail add nothing", u":", nullptr, u"", u"", TLR_LOG, 0, nullptr,
     ":[src] \r\n"},
    {"text and detail", u":", nullptr, u"T", u"D", TLR_LOG, 0, nullptr, ":[src] T D\r\n"},
    {"log hex of -1", u":", nullptr, u"T", nullptr, TLR_LOG | TLR_HEX, -1, nullptr,
     ":[src] T 0xFFFFFFFF\r\n"},
    {"trace hex of -1", u">", nullptr, u"T", nullptr, TLR_ENTER | TLR_HEX, -1, nullptr,
     ">[src] T 0xFFFFFFFF\n"},
    {"log decimal of -1", u":", nullptr, u"T", nullptr, TLR_LOG | TLR_DEC, -1, nullptr,
     ":[src] T -1\r\n"},
    {"bool wins over decimal", u":", nullptr, u"T", nullptr, TLR_LOG | TLR_BOOL | TLR_DEC, 5,
     nullptr, ":[src] T true\r\n"},
    {"trace bool false", u">", nullptr, u"T", nullptr, TLR_ENTER | TLR_BOOL, 0, nullptr,
     ">[src] T false\n"},
    {"decimal wins over hex and string", u":", nullptr, u"T", nullptr,
     TLR_LOG | TLR_DEC | TLR_HEX | TLR_STRING, 10, u"sv", ":[src] T 10\r\n"},
    {"trace flag wins over log flag", u">", nullptr, u"T", nullptr, TLR_ENTER | TLR_LOG, 0, nullptr,
     ">[src] T\n"},
    {"no line shape", u":", nullptr, u"T", nullptr, 0, 0, nullptr, ""},
    {"value kind only", u":", nullptr, u"T", nullptr, TLR_HEX | TLR_DEC, 1, nullptr, ""},
};

TEST(RecordFormat, LineShapes) {
  for (const LineCase& c : kLineCases) {
    SCOPED_TRACE(c.what);
    char16_t line[TL_LINE_CAPACITY];
    size_t n = tlFormatLine(line, kStamp, c.marker,
                            {u"src", c.subName, c.text, c.detail, c.flags, c.value, c.stringValue});
    std::string expected = *c.expected ? utf8(kStamp) + c.expected : "";
    EXPECT_EQ(expected, utf8(line));
    EXPECT_EQ(std::u16string(line).size(), n);
  }
}

TEST(RecordFormat, LongContentIsCutButKeepsTheLineEnd) {
  std::u16string longText(5000, u'a');
  for (uint32_t flags : {TLR_LOG | TLR_DEC, TLR_ENTER | TLR_DEC}) {
    char16_t line[TL_LINE_CAPACITY];
    size_t n = tlFormatLine(line, kStamp, u":",
                            {u"src", nullptr, longText.c_str(), u"d", flags, 1, nullptr});
    std::u16string s(line);
    const std::u16string end = flags & TLR_LOG ? u"\r\n" : u"\n";
    EXPECT_EQ(TL_LINE_CAPACITY - 1, n);
    EXPECT_EQ(n, s.size());
    EXPECT_EQ(end, s.substr(s.size() - end.size()));
    EXPECT_EQ(u'a', s[s.size() - end.size() - 1]);
  }
}

TEST(RecordFormat, MarkerFirstFlagThatApplies) {
  struct {
    uint32_t flags;
    const char16_t* current;
    const char* expected;
  } cases[] = {
      {TLR_ENTER | TLR_LEAVE, u":", ">"},
      {TLR_MARK | TLR_LEAVE, u":", "="},
      {TLR_LEAVE, u":", "<"},
      {TLR_LOG, u"<", "<"},
      {0, u":", ":"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.expected, utf8(tlChooseMarker(c.flags, c.current)));
}

TEST(RecordFormat, Stamp) {
  char16_t stamp[TL_STAMP_CAPACITY];
  size_t n = tlFormatStamp(stamp, TL_STAMP_CAPACITY, {1234, 2, 3, 4, 5, 6, 7});
  EXPECT_EQ("[1234][02/03 04:05:06.000007]", utf8(stamp));
  EXPECT_EQ(29u, n);
  n = tlFormatStamp(stamp, 5, {1234, 12, 31, 23, 59, 59, 999999});
  EXPECT_EQ("[123", utf8(stamp));
  EXPECT_EQ(4u, n);
}

TEST(RecordFormat, RecordTime) {
  EXPECT_EQ(234000u, tlFirstMicroOffset(1234));
  EXPECT_EQ(704u, tlFirstMicroOffset(4294968));  // 4294968000 wraps to 704

  struct {
    int64_t base;
    uint32_t offset;
    uint64_t elapsed;
    int64_t seconds;
    uint32_t micros;
  } cases[] = {
      {1000, 250000, 0, 1000, 250000},
      {1000, 999999, 1, 1001, 0},
      {1000, 500000, 2500000, 1003, 0},
      {INT64_MAX, 0, 1000000, 0, 0},  // the top bit of the seconds is cleared
  };
  for (const auto& c : cases) {
    tlRecordTime t = tlLaterRecordTime(c.base, c.offset, c.elapsed);
    EXPECT_EQ(c.seconds, t.seconds);
    EXPECT_EQ(c.micros, t.micros);
  }
}

TEST(Stopwatch, ConvertsEveryUnitWithoutOverflow) {
  const uint64_t f = 1000000000;
  const uint64_t sixHours = 6ull * 3600 * f;  // ticks * 10^6 would pass 2^64
  struct {
    uint64_t ticks;
    uint32_t unit;
    uint64_t expected;
  } cases[] = {
      {1234567, cStopwatch::UNIT_TICKS, 1234567},
      {2500000000, cStopwatch::UNIT_SECONDS, 2},
      {2500000000, cStopwatch::UNIT_MILLISECONDS, 2500},
      {2500000001, cStopwatch::UNIT_MICROSECONDS, 2500000},
      {2500000001, cStopwatch::UNIT_NANOSECONDS, 2500000001},
      {sixHours + 999, cStopwatch::UNIT_MICROSECONDS, 6ull * 3600 * 1000000},
      {5, 9, 0},
  };
  for (const auto& c : cases) EXPECT_EQ(c.expected, cStopwatch::convert(c.ticks, c.unit, f));

  cStopwatch w;
  EXPECT_EQ(0u, w.elapsed());  // not running
  w.configure(0, cStopwatch::UNIT_NANOSECONDS);
  w.start();
  EXPECT_TRUE(w.running());
  uint64_t a = w.elapsed(), b = w.elapsed();
  EXPECT_LE(a, b);
}

}  // namespace
