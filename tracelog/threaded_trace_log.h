// cThreadedTraceLog: the trace log the library creates at load. A cTraceLog
// that can also take a sink out of its chain again. It starts no thread:
// every operation runs on the caller's thread under the log's lock.
#pragma once

#include "tracelog/trace_log.h"

class cThreadedTraceLog : public cTraceLog {
 public:
  ~cThreadedTraceLog() override;

  // Unlinks `sink` (identity) from the chain; a null sink or one not in the
  // chain changes nothing. The sink is not deleted and its own link is left
  // as it was.
  virtual void removeDataSink(cTlDataSink* sink);
};
