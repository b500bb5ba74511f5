// An unnamed, re-entrant process-local mutex behind an opaque handle.
//
// A thread that holds the mutex may lock it again; it is released after as
// many unlocks as locks. Lock waits without time-out. Calls on a null handle
// do nothing and return EINVAL.
#pragma once

#include <cstdint>

struct PlatMutex;

// Creates a mutex; on failure returns null and sets *error (if given) to the
// system error number, else sets it to 0.
PlatMutex* platMutexCreate(uint32_t* error);
int platMutexLock(PlatMutex* m);
int platMutexUnlock(PlatMutex* m);
// Destroys the mutex; it must not be held.
void platMutexDestroy(PlatMutex* m);
