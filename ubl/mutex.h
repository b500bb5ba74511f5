// cMutex: the base library's lock object, an unnamed re-entrant system mutex.
//
// Construction never fails outwardly: mCreateError is 0 when the mutex exists,
// else the system's error number, and mHandle is null. lock() waits without
// time-out; a thread may lock again what it holds and releases it after as
// many unlock() calls. close() releases the system mutex (also done by the
// destructor); lock and unlock on a closed or failed mutex return non-zero
// and do nothing.
#pragma once

#include <cstdint>

struct PlatMutex;

class cMutex {
 public:
  cMutex();
  // The argument is accepted for callers that name their lock; it is unused.
  explicit cMutex(const char16_t* unusedName);
  ~cMutex();
  cMutex(const cMutex&) = delete;
  cMutex& operator=(const cMutex&) = delete;

  int lock();
  int unlock();
  void close();

  uint32_t mCreateError;
  PlatMutex* mHandle;
};

// The lock of ublLockedAdd, created at library load.
extern cMutex gCounterLock;

// Adds `amount` to *counter under gCounterLock (wrapping on overflow) and
// returns the counter's value right after this caller's addition.
int32_t ublLockedAdd(int32_t* counter, int32_t amount);
