// The memory target of an extraction into a caller buffer.
//
// Blocks of decompressed bytes arrive in order. A block is copied whole when it fits in
// the room left and dropped whole when it does not (never cut); a later, smaller block
// that fits still lands directly after the bytes already in the buffer. So the buffer
// holds the blocks that fitted, without gaps, and nothing is ever written past its end.
#pragma once

#include <cstddef>
#include <cstdint>

struct MemoryTarget {
  uint8_t* write;  // where the next block goes
  uint32_t free;   // bytes left from `write` to the buffer's end
};

// Offers one block to the target (the engine's data callback; `userData` is the target).
// Always asks the engine to go on: dropped blocks still pass the integrity check.
int memoryTargetDeliver(void* userData, const uint8_t* data, size_t length);
