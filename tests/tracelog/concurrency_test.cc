// Records written from several threads stay whole lines.
#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "tracelog/data_source.h"
#include "tracelog/threaded_trace_log.h"
#include "tracelog_test_util.h"

namespace {

constexpr int kRecords = 1000;

cTlDataSource* addSource(cTraceLog& log, const char16_t* name) {
  auto* s = new cTlDataSource(name);
  log.addDataSource(s, false);
  s->setLogLevel(LOG_LEVEL_INFO);
  s->setLogging(true);
  return s;
}

void writeMany(cTlDataSource* s, const char16_t* text) {
  for (int i = 0; i < kRecords; ++i) s->logf(u"t", LOG_LEVEL_ERROR, u"%s %d", text, i);
}

// Every line is one whole record of one of the two writers, each writer's
// records arrive in order.
void expectWholeLines(const std::vector<std::string>& lines, const char* sourceA,
                      const char* sourceB) {
  ASSERT_EQ(size_t(2 * kRecords), lines.size());
  std::regex re(std::string("^") + kStampPattern + "[:<>=]\\[(\\w+):t\\]  (\\w+) (\\d+) \r\n$");
  int next[2] = {0, 0};
  for (const std::string& line : lines) {
    std::smatch m;
    ASSERT_TRUE(std::regex_match(line, m, re)) << line;
    int who = m[2] == "alpha" ? 0 : 1;
    EXPECT_EQ(who == 0 ? sourceA : sourceB, m[1].str());
    EXPECT_EQ(next[who]++, std::stoi(m[3]));
  }
}

TEST(TraceLogThreads, TwoWritersThroughOneLog) {
  std::vector<std::string> journal;  // guarded by the log: sinks run under its lock
  cThreadedTraceLog log;
  JournalSink sink(&journal, "k");
  log.addDataSink(&sink);
  cTlDataSource* a = addSource(log, u"a");
  cTlDataSource* b = addSource(log, u"b");

  std::thread t1(writeMany, a, u"alpha"), t2(writeMany, b, u"beta");
  t1.join();
  t2.join();

  std::vector<std::string> lines;
  for (const std::string& e : journal) lines.push_back(e.substr(4));  // drop "k|3|"
  expectWholeLines(lines, "a", "b");
}

TEST(TraceLogThreads, TwoLogsIntoTheDebuggerOutput) {
  DebugCapture cap;
  cThreadedTraceLog one, two;
  cTlDataSource* a = addSource(one, u"a");
  cTlDataSource* b = addSource(two, u"b");

  std::thread t1(writeMany, a, u"alpha"), t2(writeMany, b, u"beta");
  t1.join();
  t2.join();
  expectWholeLines(cap.lines(), "a", "b");
}

TEST(TraceLogThreads, ReconfiguringWhileWriting) {
  // Forwarding, renaming and level changes race with records; nothing may
  // deadlock, and every record lands somewhere whole.
  std::vector<std::string> journal;
  cThreadedTraceLog child, parent;
  JournalSink sink(&journal, "k");
  child.addDataSink(&sink);
  parent.setOutputCallback([](int32_t, const char16_t*) {});
  cTlDataSource* a = addSource(child, u"a");
  addSource(parent, u"p");

  std::thread writer(writeMany, a, u"alpha");
  std::thread other([&] {
    for (int i = 0; i < 200; ++i) {
      child.forwardTo(&parent);
      parent.setLogLevel(LOG_LEVEL_INFO);
      parent.findDataSource(u"a");
      parent.setLogging(true, true);
      a->setName(i % 2 ? u"a" : u"b");
      child.unforward();
    }
  });
  writer.join();
  other.join();
  const std::regex re(std::string("k\\|3\\|") + kStampPattern +
                      "[:<>=]\\[[ab]:t\\]  alpha \\d+ \r\n");
  size_t records = 0;
  for (const std::string& e : journal) {
    if (e.rfind("k.logging=", 0) == 0) continue;  // the switch reaching the sink
    ++records;
    EXPECT_TRUE(std::regex_match(e, re)) << e;
  }
  EXPECT_GE(size_t(kRecords), records);  // the others went to the parent's callback
}

}  // namespace
