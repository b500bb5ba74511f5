// Allocation failures for the whole test program: operator new (throwing and
// nothrow forms, single and array) is replaced so that, when armed, the n-th
// request from now on fails (std::bad_alloc, or null for nothrow) and later
// ones succeed again. Inert unless armed. Reaches the engine's windows, models
// and buffers as well as the plug-in's records.
#pragma once

#include <cstdint>

namespace reliability {

void FailNthNew(int64_t n);  // n <= 0 disarms
bool NewFailurePending();

}  // namespace reliability
