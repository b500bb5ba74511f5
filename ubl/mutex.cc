#include "ubl/mutex.h"

#include "platform/mutex.h"

cMutex::cMutex() : mCreateError(0), mHandle(platMutexCreate(&mCreateError)) {}

cMutex::cMutex(const char16_t*) : cMutex() {}

cMutex::~cMutex() { close(); }

int cMutex::lock() { return platMutexLock(mHandle); }

int cMutex::unlock() { return platMutexUnlock(mHandle); }

void cMutex::close() {
  platMutexDestroy(mHandle);
  mHandle = nullptr;
}

cMutex gCounterLock;

int32_t ublLockedAdd(int32_t* counter, int32_t amount) {
  if (!counter) return 0;
  gCounterLock.lock();
  int32_t value = int32_t(uint32_t(*counter) + uint32_t(amount));
  *counter = value;
  gCounterLock.unlock();
  return value;
}
