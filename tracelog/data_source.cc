#include "tracelog/data_source.h"

#include <new>

#include "platform/wformat.h"
#include "stream/console_stream.h"
#include "tracelog/abstract_trace_log.h"
#include "tracelog/lock_guard.h"
#include "ubl/diag.h"
#include "ubl/mutex.h"

namespace {
constexpr size_t kMessageCapacity = 4096;  // units, terminator included
}

cTlDataSource::cTlDataSource(const char16_t* name) {
  cMutex* m = new (std::nothrow) cMutex();
  if (!m || m->mCreateError != 0) {
    delete m;
    ublError(u"Cannot create mLock in %s\n", u"cTlDataSource::cTlDataSource");
    return;
  }
  mLock = m;
  setName(name);
}

cTlDataSource::~cTlDataSource() { delete mLock; }

void cTlDataSource::lock() {
  if (mLock) mLock->lock();
}

void cTlDataSource::unlock() {
  if (mLock) mLock->unlock();
}

void cTlDataSource::setLogLevel(LogLevel level) {
  if (!tlLogLevelValid(level)) return;
  tlLockGuard g(mLock);
  mLogLevel = level;
}

void cTlDataSource::setTraceLevel(TraceLevel level) {
  if (!tlTraceLevelValid(level)) return;
  tlLockGuard g(mLock);
  mTraceLevel = level;
}

void cTlDataSource::setLogging(bool enabled) {
  tlLockGuard g(mLock);
  mLogging = enabled;
}

void cTlDataSource::setTracing(bool enabled) {
  tlLockGuard g(mLock);
  mTracing = enabled;
}

bool cTlDataSource::isLogEnabled(LogLevel level) {
  tlLockGuard g(mLock);
  return mTraceLog && level <= mLogLevel && mLogging;
}

void cTlDataSource::log(const char16_t* subName, LogLevel level, const char16_t* text) {
  cAbstractTraceLog* owner;
  {
    tlLockGuard g(mLock);
    if (!mTraceLog || level > mLogLevel || !mLogging) return;
    owner = mTraceLog;
  }
  owner->writeRecord(this, level + 2, subName, text, nullptr, TLR_LOG, 0, nullptr);
}

void cTlDataSource::logf(const char16_t* subName, LogLevel level, const char16_t* format, ...) {
  va_list ap;
  va_start(ap, format);
  vlogf(subName, level, format, ap);
  va_end(ap);
}

void cTlDataSource::vlogf(const char16_t* subName, LogLevel level, const char16_t* format,
                          va_list args) {
  cAbstractTraceLog* owner;
  {
    tlLockGuard g(mLock);
    if (!mTraceLog || level > mLogLevel || !mLogging) return;
    owner = mTraceLog;
  }
  char16_t message[kMessageCapacity];
  platVFormatW(message, kMessageCapacity, format ? format : u"", args);
  owner->writeRecord(this, level + 2, subName, nullptr, message, TLR_LOG | TLR_STRING, 0, nullptr);
}

std::u16string cTlDataSource::copyName() {
  tlLockGuard g(mLock);
  return mName;
}

void cTlDataSource::setName(const char16_t* name) {
  cAbstractTraceLog* owner;
  {
    tlLockGuard g(mLock);
    if (name && *name) mName = name;
    owner = mTraceLog;
  }
  // Re-keyed with the source's lock released: a log takes its own lock before
  // a source's, never the other way round. A source that belongs to a log is
  // always re-keyed, never linked a second time.
  if (owner) owner->addDataSource(this, true);
}

void cTlDataSource::dump() {
  std::u16string name;
  cAbstractTraceLog* owner;
  LogLevel logLevel;
  TraceLevel traceLevel;
  bool logging, tracing;
  {
    tlLockGuard g(mLock);
    name = mName;
    owner = mTraceLog;
    logLevel = mLogLevel;
    traceLevel = mTraceLevel;
    logging = mLogging;
    tracing = mTracing;
  }
  ublPrint(u"Dumping cTlDataSource '%s':\n", name.c_str());
  ublPrint(u" traceLog '%s'\n", owner ? owner->getName() : u"");
  ublPrint(u" logLevel %s\n", tlLogLevelName(logLevel));
  ublPrint(u" traceLevel %s\n", tlTraceLevelName(traceLevel));
  ublPrint(u" logging is %s\n", logging ? u"enabled" : u"disabled");
  ublPrint(u" tracing is %s\n", tracing ? u"enabled" : u"disabled");
  ublPrint(u"//------------------------\n");
}

LogLevel cTlDataSource::logLevel() {
  tlLockGuard g(mLock);
  return mLogLevel;
}

TraceLevel cTlDataSource::traceLevel() {
  tlLockGuard g(mLock);
  return mTraceLevel;
}

bool cTlDataSource::logging() {
  tlLockGuard g(mLock);
  return mLogging;
}

bool cTlDataSource::tracing() {
  tlLockGuard g(mLock);
  return mTracing;
}

cAbstractTraceLog* cTlDataSource::traceLog() {
  tlLockGuard g(mLock);
  return mTraceLog;
}

void cTlDataSource::setTraceLog(cAbstractTraceLog* log) {
  tlLockGuard g(mLock);
  mTraceLog = log;
}
