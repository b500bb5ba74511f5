// In-memory ends for decoder tests: a source that hands out bytes in pieces of a
// chosen size (and can fail at the end), a sink that collects the output (and can
// refuse), and the MSB-first bit writer that hand-made streams are built with.
#ifndef TESTS_RARLIB_DECODER_TEST_UTIL_H_
#define TESTS_RARLIB_DECODER_TEST_UTIL_H_

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

#include "rarlib/unpack/decoder.h"

namespace rarlib {
namespace decodetest {

// Hands out `data` in pieces of at most `piece` bytes; at the end Read answers 0,
// or -1 when `fail_at_end` is set.
class MemSource : public ByteSource {
 public:
  explicit MemSource(std::vector<uint8_t> data, size_t piece = SIZE_MAX, bool fail_at_end = false)
      : data_(std::move(data)), piece_(piece), fail_(fail_at_end) {}
  int64_t Read(uint8_t* buf, size_t n) override {
    size_t k = std::min({n, piece_, data_.size() - pos_});
    if (k == 0) return fail_ ? -1 : 0;
    std::memcpy(buf, data_.data() + pos_, k);
    pos_ += k;
    return static_cast<int64_t>(k);
  }

 private:
  std::vector<uint8_t> data_;
  size_t piece_;
  size_t pos_ = 0;
  bool fail_;
};

// Collects everything written in `out`. A write fails while `refuse_` is set or
// when it would take the output past `refuse_after` bytes.
class VecSink : public ByteSink {
 public:
  explicit VecSink(size_t refuse_after = SIZE_MAX) : refuse_after_(refuse_after) {}
  bool Write(const uint8_t* data, size_t n) override {
    if (refuse_ || out.size() + n > refuse_after_) return false;
    out.insert(out.end(), data, data + n);
    return true;
  }
  std::vector<uint8_t> out;
  bool refuse_ = false;

 private:
  size_t refuse_after_;
};

// Writes MSB-first bit fields, the mirror of the decoders' bit reader.
class BitWriter {
 public:
  void Put(uint64_t v, int n) {
    for (int i = n - 1; i >= 0; --i) {
      if (bit_ == 0) bytes_.push_back(0);
      if ((v >> i) & 1) bytes_.back() |= static_cast<uint8_t>(0x80 >> bit_);
      bit_ = (bit_ + 1) & 7;
    }
  }
  // Continues at the next byte boundary.
  void Align() { bit_ = 0; }
  const std::vector<uint8_t>& bytes() const { return bytes_; }
  // Bits used in the last byte; 0 when it is full (or there is none).
  int bits_in_last() const { return bit_; }

 private:
  std::vector<uint8_t> bytes_;
  int bit_ = 0;
};

}  // namespace decodetest
}  // namespace rarlib

#endif  // TESTS_RARLIB_DECODER_TEST_UTIL_H_
