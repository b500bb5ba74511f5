#include "stream/abstract_stream.h"

#include <cstdlib>
#include <cstring>

#include "platform/utf.h"
#include "platform/wformat.h"

bool cAbstractStream::cacheLookup(uint8_t* dest, int64_t offset, int64_t count) const {
  if (dest == nullptr || offset < 0 || count <= 0 || !mCacheValid) return false;
  // offset + count - 1 <= mCacheLast, without overflow.
  if (offset < mCacheFirst || offset > mCacheLast || count - 1 > mCacheLast - offset) {
    return false;
  }
  memcpy(dest, mCache + (offset - mCacheFirst), static_cast<size_t>(count));
  return true;
}

void cAbstractStream::cacheFill(const uint8_t* src, int64_t offset, int64_t count) {
  if (src == nullptr || offset < 0 || count <= 0) return;
  if (mCache == nullptr) {
    mCache = static_cast<uint8_t*>(malloc(CACHE_BYTES));
    if (mCache == nullptr) return;
  }
  const int64_t kept = count < CACHE_BYTES ? count : CACHE_BYTES;
  mCacheFirst = offset;
  memcpy(mCache, src, static_cast<size_t>(kept));
  mCacheLast = offset + kept - 1;
  mCacheValid = true;
}

void cAbstractStream::dropCache() {
  free(mCache);
  mCache = nullptr;
  mCacheFirst = 0;
  mCacheLast = 0;
  mCacheValid = false;
}

namespace {

// UTF-8 bytes of the code point starting at text[i]; `units` receives the
// UTF-16 units it takes. An unpaired surrogate counts as 3 bytes (the
// conversion refuses it anyway).
size_t utf8Bytes(const char16_t* text, size_t i, size_t* units) {
  const char16_t u = text[i];
  *units = 1;
  if (u < 0x80) return 1;
  if (u < 0x800) return 2;
  if (u >= 0xD800 && u <= 0xDBFF && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
    *units = 2;
    return 4;
  }
  return 3;
}

}  // namespace

int64_t ublStreamFormatWide(cAbstractStream* stream, const char16_t* format, va_list args) {
  char16_t wide[STREAM_WPRINTF_UNITS];
  size_t n = platVFormatW(wide, STREAM_WPRINTF_UNITS, format, args);
  if (n > STREAM_WPRINTF_UNITS - 1) n = STREAM_WPRINTF_UNITS - 1;
  wide[n] = 0;
  wide[STREAM_WPRINTF_UNITS - 1] = 0;

  int64_t written = 0;
  if (stream->mMode & FIO_MODE_NARROW_TEXT) {
    // At most 2047 bytes of UTF-8, cut between characters.
    char narrow[STREAM_WPRINTF_UNITS];
    size_t bytes = 0, i = 0;
    while (i < n) {
      size_t units;
      const size_t b = utf8Bytes(wide, i, &units);
      if (bytes + b > sizeof narrow - 1) break;
      bytes += b;
      i += units;
    }
    wide[i] = 0;
    if (bytes == 0 || !platWideToUtf8(wide, narrow, sizeof narrow)) return 0;
    stream->write(reinterpret_cast<const uint8_t*>(narrow), static_cast<int64_t>(bytes),
                  &written);
  } else {
    if (n == 0) return 0;
    stream->write(reinterpret_cast<const uint8_t*>(wide), static_cast<int64_t>(n * 2), &written);
  }
  return written;
}
