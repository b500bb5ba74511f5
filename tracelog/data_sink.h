// cTlDataSink: a receiver of finished trace-log lines that keeps the link to
// the next sink of its log's chain itself.
//
// No sink class ships with the library; whoever configures a trace log
// supplies them. A log never deletes a sink and calls only setNext, getNext,
// dump, setTracing, setLogging and write, always while it holds its own lock.
// A sink belongs to at most one chain at a time (the link lives in the sink).
// The virtual operations are declared in this order, which binds.
#pragma once

#include <cstdint>

#include "tracelog/levels.h"

class cTlDataSink {
 public:
  virtual ~cTlDataSink();                                      // slot 0
  virtual void flush() {}                                      // slot 1, not called by logs
  virtual void setNext(cTlDataSink* next) = 0;                 // slot 2
  virtual cTlDataSink* getNext() = 0;                          // slot 3
  virtual void open() {}                                       // slot 4, not called by logs
  virtual void close() {}                                      // slot 5, not called by logs
  virtual void dump() = 0;                                     // slot 6: prints its configuration
  virtual void setTracing(bool enabled) = 0;                   // slot 7
  virtual void setLogging(bool enabled) = 0;                   // slot 8
  virtual void setLogLevel(LogLevel) {}                        // slot 9, not called by logs
  virtual void setTraceLevel(TraceLevel) {}                    // slot 10, not called by logs
  virtual void write(int32_t code, const char16_t* line) = 0;  // slot 11
};
