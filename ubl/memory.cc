#include "ubl/memory.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

#include "platform/file.h"
#include "platform/system.h"
#include "platform/utf.h"
#include "ubl/diag.h"

namespace {

// Requests left before the injected failure; 0 when not armed.
std::atomic<int64_t> gFailCountdown{0};

bool injectedFailure() {
  if (gFailCountdown.load(std::memory_order_relaxed) <= 0) return false;
  return gFailCountdown.fetch_sub(1, std::memory_order_relaxed) == 1;
}

}  // namespace

void ublFailNthAllocation(int64_t n) { gFailCountdown.store(n > 0 ? n : 0); }

bool ublAllocationFailurePending() { return gFailCountdown.load() > 0; }

void* ubl_malloc(uint64_t size) {
  if (size == 0 || size > UBL_MAX_ALLOC) {
    ublError(u"Attempt to allocate %llu bytes!\n", static_cast<unsigned long long>(size));
    return nullptr;
  }
  void* p = injectedFailure() ? nullptr : std::malloc(size_t(size));
  if (!p)
    ublError(u"ubl_malloc(): Can't allocate memory (%llu bytes).\n",
             static_cast<unsigned long long>(size));
  return p;
}

void* ubl_calloc(uint64_t count, uint64_t elementSize) {
  if (elementSize == 0 || elementSize > UBL_MAX_ALLOC) {
    ublError(u"Attempt to allocate %llu bytes!\n", static_cast<unsigned long long>(elementSize));
    return nullptr;
  }
  // The product is bounded too: a count from hostile input must not size a block.
  if (count > UBL_MAX_ALLOC / elementSize) {
    unsigned long long total = count > UINT64_MAX / elementSize
                                   ? UINT64_MAX
                                   : static_cast<unsigned long long>(count * elementSize);
    ublError(u"Attempt to allocate %llu bytes!\n", total);
    return nullptr;
  }
  void* p = injectedFailure() ? nullptr : std::calloc(size_t(count), size_t(elementSize));
  if (!p)
    ublError(u"ubl_calloc(): Can't allocate memory (%llu bytes).\n",
             static_cast<unsigned long long>(count * elementSize));
  return p;
}

void* ublCallocQuiet(uint64_t count, uint64_t elementSize) {
  if (elementSize && count > UBL_MAX_ALLOC / elementSize) return nullptr;
  return std::calloc(size_t(count), size_t(elementSize));
}

size_t ublWcsLen(const char16_t* text) { return platWideLength(text); }

char16_t* ublWcsDup(const char16_t* text, bool quiet) {
  size_t units = ublWcsLen(text) + 1;
  char16_t* copy = static_cast<char16_t*>(quiet ? ublCallocQuiet(units, sizeof(char16_t))
                                                : ubl_calloc(units, sizeof(char16_t)));
  if (!copy) return nullptr;
  if (text) std::memcpy(copy, text, units * sizeof(char16_t));
  return copy;
}

bool ublWideToNarrow(const char16_t* text, char* target, uint32_t targetSize) {
  if (!text || !target || targetSize == 0) return false;
  return platWideToUtf8(text, target, targetSize);
}

char* ublWideToNarrowDup(const char16_t* text) {
  if (!text) return nullptr;
  size_t need = platUtf8LengthOf(text);
  if (need == SIZE_MAX) return nullptr;
  char* out = static_cast<char*>(ubl_malloc(uint64_t(need) + 1));
  if (!out) return nullptr;
  if (!platWideToUtf8(text, out, need + 1)) {
    std::free(out);
    return nullptr;
  }
  return out;
}

int64_t ublFileSizeW(const char16_t* path) {
  PlatFile f;
  if (platFileOpen(path, PLAT_ACCESS_READ, PLAT_OPEN_EXISTING, false, &f) != 0) return -1;
  int64_t size = -1;
  if (platFileSize(f, &size) != 0) size = -1;
  platFileClose(f);
  return size;
}

bool ublDeleteFileW(const char16_t* path) { return platDeleteFile(path) == 0; }
