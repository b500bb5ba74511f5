// Only the stream interface header (and the public plug-in header) here: this
// is what a host has.
#include "plugin/arcunpack.h"
#include "stream/abstract_stream.h"
#include "tests/stream/host_stream.h"

#include <cstring>

namespace {

class HostStream : public cAbstractStream {
 public:
  HostStream(const std::string& bytes, HostStreamLog* log, int64_t shortReadAt)
      : mBytes(bytes), mLog(log), mShortReadAt(shortReadAt) {}
  ~HostStream() override { mLog->destroyed = true; }

  uint32_t open(uint32_t, uint32_t) override { return note('o'), 0; }
  uint32_t read(uint8_t* dest, int64_t count, int64_t* got) override {
    note('r');
    mLog->lastReadCount = count;
    int64_t end = mPos + count;
    if (end > static_cast<int64_t>(mBytes.size())) end = static_cast<int64_t>(mBytes.size());
    if (mShortReadAt >= 0 && mPos < mShortReadAt && end > mShortReadAt) end = mShortReadAt;
    *got = end - mPos;
    memcpy(dest, mBytes.data() + mPos, static_cast<size_t>(*got));
    mPos = end;
    return 0;
  }
  uint32_t write(const uint8_t* src, int64_t count, int64_t* put) override {
    note('w');
    mLog->written.append(reinterpret_cast<const char*>(src), static_cast<size_t>(count));
    *put = count;
    return 0;
  }
  uint32_t flush() override { return note('f'), 0; }
  uint32_t close() override { return note('c'), 0; }
  int64_t length() override { return note('l'), static_cast<int64_t>(mBytes.size()); }
  uint32_t seek(int64_t offset, int32_t origin) override {
    note('s');
    mPos = origin == FIO_SEEK_BEGIN ? offset : origin == FIO_SEEK_CURRENT ? mPos + offset
                                                                          : mBytes.size() + offset;
    return 0;
  }
  int64_t tell() override { return note('t'), mPos; }
  uint32_t truncate() override { return note('u'), 0; }
  uint32_t copyFromStream(cAbstractStream*, int64_t, int64_t*) override { return note('C'), 0; }
  void setMode(uint32_t mode) override { note('m'), mMode = mode; }

 private:
  void note(char c) { mLog->calls += c; }
  std::string mBytes;
  HostStreamLog* mLog;
  int64_t mShortReadAt;
  int64_t mPos = 0;
};

}  // namespace

std::unique_ptr<cAbstractStream> makeHostStream(const std::string& bytes, HostStreamLog* log,
                                                int64_t shortReadAt) {
  return std::make_unique<HostStream>(bytes, log, shortReadAt);
}
