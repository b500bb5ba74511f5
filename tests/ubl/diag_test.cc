// Status test, diagnostic writers, WX_ASSERT, cMutex and ublLockedAdd.
#include <gtest/gtest.h>

#include <set>
#include <thread>
#include <vector>

#include "tests/support/diag_capture.h"
#include "ubl/mutex.h"
#include "ubl/status.h"

// Outside any anonymous namespace, so operation names read as they do in the library.
class cProbe {
 public:
  int isOpen(const void* mFileIO) const {
    int reached = 0;
    WX_ASSERT(mFileIO != NULL);
    reached = 1;  // execution goes on after a failed assertion
    return reached;
  }
};

int freeOperation() {
  WX_ASSERT(!"impossible case");
  return 7;
}

namespace {

static_assert(RSLT_IS_FATAL(STAT_ERR_NO_MEMORY), "usable in constant expressions");

TEST(StatusTest, FatalExactlyWhenTopBitsAreOneZero) {
  struct {
    uint32_t value;
    bool fatal;
  } cases[] = {
      {0x80000000u, true},  {0x80000003u, true},  {0xBFFFFFFFu, true},
      {STAT_ERR_SEEK_PAST_END, true},
      {0u, false},          {9u, false},          {3073u, false},
      {0x7FFFFFFFu, false}, {0xC0000000u, false}, {0xFFFFFFFFu, false},
  };
  for (const auto& c : cases) EXPECT_EQ(c.fatal, RSLT_IS_FATAL(c.value)) << std::hex << c.value;
}

TEST(DiagWriterTest, LevelsPrefixesAndSubNames) {
  DiagCapture cap;  // log level 2: errors and warnings only
  ublWarning(u"abc");
  ublError(u"%s=%d", u"x", 5);
  ublDiag(u"abc");
  ASSERT_EQ(2u, cap.records.size());
  EXPECT_EQ(u"Warning: abc", cap.records[0].text);
  EXPECT_EQ(2u, cap.records[0].level);
  EXPECT_FALSE(cap.records[0].hasSubName);
  EXPECT_EQ(u"Error: x=5", cap.records[1].text);
  EXPECT_EQ(1u, cap.records[1].level);

  cap.logLevel = 3;
  ublDiag(u"abc");
  ASSERT_EQ(3u, cap.records.size());
  EXPECT_EQ(u"abc", cap.records[2].text);
  EXPECT_EQ(3u, cap.records[2].level);
  EXPECT_EQ(u"ublDiag", cap.records[2].subName);
}

TEST(DiagWriterTest, LongMessagesAreCutTo2047Characters) {
  DiagCapture cap(3);
  std::u16string longText(5000, u'x');
  ublWarning(u"%s", longText.c_str());
  ublError(u"%s", longText.c_str());
  ublDiag(u"%s", longText.c_str());
  ASSERT_EQ(3u, cap.records.size());
  const char16_t* prefixes[] = {u"Warning: ", u"Error: ", u""};
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(2047u, cap.records[i].text.size());
    EXPECT_EQ(0u, cap.records[i].text.find(prefixes[i]));
  }
}

TEST(DiagWriterTest, DiscardsWithoutSourceOrBinding) {
  DiagCapture cap;
  cTlDataSource* saved = gDefaultSource;
  gDefaultSource = nullptr;
  ublError(u"lost");
  gDefaultSource = saved;
  const UblDiagBinding* b = ublBindDiagnostics(nullptr);
  ublError(u"lost");
  ublBindDiagnostics(b);
  EXPECT_TRUE(cap.records.empty());
  EXPECT_EQ(0, cap.enabledQueries);
}

TEST(WxAssertTest, WarnsWithOperationAndConditionAndContinues) {
  DiagCapture cap;
  cProbe probe;
  EXPECT_EQ(1, probe.isOpen(nullptr));
  EXPECT_EQ(u"Warning: cProbe::isOpen: WX_ASSERT failed: mFileIO != NULL",
            cap.only());
  cap.records.clear();
  EXPECT_EQ(7, freeOperation());
  EXPECT_EQ(u"Warning: freeOperation: WX_ASSERT failed: !\"impossible case\"",
            cap.only());
  cap.records.clear();
  EXPECT_EQ(1, probe.isOpen(&cap));
  EXPECT_TRUE(cap.records.empty());
}

TEST(LockedAddTest, ConcurrentAdditionsAreDistinctAndComplete) {
  int32_t counter = 0;
  std::vector<int32_t> seen[2];
  auto work = [&](std::vector<int32_t>* out) {
    for (int i = 0; i < 1000; ++i) out->push_back(ublLockedAdd(&counter, 1));
  };
  std::thread a(work, &seen[0]), b(work, &seen[1]);
  a.join();
  b.join();
  EXPECT_EQ(2000, counter);
  std::set<int32_t> all(seen[0].begin(), seen[0].end());
  all.insert(seen[1].begin(), seen[1].end());
  EXPECT_EQ(2000u, all.size());
  EXPECT_EQ(1, *all.begin());
  EXPECT_EQ(2000, *all.rbegin());
}

TEST(CMutexTest, CreatesRecursiveLockAndClosesSafely) {
  cMutex m(u"unused name");
  EXPECT_EQ(0u, m.mCreateError);
  ASSERT_NE(nullptr, m.mHandle);
  EXPECT_EQ(0, m.lock());
  EXPECT_EQ(0, m.lock());
  EXPECT_EQ(0, m.unlock());
  EXPECT_EQ(0, m.unlock());
  m.close();
  EXPECT_EQ(nullptr, m.mHandle);
  EXPECT_NE(0, m.lock());  // closed: refused, no crash
  m.close();
}

}  // namespace
