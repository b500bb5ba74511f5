// The log dump, the source dump and the source listing, text for text.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tracelog/data_source.h"
#include "tracelog/threaded_trace_log.h"
#include "tracelog_test_util.h"

namespace {

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

cTlDataSource* addSource(cTraceLog& log, const char16_t* name, LogLevel level) {
  auto* s = new cTlDataSource(name);
  log.addDataSource(s, false);
  s->setLogLevel(level);
  s->setLogging(true);
  return s;
}

TEST(TraceLogDump, EmptyLog) {
  cThreadedTraceLog log;
  CaptureStdout();
  log.dump();
  fflush(stdout);
  EXPECT_EQ(
      "Dumping cTraceLog '':\n"
      " Logging is disabled\n"
      " Tracing is disabled\n"
      " data sources:\n"
      " [none]\n"
      " data sinks:\n"
      " [none]\n"
      " name map:\n"
      " This instance NOT forwarded\n",
      GetCapturedStdout());
}

TEST(TraceLogDump, ConfiguredLog) {
  std::vector<std::string> journal;
  cThreadedTraceLog log, target;
  log.setName(u"main");
  target.setName(u"tgt");
  JournalSink sinkA(&journal, "A"), sinkB(&journal, "B");
  log.addDataSink(&sinkA);
  log.addDataSink(&sinkB);
  addSource(log, u"zeta", LOG_LEVEL_WARN);
  cTlDataSource* alpha = addSource(log, u"alpha", LOG_LEVEL_INFO);
  alpha->setTraceLevel(TRACE_LEVEL_INTERMEDIATE);
  log.setLogging(true, false);
  alpha->setLogging(false);
  log.forwardTo(&target);

  CaptureStdout();
  log.dump();
  fflush(stdout);
  EXPECT_EQ(
      "Dumping cTraceLog 'main':\n"
      " Logging is enabled\n"
      " Tracing is disabled\n"
      " data sources:\n"
      "Dumping cTlDataSource 'alpha':\n"
      " traceLog 'main'\n"
      " logLevel Info\n"
      " traceLevel Intermediate\n"
      " logging is disabled\n"
      " tracing is disabled\n"
      "//------------------------\n"
      "Dumping cTlDataSource 'zeta':\n"
      " traceLog 'main'\n"
      " logLevel Warn\n"
      " traceLevel Mute\n"
      " logging is enabled\n"
      " tracing is disabled\n"
      "//------------------------\n"
      " data sinks:\n"
      " sink B\n"
      " sink A\n"
      " name map:\n"
      "  alpha -> 'alpha'\n"
      "  zeta -> 'zeta'\n"
      " This instance IS forwarded to 'tgt'\n",
      GetCapturedStdout());
  log.unforward();
}

TEST(TraceLogDump, ListingDescendsThroughForwarders) {
  cThreadedTraceLog root, child, grandchild;
  root.setName(u"root");
  child.setName(u"child");
  grandchild.setName(u"gc");
  addSource(root, u"r1", 0);
  addSource(root, u"r2", 0);
  addSource(child, u"c1", 0);
  addSource(grandchild, u"g1", 0);
  child.forwardTo(&root);
  grandchild.forwardTo(&child);

  CaptureStdout();
  root.listSources(u"top");
  fflush(stdout);
  EXPECT_EQ(
      "Source: top\\root:r2\n"
      "Source: top\\root:r1\n"
      "Source: top\\root\\child:c1\n"
      "Source: top\\root\\child\\gc:g1\n",
      GetCapturedStdout());
  grandchild.unforward();
  child.unforward();
}

}  // namespace
