// Builds the line of one record with the process-wide record state: the
// current marker (shared by every log of the process) and the record clock
// (time base, sub-second offset and stopwatch, set by the first record).
//
// The state is guarded by one process-wide lock, so records written through
// different logs from different threads never mix; the line is built in the
// caller's buffer. The lock is taken after the writing log's lock and before
// the source's, and nothing else is called while it is held.
#pragma once

#include <cstddef>
#include <cstdint>

#include "tracelog/record_format.h"

class cTlDataSource;

// Fills `line` (TL_LINE_CAPACITY units) with the record of `source`; the
// source name is read under the source's lock, so `record.sourceName` is
// ignored. Returns the line's length, 0 when the flags select no line.
size_t tlComposeRecord(char16_t* line, cTlDataSource* source, const tlRecordText& record);
