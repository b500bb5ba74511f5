#include "platform/clock.h"

#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

uint32_t platTickMs() {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return uint32_t(uint64_t(ts.tv_sec) * 1000u + uint64_t(ts.tv_nsec) / 1000000u);
}

uint64_t platCounterNow() {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return uint64_t(ts.tv_sec) * 1000000000ull + uint64_t(ts.tv_nsec);
}

bool platLocalTimeNow(PlatLocalTime* out) {
  if (!out) return false;
  *out = PlatLocalTime{};
  time_t now = time(nullptr);
  struct tm tmv;
  if (now == time_t(-1) || !localtime_r(&now, &tmv)) return false;
  out->year = tmv.tm_year + 1900;
  out->month = tmv.tm_mon + 1;
  out->day = tmv.tm_mday;
  out->hour = tmv.tm_hour;
  out->minute = tmv.tm_min;
  out->second = tmv.tm_sec;
  return true;
}

uint32_t platThreadId() { return uint32_t(::syscall(SYS_gettid)); }
