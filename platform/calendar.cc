#include "platform/calendar.h"

#include <time.h>

int64_t platCalendarSeconds() {
  time_t now = time(nullptr);
  return now == time_t(-1) ? 0 : int64_t(now);
}

bool platLocalTimeOf(int64_t seconds, PlatLocalTime* out) {
  if (!out) return false;
  *out = PlatLocalTime{};
  time_t t = time_t(seconds);
  struct tm tmv;
  if (int64_t(t) != seconds || !localtime_r(&t, &tmv)) return false;
  out->year = tmv.tm_year + 1900;
  out->month = tmv.tm_mon + 1;
  out->day = tmv.tm_mday;
  out->hour = tmv.tm_hour;
  out->minute = tmv.tm_min;
  out->second = tmv.tm_sec;
  return true;
}
