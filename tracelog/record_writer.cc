#include "tracelog/record_writer.h"

#include "platform/calendar.h"
#include "platform/clock.h"
#include "platform/mutex.h"
#include "tracelog/data_source.h"
#include "tracelog/stopwatch.h"

namespace {

struct RecordState {
  const char16_t* marker = u":";
  int64_t timeBase = 0;  // 0 until the first record
  uint32_t microOffset = 0;
  cStopwatch stopwatch;
  // The local calendar fields of the last record's second, reused while
  // records arrive within the same second.
  int64_t localSeconds = -1;
  PlatLocalTime local = {};
};

// Constant-initialised, so it is ready before any static initialiser runs and
// stays valid through every static termination.
RecordState gState;

// Created on first use and never destroyed: records written during library
// unload still find it.
PlatMutex* stateGuard() {
  static PlatMutex* guard = platMutexCreate(nullptr);
  return guard;
}

tlRecordTime recordTime() {
  if (gState.timeBase == 0) {
    gState.stopwatch.configure(0, cStopwatch::UNIT_MICROSECONDS);
    gState.stopwatch.start();
    gState.microOffset = tlFirstMicroOffset(platTickMs());
    gState.timeBase = platCalendarSeconds();
    return {gState.timeBase, gState.microOffset};
  }
  return tlLaterRecordTime(gState.timeBase, gState.microOffset, gState.stopwatch.elapsed());
}

}  // namespace

size_t tlComposeRecord(char16_t* line, cTlDataSource* source, const tlRecordText& record) {
  PlatMutex* guard = stateGuard();
  platMutexLock(guard);

  tlRecordTime t = recordTime();
  if (t.seconds != gState.localSeconds) {
    platLocalTimeOf(t.seconds, &gState.local);
    gState.localSeconds = t.seconds;
  }
  const PlatLocalTime& local = gState.local;
  char16_t stamp[TL_STAMP_CAPACITY];
  tlFormatStamp(
      stamp, TL_STAMP_CAPACITY,
      {platThreadId(), local.month, local.day, local.hour, local.minute, local.second, t.micros});
  gState.marker = tlChooseMarker(record.flags, gState.marker);

  tlRecordText r = record;
  source->lock();
  r.sourceName = source->getName();
  size_t length = tlFormatLine(line, stamp, gState.marker, r);
  source->unlock();

  platMutexUnlock(guard);
  return length;
}
