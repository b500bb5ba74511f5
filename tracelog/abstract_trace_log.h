// cAbstractTraceLog: the interface through which trace logs, data sources and
// the record writer reach a trace log.
//
// The declaration order of the virtual operations is the contract between
// logs (one log calls another only through it) and must not change. Every
// operation is safe to call from any thread; cTraceLog documents the locking.
#pragma once

#include <cstdint>
#include <vector>

#include "tracelog/levels.h"

class cTlDataSource;
class cTlDataSink;

class cAbstractTraceLog {
 public:
  virtual ~cAbstractTraceLog() {}                                                    // slot 0
  virtual void lock() = 0;                                                           // slot 1
  virtual void unlock() = 0;                                                         // slot 2
  virtual bool addDataSource(cTlDataSource* source, bool rename) = 0;                // slot 3
  virtual bool addDataSink(cTlDataSink* sink) = 0;                                   // slot 4
  virtual bool forwardTo(cAbstractTraceLog* target) = 0;                             // slot 5
  virtual cTlDataSource* findDataSource(const char16_t* name) = 0;                   // slot 6
  virtual bool setDataSourceLogLevel(const char16_t* name, LogLevel level) = 0;      // slot 7
  virtual bool setDataSourceTraceLevel(const char16_t* name, TraceLevel level) = 0;  // slot 8
  virtual void output(int32_t code, const char16_t* line, bool takeLock) = 0;        // slot 9
  virtual bool addForwarder(cAbstractTraceLog* log) = 0;                             // slot 10
  virtual bool removeForwarder(cAbstractTraceLog* log) = 0;                          // slot 11
  virtual void unforward() = 0;                                                      // slot 12
  virtual void setName(const char16_t* name) = 0;                                    // slot 13
  virtual const char16_t* getName() = 0;                                             // slot 14
  virtual void setOutputCallback(tlOutputCallback callback) = 0;                     // slot 15
  virtual bool setLogLevel(LogLevel level) = 0;                                      // slot 16
  virtual bool setTraceLevel(TraceLevel level) = 0;                                  // slot 17
  virtual void setTracing(bool enabled, bool recursive) = 0;                         // slot 18
  virtual void setLogging(bool enabled, bool recursive) = 0;                         // slot 19
  virtual cTlDataSource* firstDataSource() = 0;                                      // slot 20
  virtual cTlDataSink* firstDataSink() = 0;                                          // slot 21
  virtual bool isForwarded() = 0;                                                    // slot 22
  virtual void listSources(const char16_t* prefix) = 0;                              // slot 23
  virtual std::vector<cAbstractTraceLog*>& forwarders() = 0;                         // slot 24
  virtual void dump() = 0;                                                           // slot 25
  virtual void writeRecord(cTlDataSource* source, int32_t code, const char16_t* subName,
                           const char16_t* text, const char16_t* detail, uint32_t flags,
                           int32_t value, const char16_t* stringValue) = 0;  // slot 26
  virtual bool removeDataSource(cTlDataSource* source) = 0;                  // slot 27
};
