// Address-space reservation: anonymous read-write mappings.
#pragma once

#include <cstddef>

// Maps `size` bytes of zeroed read-write memory. With a non-null `address`
// the region must start exactly there and must not overlap an existing
// mapping, else the call fails. Returns the base or null (*error = errno).
void* platReserve(void* address, size_t size, int* error);

// Unmaps [address, address + size); returns 0 or errno.
int platRelease(void* address, size_t size);
