#include "platform/vmem.h"

#include <sys/mman.h>

#include <cerrno>

#ifndef MAP_FIXED_NOREPLACE
#define MAP_FIXED_NOREPLACE 0x100000
#endif

void* platReserve(void* address, size_t size, int* error) {
  if (error) *error = 0;
  if (size == 0) {
    if (error) *error = EINVAL;
    return nullptr;
  }
  int flags = MAP_PRIVATE | MAP_ANONYMOUS | (address ? MAP_FIXED_NOREPLACE : 0);
  void* p = ::mmap(address, size, PROT_READ | PROT_WRITE, flags, -1, 0);
  if (p == MAP_FAILED) {
    if (error) *error = errno;
    return nullptr;
  }
  // Kernels without MAP_FIXED_NOREPLACE take the address as a mere hint.
  if (address && p != address) {
    ::munmap(p, size);
    if (error) *error = EEXIST;
    return nullptr;
  }
  return p;
}

int platRelease(void* address, size_t size) {
  if (!address || size == 0) return EINVAL;
  return ::munmap(address, size) == 0 ? 0 : errno;
}
