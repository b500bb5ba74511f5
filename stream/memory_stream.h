// cMemoryStream: the stream over one cMemoryBuffer.
//
// It keeps a position and a data length no larger than the buffer, honours
// the mode word (reading needs FIO_MODE_READ, writing FIO_MODE_WRITE), and
// zero-fills when positioned past its data. The buffer's initial size is
// capacity, not data: a new stream is closed (FIO_MODE_CLOSED) and empty.
// The data survive close; open without FIO_MODE_TRUNCATE sees them again, and
// a write-only open always starts empty.
//
// Limits: the buffer never exceeds 512 MiB; copyFromStream refuses more than
// 100 MiB. FIO_SEEK_END counts from the last byte (seek(0, END) lands on it).
//
// Construction never fails outwardly: size 0 gives STAT_ERR_ZERO_SIZE, a
// failed buffer its status, and the stream then answers
// STAT_ERR_NOT_CONSTRUCTED. A failed assignment leaves it broken for good.
// Pointers from rawPtrAlias stay valid until the storage is replaced (write,
// seek past the buffer, assignment, destruction). No lock.
#pragma once

#include <cstdint>

#include "stream/abstract_stream.h"
#include "ubl/status.h"

class cMemoryBuffer;

constexpr int64_t MEMORY_STREAM_MAX_BYTES = 0x20000000;
constexpr int64_t MEMORY_STREAM_MAX_COPY = 0x6400000;

class cMemoryStream : public cAbstractStream {
 public:
  // `growBy` as for cMemoryBuffer: -1 means 1024, 0 a buffer that never grows.
  cMemoryStream(int64_t size, int64_t growBy);
  ~cMemoryStream() override;

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

  // Slots 15-19, after the fifteen of cAbstractStream.
  virtual cMemoryStream& operator=(const cMemoryStream& source);
  virtual bool operator==(cMemoryStream& other);
  virtual uint32_t mode();
  // 0: never opened; FIO_MODE_CLOSED: exactly closed; else any shared bit.
  virtual bool testMode(uint32_t value);
  // Address of the data byte at `offset` from the origin (FIO_SEEK_END counts
  // from the end of the data), or null with an error diagnostic. Needs
  // FIO_MODE_READ.
  virtual uint8_t* rawPtrAlias(int64_t offset, int32_t origin);

  RSLT ctorStat() const { return mCtorStat; }
  // The storage, or null; read-only view for callers that check capacity.
  const cMemoryBuffer* buffer() const { return mBuffer; }

 private:
  cMemoryBuffer* mBuffer = nullptr;
  int64_t mPosition = 0;
  int64_t mLength = 0;
  RSLT mCtorStat = STAT_OK;
};
