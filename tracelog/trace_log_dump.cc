// The trace log's configuration dump and source listing, printed through
// ublPrint.
#include "platform/wformat.h"
#include "stream/console_stream.h"
#include "tracelog/data_sink.h"
#include "tracelog/data_source.h"
#include "tracelog/lock_guard.h"
#include "tracelog/trace_log.h"

namespace {
constexpr size_t kPathCapacity = 2048;  // units, terminator included
}

void cTraceLog::dump() {
  tlLockGuard g(mLock);
  ublPrint(u"Dumping cTraceLog '%s':\n", mName.c_str());
  ublPrint(u" Logging is %s\n", mLogging ? u"enabled" : u"disabled");
  ublPrint(u" Tracing is %s\n", mTracing ? u"enabled" : u"disabled");
  ublPrint(u" data sources:\n");
  if (!mDataSources) ublPrint(u" [none]\n");
  for (cTlDataSource* s = mDataSources; s; s = s->mNext) s->dump();
  ublPrint(u" data sinks:\n");
  if (!mDataSinks) ublPrint(u" [none]\n");
  for (cTlDataSink* s = mDataSinks; s; s = s->getNext()) s->dump();
  ublPrint(u" name map:\n");
  for (const auto& entry : mNameMap)
    ublPrint(u"  %s -> '%s'\n", entry.first.c_str(), entry.second->copyName().c_str());
  if (mForwardTarget)
    ublPrint(u" This instance IS forwarded to '%s'\n", mForwardTarget->getName());
  else
    ublPrint(u" This instance NOT forwarded\n");
}

void cTraceLog::listSources(const char16_t* prefix) {
  char16_t path[kPathCapacity];
  std::vector<cAbstractTraceLog*> forwarders;
  {
    tlLockGuard g(mLock);
    platFormatW(path, kPathCapacity, u"%s\\%s", prefix ? prefix : u"", mName.c_str());
    for (cTlDataSource* s = mDataSources; s; s = s->mNext)
      ublPrint(u"Source: %s:%s\n", path, s->copyName().c_str());
    try {
      forwarders = mForwarders;
    } catch (...) {
    }
  }
  for (cAbstractTraceLog* f : forwarders) f->listSources(path);
}
