// cMemoryBuffer: a block of bytes with a size, a growth increment and a
// maximum size; the storage of the memory stream.
//
// It hands out bounded copies (getBytes), takes bytes in at any offset while
// growing in whole increments (putBytes), gives raw pointers into its storage
// (rawPtrAlias) and can be deep-copied. No size above the maximum is ever
// allocated; storage made by the constructor or by resize is zero-filled.
// A pointer from rawPtrAlias stays valid until the storage is replaced
// (resize, grow, putBytes past the end, assignment, destruction).
//
// Construction never fails outwardly: the outcome (or that of the last
// assignment) is in mCtorStat. No lock: one thread at a time.
#pragma once

#include <cstdint>

#include "ubl/status.h"

class cMemoryBuffer {
 public:
  // `growBy` -1 means 1024; 0 makes the buffer fixed. With a non-null
  // `baseAddress` the storage is a mapping requested exactly there.
  cMemoryBuffer(int64_t size, void* baseAddress, int64_t growBy, int64_t maxSize);
  cMemoryBuffer(const cMemoryBuffer& source);
  virtual ~cMemoryBuffer();
  // Deep copy; a failure (STAT_ERR_ASSIGN_BROKEN for a broken source,
  // STAT_ERR_NO_MEMORY, a resize failure) lands in mCtorStat.
  cMemoryBuffer& operator=(const cMemoryBuffer& source);

  // Replaces the storage by a zero-filled one of `newSize` bytes keeping the
  // old bytes: STAT_ERR_NOT_GROWABLE, STAT_ERR_BAD_STATE above the maximum,
  // STAT_ERR_NO_MEMORY (old storage untouched).
  RSLT resize(int64_t newSize);
  RSLT grow();  // resize by one increment

  // Copies up to `count` bytes at `offset` into `dest`; STAT_INFO_NOTHING_DONE
  // at offset == size, STAT_ERR_BAD_PARAM for bad arguments or an offset past
  // the size.
  RSLT getBytes(uint8_t* dest, int64_t offset, int64_t count, int64_t* copied) const;
  // Stores `count` bytes at `offset`, growing to the next whole increment as
  // needed; STAT_ERR_NO_ROOM when the buffer may not grow.
  RSLT putBytes(const uint8_t* src, int64_t offset, int64_t count, int64_t* copied);
  // Address of the byte at `offset`, or null (with a diagnostic) when
  // `offset` is not below the size.
  uint8_t* rawPtrAlias(uint64_t offset) const;

  int64_t size() const { return mSize; }
  int64_t growBy() const { return mGrowBy; }
  bool growable() const { return mGrowable; }
  RSLT ctorStat() const { return mCtorStat; }

 private:
  friend class cMemoryStream;
  void release();

  uint8_t* mBuffer = nullptr;
  int64_t mSize = 0;
  bool mGrowable = true;
  int64_t mGrowBy = 0;
  int64_t mMaxSize = 0;
  RSLT mCtorStat = STAT_OK;
  bool mCleanupBuffer = false;
  void* mBaseAddress = nullptr;
};
