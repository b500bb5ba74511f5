#include "tracelog/trace_log.h"

#include <new>

#include "platform/debug_output.h"
#include "tracelog/data_sink.h"
#include "tracelog/data_source.h"
#include "tracelog/lock_guard.h"
#include "tracelog/record_writer.h"
#include "ubl/diag.h"
#include "ubl/mutex.h"

cTraceLog::cTraceLog() {
  cMutex* m = new (std::nothrow) cMutex();
  if (!m || m->mCreateError != 0) {
    delete m;
    ublError(u"Cannot create mLock in %s\n", u"cTraceLog::cTraceLog");
    return;
  }
  mLock = m;
}

cTraceLog::~cTraceLog() {
  unforward();
  releaseForwarders();
  lock();
  // A source on the list but not in the map is not ours to delete; it must
  // not keep pointing at a log that is gone.
  for (cTlDataSource* s = mDataSources; s; s = s->mNext) {
    bool owned = false;
    for (const auto& entry : mNameMap) owned = owned || entry.second == s;
    if (!owned) s->setTraceLog(nullptr);
  }
  mDataSources = nullptr;
  mDataSinks = nullptr;
  mForwardTarget = nullptr;
  for (auto& entry : mNameMap) delete entry.second;
  mNameMap.clear();
  unlock();
  delete mLock;
  mLock = nullptr;
}

void cTraceLog::lock() {
  if (mLock) mLock->lock();
}

void cTraceLog::unlock() {
  if (mLock) mLock->unlock();
}

bool cTraceLog::addDataSink(cTlDataSink* sink) {
  tlLockGuard g(mLock);
  // A sink already in the chain would link the chain into a circle.
  if (!sink || sinkInChainLocked(sink)) return false;
  sink->setNext(mDataSinks);
  mDataSinks = sink;
  return true;
}

bool cTraceLog::sinkInChainLocked(const cTlDataSink* sink) const {
  for (cTlDataSink* s = mDataSinks; s; s = s->getNext())
    if (s == sink) return true;
  return false;
}

cAbstractTraceLog* cTraceLog::deliverLocked(int32_t code, const char16_t* line) {
  if (mForwardTarget) return mForwardTarget;
  if (mOutputCallback) {
    mOutputCallback(code, line);
  } else if (mDataSinks) {
    for (cTlDataSink* s = mDataSinks; s; s = s->getNext()) s->write(code, line);
  } else {
    platDebugOutput(line);
  }
  return nullptr;
}

void cTraceLog::output(int32_t code, const char16_t* line, bool takeLock) {
  if (takeLock) lock();
  cAbstractTraceLog* target = deliverLocked(code, line);
  if (takeLock) unlock();
  if (target) target->output(code, line, true);
}

void cTraceLog::writeRecord(cTlDataSource* source, int32_t code, const char16_t* subName,
                            const char16_t* text, const char16_t* detail, uint32_t flags,
                            int32_t value, const char16_t* stringValue) {
  if (!source) return;
  char16_t line[TL_LINE_CAPACITY];
  cAbstractTraceLog* target = nullptr;
  lock();
  if (tlComposeRecord(line, source, {nullptr, subName, text, detail, flags, value, stringValue}) !=
      0)
    target = deliverLocked(code, line);
  unlock();
  // A forwarded line reaches the target after this log's lock is released.
  if (target) target->output(code, line, true);
}

void cTraceLog::setName(const char16_t* name) {
  if (!name || !*name) return;
  tlLockGuard g(mLock);
  mName = name;
}

const char16_t* cTraceLog::getName() { return mName.c_str(); }

void cTraceLog::setOutputCallback(tlOutputCallback callback) {
  tlLockGuard g(mLock);
  mOutputCallback = callback;
}

bool cTraceLog::setLogLevel(LogLevel level) {
  std::vector<cAbstractTraceLog*> forwarders;
  {
    tlLockGuard g(mLock);
    for (cTlDataSource* s = mDataSources; s; s = s->mNext) {
      s->setLogLevel(level);
      if (s->logLevel() != level) return false;
    }
    forwarders = mForwarders;
  }
  for (cAbstractTraceLog* f : forwarders)
    if (!f->setLogLevel(level)) return false;
  return true;
}

bool cTraceLog::setTraceLevel(TraceLevel level) {
  bool ok = true;
  std::vector<cAbstractTraceLog*> forwarders;
  {
    tlLockGuard g(mLock);
    for (cTlDataSource* s = mDataSources; s; s = s->mNext) {
      s->setTraceLevel(level);
      ok = s->traceLevel() == level && ok;
    }
    forwarders = mForwarders;
  }
  for (cAbstractTraceLog* f : forwarders) ok = f->setTraceLevel(level) && ok;
  return ok;
}

bool cTraceLog::setDataSourceLogLevel(const char16_t* name, LogLevel level) {
  cTlDataSource* s = findDataSource(name);
  if (!s) return false;
  s->setLogLevel(level);
  return s->logLevel() == level;
}

bool cTraceLog::setDataSourceTraceLevel(const char16_t* name, TraceLevel level) {
  cTlDataSource* s = findDataSource(name);
  if (!s) return false;
  s->setTraceLevel(level);
  return s->traceLevel() == level;
}

void cTraceLog::setTracing(bool enabled, bool recursive) {
  std::vector<cAbstractTraceLog*> forwarders;
  {
    tlLockGuard g(mLock);
    mTracing = enabled;
    for (cTlDataSource* s = mDataSources; s; s = s->mNext) s->setTracing(enabled);
    for (cTlDataSink* s = mDataSinks; s; s = s->getNext()) s->setTracing(enabled);
    if (recursive) forwarders = mForwarders;
  }
  for (cAbstractTraceLog* f : forwarders) f->setTracing(enabled, true);
}

void cTraceLog::setLogging(bool enabled, bool recursive) {
  std::vector<cAbstractTraceLog*> forwarders;
  {
    tlLockGuard g(mLock);
    mLogging = enabled;
    for (cTlDataSource* s = mDataSources; s; s = s->mNext) s->setLogging(enabled);
    for (cTlDataSink* s = mDataSinks; s; s = s->getNext()) s->setLogging(enabled);
    if (recursive) forwarders = mForwarders;
  }
  for (cAbstractTraceLog* f : forwarders) f->setLogging(enabled, true);
}

cTlDataSource* cTraceLog::firstDataSource() {
  tlLockGuard g(mLock);
  return mDataSources;
}

cTlDataSink* cTraceLog::firstDataSink() {
  tlLockGuard g(mLock);
  return mDataSinks;
}

bool cTraceLog::isForwarded() {
  tlLockGuard g(mLock);
  return mForwardTarget != nullptr;
}

cAbstractTraceLog* cTraceLog::forwardTarget() {
  tlLockGuard g(mLock);
  return mForwardTarget;
}

std::vector<cAbstractTraceLog*>& cTraceLog::forwarders() { return mForwarders; }
