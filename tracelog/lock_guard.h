// Scoped hold of a cMutex that may be absent (a lock whose creation failed
// gives no exclusion, as its owner promises).
#pragma once

#include "ubl/mutex.h"

class tlLockGuard {
 public:
  explicit tlLockGuard(cMutex* m) : mMutex(m) {
    if (mMutex) mMutex->lock();
  }
  ~tlLockGuard() {
    if (mMutex) mMutex->unlock();
  }
  tlLockGuard(const tlLockGuard&) = delete;
  tlLockGuard& operator=(const tlLockGuard&) = delete;

 private:
  cMutex* mMutex;
};
