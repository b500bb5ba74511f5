// cConsoleStream: the stream onto the process's standard output, and the
// console print ublPrint.
//
// The console stream only writes and flushes: read, seek, truncate and
// copyFromStream answer STAT_ERR_NO_FILE, tell and length 0, open and close
// STAT_OK any number of times. Its mode word stays 0 (setMode ignores the
// value), so its wide formatted output is UTF-16; narrow text goes through
// printf or ublPrint. A write takes the low 32 bits of its count and reports
// what standard output accepted; a short write is no failure (only flush
// reports one), but a null source or a negative count is refused.
//
// gConsoleStream is the one console stream of the process: null at load, set
// by the load-time set-up and cleared at unload. Standard output serialises
// itself; the stream has no state of its own.
#pragma once

#include <cstdint>

#include "stream/abstract_stream.h"
#include "ubl/status.h"

class cConsoleStream : public cAbstractStream {
 public:
  cConsoleStream() = default;
  ~cConsoleStream() override = default;

  RSLT open(uint32_t mode, uint32_t attributes) override;
  RSLT read(uint8_t* dest, int64_t count, int64_t* countRead) override;
  RSLT write(const uint8_t* src, int64_t count, int64_t* countWritten) override;
  RSLT flush() override;
  RSLT close() override;
  int64_t length() override;
  RSLT seek(int64_t offset, int32_t origin) override;
  int64_t tell() override;
  RSLT truncate() override;
  RSLT copyFromStream(cAbstractStream* source, int64_t numBytes, int64_t* countCopied) override;
  void setMode(uint32_t mode) override;
};

extern cConsoleStream* gConsoleStream;

// Borrows a wide text and owns its narrow (UTF-8) form for its lifetime. An
// empty or ill-formed text gives no narrow text.
class ublNarrowText {
 public:
  explicit ublNarrowText(const char16_t* text);
  ~ublNarrowText();
  ublNarrowText(const ublNarrowText&) = delete;
  ublNarrowText& operator=(const ublNarrowText&) = delete;

  const char* text() const { return mNarrow; }
  uint64_t size() const { return mSize; }  // bytes, without the terminator

 private:
  char* mNarrow = nullptr;
  uint64_t mSize = 0;
};

// Formats a wide message (at most 2047 units, cut beyond), converts it to
// UTF-8 and writes it, without terminator, through gConsoleStream. Returns the
// count the stream reported written: 0 for an empty text, a failed
// conversion, or no console stream.
uint64_t ublPrint(const char16_t* format, ...);
