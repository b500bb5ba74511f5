#include "stream/file.h"

#include <cstdlib>

#include "stream/abstract_stream.h"
#include "stream/fio.h"
#include "stream/offset_math.h"
#include "ubl/diag.h"
#include "ubl/memory.h"

namespace {

constexpr uint32_t kPlainFile = 0x80;
constexpr int64_t kResolveUnits = 260;

}  // namespace

File::File(const char16_t* path, bool fullPath) { mCtorStat = setName(path, fullPath); }

File::~File() {
  if (isOpen()) close();
  free(mName);
  mName = nullptr;
}

bool File::isValid() const {
  if (RSLT_IS_FATAL(mCtorStat)) return false;
  if (!isOpen()) return mPosition == -1 && mLength == -1;
  return mLength == 0 || (mPosition >= 0 && mPosition <= mLength);
}

RSLT File::setName(const char16_t* path, bool fullPath) {
  if (!isValid()) return STAT_ERR_BAD_STATE;
  if (path == nullptr) return STAT_ERR_NULL_NAME;
  // The name of an open file never changes, and is not lost by the attempt.
  if (isOpen()) return STAT_ERR_ALREADY_OPEN;
  free(mName);
  mName = nullptr;
  if (path[0] == 0) return STAT_INFO_EMPTY_NAME;

  char16_t resolved[kResolveUnits];
  if (fullPath) {
    RSLT r = fio_fullPath(path, resolved, INT64_MAX);
    if (r != STAT_OK) return r;
    path = resolved;
  }
  mFullPath = fullPath;
  mName = ublWcsDup(path, false);
  return mName == nullptr ? STAT_ERR_NO_MEMORY : STAT_OK;
}

RSLT File::open(uint32_t mode, uint32_t attributes) {
  if (!isValid()) return STAT_ERR_BAD_STATE;
  if (isOpen()) return STAT_INFO_ALREADY_OPEN;
  RSLT r = fio_fileOpen(mName, mode, &mHandle, attributes);
  if (RSLT_IS_FATAL(r)) return r;
  mMode = mode;
  mPosition = 0;
  r = fio_fileSize(mHandle, &mLength);
  if (RSLT_IS_FATAL(r)) return r;
  return seek(0, FIO_SEEK_BEGIN, nullptr);
}

RSLT File::close() {
  if (RSLT_IS_FATAL(mCtorStat)) return STAT_ERR_BAD_STATE;
  if (!isOpen()) return STAT_INFO_NOT_OPEN;
  RSLT r = fio_fileClose(mHandle);
  mLength = -1;
  mPosition = -1;
  mHandle = PLAT_NO_FILE;
  mMode = FIO_MODE_CLOSED;
  return r;
}

RSLT File::read(uint8_t* dest, int64_t count, int64_t* countRead) {
  if (countRead == nullptr) return STAT_ERR_BAD_PARAM;
  *countRead = 0;
  if (!isValid()) return STAT_ERR_BAD_STATE;
  if (!isOpen()) return STAT_ERR_NO_FILE;
  if (dest == nullptr && count != 0) return STAT_ERR_BAD_PARAM;
  RSLT r = fio_fileRead(mHandle, dest, count, countRead);
  mPosition += *countRead;
  if (mPosition > mLength) mLength = mPosition;
  return r;
}

RSLT File::write(const uint8_t* buffer, int64_t count, int64_t* countWritten) {
  if (countWritten == nullptr) return STAT_ERR_BAD_PARAM;
  *countWritten = 0;
  WX_ASSERT(buffer != NULL);
  if (buffer == nullptr && count != 0) return STAT_ERR_BAD_POINTER;
  if (!isValid()) return STAT_ERR_BAD_STATE;
  if (!isOpen()) return STAT_ERR_NO_FILE;
  RSLT r = fio_fileWrite(mHandle, buffer, count, countWritten);
  if (RSLT_IS_FATAL(r)) return r;
  mPosition += *countWritten;
  if (mPosition > mLength) mLength = mPosition;
  return r;
}

RSLT File::seek(int64_t offset, int32_t origin, int64_t* newPosition) {
  if (!isValid()) return STAT_ERR_BAD_STATE;
  if (!isOpen()) return STAT_ERR_NO_FILE;
  if (newPosition != nullptr) *newPosition = 0;
  if (mCtorStat != STAT_OK) return mCtorStat;

  int64_t target;
  switch (origin) {
    case FIO_SEEK_BEGIN: target = offset; break;
    case FIO_SEEK_CURRENT: target = saturatingAdd(mPosition, offset); break;
    case FIO_SEEK_END: target = saturatingAdd(mLength, offset); break;
    default: return STAT_ERR_BAD_PARAM;
  }
  RSLT result = STAT_OK;
  mPosition = target;
  if (target < 0) {
    mPosition = 0;
    result = STAT_ERR_SEEK_BEFORE_START;
  } else if (target > mLength) {
    mPosition = mLength;
    result = STAT_ERR_SEEK_PAST_END;
  }

  RSLT r = fio_fileSeek(mHandle, mPosition, FIO_SEEK_BEGIN);
  if (RSLT_IS_FATAL(r)) {
    WX_ASSERT(!"Unexpected return code in File::seek()");
    if (!RSLT_IS_FATAL(result)) result = r;
  }
  if (newPosition != nullptr) *newPosition = mPosition;
  return result;
}

int64_t File::tell() const {
  WX_ASSERT(mCtorStat == STAT_OK);
  WX_ASSERT(isOpen());
  return mPosition;
}

int64_t File::length() {
  if (!isValid()) return -1;
  if (isOpen()) {
    int64_t size = -1;
    RSLT stat = fio_fileSize(mHandle, &size);
    WX_ASSERT(stat == STAT_OK);
    return stat == STAT_OK ? size : -1;
  }
  if (mName == nullptr) return -1;

  File probe(mName, false);
  if (probe.open(FIO_MODE_READ, kPlainFile) != STAT_OK) return -1;
  int64_t size = probe.length();
  RSLT stat = probe.close();
  WX_ASSERT(!RSLT_IS_FATAL(stat));
  return size;
}

RSLT File::flush() {
  if (!isValid()) return STAT_ERR_BAD_STATE;
  if (!isOpen()) return STAT_ERR_NO_FILE;
  return fio_fileFlush(mHandle);
}

RSLT File::truncate() {
  if (!isValid()) return STAT_ERR_BAD_STATE;
  if (!isOpen()) return STAT_ERR_NO_FILE;
  RSLT r = fio_fileTruncate(mHandle);
  // The record follows the file, so later positioning sees its real end.
  if (!RSLT_IS_FATAL(r)) mLength = mPosition;
  return r;
}

RSLT File::extend(int64_t newLength) {
  if (!isValid()) return STAT_ERR_BAD_STATE;
  if (!isOpen()) return STAT_ERR_NO_FILE;
  if (!(mMode & FIO_MODE_WRITE)) return STAT_ERR_BAD_MODE;
  if (newLength <= mLength) return STAT_OK;
  RSLT r = fio_fileSeek(mHandle, newLength, FIO_SEEK_BEGIN);
  if (!RSLT_IS_FATAL(r)) r = fio_fileTruncate(mHandle);
  if (RSLT_IS_FATAL(r)) {
    // Put the platform position back where the record says it is.
    fio_fileSeek(mHandle, mPosition, FIO_SEEK_BEGIN);
    return r;
  }
  mLength = newLength;
  mPosition = newLength;
  return STAT_OK;
}
