// The 16-bit data check of RAR 1.4 members: add each byte, then rotate the sum
// left by one bit.
#ifndef RARLIB_LEGACY_CHECKSUM14_H_
#define RARLIB_LEGACY_CHECKSUM14_H_

#include <cstddef>
#include <cstdint>

#include "rarlib/sinks.h"

namespace rarlib {

inline uint16_t Checksum14(uint16_t sum, const uint8_t* data, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    sum = static_cast<uint16_t>(sum + data[i]);
    sum = static_cast<uint16_t>((sum << 1) | (sum >> 15));
  }
  return sum;
}

class Checksum14Check : public DataCheck {
 public:
  explicit Checksum14Check(uint32_t expected) : expected_(expected) {}
  void Update(const uint8_t* data, size_t n) override { sum_ = Checksum14(sum_, data, n); }
  bool Matches() override { return sum_ == expected_; }

 private:
  uint32_t expected_;
  uint16_t sum_ = 0;
};

}  // namespace rarlib

#endif  // RARLIB_LEGACY_CHECKSUM14_H_
