#include "stream/file_stream.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "stream/file.h"
#include "stream/memory_stream.h"
#include "stream/offset_math.h"
#include "ubl/diag.h"

namespace {

constexpr uint32_t kPlainFile = 0x80;
constexpr int64_t kCopyGrowBy = 1024;

}  // namespace

cFileStream::cFileStream(const char16_t* path) {
  if (path == nullptr) {
    mCtorStat = STAT_ERR_BAD_PARAM;
    return;
  }
  mFileIO = new (std::nothrow) File(path, false);
  if (mFileIO == nullptr) {
    mCtorStat = STAT_ERR_NO_MEMORY;
    return;
  }
  mCtorStat = mFileIO->ctorStat();
  mLength = mFileIO->length();
}

cFileStream::~cFileStream() {
  if (mFileIO != nullptr && mFileIO->isOpen()) cFileStream::close();
  dropCache();
  delete mFileIO;
  mFileIO = nullptr;
}

bool cFileStream::isOpen() const {
  WX_ASSERT(!RSLT_IS_FATAL(mCtorStat));
  WX_ASSERT(mFileIO != NULL);
  return mFileIO != nullptr && mFileIO->isOpen();
}

const char16_t* cFileStream::name() const {
  WX_ASSERT(mCtorStat == STAT_OK);
  if (mCtorStat != STAT_OK) return nullptr;
  WX_ASSERT(mFileIO);
  return mFileIO != nullptr ? mFileIO->name() : nullptr;
}

// Moves the File to the stream's position before bytes travel. A stream
// that was never opened reports it here (File::tell) and fails in the I/O.
void cFileStream::resync() {
  if (mFileIO->tell() != mPosition) mFileIO->seek(mPosition, FIO_SEEK_BEGIN, nullptr);
}

RSLT cFileStream::open(uint32_t mode, uint32_t attributes) {
  if (mCtorStat != STAT_OK) return STAT_ERR_NOT_CONSTRUCTED;
  RSLT r = mFileIO->open(mode, attributes);
  if (RSLT_IS_FATAL(r)) return r;
  // A stream opened again continues at its old position.
  mLength = mFileIO->length();
  mMode = mFileIO->mode();
  return STAT_OK;
}

RSLT cFileStream::read(uint8_t* dest, int64_t count, int64_t* countRead) {
  if (countRead == nullptr) return STAT_ERR_BAD_PARAM;
  *countRead = 0;
  if (mCtorStat != STAT_OK) return STAT_ERR_NOT_CONSTRUCTED;
  if (count < 0 || (dest == nullptr && count > 0)) return STAT_ERR_BAD_PARAM;
  if (count == 0) return mFileIO->isOpen() ? STAT_OK : STAT_ERR_NO_FILE;

  const int64_t available = mLength - mPosition;
  if (count > available) count = available;
  if (count <= 0) return mFileIO->isOpen() ? STAT_ERR_FILE_END : STAT_ERR_NO_FILE;

  int64_t got = 0;
  if (cacheLookup(dest, mPosition, count)) {
    got = count;
  } else {
    if (count <= CACHE_BYTES && mCache == nullptr) {
      mCache = static_cast<uint8_t*>(malloc(CACHE_BYTES));
    }
    resync();
    if (count > CACHE_BYTES || mCache == nullptr) {
      RSLT r = mFileIO->read(dest, count, &got);
      if (r != STAT_OK) return r;
      cacheFill(dest, mPosition, got);
    } else {
      // The block is overwritten in place: it holds nothing valid until the
      // read has succeeded.
      mCacheValid = false;
      RSLT r = mFileIO->read(mCache, CACHE_BYTES, &got);
      if (r != STAT_OK) return r;
      if (got > 0) {
        mCacheFirst = mPosition;
        mCacheLast = mPosition + got - 1;
        mCacheValid = true;
      }
      if (got > count) got = count;
      memcpy(dest, mCache, static_cast<size_t>(got));
    }
  }
  *countRead = got;
  mPosition += got;
  if (mPosition > mLength) mLength = mPosition;
  return STAT_OK;
}

RSLT cFileStream::write(const uint8_t* src, int64_t count, int64_t* countWritten) {
  if (countWritten == nullptr) return STAT_ERR_BAD_PARAM;
  *countWritten = 0;
  if (mCtorStat != STAT_OK) return STAT_ERR_NOT_CONSTRUCTED;
  // Whatever happens below, the file may change under the cache.
  dropCache();
  resync();
  if (mFileIO->isOpen() && mFileIO->tell() < mPosition) {
    // Positioned past the end: the bytes belong at the position, with zeros
    // before them.
    RSLT r = mFileIO->extend(mPosition);
    if (RSLT_IS_FATAL(r)) return r;
  }
  int64_t put = 0;
  RSLT r = mFileIO->write(src, count, &put);
  if (r != STAT_OK) return r;
  *countWritten = put;
  mPosition += put;
  if (mPosition > mLength) mLength = mPosition;
  return STAT_OK;
}

RSLT cFileStream::flush() {
  if (mCtorStat != STAT_OK) return STAT_ERR_NOT_CONSTRUCTED;
  if (!mFileIO->isOpen()) return STAT_ERR_NOT_OPEN;
  return mFileIO->flush();
}

RSLT cFileStream::close() {
  if (mCtorStat != STAT_OK) return STAT_ERR_NOT_CONSTRUCTED;
  if (mFileIO->isOpen()) {
    RSLT r = mFileIO->close();
    if (r != STAT_OK) return r;
  }
  dropCache();
  return STAT_OK;
}

int64_t cFileStream::length() {
  WX_ASSERT(mCtorStat == STAT_OK);
  if (mCtorStat != STAT_OK) return -1;
  if (mFileIO->isOpen()) return mLength;

  File temp(name(), false);
  WX_ASSERT(temp.ctorStat() == STAT_OK);
  if (temp.open(FIO_MODE_READ, kPlainFile) != STAT_OK) return -1;
  int64_t size = temp.length();
  RSLT erc = temp.close();
  WX_ASSERT(erc == STAT_OK);
  return size;
}

RSLT cFileStream::seek(int64_t offset, int32_t origin) {
  if (mCtorStat != STAT_OK) return STAT_ERR_NOT_CONSTRUCTED;
  if (mFileIO->isOpen()) {
    if (origin == FIO_SEEK_CURRENT) {
      mPosition = saturatingAdd(mPosition, offset);
    } else if (origin == FIO_SEEK_END) {
      mPosition = saturatingAdd(mLength, offset);
    } else {
      mPosition = offset;
    }
  }
  if (mPosition < 0) mPosition = 0;
  if (!(mMode & FIO_MODE_WRITE) && mPosition > mLength) mPosition = mLength < 0 ? 0 : mLength;
  return STAT_OK;
}

int64_t cFileStream::tell() {
  WX_ASSERT(mCtorStat == STAT_OK);
  WX_ASSERT(isOpen());
  return mPosition;
}

RSLT cFileStream::truncate() {
  if (mCtorStat != STAT_OK) return STAT_ERR_NOT_CONSTRUCTED;
  if (!(mMode & FIO_MODE_WRITE)) return STAT_ERR_BAD_STATE;
  mLength = mPosition;
  RSLT r = mFileIO->seek(mPosition, FIO_SEEK_BEGIN, nullptr);
  if (r == STAT_ERR_SEEK_PAST_END) {
    r = mFileIO->extend(mPosition);  // the file ends exactly at the position
  } else if (!RSLT_IS_FATAL(r)) {
    r = mFileIO->truncate();
  }
  dropCache();
  return r;
}

RSLT cFileStream::copyFromStream(cAbstractStream* source, int64_t numBytes,
                                 int64_t* countCopied) {
  if (countCopied != nullptr) *countCopied = 0;
  dropCache();
  if (mMode == 0 || !(mMode & FIO_MODE_WRITE)) return STAT_ERR_BAD_MODE;
  if (source == nullptr) return STAT_ERR_BAD_PARAM;
  if (numBytes == -1) numBytes = source->length() - source->tell();
  WX_ASSERT(numBytes >= 0 && numBytes < 0x1000000);

  cMemoryStream scratch(numBytes, kCopyGrowBy);
  RSLT r = scratch.open(FIO_MODE_READ | FIO_MODE_WRITE, 0);
  if (r != STAT_OK) return r;
  uint8_t* block = scratch.rawPtrAlias(0, FIO_SEEK_BEGIN);
  if (block == nullptr) return STAT_ERR_NO_MEMORY;

  int64_t got = 0;
  r = source->read(block, numBytes, &got);
  if (r != STAT_OK) return r;
  if (got != numBytes) return STAT_ERR_SHORT_READ;

  int64_t written = 0;
  r = write(block, numBytes, &written);
  if (countCopied != nullptr) *countCopied = written;
  if (r != STAT_OK) return r;
  return written == numBytes ? STAT_OK : STAT_ERR_SHORT_WRITE;
}

void cFileStream::setMode(uint32_t mode) {
  WX_ASSERT(mCtorStat == STAT_OK);
  mMode = mode;
}
