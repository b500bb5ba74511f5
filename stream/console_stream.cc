#include "stream/console_stream.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "platform/wformat.h"
#include "ubl/memory.h"

cConsoleStream* gConsoleStream = nullptr;

RSLT cConsoleStream::open(uint32_t, uint32_t) { return STAT_OK; }

RSLT cConsoleStream::read(uint8_t*, int64_t, int64_t*) { return STAT_ERR_NO_FILE; }

RSLT cConsoleStream::write(const uint8_t* src, int64_t count, int64_t* countWritten) {
  if (countWritten == nullptr) return STAT_ERR_BAD_PARAM;
  *countWritten = 0;
  if (count < 0 || (src == nullptr && count != 0)) return STAT_ERR_BAD_PARAM;
  // One buffered write of the low 32 bits of the count.
  const uint32_t n = static_cast<uint32_t>(static_cast<uint64_t>(count));
  if (n == 0) return STAT_OK;
  *countWritten = static_cast<int64_t>(std::fwrite(src, 1, n, stdout));
  return STAT_OK;
}

RSLT cConsoleStream::flush() {
  return std::fflush(stdout) == 0 ? STAT_OK : STAT_ERR_WRITE_FAILED;
}

RSLT cConsoleStream::close() { return STAT_OK; }
int64_t cConsoleStream::length() { return 0; }
RSLT cConsoleStream::seek(int64_t, int32_t) { return STAT_ERR_NO_FILE; }
int64_t cConsoleStream::tell() { return 0; }
RSLT cConsoleStream::truncate() { return STAT_ERR_NO_FILE; }

RSLT cConsoleStream::copyFromStream(cAbstractStream*, int64_t, int64_t*) {
  return STAT_ERR_NO_FILE;
}

void cConsoleStream::setMode(uint32_t) {}

ublNarrowText::ublNarrowText(const char16_t* text) {
  if (text == nullptr || text[0] == 0) return;
  mNarrow = ublWideToNarrowDup(text);
  if (mNarrow == nullptr) return;
  while (mNarrow[mSize] != 0) ++mSize;
  if (mSize == 0) {
    free(mNarrow);
    mNarrow = nullptr;
  }
}

ublNarrowText::~ublNarrowText() { free(mNarrow); }

uint64_t ublPrint(const char16_t* format, ...) {
  char16_t message[STREAM_WPRINTF_UNITS];
  va_list args;
  va_start(args, format);
  platVFormatW(message, STREAM_WPRINTF_UNITS, format, args);
  va_end(args);
  message[STREAM_WPRINTF_UNITS - 1] = 0;

  ublNarrowText narrow(message);
  int64_t written = 0;
  if (narrow.text() != nullptr && gConsoleStream != nullptr) {
    gConsoleStream->write(reinterpret_cast<const uint8_t*>(narrow.text()),
                          static_cast<int64_t>(narrow.size()), &written);
  }
  return static_cast<uint64_t>(written);
}
