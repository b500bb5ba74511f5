#include "stream/memory_buffer.h"

#include <cstring>
#include <new>

#include "ubl/diag.h"
#include "ubl/file_write.h"
#include "ubl/vmem.h"

namespace {

constexpr int64_t kDefaultGrowBy = 1024;
// The reservation does not pass its own error number up; a refused mapping is
// reported as a lack of memory (ENOMEM).
constexpr uint32_t kNoMemoryCode = 12;

uint8_t* zeroedBlock(int64_t size) {
  return new (std::nothrow) uint8_t[static_cast<size_t>(size)]();
}

}  // namespace

cMemoryBuffer::cMemoryBuffer(int64_t size, void* baseAddress, int64_t growBy, int64_t maxSize)
    : mGrowBy(growBy), mMaxSize(maxSize), mBaseAddress(baseAddress) {
  if (mGrowBy == -1) mGrowBy = kDefaultGrowBy;
  if (mGrowBy == 0) mGrowable = false;
  if (size < 0 || mGrowBy < 0) {
    mCtorStat = STAT_ERR_BAD_PARAM;
    return;
  }
  if (size > mMaxSize) {
    mCtorStat = STAT_ERR_SIZE_OVER_MAX;
    return;
  }
  if (mGrowBy > mMaxSize) {
    mCtorStat = STAT_ERR_TOO_BIG;
    return;
  }
  if (size == 0) return;

  if (baseAddress == nullptr) {
    mBuffer = zeroedBlock(size);
  } else {
    mBuffer = static_cast<uint8_t*>(ublVirtualAlloc(baseAddress, static_cast<uint64_t>(size),
                                                    UBL_MEM_RESERVE, UBL_PAGE_READWRITE,
                                                    "cMemoryBuffer::cMemoryBuffer"));
    if (mBuffer == nullptr) ublReportSysError("cMemoryBuffer::cMemoryBuffer", kNoMemoryCode);
  }
  if (mBuffer == nullptr) {
    mCtorStat = STAT_ERR_NO_MEMORY;
    return;
  }
  mSize = size;
  mCleanupBuffer = true;
}

cMemoryBuffer::cMemoryBuffer(const cMemoryBuffer& source)
    : mGrowable(source.mGrowBy != 0), mGrowBy(source.mGrowBy), mMaxSize(source.mMaxSize) {
  *this = source;
}

cMemoryBuffer::~cMemoryBuffer() { release(); }

void cMemoryBuffer::release() {
  if (mCleanupBuffer && mBuffer != nullptr) {
    if (mBaseAddress != nullptr) {
      ublVirtualFree(mBuffer, static_cast<uint64_t>(mSize), UBL_MEM_RELEASE,
                     "cMemoryBuffer::~cMemoryBuffer");
    } else {
      delete[] mBuffer;
    }
  }
  mBuffer = nullptr;
}

cMemoryBuffer& cMemoryBuffer::operator=(const cMemoryBuffer& source) {
  if (&source == this) return *this;
  if (source.mCtorStat != STAT_OK) {
    mCtorStat = STAT_ERR_ASSIGN_BROKEN;
    return *this;
  }
  if (mSize != 0) {
    // A larger buffer keeps its size; only the first source-size bytes change.
    if (source.mSize > mSize) {
      RSLT r = resize(source.mSize);
      if (r != STAT_OK) {
        mCtorStat = r;
        return *this;
      }
    }
  } else if (source.mSize != 0) {
    mBuffer = zeroedBlock(source.mSize);
    if (mBuffer == nullptr) {
      WX_ASSERT(mBuffer);
      mSize = 0;
      mCtorStat = STAT_ERR_NO_MEMORY;
      return *this;
    }
    mSize = source.mSize;
    mCleanupBuffer = true;
    mBaseAddress = nullptr;
  }
  mCtorStat = STAT_OK;
  if (source.mSize == 0) return *this;

  int64_t copied = 0;
  RSLT r = source.getBytes(mBuffer, 0, source.mSize, &copied);
  if (r != STAT_OK) {
    mCtorStat = r;
  } else if (copied != source.mSize) {
    mCtorStat = STAT_ERR_SHORT_READ;
  }
  return *this;
}

RSLT cMemoryBuffer::resize(int64_t newSize) {
  if (!mGrowable) return STAT_ERR_NOT_GROWABLE;
  if (newSize > mMaxSize) return STAT_ERR_BAD_STATE;
  WX_ASSERT(mCleanupBuffer && mBaseAddress == 0);
  // Storage is only ever replaced by a larger one.
  if (newSize <= mSize) return STAT_OK;
  uint8_t* block = zeroedBlock(newSize);
  if (block == nullptr) return STAT_ERR_NO_MEMORY;
  if (mSize > 0) memcpy(block, mBuffer, static_cast<size_t>(mSize));
  release();
  mBuffer = block;
  mSize = newSize;
  mCleanupBuffer = true;
  mBaseAddress = nullptr;
  return STAT_OK;
}

RSLT cMemoryBuffer::grow() {
  if (mGrowBy > mMaxSize - mSize) return mGrowable ? STAT_ERR_BAD_STATE : STAT_ERR_NOT_GROWABLE;
  return resize(mSize + mGrowBy);
}

RSLT cMemoryBuffer::getBytes(uint8_t* dest, int64_t offset, int64_t count,
                             int64_t* copied) const {
  if (copied == nullptr) return STAT_ERR_BAD_PARAM;
  *copied = 0;
  if (dest == nullptr || count <= 0 || offset < 0) return STAT_ERR_BAD_PARAM;
  if (offset > mSize) {
    ublWarning(u"%s: argued offset %x exceeds buffer size %x\n", u"cMemoryBuffer::getBytes",
               static_cast<unsigned>(offset), static_cast<unsigned>(mSize));
    return STAT_ERR_BAD_PARAM;
  }
  const int64_t n = count > mSize - offset ? mSize - offset : count;
  if (n == 0) return STAT_INFO_NOTHING_DONE;
  memcpy(dest, mBuffer + offset, static_cast<size_t>(n));
  *copied = n;
  return STAT_OK;
}

RSLT cMemoryBuffer::putBytes(const uint8_t* src, int64_t offset, int64_t count,
                             int64_t* copied) {
  if (copied == nullptr) return STAT_ERR_BAD_PARAM;
  *copied = 0;
  if (src == nullptr || count < 0 || offset < 0) return STAT_ERR_BAD_PARAM;
  if (count == 0) return STAT_INFO_NOTHING_DONE;
  int64_t end;
  if (__builtin_add_overflow(offset, count, &end)) return STAT_ERR_BAD_STATE;
  if (end > mSize) {
    if (mGrowBy == 0) return STAT_ERR_NO_ROOM;
    if (end > mMaxSize) return resize(end);  // refused: above the maximum
    int64_t newSize = mSize + ublRoundUp(end - mSize, mGrowBy);
    // The last increment may overshoot the maximum; the maximum still holds.
    if (newSize > mMaxSize) newSize = mMaxSize;
    RSLT r = resize(newSize);
    if (r != STAT_OK) return r;
  }
  memcpy(mBuffer + offset, src, static_cast<size_t>(count));
  *copied = count;
  return STAT_OK;
}

uint8_t* cMemoryBuffer::rawPtrAlias(uint64_t offset) const {
  if (offset < static_cast<uint64_t>(mSize)) return mBuffer + offset;
  ublDiag(u"cMemoryBuffer::rawPtrAlias: could not allocate pointer: location %d, but size was %d\n",
          static_cast<int>(offset), static_cast<int>(mSize));
  return nullptr;
}
