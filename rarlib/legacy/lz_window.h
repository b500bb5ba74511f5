// The sliding window and output side shared by the RAR 1.5 and RAR 2.0 decoders.
//
// A power-of-two circular buffer that also counts the bytes produced in the current
// solid run. BeginMember() fixes the member's end: Put/Copy never produce bytes past
// it, and Copy refuses a distance that reaches before the start of the run or
// beyond the window. Decoded bytes go to the sink in chunks from Flush(); callers
// flush once per operation, which keeps unflushed bytes well inside the window (no
// single operation produces more than kMaxOpBytes).
#ifndef RARLIB_LEGACY_LZ_WINDOW_H_
#define RARLIB_LEGACY_LZ_WINDOW_H_

#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

#include "rarlib/unpack/decoder.h"

namespace rarlib {

class LzWindow {
 public:
  // Longest output of one decoder operation (match lengths stay far below this).
  static constexpr uint32_t kMaxOpBytes = 4096;

  // Allocates `size` bytes (a power of two, at least 64 KiB). False on no memory.
  bool Allocate(uint32_t size) {
    buf_.reset(new (std::nothrow) uint8_t[size]);
    if (!buf_) return false;
    std::memset(buf_.get(), 0, size);
    size_ = size;
    mask_ = size - 1;
    chunk_ = size / 2 < (256u << 10) ? size / 2 : (256u << 10);
    pos_ = 0;
    return true;
  }
  uint32_t size() const { return size_; }

  // Forgets the run: the next member starts at position 0 with nothing to refer to.
  void ResetRun() { pos_ = 0; }

  // Starts a member of `unpacked` bytes delivered to `sink`. False when the run's
  // position would overflow.
  bool BeginMember(ByteSink* sink, uint64_t unpacked) {
    if (unpacked > UINT64_MAX - pos_) return false;
    sink_ = sink;
    end_ = pos_ + unpacked;
    flushed_ = pos_;
    return true;
  }
  bool Done() const { return pos_ >= end_; }
  uint64_t Position() const { return pos_; }

  void Put(uint8_t b) {
    if (pos_ < end_) buf_[pos_++ & mask_] = b;
  }
  // Appends `len` bytes copied from `dist` back. False for an invalid distance.
  bool Copy(uint32_t len, uint32_t dist) {
    if (dist == 0 || dist > pos_ || dist > size_) return false;
    if (len > end_ - pos_) len = static_cast<uint32_t>(end_ - pos_);
    uint8_t* w = buf_.get();
    uint64_t src = pos_ - dist;
    uint32_t d = static_cast<uint32_t>(pos_ & mask_), s = static_cast<uint32_t>(src & mask_);
    if (dist >= len && dist < size_ && d + len <= size_ && s + len <= size_) {
      std::memcpy(w + d, w + s, len);
    } else {
      for (uint32_t i = 0; i < len; ++i) w[(pos_ + i) & mask_] = w[(src + i) & mask_];
    }
    pos_ += len;
    return true;
  }

  // Delivers what is pending when at least a chunk has gathered, or everything with
  // `final`. False when the sink refuses.
  bool Flush(bool final) {
    if (!final && pos_ - flushed_ < chunk_) return true;
    while (flushed_ < pos_) {
      uint32_t off = static_cast<uint32_t>(flushed_ & mask_);
      uint64_t n = pos_ - flushed_;
      if (n > size_ - off) n = size_ - off;
      if (!sink_->Write(buf_.get() + off, static_cast<size_t>(n))) return false;
      flushed_ += n;
    }
    return true;
  }

 private:
  std::unique_ptr<uint8_t[]> buf_;
  uint32_t size_ = 0, mask_ = 0, chunk_ = 0;
  uint64_t pos_ = 0, end_ = 0, flushed_ = 0;
  ByteSink* sink_ = nullptr;
};

// Counts the packed bytes a decoder has pulled, and whether the source has ended,
// so a decoder can tell how much packed data is left behind its bit position.
class CountedSource : public ByteSource {
 public:
  explicit CountedSource(ByteSource* src) : src_(src) {}
  int64_t Read(uint8_t* buf, size_t n) override {
    int64_t got = src_->Read(buf, n);
    if (got > 0) delivered_ += static_cast<uint64_t>(got);
    if (got <= 0) ended_ = true;
    return got;
  }
  uint64_t delivered() const { return delivered_; }
  bool ended() const { return ended_; }

 private:
  ByteSource* src_;
  uint64_t delivered_ = 0;
  bool ended_ = false;
};

}  // namespace rarlib

#endif  // RARLIB_LEGACY_LZ_WINDOW_H_
