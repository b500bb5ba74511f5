// cAbstractStream: the byte-stream interface of the base library, and the
// interface in which a host hands its own streams to the plug-in.
//
// A stream is addressed by signed 64-bit offsets. It can be opened in a mode,
// read, written, flushed, positioned, measured, cut at its position, closed,
// written to with formatted text and filled from another stream. Operations
// that can fail answer with a 32-bit status (0 is success; a failure has the
// top two bits 10); nothing is thrown.
//
// Binding contract with hosts: the virtual operations below are declared in a
// fixed order and a host's stream class derived from this one (same compiler
// family, Itanium C++ ABI) gets the same table, slot for slot. Under that ABI
// the virtual destructor takes two table entries; the order of the other
// operations is what binds. Never reorder, insert or remove a virtual here.
//
// This header stands on its own: a host includes it (with plugin/arcunpack.h)
// and links nothing of this library. The formatted-output slots are defined
// inline; the narrow one works everywhere, the wide ones produce output only
// inside this library (in a host they write nothing and answer 0 unless the
// host overrides them). The plug-in only ever calls `seek`, `length` and
// `read` on a host's stream, and never destroys it.
//
// Streams carry no lock: one thread at a time per stream. The formatted-output
// operations format on the caller's stack and may run on several streams at
// once.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <cstdio>

// The mode word. Only these bits are ever tested.
constexpr uint32_t FIO_MODE_CLOSED = 0x1;  // as the whole value: not open
constexpr uint32_t FIO_MODE_READ = 0x2;
constexpr uint32_t FIO_MODE_WRITE = 0x4;  // file streams: `seek` may pass the end
constexpr uint32_t FIO_MODE_TRUNCATE = 0x8;
constexpr uint32_t FIO_MODE_EXISTING = 0x10;    // open only what exists / is non-empty
constexpr uint32_t FIO_MODE_CREATE_NEW = 0x20;  // fail if it exists / is non-empty
constexpr uint32_t FIO_MODE_NARROW_TEXT = 0x80;  // `vwprintf` writes UTF-8, not UTF-16
constexpr uint32_t FIO_MODE_SHARE_READ = 0x100;
constexpr uint32_t FIO_MODE_SHARE_WRITE = 0x200;
constexpr uint32_t FIO_MODE_SHARE_DELETE = 0x400;

// Seek origins.
constexpr int32_t FIO_SEEK_BEGIN = 0;
constexpr int32_t FIO_SEEK_CURRENT = 1;
constexpr int32_t FIO_SEEK_END = 2;  // memory streams count from the last byte

// Capacities of the formatted-output operations: text longer than the
// capacity less one is cut there.
constexpr int STREAM_PRINTF_BYTES = 1024;
constexpr int STREAM_WPRINTF_UNITS = 2048;

class cAbstractStream;

// Formats `format` with `args` into at most 2047 UTF-16 units and writes them
// to `stream` (as UTF-8 when its mode has FIO_MODE_NARROW_TEXT); returns the
// count that the stream's `write` reported. Defined inside this library only;
// a host that links nothing of it sees a null address here.
int64_t ublStreamFormatWide(cAbstractStream* stream, const char16_t* format, va_list args)
    __attribute__((weak));

class cAbstractStream {
 public:
  cAbstractStream() = default;

  // Slot 0 (two entries under the Itanium ABI). Releases nothing: a derived
  // class that fills the read cache releases it.
  virtual ~cAbstractStream() {}

  // Slot 1. `attributes` are platform file attributes, used by file streams only.
  virtual uint32_t open(uint32_t mode, uint32_t attributes) = 0;
  // Slot 2. Reads up to `count` bytes; `*countRead` receives the count read.
  virtual uint32_t read(uint8_t* dest, int64_t count, int64_t* countRead) = 0;
  // Slot 3. Writes `count` bytes; `*countWritten` receives the count written.
  virtual uint32_t write(const uint8_t* src, int64_t count, int64_t* countWritten) = 0;
  // Slot 4.
  virtual uint32_t flush() = 0;
  // Slot 5.
  virtual uint32_t close() = 0;
  // Slot 6. -1 when no length is available.
  virtual int64_t length() = 0;
  // Slot 7. `origin` is one of FIO_SEEK_*.
  virtual uint32_t seek(int64_t offset, int32_t origin) = 0;
  // Slot 8.
  virtual int64_t tell() = 0;
  // Slot 9. The stream ends at its current position afterwards.
  virtual uint32_t truncate() = 0;

  // Slot 10. Formats into at most 1023 bytes and writes them (no terminator);
  // returns the count `write` reported (0 when it failed).
  virtual int64_t printf(const char* format, ...) __attribute__((format(printf, 2, 3)));
  // Slot 11. Formats into at most 2047 UTF-16 units; writes them as UTF-16
  // (2 bytes each), or as UTF-8 when the mode has FIO_MODE_NARROW_TEXT (at
  // most 2047 bytes); returns the count `write` reported.
  virtual int64_t vwprintf(const char16_t* format, va_list args);
  // Slot 12. Gathers its arguments and calls slot 11.
  virtual int64_t wprintf(const char16_t* format, ...);

  // Slot 13. Copies `numBytes` bytes (-1: the rest of `source`) from `source`;
  // `*countCopied` (optional) receives the count written here.
  virtual uint32_t copyFromStream(cAbstractStream* source, int64_t numBytes,
                                  int64_t* countCopied) = 0;
  // Slot 14. Overwrites the mode word.
  virtual void setMode(uint32_t mode) = 0;

 protected:
  // The read cache, used by file streams: a 1024-byte block from the runtime
  // heap, holding the stream bytes mCacheFirst..mCacheLast when mCacheValid.
  static constexpr int64_t CACHE_BYTES = 1024;

  // Copies `count` bytes at stream offset `offset` from the cache into `dest`
  // when the cache holds all of them; false (nothing copied) otherwise.
  bool cacheLookup(uint8_t* dest, int64_t offset, int64_t count) const;
  // Remembers up to the first 1024 of `count` bytes just read at `offset`.
  void cacheFill(const uint8_t* src, int64_t offset, int64_t count);
  // Releases the cache block and marks the cache empty.
  void dropCache();

  uint32_t mMode = 0;
  uint8_t* mCache = nullptr;
  int64_t mCacheFirst = 0;
  int64_t mCacheLast = 0;
  bool mCacheValid = false;

 private:
  friend int64_t ublStreamFormatWide(cAbstractStream*, const char16_t*, va_list);
  cAbstractStream(const cAbstractStream&) = delete;
  cAbstractStream& operator=(const cAbstractStream&) = delete;
};

inline int64_t cAbstractStream::printf(const char* format, ...) {
  char text[STREAM_PRINTF_BYTES];
  va_list args;
  va_start(args, format);
  int n = std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  if (n <= 0) return 0;
  if (n > STREAM_PRINTF_BYTES - 1) n = STREAM_PRINTF_BYTES - 1;
  int64_t written = 0;
  write(reinterpret_cast<const uint8_t*>(text), n, &written);
  return written;
}

inline int64_t cAbstractStream::vwprintf(const char16_t* format, va_list args) {
  if (ublStreamFormatWide == nullptr) return 0;
  return ublStreamFormatWide(this, format, args);
}

inline int64_t cAbstractStream::wprintf(const char16_t* format, ...) {
  va_list args;
  va_start(args, format);
  int64_t written = vwprintf(format, args);
  va_end(args);
  return written;
}
