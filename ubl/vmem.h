// Address-space and rounding helpers.
#pragma once

#include <cstdint>

// Allocation and free types and the protection callers pass (the values the
// memory buffer uses).
constexpr uint32_t UBL_MEM_RESERVE = 0x2000;
constexpr uint32_t UBL_MEM_RELEASE = 0x8000;
constexpr uint32_t UBL_PAGE_READWRITE = 4;

// Maps `size` bytes of zeroed read-write memory, exactly at `address` when it
// is non-null (failing if that range is taken). `type` and `protect` are
// accepted for the callers' benefit; the region is always readable and
// writable. `caller` names the calling operation for the caller's own report.
// Returns the base or null; reports nothing.
void* ublVirtualAlloc(void* address, uint64_t size, uint32_t type, uint32_t protect,
                      const char* caller);

// Releases a region from ublVirtualAlloc; `size` must be the size it was
// mapped with. False, without calling the system, when `size` is 0.
bool ublVirtualFree(void* address, uint64_t size, uint32_t freeType, const char* caller);

// Rounds down to a multiple of `alignment`: masking for powers of two (so -1
// to 4096 gives -4096), truncating division otherwise (-1 to 1000 gives 0).
// An alignment of 0 leaves the value unchanged and writes a level-3 diagnostic.
int64_t ublRoundDown(int64_t value, int64_t alignment);
// ublRoundDown(value + alignment - 1, alignment), the sum wrapping on 64 bits.
int64_t ublRoundUp(int64_t value, int64_t alignment);
// The upper 32 bits of a 64-bit value.
int32_t ublHighPart(int64_t value);
