// A host's own stream, as a scanning engine would hand one to ArchOpenStream: a read-only
// cAbstractStream over a file, compiled against the stream interface header alone.
#pragma once

#include <cstdint>
#include <string>

#include "stream/abstract_stream.h"

namespace archost {

class HostFileStream : public cAbstractStream {
 public:
  explicit HostFileStream(const std::string& path);
  ~HostFileStream() override;

  bool ok() const { return fd_ >= 0; }

  uint32_t open(uint32_t mode, uint32_t attributes) override;
  uint32_t read(uint8_t* dest, int64_t count, int64_t* countRead) override;
  uint32_t write(const uint8_t* src, int64_t count, int64_t* countWritten) override;
  uint32_t flush() override;
  uint32_t close() override;
  int64_t length() override;
  uint32_t seek(int64_t offset, int32_t origin) override;
  int64_t tell() override;
  uint32_t truncate() override;
  uint32_t copyFromStream(cAbstractStream* source, int64_t numBytes, int64_t* countCopied) override;
  void setMode(uint32_t mode) override;

 private:
  int fd_ = -1;
  int64_t length_ = -1;
  int64_t position_ = 0;
};

}  // namespace archost
