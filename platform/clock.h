// Clocks and the calling thread's identity.
#pragma once

#include <cstdint>

// Milliseconds since an arbitrary start (system boot), wrapping at 2^32.
uint32_t platTickMs();

// Monotonic counter in nanoseconds; its frequency is platCounterFrequency().
uint64_t platCounterNow();
constexpr uint64_t platCounterFrequency() { return 1000000000ull; }

// Local calendar time, fields as people read them.
struct PlatLocalTime {
  int year;    // e.g. 2026
  int month;   // 1..12
  int day;     // 1..31
  int hour;    // 0..23
  int minute;  // 0..59
  int second;  // 0..60
};

// Fills `out` with the local time now; false (zero-filled) if the system
// cannot tell it.
bool platLocalTimeNow(PlatLocalTime* out);

// The kernel's identifier of the calling thread.
uint32_t platThreadId();
