// cTlDataSource: a named producer of trace-log records.
//
// Code that logs holds a source, which filters each record by level and by
// its logging switch and hands accepted records to the record writer of the
// trace log it belongs to. A new source belongs to no log, is at log and trace
// level "Mute" with both switches off, and so writes nothing until it is
// registered (cAbstractTraceLog::addDataSource) and its level and logging
// switch are raised.
//
// Ownership: a source in its log's name map is owned by that log and deleted
// with it; a source removed from its log (removeDataSource) goes back to the
// caller. Deleting a source does not take it out of its log: delete only
// sources that are unregistered or removed.
//
// Thread safety: every operation may be called from any thread. The source's
// own lock guards its name, owner, levels and switches, and is never held
// while the source calls into a trace log.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <string>

#include "tracelog/levels.h"

class cAbstractTraceLog;
class cMutex;

class cTlDataSource {
 public:
  // `name` may be null or empty (an unnamed source).
  explicit cTlDataSource(const char16_t* name);
  virtual ~cTlDataSource();
  cTlDataSource(const cTlDataSource&) = delete;
  cTlDataSource& operator=(const cTlDataSource&) = delete;

  void lock();
  void unlock();

  // Levels outside 0..4 (log) and 0..3 (trace) are ignored.
  void setLogLevel(LogLevel level);
  void setTraceLevel(TraceLevel level);
  void setLogging(bool enabled);
  void setTracing(bool enabled);

  // Whether a log record of `level` would be written: the source belongs to a
  // log, `level` is at most its log level and its logging switch is on.
  bool isLogEnabled(LogLevel level);

  // Writes `text` as a log line with code level + 2 when the filter passes.
  void log(const char16_t* subName, LogLevel level, const char16_t* text);
  // Formats (wide printf, at most 4095 characters) only when the filter
  // passes, then writes the message as the record's detail.
  void logf(const char16_t* subName, LogLevel level, const char16_t* format, ...);
  void vlogf(const char16_t* subName, LogLevel level, const char16_t* format, va_list args);

  // The name's characters. The text stays valid until the next rename; a
  // thread that may race with a rename uses copyName.
  const char16_t* getName() const { return mName.c_str(); }
  std::u16string copyName();

  // Renames the source; a null or empty name keeps the old one. A registered
  // source is then re-keyed in its log's name map.
  void setName(const char16_t* name);

  // Prints the source's configuration through ublPrint.
  void dump();

  // Readers of the guarded fields, each under the lock.
  LogLevel logLevel();
  TraceLevel traceLevel();
  bool logging();
  bool tracing();
  cAbstractTraceLog* traceLog();
  // Sets or clears the owning log (used by trace logs on registration and
  // when a log that does not own the source goes away).
  void setTraceLog(cAbstractTraceLog* log);

  std::u16string mName;
  cAbstractTraceLog* mTraceLog = nullptr;
  LogLevel mLogLevel = LOG_LEVEL_MUTE;
  TraceLevel mTraceLevel = TRACE_LEVEL_MUTE;
  cTlDataSource* mNext = nullptr;  // link of the owning log's list, guarded by that log
  cMutex* mLock = nullptr;
  bool mLogging = false;
  bool mTracing = false;
};
