#include "tests/reliability/alloc_fault.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace reliability {
namespace {

std::atomic<int64_t> gCountdown{0};

bool Fail() {
  if (gCountdown.load(std::memory_order_relaxed) <= 0) return false;
  return gCountdown.fetch_sub(1, std::memory_order_relaxed) == 1;
}

void* Allocate(std::size_t n) {
  if (Fail()) return nullptr;
  return std::malloc(n ? n : 1);
}

}  // namespace

void FailNthNew(int64_t n) { gCountdown.store(n > 0 ? n : 0); }
bool NewFailurePending() { return gCountdown.load() > 0; }

}  // namespace reliability

void* operator new(std::size_t n) {
  if (void* p = reliability::Allocate(n)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t n) {
  if (void* p = reliability::Allocate(n)) return p;
  throw std::bad_alloc();
}
void* operator new(std::size_t n, const std::nothrow_t&) noexcept { return reliability::Allocate(n); }
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept { return reliability::Allocate(n); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
