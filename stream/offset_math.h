// Offset arithmetic shared by the streams: seek targets are computed without
// wrapping, so a hostile offset lands on a value the range checks refuse.
#pragma once

#include <cstdint>

// a + b, held to the int64 range instead of wrapping.
inline int64_t saturatingAdd(int64_t a, int64_t b) {
  int64_t sum;
  if (__builtin_add_overflow(a, b, &sum)) return b > 0 ? INT64_MAX : INT64_MIN;
  return sum;
}
