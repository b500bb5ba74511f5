#include "platform/clock.h"

#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include "platform/calendar.h"

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
  return now != time_t(-1) && platLocalTimeOf(int64_t(now), out);
}

uint32_t platThreadId() { return uint32_t(::syscall(SYS_gettid)); }
