#include "bench/rss.h"

#include <cstdio>
#include <cstring>

namespace bench {
namespace {

// A "Name:   N kB" line of /proc/self/status, in bytes.
uint64_t StatusBytes(const char* key) {
  FILE* f = std::fopen("/proc/self/status", "r");
  if (!f) return 0;
  char line[256];
  uint64_t value = 0;
  const size_t len = std::strlen(key);
  while (std::fgets(line, sizeof line, f)) {
    if (std::strncmp(line, key, len) == 0 && line[len] == ':') {
      unsigned long long kb = 0;
      if (std::sscanf(line + len + 1, "%llu", &kb) == 1) value = kb * 1024;
      break;
    }
  }
  std::fclose(f);
  return value;
}

}  // namespace

uint64_t ResetPeakRss() {
  if (FILE* f = std::fopen("/proc/self/clear_refs", "w")) {
    std::fputs("5", f);
    std::fclose(f);
  }
  return StatusBytes("VmRSS");
}

uint64_t PeakRss() { return StatusBytes("VmHWM"); }

}  // namespace bench
