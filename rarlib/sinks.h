// Destinations for unpacked bytes, and the checksum taken on the way.
#ifndef RARLIB_SINKS_H_
#define RARLIB_SINKS_H_

#include <cstddef>
#include <cstdint>
#include <string>

#include "rarlib/file_io.h"
#include "rarlib/rar.h"
#include "rarlib/unpack/decoder.h"

namespace rarlib {

// Checks a member's unpacked bytes against what its header promises.
class DataCheck {
 public:
  virtual ~DataCheck() = default;
  virtual void Update(const uint8_t* data, size_t n) = 0;
  // True when the bytes seen match.
  virtual bool Matches() = 0;
};

// CRC-32 (the zlib checksum) against an expected value.
class Crc32Check : public DataCheck {
 public:
  explicit Crc32Check(uint32_t expected) : expected_(expected) {}
  void Update(const uint8_t* data, size_t n) override;
  bool Matches() override { return crc_ == expected_; }
  uint32_t value() const { return crc_; }

 private:
  uint32_t expected_;
  uint32_t crc_ = 0;
};

// Drops everything.
class NullSink : public ByteSink {
 public:
  bool Write(const uint8_t*, size_t) override { return true; }
};

// Writes to a destination file.
class FileSink : public ByteSink {
 public:
  explicit FileSink(OutputFile* file) : file_(file) {}
  bool Write(const uint8_t* data, size_t n) override { return file_->Write(data, n); }

 private:
  OutputFile* file_;
};

// Offers every block to the caller's data callback.
class CallbackSink : public ByteSink {
 public:
  CallbackSink(RARDataCallback cb, void* user) : cb_(cb), user_(user) {}
  bool Write(const uint8_t* data, size_t n) override;
  bool aborted() const { return aborted_; }

 private:
  RARDataCallback cb_;
  void* user_;
  bool aborted_ = false;
};

// Passes bytes on to `target` while counting them, feeding an optional check,
// and refusing anything beyond `limit`.
class CheckedSink : public ByteSink {
 public:
  CheckedSink(ByteSink* target, DataCheck* check, uint64_t limit)
      : target_(target), check_(check), limit_(limit) {}
  bool Write(const uint8_t* data, size_t n) override;
  uint64_t written() const { return written_; }
  bool overflowed() const { return overflowed_; }
  bool target_failed() const { return target_failed_; }

 private:
  ByteSink* target_;
  DataCheck* check_;
  uint64_t limit_;
  uint64_t written_ = 0;
  bool overflowed_ = false;
  bool target_failed_ = false;
};

}  // namespace rarlib

#endif  // RARLIB_SINKS_H_
