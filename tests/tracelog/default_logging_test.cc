// The default logging set-up: what the library builds at load, what reaches
// the debugger output, and silence after tear-down.
#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "stream/console_stream.h"
#include "tracelog/data_source.h"
#include "tracelog/threaded_trace_log.h"
#include "tracelog_test_util.h"
#include "ubl/diag.h"
#include "ubl/ubl_singleton.h"

namespace {

TEST(DefaultLogging, StateAfterLoad) {
  ASSERT_NE(nullptr, gDefaultTraceLog);
  ASSERT_NE(nullptr, gDefaultSource);
  EXPECT_NE(nullptr, gDiagLock);
  EXPECT_NE(nullptr, gConsoleStream);
  EXPECT_EQ("ubl", utf8(gDefaultSource->getName()));
  EXPECT_EQ(LOG_LEVEL_WARN, gDefaultSource->logLevel());
  EXPECT_EQ(TRACE_LEVEL_MUTE, gDefaultSource->traceLevel());
  EXPECT_TRUE(gDefaultSource->logging());
  EXPECT_TRUE(gDefaultSource->tracing());
  EXPECT_EQ(gDefaultTraceLog, gDefaultSource->traceLog());
  EXPECT_EQ(gDefaultSource, gDefaultTraceLog->findDataSource(u"ubl"));
  EXPECT_EQ("", utf8(gDefaultTraceLog->getName()));
  EXPECT_EQ(nullptr, gDefaultTraceLog->firstDataSink());
  EXPECT_FALSE(gDefaultTraceLog->isForwarded());
}

TEST(DefaultLogging, WarningsAndErrorsReachTheDebuggerOutputDiagDoesNot) {
  DebugCapture cap;
  ublWarning(u"abc %d", 5);
  ublDiag(u"hidden");
  ublError(u"bad %s", u"thing");
  auto lines = cap.lines();
  ASSERT_EQ(2u, lines.size()) << cap.text();
  const std::string head = std::string("^") + kStampPattern + "[:<>=]\\[ubl\\] ";
  EXPECT_TRUE(std::regex_match(lines[0], std::regex(head + "Warning: abc 5\r\n"))) << lines[0];
  EXPECT_TRUE(std::regex_match(lines[1], std::regex(head + "Error: bad thing\r\n"))) << lines[1];
}

TEST(DefaultLogging, DiagAppearsWhenTheLevelIsRaised) {
  DebugCapture cap;
  ASSERT_TRUE(gDefaultTraceLog->setDataSourceLogLevel(u"ubl", LOG_LEVEL_DIAG));
  ublDiag(u"shown");
  gDefaultSource->setLogLevel(LOG_LEVEL_WARN);
  ublDiag(u"hidden again");
  auto lines = cap.lines();
  ASSERT_EQ(1u, lines.size()) << cap.text();
  EXPECT_TRUE(std::regex_match(
      lines[0], std::regex(std::string("^") + kStampPattern + "[:<>=]\\[ubl:ublDiag\\] shown\r\n")))
      << lines[0];
}

TEST(DefaultLogging, NothingIsWrittenAfterTearDown) {
  DebugCapture cap;
  ublTearDownDefaultLogging();
  EXPECT_EQ(nullptr, gDefaultSource);
  EXPECT_EQ(nullptr, gDefaultTraceLog);
  EXPECT_EQ(nullptr, gConsoleStream);
  EXPECT_EQ(nullptr, gDiagLock);
  ublWarning(u"after unload");
  ublError(u"after unload");
  EXPECT_EQ(0u, ublPrint(u"after unload"));
  ublTearDownDefaultLogging();  // a second tear-down finds nothing to do
  EXPECT_EQ("", cap.text());

  ublSetUpDefaultLogging();  // and up again for the tests that follow
  ASSERT_NE(nullptr, gDefaultSource);
  ublWarning(u"back");
  EXPECT_NE(std::string::npos, cap.text().find("[ubl] Warning: back\r\n"));
  EXPECT_EQ(std::string::npos, cap.text().find("default logger initialization complete"));
}

}  // namespace
