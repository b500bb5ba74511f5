// Guarded allocation and the small string and file-name helpers.
//
// Blocks and strings returned here belong to the caller, who releases them
// with free(). No request above UBL_MAX_ALLOC bytes is ever passed to the
// heap. Every refusal and every heap failure of ubl_malloc/ubl_calloc writes
// exactly one error diagnostic. Narrow text is UTF-8. All functions are
// reentrant and throw nothing.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr uint64_t UBL_MAX_ALLOC = 0x8000000;  // 134217728 bytes

// Uninitialised block of `size` bytes; null for 0, above the limit, or when
// the heap is exhausted.
void* ubl_malloc(uint64_t size);

// Zero-filled block of count * elementSize bytes; null when the element size
// is 0 or above the limit, when the product is above the limit, or when the
// heap is exhausted.
void* ubl_calloc(uint64_t count, uint64_t elementSize);

// Fault injection for tests: when armed with n > 0, the n-th ubl_malloc or
// ubl_calloc request from now on fails as an exhausted heap would (null and
// its diagnostic); later requests succeed again. n <= 0 disarms. Inert unless
// armed; shared by all threads.
void ublFailNthAllocation(int64_t n);
// True while an armed failure has not happened yet.
bool ublAllocationFailurePending();

// calloc without diagnostics; still refuses a product above the limit.
void* ublCallocQuiet(uint64_t count, uint64_t elementSize);

// Length in UTF-16 units of a zero-terminated text; 0 for null.
size_t ublWcsLen(const char16_t* text);

// New copy of `text` with its terminator (a null text gives ""), or null when
// no memory; `quiet` suppresses the allocation diagnostic.
char16_t* ublWcsDup(const char16_t* text, bool quiet);

// Converts `text` to UTF-8 into `target` of `targetSize` bytes (terminator
// included). False for a null argument, size 0, an unpaired surrogate, or a
// target that is too small.
bool ublWideToNarrow(const char16_t* text, char* target, uint32_t targetSize);

// New UTF-8 copy of `text`, sized for its full UTF-8 length; null for a null
// text, an unpaired surrogate, or no memory.
char* ublWideToNarrowDup(const char16_t* text);

// Size of the named file in bytes, or -1 when it cannot be opened or measured.
int64_t ublFileSizeW(const char16_t* path);

// Deletes the named file; true when it was deleted. Reports nothing.
bool ublDeleteFileW(const char16_t* path);
