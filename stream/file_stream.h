// cFileStream: the stream over a named file.
//
// It owns one File, keeps its own position and length (the File is moved to
// match only when bytes actually travel), serves reads of up to 1024 bytes
// from the read cache of cAbstractStream, and can fill itself from any other
// stream. The plug-in spills a host's stream into a temporary file with it:
// construct on the path, open(0x716, 0x80), write in chunks, close.
//
// Construction never fails outwardly: a null path (STAT_ERR_BAD_PARAM), an
// empty one (STAT_INFO_EMPTY_NAME) or a failed File leaves the stream broken,
// and every status-returning operation except copyFromStream then answers
// STAT_ERR_NOT_CONSTRUCTED. A failed read or write leaves the position and
// the length unchanged.
//
// Positioning is free (seek only moves the stream's position). Without
// FIO_MODE_WRITE the position never passes the length; with it, it may, and
// a later write or truncate there grows the file with zeros up to it.
// No lock: one thread at a time.
#pragma once

#include <cstdint>

#include "stream/abstract_stream.h"
#include "ubl/status.h"

class File;

class cFileStream : public cAbstractStream {
 public:
  explicit cFileStream(const char16_t* path);
  ~cFileStream() override;

  RSLT open(uint32_t mode, uint32_t attributes) override;
  RSLT read(uint8_t* dest, int64_t count, int64_t* countRead) override;
  RSLT write(const uint8_t* src, int64_t count, int64_t* countWritten) override;
  RSLT flush() override;
  RSLT close() override;
  int64_t length() override;
  RSLT seek(int64_t offset, int32_t origin) override;
  int64_t tell() override;
  RSLT truncate() override;
  // Copies through one scratch block of `numBytes` bytes: 0 bytes or more
  // than 512 MiB give STAT_ERR_NOT_CONSTRUCTED; a short source
  // STAT_ERR_SHORT_READ (nothing written); a short write STAT_ERR_SHORT_WRITE.
  // Needs FIO_MODE_WRITE (else STAT_ERR_BAD_MODE).
  RSLT copyFromStream(cAbstractStream* source, int64_t numBytes, int64_t* countCopied) override;
  void setMode(uint32_t mode) override;

  bool isOpen() const;
  // The file's path (owned by the stream), or null.
  const char16_t* name() const;
  RSLT ctorStat() const { return mCtorStat; }

 private:
  void resync();

  RSLT mCtorStat = STAT_OK;
  int64_t mLength = -1;
  int64_t mPosition = 0;
  File* mFileIO = nullptr;
};
