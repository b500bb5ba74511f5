// Console printing for the dumps (temporary bridge until the console stream lands).
#pragma once

#if __has_include("stream/console_stream.h")
#include "stream/console_stream.h"
#else
#include <cstdint>
inline uint64_t ublPrint(const char16_t*, ...) { return 0; }
#endif
