#include "stream/memory_stream.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "stream/memory_buffer.h"
#include "stream/offset_math.h"
#include "ubl/diag.h"
#include "ubl/memory.h"

cMemoryStream::cMemoryStream(int64_t size, int64_t growBy) {
  mMode = FIO_MODE_CLOSED;
  if (size == 0) {
    mCtorStat = STAT_ERR_ZERO_SIZE;
    return;
  }
  mBuffer = new (std::nothrow) cMemoryBuffer(size, nullptr, growBy, MEMORY_STREAM_MAX_BYTES);
  if (mBuffer == nullptr) {
    WX_ASSERT(mBuffer);
    mCtorStat = STAT_ERR_NO_MEMORY;
    return;
  }
  mCtorStat = mBuffer->mCtorStat;
}

cMemoryStream::~cMemoryStream() {
  delete mBuffer;
  mBuffer = nullptr;
}

RSLT cMemoryStream::open(uint32_t mode, uint32_t) {
  if (mCtorStat != STAT_OK) return STAT_ERR_NOT_CONSTRUCTED;
  if ((mode & FIO_MODE_WRITE) && !(mode & FIO_MODE_READ)) mode |= FIO_MODE_TRUNCATE;
  if ((mode & FIO_MODE_EXISTING) && mLength == 0) return STAT_ERR_MUST_EXIST;
  if ((mode & FIO_MODE_CREATE_NEW) && mLength != 0) return STAT_ERR_MUST_BE_NEW;
  setMode(mode);
  mPosition = 0;
  if (mode & FIO_MODE_TRUNCATE) mLength = 0;
  return STAT_OK;
}

RSLT cMemoryStream::read(uint8_t* dest, int64_t count, int64_t* countRead) {
  if (countRead == nullptr) return STAT_ERR_BAD_PARAM;
  *countRead = 0;
  if (mCtorStat != STAT_OK) return STAT_ERR_NOT_CONSTRUCTED;
  if (mBuffer == nullptr) return STAT_ERR_BAD_STATE;
  if (count < 0 || dest == nullptr) return STAT_ERR_BAD_PARAM;
  if (mPosition > mLength) return STAT_ERR_BAD_STATE;
  if (!(mMode & FIO_MODE_READ)) return STAT_ERR_BAD_MODE;
  if (count == 0) return STAT_OK;
  if (count > mLength - mPosition) count = mLength - mPosition;
  // At the end of the data the count is 0, which getBytes refuses.
  RSLT r = mBuffer->getBytes(dest, mPosition, count, countRead);
  if (RSLT_IS_FATAL(r)) return r;
  mPosition += *countRead;
  return STAT_OK;
}

RSLT cMemoryStream::write(const uint8_t* src, int64_t count, int64_t* countWritten) {
  if (countWritten == nullptr) return STAT_ERR_BAD_PARAM;
  *countWritten = 0;
  if (mCtorStat != STAT_OK) return STAT_ERR_NOT_CONSTRUCTED;
  if (src == nullptr || count < 0) return STAT_ERR_BAD_PARAM;
  if (mBuffer == nullptr) return STAT_ERR_BAD_STATE;
  if (mMode == FIO_MODE_CLOSED || !(mMode & FIO_MODE_WRITE)) return STAT_ERR_BAD_MODE;
  if (mPosition > mLength) return STAT_ERR_BAD_STATE;
  if (count == 0) return STAT_OK;
  RSLT r = mBuffer->putBytes(src, mPosition, count, countWritten);
  if (RSLT_IS_FATAL(r)) return r;
  mPosition += *countWritten;
  if (mPosition > mLength) mLength = mPosition;
  return STAT_OK;
}

RSLT cMemoryStream::flush() {
  if (mCtorStat != STAT_OK) return STAT_ERR_NOT_CONSTRUCTED;
  if (mMode == FIO_MODE_CLOSED) return STAT_ERR_BAD_STATE;
  return STAT_OK;
}

RSLT cMemoryStream::close() {
  if (mCtorStat != STAT_OK) return STAT_ERR_NOT_CONSTRUCTED;
  if (mBuffer == nullptr || mBuffer->mCtorStat != STAT_OK) return STAT_ERR_BAD_STATE;
  if (mMode == FIO_MODE_CLOSED) return STAT_OK;
  mPosition = 0;
  setMode(FIO_MODE_CLOSED);
  return STAT_OK;
}

int64_t cMemoryStream::length() {
  if (mCtorStat != STAT_OK) {
    WX_ASSERT(mCtorStat == STAT_OK);
    return -1;
  }
  if (!(testMode(FIO_MODE_READ) || testMode(FIO_MODE_WRITE))) {
    WX_ASSERT(testMode(FIO_MODE_READ) || testMode(FIO_MODE_WRITE));
    return -1;
  }
  return mLength;
}

RSLT cMemoryStream::seek(int64_t offset, int32_t origin) {
  if (mCtorStat != STAT_OK) return STAT_ERR_NOT_CONSTRUCTED;
  if (mBuffer == nullptr) return STAT_ERR_BAD_STATE;
  if (mMode == FIO_MODE_CLOSED) return STAT_ERR_NOT_OPEN;

  int64_t target;
  switch (origin) {
    case FIO_SEEK_BEGIN: target = offset; break;
    case FIO_SEEK_CURRENT: target = saturatingAdd(mPosition, offset); break;
    case FIO_SEEK_END: target = saturatingAdd(mLength - 1, offset); break;
    default: return STAT_ERR_BAD_PARAM;
  }
  mPosition = target;
  if (target < 0) {
    mPosition = 0;
    return STAT_ERR_MEM_SEEK_BEFORE_START;
  }
  if (target <= mLength) return STAT_OK;

  cMemoryBuffer& buf = *mBuffer;
  if (target <= buf.mSize) {
    memset(buf.mBuffer + mLength, 0, static_cast<size_t>(target - mLength));
    mLength = target;
    return STAT_OK;
  }
  if (mLength < buf.mSize) {
    memset(buf.mBuffer + mLength, 0, static_cast<size_t>(buf.mSize - mLength));
  }
  if (!buf.mGrowable) {
    mPosition = mLength;
    return STAT_INFO_CLAMPED;
  }
  // The data length becomes the new storage size; the new storage reads as
  // zeros, so the whole tail does.
  RSLT r = (target - buf.mSize >= buf.mGrowBy) ? buf.resize(target) : buf.grow();
  mLength = buf.mSize;
  return r;
}

int64_t cMemoryStream::tell() {
  if (mCtorStat != STAT_OK) {
    ublError(u"cMemoryStream::Tell: object construction error");
    return -1;
  }
  if (mBuffer == nullptr) {
    ublError(u"cMemoryStream::Tell: no buffer");
    return -1;
  }
  if (mMode == FIO_MODE_CLOSED) {
    ublError(u"cMemoryStream::Tell: stream not open");
    return -1;
  }
  return mPosition;
}

RSLT cMemoryStream::truncate() {
  if (mCtorStat != STAT_OK) return STAT_ERR_NOT_CONSTRUCTED;
  if (!(mMode & FIO_MODE_WRITE)) return STAT_ERR_BAD_STATE;
  mLength = mPosition;
  return STAT_OK;
}

RSLT cMemoryStream::copyFromStream(cAbstractStream* source, int64_t numBytes,
                                   int64_t* countCopied) {
  if (countCopied != nullptr) *countCopied = 0;
  if (mMode == 0 || !(mMode & FIO_MODE_READ)) return STAT_ERR_BAD_MODE;
  if (numBytes == 0) return STAT_INFO_NOTHING_DONE;
  if (source == nullptr) return STAT_ERR_BAD_PARAM;
  if (numBytes == -1) {
    const int64_t position = source->tell();
    const int64_t total = source->length();
    if (position > total) ublAssertFailed(__PRETTY_FUNCTION__, "source.tell() <= source.length()");
    if (position >= total) {
      ublError(u"%s: bad source stream state: tell=%x, length=%x\n",
               u"cMemoryStream::copyFromStream", static_cast<unsigned>(position),
               static_cast<unsigned>(total));
      return STAT_ERR_FAILED;
    }
    numBytes = total - position;
  }
  // The limit holds for a count taken from the source as well: its length is
  // as untrusted as the caller's count.
  if (numBytes < 0 || numBytes > MEMORY_STREAM_MAX_COPY) {
    ublError(u"%s: youre kidding, right?? size=%x\n", u"cMemoryStream::copyFromStream",
             static_cast<unsigned>(numBytes));
    return STAT_ERR_TOO_BIG;
  }

  uint8_t* block = static_cast<uint8_t*>(ublCallocQuiet(static_cast<uint64_t>(numBytes), 1));
  if (block == nullptr) return STAT_ERR_NO_MEMORY;
  int64_t got = 0;
  RSLT r = source->read(block, numBytes, &got);
  if (r == STAT_OK) {
    // A short source is no error here: what was read is what is written.
    int64_t written = 0;
    r = write(block, got, &written);
    if (countCopied != nullptr) *countCopied = written;
    if (!RSLT_IS_FATAL(r)) r = STAT_OK;
  }
  free(block);
  return r;
}

void cMemoryStream::setMode(uint32_t mode) {
  WX_ASSERT(mCtorStat == STAT_OK);
  mMode = mode;
}

cMemoryStream& cMemoryStream::operator=(const cMemoryStream& source) {
  if (&source == this) return *this;
  if (source.mCtorStat != STAT_OK) {
    mCtorStat = STAT_ERR_ASSIGN_SOURCE;
    return *this;
  }
  if (mCtorStat != STAT_OK) {
    mCtorStat = STAT_ERR_ASSIGN_BROKEN;
    return *this;
  }
  if (mMode != FIO_MODE_CLOSED) {
    RSLT r = close();
    if (r != STAT_OK) {
      mCtorStat = r;
      return *this;
    }
  }
  delete mBuffer;
  mBuffer = nullptr;
  mPosition = 0;
  mLength = 0;
  if (source.mBuffer != nullptr) {
    mBuffer = new (std::nothrow) cMemoryBuffer(*source.mBuffer);
    if (mBuffer == nullptr) {
      WX_ASSERT(mBuffer);
      mCtorStat = STAT_ERR_NO_MEMORY;
    } else if (mBuffer->mCtorStat != STAT_OK) {
      mCtorStat = mBuffer->mCtorStat;
    } else {
      setMode(source.mMode);
      mLength = source.mLength;
      mPosition = source.mPosition;
      mCtorStat = STAT_OK;
    }
  }
  return *this;
}

bool cMemoryStream::operator==(cMemoryStream& other) {
  if (&other == this) return true;
  const int64_t mine = length();
  const int64_t theirs = other.length();
  if (mine != theirs || mine == -1) return false;
  const uint8_t* a = mBuffer->rawPtrAlias(0);
  const uint8_t* b = other.rawPtrAlias(0, FIO_SEEK_BEGIN);
  if (a == nullptr || b == nullptr) return false;
  return memcmp(a, b, static_cast<size_t>(mine)) == 0;
}

uint32_t cMemoryStream::mode() {
  if (mCtorStat != STAT_OK) {
    WX_ASSERT(mCtorStat == STAT_OK);
    return 0;
  }
  return mMode;
}

bool cMemoryStream::testMode(uint32_t value) {
  if (value == 0) return mMode == 0;
  if (value == FIO_MODE_CLOSED) return mMode == FIO_MODE_CLOSED;
  return (mMode & value) != 0;
}

uint8_t* cMemoryStream::rawPtrAlias(int64_t offset, int32_t origin) {
  if (mCtorStat != STAT_OK) {
    ublError(u"cMemoryStream::rawPtrAlias: construction error");
    return nullptr;
  }
  if (mBuffer == nullptr) {
    ublError(u"cMemoryStream::rawPtrAlias: no buffer");
    return nullptr;
  }
  if (!testMode(FIO_MODE_READ)) {
    ublError(u"cMemoryStream::rawPtrAlias: bad stream mode");
    return nullptr;
  }
  int64_t at;
  switch (origin) {
    case FIO_SEEK_BEGIN: at = offset; break;
    case FIO_SEEK_CURRENT: at = saturatingAdd(mPosition, offset); break;
    case FIO_SEEK_END: at = saturatingAdd(mLength, offset); break;
    default:
      ublError(u"cMemoryStream::rawPtrAlias: bad param");
      return nullptr;
  }
  if (at < 0) {
    ublError(u"cMemoryStream::rawPtrAlias: underflow");
    return nullptr;
  }
  if (at > mLength) {
    ublError(u"cMemoryStream::rawPtrAlias: overflow");
    return nullptr;
  }
  return mBuffer->rawPtrAlias(static_cast<uint64_t>(at));
}
