// Trace logs and data sources: filtering, delivery, levels, registration,
// renaming, removal, lookup, forwarding and sinks.
#include <gtest/gtest.h>

#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "tracelog/data_source.h"
#include "tracelog/threaded_trace_log.h"
#include "tracelog_test_util.h"
#include "ubl/ubl_singleton.h"

namespace {

// Registers a new source in `log` at `level` with logging on; the log owns it.
cTlDataSource* addSource(cTraceLog& log, const char16_t* name, LogLevel level = LOG_LEVEL_INFO) {
  auto* s = new cTlDataSource(name);
  EXPECT_TRUE(log.addDataSource(s, false));
  s->setLogLevel(level);
  s->setLogging(true);
  return s;
}

int listLength(cTraceLog& log) {
  int n = 0;
  for (cTlDataSource* s = log.firstDataSource(); s && n < 100; s = s->mNext) ++n;
  return n;
}

std::vector<std::string> gCallbackLines;
void recordingCallback(int32_t code, const char16_t* line) {
  gCallbackLines.push_back(std::to_string(code) + "|" + utf8(line));
}

// The tail of a log line after stamp and marker.
std::string afterMarker(const std::string& line) {
  std::smatch m;
  std::regex re(std::string("^.*\\|") + kStampPattern + "[:<>=]");
  return std::regex_search(line, m, re) ? line.substr(m.length()) : "unmatched: " + line;
}

TEST(TraceLogFilter, LevelSwitchAndOwner) {
  std::vector<std::string> journal;
  cThreadedTraceLog log;
  JournalSink sink(&journal, "k");
  log.addDataSink(&sink);
  cTlDataSource* s = addSource(log, u"src", LOG_LEVEL_WARN);

  struct {
    LogLevel sourceLevel;
    bool logging;
    LogLevel recordLevel;
    bool written;
  } cases[] = {
      {LOG_LEVEL_WARN, true, LOG_LEVEL_ERROR, true},
      {LOG_LEVEL_WARN, true, LOG_LEVEL_WARN, true},
      {LOG_LEVEL_WARN, true, LOG_LEVEL_DIAG, false},
      {LOG_LEVEL_WARN, false, LOG_LEVEL_ERROR, false},
      {LOG_LEVEL_MUTE, true, LOG_LEVEL_MUTE, true},
      {LOG_LEVEL_MUTE, true, LOG_LEVEL_ERROR, false},
  };
  for (const auto& c : cases) {
    journal.clear();
    s->setLogLevel(c.sourceLevel);
    s->setLogging(c.logging);
    EXPECT_EQ(c.written, s->isLogEnabled(c.recordLevel));
    s->log(nullptr, c.recordLevel, u"t");
    ASSERT_EQ(c.written ? 1u : 0u, journal.size());
    if (c.written) {
      EXPECT_EQ("k|" + std::to_string(c.recordLevel + 2),
                journal[0].substr(0, journal[0].find('|', 2)));
      EXPECT_EQ("[src] t\r\n", afterMarker(journal[0]));
    }
  }

  // A source of no log writes nothing, and logf does not even format.
  cTlDataSource loose(u"loose");
  loose.setLogLevel(LOG_LEVEL_INFO);
  loose.setLogging(true);
  EXPECT_FALSE(loose.isLogEnabled(LOG_LEVEL_ERROR));
  journal.clear();
  s->setLogging(false);
  s->logf(nullptr, LOG_LEVEL_ERROR, u"%s", reinterpret_cast<const char16_t*>(1));
  loose.logf(nullptr, LOG_LEVEL_ERROR, u"%s", reinterpret_cast<const char16_t*>(1));
  EXPECT_TRUE(journal.empty());

  s->setLogging(true);
  s->setLogLevel(LOG_LEVEL_WARN);
  s->logf(u"fn", LOG_LEVEL_ERROR, u"n=%d", 7);
  ASSERT_EQ(1u, journal.size());
  EXPECT_EQ("[src:fn]  n=7 \r\n", afterMarker(journal[0]));
}

TEST(TraceLogOutput, DestinationOrder) {
  std::vector<std::string> journal;
  cThreadedTraceLog log, target;
  cTlDataSource* s = addSource(log, u"src");

  {  // Nothing configured: the debugger output.
    DebugCapture cap;
    s->log(nullptr, LOG_LEVEL_ERROR, u"one");
    auto lines = cap.lines();
    ASSERT_EQ(1u, lines.size());
    EXPECT_TRUE(std::regex_match(
        lines[0], std::regex(std::string(kStampPattern) + "[:<>=]\\[src\\] one\r\n")))
        << lines[0];
  }

  JournalSink a(&journal, "A"), b(&journal, "B"), t(&journal, "T");
  ASSERT_TRUE(log.addDataSink(&a));
  ASSERT_TRUE(log.addDataSink(&b));
  target.addDataSink(&t);

  DebugCapture cap;
  auto deliver = [&] {
    journal.clear();
    gCallbackLines.clear();
    s->log(nullptr, LOG_LEVEL_WARN, u"x");
  };
  deliver();  // sinks, newest first
  ASSERT_EQ(2u, journal.size());
  EXPECT_EQ('B', journal[0][0]);
  EXPECT_EQ('A', journal[1][0]);
  EXPECT_EQ(afterMarker(journal[0]), afterMarker(journal[1]));

  log.setOutputCallback(recordingCallback);
  deliver();  // the callback silences the sinks
  EXPECT_TRUE(journal.empty());
  ASSERT_EQ(1u, gCallbackLines.size());
  EXPECT_EQ("4|", gCallbackLines[0].substr(0, 2));

  ASSERT_TRUE(log.forwardTo(&target));
  deliver();  // the forward target silences callback and sinks
  EXPECT_TRUE(gCallbackLines.empty());
  ASSERT_EQ(1u, journal.size());
  EXPECT_EQ("T|4|", journal[0].substr(0, 4));

  log.unforward();
  log.setOutputCallback(nullptr);
  deliver();
  EXPECT_EQ(2u, journal.size());
  EXPECT_EQ("", cap.text());
}

TEST(TraceLogLevels, SettersAndResults) {
  cThreadedTraceLog empty;
  EXPECT_TRUE(empty.setLogLevel(5));  // nothing to refuse it
  EXPECT_TRUE(empty.setTraceLevel(7));

  cThreadedTraceLog parent, child;
  cTlDataSource* p = addSource(parent, u"p", LOG_LEVEL_WARN);
  cTlDataSource* c = addSource(child, u"c", LOG_LEVEL_WARN);
  ASSERT_TRUE(child.forwardTo(&parent));

  struct {
    bool log;  // log level, else trace level
    int32_t level;
    bool result;
    int32_t after;  // level both sources hold afterwards
  } cases[] = {
      {true, 5, false, LOG_LEVEL_WARN},
      {true, -1, false, LOG_LEVEL_WARN},
      {true, 3, true, 3},
      {false, 2, true, 2},
      {false, 7, false, 2},
      {false, -1, false, 2},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.level);
    EXPECT_EQ(k.result, k.log ? parent.setLogLevel(k.level) : parent.setTraceLevel(k.level));
    EXPECT_EQ(k.after, k.log ? p->logLevel() : p->traceLevel());
    EXPECT_EQ(k.after, k.log ? c->logLevel() : c->traceLevel());  // through the forwarder
  }

  // By name, here and in a forwarder.
  EXPECT_TRUE(parent.setDataSourceLogLevel(u"c", LOG_LEVEL_INFO));
  EXPECT_EQ(LOG_LEVEL_INFO, c->logLevel());
  EXPECT_TRUE(parent.setDataSourceTraceLevel(u"p", TRACE_LEVEL_MINOR));
  EXPECT_EQ(TRACE_LEVEL_MINOR, p->traceLevel());
  EXPECT_FALSE(parent.setDataSourceLogLevel(u"p", 9));
  EXPECT_FALSE(parent.setDataSourceTraceLevel(u"p", 4));
  EXPECT_FALSE(parent.setDataSourceLogLevel(u"nobody", 1));
  EXPECT_FALSE(parent.setDataSourceLogLevel(nullptr, 1));
  child.unforward();
}

TEST(TraceLogSwitches, ReachSourcesSinksAndForwarders) {
  std::vector<std::string> journal;
  cThreadedTraceLog parent, child;
  JournalSink sink(&journal, "k");
  parent.addDataSink(&sink);
  cTlDataSource* p = addSource(parent, u"p");
  cTlDataSource* c = addSource(child, u"c");
  child.forwardTo(&parent);

  parent.setLogging(false, false);
  EXPECT_FALSE(p->logging());
  EXPECT_TRUE(c->logging());
  parent.setLogging(false, true);
  EXPECT_FALSE(c->logging());
  parent.setTracing(true, true);
  EXPECT_TRUE(p->tracing());
  EXPECT_TRUE(c->tracing());
  EXPECT_EQ((std::vector<std::string>{"k.logging=0", "k.logging=0", "k.tracing=1"}), journal);
  child.unforward();
}

TEST(TraceLogSources, DuplicateNamesAndRemoval) {
  cThreadedTraceLog log;
  cTlDataSource* first = addSource(log, u"dup");
  auto* second = new cTlDataSource(u"dup");
  {
    DebugCapture cap;
    EXPECT_FALSE(log.addDataSource(second, false));
    EXPECT_NE(std::string::npos, cap.text().find("] Error: Duplicate name found: dup\n\r\n"))
        << cap.text();
  }
  EXPECT_EQ(second, log.firstDataSource());  // on the list, newest first
  EXPECT_EQ(first, second->mNext);
  EXPECT_EQ(&log, second->traceLog());
  EXPECT_EQ(first, log.findDataSource(u"dup"));  // the map keeps the first

  {  // A log going away releases a listed source it does not own.
    DebugCapture quiet;
    cTlDataSource extra(u"same");
    auto shortLived = std::make_unique<cThreadedTraceLog>();
    addSource(*shortLived, u"same");
    EXPECT_FALSE(shortLived->addDataSource(&extra, false));
    EXPECT_EQ(shortLived.get(), extra.traceLog());
    shortLived.reset();
    EXPECT_EQ(nullptr, extra.traceLog());
    extra.log(nullptr, LOG_LEVEL_MUTE, u"nowhere");  // no log: nothing written, no crash
  }

  // Registering again does not link twice; another log refuses it.
  log.addDataSource(second, false);
  EXPECT_EQ(2, listLength(log));
  cThreadedTraceLog other;
  EXPECT_FALSE(other.addDataSource(second, false));
  EXPECT_EQ(nullptr, other.firstDataSource());

  // Removing the second unlinks it and leaves the first registered.
  EXPECT_TRUE(log.removeDataSource(second));
  EXPECT_EQ(first, log.firstDataSource());
  EXPECT_EQ(first, log.findDataSource(u"dup"));
  EXPECT_EQ(nullptr, second->traceLog());
  delete second;

  // By name, with a stand-in carrying the name.
  cTlDataSource key(u"dup");
  EXPECT_TRUE(log.removeDataSource(&key));
  EXPECT_EQ(nullptr, log.firstDataSource());
  EXPECT_EQ(nullptr, log.findDataSource(u"dup"));
  delete first;  // given back by the removal

  DebugCapture cap;
  EXPECT_FALSE(log.removeDataSource(&key));
  EXPECT_FALSE(log.removeDataSource(nullptr));
  EXPECT_NE(std::string::npos, cap.text().find("Error: Datasource was not found: dup\n"));
}

TEST(TraceLogSources, Rename) {
  cThreadedTraceLog log;
  cTlDataSource* a = addSource(log, u"a");
  cTlDataSource* b = addSource(log, u"b");

  a->setName(u"a2");
  EXPECT_EQ(a, log.findDataSource(u"a2"));
  EXPECT_EQ(nullptr, log.findDataSource(u"a"));

  {
    DebugCapture cap;
    a->setName(u"a2");  // its own name: reported, still registered
    EXPECT_NE(std::string::npos, cap.text().find("Duplicate name found: a2"));
  }
  EXPECT_EQ(a, log.findDataSource(u"a2"));

  {
    DebugCapture cap;
    a->setName(u"b");  // taken: reported, out of the map
    EXPECT_NE(std::string::npos, cap.text().find("Duplicate name found: b"));
  }
  EXPECT_EQ(b, log.findDataSource(u"b"));
  EXPECT_EQ(nullptr, log.findDataSource(u"a2"));
  EXPECT_EQ(2, listLength(log));

  a->setName(u"");  // ignored
  a->setName(nullptr);
  EXPECT_EQ("b", utf8(a->getName()));

  // A source registered without a name is re-keyed, not linked twice.
  cTlDataSource* unnamed = addSource(log, nullptr);
  unnamed->setName(u"late");
  EXPECT_EQ(unnamed, log.findDataSource(u"late"));
  EXPECT_EQ(3, listLength(log));

  log.setName(u"L");
  log.setName(u"");
  EXPECT_EQ("L", utf8(log.getName()));

  // `a` is not in the map: the log releases it instead of deleting it.
  log.removeDataSource(a);
  delete a;
}

TEST(TraceLogSources, FindThroughForwarders) {
  cThreadedTraceLog parent, child, grandchild;
  cTlDataSource* g = addSource(grandchild, u"g");
  child.forwardTo(&parent);
  grandchild.forwardTo(&child);
  addSource(child, u"c");

  EXPECT_EQ(nullptr, parent.findDataSource(u"g"));  // an empty map asks nobody
  addSource(parent, u"p");
  EXPECT_EQ(g, parent.findDataSource(u"g"));
  EXPECT_EQ(nullptr, parent.findDataSource(u"none"));
  EXPECT_EQ(nullptr, parent.findDataSource(nullptr));
  grandchild.unforward();
  child.unforward();
}

TEST(TraceLogForwarding, CyclesRefusedAndTargetsLeft) {
  cThreadedTraceLog a, b, c;
  DebugCapture cap;
  EXPECT_FALSE(a.forwardTo(nullptr));
  EXPECT_FALSE(a.forwardTo(&a));
  ASSERT_TRUE(a.forwardTo(&b));
  ASSERT_TRUE(b.forwardTo(&c));
  EXPECT_FALSE(b.forwardTo(&a));
  EXPECT_FALSE(c.forwardTo(&a));  // a -> b -> c -> a
  EXPECT_FALSE(c.isForwarded());
  EXPECT_NE(std::string::npos, cap.text().find("would form a cycle"));

  // Re-forwarding leaves the old target.
  ASSERT_TRUE(a.forwardTo(&c));
  EXPECT_TRUE(b.forwarders().empty());
  EXPECT_EQ((std::vector<cAbstractTraceLog*>{&b, &a}), c.forwarders());
  EXPECT_TRUE(a.forwardTo(&c));  // again: no second entry
  EXPECT_EQ(2u, c.forwarders().size());

  EXPECT_TRUE(c.removeForwarder(&b));
  EXPECT_TRUE(c.removeForwarder(&b));  // not there: still true, nothing changes
  EXPECT_EQ((std::vector<cAbstractTraceLog*>{&a}), c.forwarders());
  b.unforward();

  {  // Destroying a forwarded log leaves its target's array.
    cThreadedTraceLog d;
    d.forwardTo(&c);
    EXPECT_EQ(2u, c.forwarders().size());
  }
  EXPECT_EQ((std::vector<cAbstractTraceLog*>{&a}), c.forwarders());

  {  // Destroying a target unforwards the logs forwarding into it.
    cThreadedTraceLog e;
    b.forwardTo(&e);
  }
  EXPECT_FALSE(b.isForwarded());
  cTlDataSource* s = addSource(b, u"s");
  s->log(nullptr, LOG_LEVEL_ERROR, u"to the debugger");  // not into the dead target
  EXPECT_NE(std::string::npos, cap.text().find("[s] to the debugger"));
  a.unforward();
  EXPECT_FALSE(a.isForwarded());
  EXPECT_TRUE(c.forwarders().empty());
}

TEST(ThreadedTraceLog, SinkChainEdits) {
  std::vector<std::string> journal;
  cThreadedTraceLog log;
  cTlDataSource* s = addSource(log, u"s");
  JournalSink a(&journal, "A"), b(&journal, "B"), c(&journal, "C"), never(&journal, "N");
  EXPECT_FALSE(log.addDataSink(nullptr));
  log.addDataSink(&a);
  log.addDataSink(&b);
  log.addDataSink(&c);                // chain C B A
  EXPECT_FALSE(log.addDataSink(&b));  // already in the chain
  EXPECT_EQ(&c, log.firstDataSink());

  auto receivers = [&] {
    journal.clear();
    s->log(nullptr, LOG_LEVEL_ERROR, u"x");
    std::string r;
    for (const std::string& e : journal) r += e[0];
    return r;
  };
  EXPECT_EQ("CBA", receivers());
  log.removeDataSink(&never);
  log.removeDataSink(nullptr);
  EXPECT_EQ("CBA", receivers());
  log.removeDataSink(&b);  // middle: its neighbours join
  EXPECT_EQ("CA", receivers());
  EXPECT_EQ(&a, b.getNext());  // its own link is left alone
  log.removeDataSink(&c);      // head: the next one becomes the head
  EXPECT_EQ(&a, log.firstDataSink());
  EXPECT_EQ("A", receivers());
  log.addDataSink(&b);  // a removed sink may come back
  EXPECT_EQ("BA", receivers());
}

TEST(TraceLogRecords, MarkerPersistsAcrossLogs) {
  std::vector<std::string> journal;
  cThreadedTraceLog one, two;
  JournalSink k1(&journal, "1"), k2(&journal, "2");
  one.addDataSink(&k1);
  two.addDataSink(&k2);
  cTlDataSource* s1 = addSource(one, u"s1");
  cTlDataSource* s2 = addSource(two, u"s2");

  one.writeRecord(s1, 0, nullptr, u"in", nullptr, TLR_ENTER | TLR_DEC, 3, nullptr);
  one.writeRecord(s1, 0, nullptr, u"out", nullptr, TLR_LEAVE, 0, nullptr);
  s2->log(nullptr, LOG_LEVEL_ERROR, u"after leave");
  one.writeRecord(s1, 0, nullptr, u"mark", nullptr, TLR_MARK, 0, nullptr);
  s2->log(nullptr, LOG_LEVEL_ERROR, u"after mark");
  one.writeRecord(s1, 0, nullptr, u"none", nullptr, TLR_HEX, 0, nullptr);  // no line

  std::vector<std::string> tails;
  for (const std::string& e : journal) {
    std::smatch m;
    ASSERT_TRUE(std::regex_search(e, m, std::regex(std::string("\\|") + kStampPattern))) << e;
    tails.push_back(e.substr(m.position() + m.length()));
  }
  EXPECT_EQ((std::vector<std::string>{">[s1] in 3\n", "<[s1] out\n", "<[s2] after leave\r\n",
                                      "=[s1] mark\n", "=[s2] after mark\r\n"}),
            tails);
}

}  // namespace
