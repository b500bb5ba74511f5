// Forwarding one trace log into another.
#include <algorithm>

#include "platform/mutex.h"
#include "tracelog/lock_guard.h"
#include "tracelog/trace_log.h"
#include "ubl/diag.h"

namespace {

// Serialises every change of forwarding, so two logs forwarded into each
// other at the same time cannot both pass the cycle test. Created on first
// use and never destroyed. Taken before any log's lock.
PlatMutex* forwardingGuard() {
  static PlatMutex* guard = platMutexCreate(nullptr);
  return guard;
}

class ForwardingHold {
 public:
  ForwardingHold() { platMutexLock(forwardingGuard()); }
  ~ForwardingHold() { platMutexUnlock(forwardingGuard()); }
};

// Longest chain followed by the cycle test; a longer one is refused.
constexpr int kMaxForwardDepth = 1024;

}  // namespace

bool cTraceLog::forwardTo(cAbstractTraceLog* target) {
  if (!target) return false;
  bool refused = false;
  {
    ForwardingHold hold;
    // Would a line from `target` come back here? Logs of other classes end
    // the walk: their own forwarding cannot be seen.
    cAbstractTraceLog* cur = target;
    for (int depth = 0; cur && !refused; ++depth) {
      if (cur == this || depth >= kMaxForwardDepth) refused = true;
      cTraceLog* log = dynamic_cast<cTraceLog*>(cur);
      cur = log ? log->forwardTarget() : nullptr;
    }
    if (!refused) {
      cAbstractTraceLog* old;
      {
        tlLockGuard g(mLock);
        old = mForwardTarget;
        mForwardTarget = target;
      }
      if (old != target) {
        // Leave the old target first, so it keeps no pointer to this log.
        if (old) old->removeForwarder(this);
        target->addForwarder(this);
      }
    }
  }
  if (refused) ublError(u"Forwarding trace log '%s' would form a cycle\n", getName());
  return !refused;
}

bool cTraceLog::addForwarder(cAbstractTraceLog* log) {
  try {
    tlLockGuard g(mLock);
    mForwarders.push_back(log);
    return true;
  } catch (...) {
    return false;
  }
}

bool cTraceLog::removeForwarder(cAbstractTraceLog* log) {
  tlLockGuard g(mLock);
  auto it = std::find(mForwarders.begin(), mForwarders.end(), log);
  if (it != mForwarders.end()) mForwarders.erase(it);
  return true;
}

void cTraceLog::unforward() {
  ForwardingHold hold;
  cAbstractTraceLog* target;
  {
    tlLockGuard g(mLock);
    target = mForwardTarget;
    mForwardTarget = nullptr;
  }
  if (!target) return;
  // Whatever goes wrong inside the target, this log is no longer forwarded.
  try {
    target->removeForwarder(this);
  } catch (...) {
  }
}

void cTraceLog::releaseForwarders() {
  ForwardingHold hold;
  std::vector<cAbstractTraceLog*> forwarders;
  {
    tlLockGuard g(mLock);
    forwarders.swap(mForwarders);
  }
  for (cAbstractTraceLog* f : forwarders) {
    cTraceLog* log = dynamic_cast<cTraceLog*>(f);
    if (!log) continue;
    tlLockGuard g(log->mLock);
    if (log->mForwardTarget == this) log->mForwardTarget = nullptr;
  }
}
