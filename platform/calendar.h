// Calendar time: the current time as seconds since 1970 and the local
// calendar fields of any such time.
#pragma once

#include <cstdint>

#include "platform/clock.h"

// Seconds since 1 January 1970 (UTC) now; 0 if the system cannot tell.
int64_t platCalendarSeconds();

// Local calendar fields of `seconds`; false (zero-filled) if the value cannot
// be converted.
bool platLocalTimeOf(int64_t seconds, PlatLocalTime* out);
