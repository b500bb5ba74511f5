#include "tracelog/stopwatch.h"

#include "platform/clock.h"

uint64_t cStopwatch::convert(uint64_t ticks, uint32_t unit, uint64_t frequency) {
  uint64_t perSecond;
  switch (unit) {
    case UNIT_TICKS:
      return ticks;
    case UNIT_SECONDS:
      perSecond = 1;
      break;
    case UNIT_MILLISECONDS:
      perSecond = 1000;
      break;
    case UNIT_MICROSECONDS:
      perSecond = 1000000;
      break;
    case UNIT_NANOSECONDS:
      perSecond = 1000000000;
      break;
    default:
      return 0;
  }
  if (frequency == 0) return 0;
  // Whole seconds and the remainder apart: ticks * perSecond would wrap after
  // about five hours on a nanosecond counter, rest * perSecond stays below
  // frequency * 10^9, which fits for any counter up to 18 GHz.
  uint64_t seconds = ticks / frequency;
  uint64_t rest = ticks % frequency;
  return seconds * perSecond + (rest * perSecond) / frequency;
}

void cStopwatch::configure(uint32_t mode, uint32_t unit) {
  mMode = mode;
  mUnit = unit;
  mRunning = false;
}

void cStopwatch::start() {
  mStart = platCounterNow();
  mRunning = true;
}

uint64_t cStopwatch::elapsed() const {
  if (!mRunning) return 0;
  return convert(platCounterNow() - mStart, mUnit, platCounterFrequency());
}
