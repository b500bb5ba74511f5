// One decoder alone on raw packed bytes. The first six bytes choose the
// parameters, the rest is the packed stream:
//   [0] decoder version: 15, 20, 29, 50 or 70 (value modulo 5)
//   [1] dictionary: 2^(15 + value % 6) bytes (32 KiB .. 1 MiB)
//   [2..4] unpacked size, 24 bits little-endian, at most 1 MiB
//   [5] bit 0: decode the stream a second time as the next solid member
// Traps when a decoder writes more than the declared size, or reports success
// with fewer bytes.
#include <cstdint>
#include <cstring>
#include <memory>

#include "rarlib/unpack/decoder.h"

namespace {

class MemorySource : public rarlib::ByteSource {
 public:
  MemorySource(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  int64_t Read(uint8_t* buf, size_t n) override {
    if (n > size_ - pos_) n = size_ - pos_;
    if (n) std::memcpy(buf, data_ + pos_, n);
    pos_ += n;
    return int64_t(n);
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

class CountingSink : public rarlib::ByteSink {
 public:
  bool Write(const uint8_t* data, size_t n) override {
    if (n && data == nullptr) __builtin_trap();
    count += n;
    return true;
  }
  uint64_t count = 0;
};

constexpr int kVersions[5] = {15, 20, 29, 50, 70};

void DecodeOnce(rarlib::Decoder& d, const uint8_t* data, size_t size, uint64_t unpacked, bool solid) {
  MemorySource src(data, size);
  CountingSink sink;
  const rarlib::DecodeStatus st = d.Decode(src, unpacked, solid, sink);
  if (sink.count > unpacked) __builtin_trap();
  if (st == rarlib::DecodeStatus::kOk && sink.count != unpacked) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 6) return 0;
  rarlib::DecoderParams params;
  params.version = kVersions[data[0] % 5];
  params.dict_size = uint64_t{1} << (15 + data[1] % 6);
  uint64_t unpacked = uint64_t(data[2]) | uint64_t(data[3]) << 8 | uint64_t(data[4]) << 16;
  if (unpacked > (1u << 20)) unpacked = 1u << 20;
  const bool twice = data[5] & 1;
  std::unique_ptr<rarlib::Decoder> d;
  if (rarlib::CreateDecoder(params, &d) != rarlib::DecodeStatus::kOk || !d) return 0;
  DecodeOnce(*d, data + 6, size - 6, unpacked, false);
  if (twice) DecodeOnce(*d, data + 6, size - 6, unpacked, true);
  return 0;
}
