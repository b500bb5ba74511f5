// cStopwatch: measures time since start() on the platform's high-resolution
// counter, in a chosen unit.
//
// The counter frequency is read once per process. elapsed() is exact for any
// run the counter can express: it never overflows in the unit conversion.
// Not synchronised; the owner guards it.
#pragma once

#include <cstdint>

class cStopwatch {
 public:
  // Unit codes.
  static constexpr uint32_t UNIT_TICKS = 0;
  static constexpr uint32_t UNIT_SECONDS = 1;
  static constexpr uint32_t UNIT_MILLISECONDS = 2;
  static constexpr uint32_t UNIT_MICROSECONDS = 3;
  static constexpr uint32_t UNIT_NANOSECONDS = 4;

  // Microseconds, mode 0, not running.
  constexpr cStopwatch() {}

  // Stores mode and unit and stops the stopwatch. The mode does not change
  // what elapsed() returns.
  void configure(uint32_t mode, uint32_t unit);
  void start();
  bool running() const { return mRunning; }

  // Time since start() in the unit; 0 when not running or for an unknown unit.
  uint64_t elapsed() const;

  // Converts a counter difference into `unit` at counter frequency `frequency`
  // (0 for an unknown unit or a zero frequency).
  static uint64_t convert(uint64_t ticks, uint32_t unit, uint64_t frequency);

  uint32_t mUnit = UNIT_MICROSECONDS;
  uint32_t mMode = 0;
  uint64_t mStart = 0;
  bool mRunning = false;
};
