#include "platform/mutex.h"

#include <pthread.h>

#include <cerrno>
#include <new>

struct PlatMutex {
  pthread_mutex_t m;
};

PlatMutex* platMutexCreate(uint32_t* error) {
  if (error) *error = 0;
  PlatMutex* mx = new (std::nothrow) PlatMutex;
  if (!mx) {
    if (error) *error = ENOMEM;
    return nullptr;
  }
  pthread_mutexattr_t attr;
  int rc = pthread_mutexattr_init(&attr);
  if (rc == 0) {
    rc = pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
    if (rc == 0) rc = pthread_mutex_init(&mx->m, &attr);
    pthread_mutexattr_destroy(&attr);
  }
  if (rc != 0) {
    delete mx;
    if (error) *error = uint32_t(rc);
    return nullptr;
  }
  return mx;
}

int platMutexLock(PlatMutex* m) { return m ? pthread_mutex_lock(&m->m) : EINVAL; }

int platMutexUnlock(PlatMutex* m) { return m ? pthread_mutex_unlock(&m->m) : EINVAL; }

void platMutexDestroy(PlatMutex* m) {
  if (!m) return;
  pthread_mutex_destroy(&m->m);
  delete m;
}
