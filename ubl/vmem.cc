#include "ubl/vmem.h"

#include "platform/vmem.h"
#include "ubl/diag.h"

void* ublVirtualAlloc(void* address, uint64_t size, uint32_t, uint32_t, const char*) {
  if (size == 0 || size > SIZE_MAX) return nullptr;
  int err;
  return platReserve(address, size_t(size), &err);
}

bool ublVirtualFree(void* address, uint64_t size, uint32_t, const char*) {
  // The whole region is released by its base and size in any case: the
  // mapping cannot be dropped by its base address alone.
  if (size == 0 || size > SIZE_MAX) return false;
  return platRelease(address, size_t(size)) == 0;
}

int64_t ublRoundDown(int64_t value, int64_t alignment) {
  if (alignment == 0) {
    ublDiag(u"ublRoundDown: invalid zero alignment!\n");
    return value;
  }
  uint64_t a = uint64_t(alignment);
  if ((a & (a - 1)) == 0) return int64_t(uint64_t(value) & ~(a - 1));
  // INT64_MIN / -1 overflows; the result is the value itself.
  if (alignment == -1) return value;
  return (value / alignment) * alignment;
}

int64_t ublRoundUp(int64_t value, int64_t alignment) {
  return ublRoundDown(int64_t(uint64_t(value) + uint64_t(alignment) - 1u), alignment);
}

int32_t ublHighPart(int64_t value) { return int32_t(uint64_t(value) >> 32); }
