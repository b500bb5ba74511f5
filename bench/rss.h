// Peak resident memory of this process, for telling how much a single
// benchmark adds on top of what was resident before it started.
#ifndef BENCH_RSS_H_
#define BENCH_RSS_H_

#include <cstdint>

namespace bench {

// Resets the kernel's peak-RSS mark to the current RSS and answers the
// current RSS in bytes (0 when the figures are not available).
uint64_t ResetPeakRss();
// The peak RSS in bytes since the last reset.
uint64_t PeakRss();

}  // namespace bench

#endif  // BENCH_RSS_H_
