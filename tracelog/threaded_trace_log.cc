#include "tracelog/threaded_trace_log.h"

#include "tracelog/data_sink.h"
#include "tracelog/lock_guard.h"

cThreadedTraceLog::~cThreadedTraceLog() = default;

void cThreadedTraceLog::removeDataSink(cTlDataSink* sink) {
  if (!sink) return;
  tlLockGuard g(mLock);
  cTlDataSink* prev = nullptr;
  for (cTlDataSink* s = mDataSinks; s; prev = s, s = s->getNext()) {
    if (s != sink) continue;
    if (prev)
      prev->setNext(s->getNext());
    else
      mDataSinks = s->getNext();
    return;
  }
}
