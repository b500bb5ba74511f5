// Registration, lookup and removal of a trace log's data sources.
#include <new>

#include "tracelog/data_source.h"
#include "tracelog/lock_guard.h"
#include "tracelog/trace_log.h"
#include "ubl/diag.h"

namespace {

bool nameEquals(cTlDataSource* s, const std::u16string& name) {
  s->lock();
  bool equal = s->mName == name;
  s->unlock();
  return equal;
}

}  // namespace

bool cTraceLog::addDataSource(cTlDataSource* source, bool rename) {
  if (!source) return false;
  std::u16string name;
  bool duplicate = false;
  bool foreign = false;
  bool result = false;
  try {
    name = source->copyName();
    tlLockGuard g(mLock);
    duplicate = mNameMap.count(name) != 0;
    cAbstractTraceLog* owner = source->traceLog();
    if (owner && owner != this) {
      // Its list link belongs to the other log.
      foreign = true;
    } else if (rename || owner == this) {
      result = true;
      for (auto it = mNameMap.begin(); it != mNameMap.end(); ++it) {
        if (it->second != source) continue;
        mNameMap.erase(it);
        result = mNameMap.emplace(name, source).second;
        break;
      }
    } else {
      source->mNext = mDataSources;
      mDataSources = source;
      source->setTraceLog(this);
      result = mNameMap.emplace(name, source).second;
    }
  } catch (...) {
    result = false;
  }
  // Reported once this log's lock is released: the report goes through the
  // default log, possibly this one.
  if (foreign) {
    ublError(u"Datasource belongs to another trace log: %s\n", name.c_str());
  } else if (duplicate) {
    ublError(u"Duplicate name found: %s\n", name.c_str());
  }
  return result;
}

cTlDataSource* cTraceLog::findDataSource(const char16_t* name) {
  if (!name) return nullptr;
  std::vector<cAbstractTraceLog*> forwarders;
  try {
    tlLockGuard g(mLock);
    if (mNameMap.empty()) return nullptr;
    auto it = mNameMap.find(name);
    if (it != mNameMap.end()) return it->second;
    forwarders = mForwarders;
  } catch (...) {
    return nullptr;
  }
  for (cAbstractTraceLog* f : forwarders)
    if (cTlDataSource* s = f->findDataSource(name)) return s;
  return nullptr;
}

bool cTraceLog::removeDataSource(cTlDataSource* source) {
  if (!source) return false;
  std::u16string name = source->copyName();
  bool found = false;
  {
    tlLockGuard g(mLock);
    // The source itself when it is listed, else the newest of its name: a
    // caller that deletes the source it passed must not leave it linked.
    cTlDataSource** link = &mDataSources;
    while (*link && *link != source) link = &(*link)->mNext;
    if (!*link) {
      link = &mDataSources;
      while (*link && !nameEquals(*link, name)) link = &(*link)->mNext;
    }
    if (*link) {
      found = true;
      cTlDataSource* removed = *link;
      *link = removed->mNext;
      removed->mNext = nullptr;
      // Given back to the caller unregistered: it no longer writes into this
      // log and may be registered again, here or elsewhere.
      removed->setTraceLog(nullptr);
      for (auto it = mNameMap.begin(); it != mNameMap.end(); ++it) {
        if (it->second == removed) {
          mNameMap.erase(it);
          break;
        }
      }
    }
  }
  if (!found) ublError(u"Datasource was not found: %s\n", name.c_str());
  return found;
}
