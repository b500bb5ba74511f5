#include "plugin/memory_target.h"

#include <cstring>

#include "rarlib/rar.h"

int memoryTargetDeliver(void* userData, const uint8_t* data, size_t length) {
  auto* t = static_cast<MemoryTarget*>(userData);
  if (length <= t->free) {
    if (length > 0) std::memcpy(t->write, data, length);
    t->write += length;
    t->free -= static_cast<uint32_t>(length);
  }
  return RAR_CALLBACK_CONTINUE;
}
