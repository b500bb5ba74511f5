#include "rarlib/sinks.h"

#include "rarlib/crc32.h"

namespace rarlib {

void Crc32Check::Update(const uint8_t* data, size_t n) { crc_ = Crc32(crc_, data, n); }

bool CallbackSink::Write(const uint8_t* data, size_t n) {
  if (cb_ == nullptr || n == 0) return true;
  if (cb_(user_, data, n) < 0) {
    aborted_ = true;
    return false;
  }
  return true;
}

bool CheckedSink::Write(const uint8_t* data, size_t n) {
  if (n > limit_ - written_) {
    overflowed_ = true;
    return false;
  }
  written_ += n;
  if (check_ != nullptr) check_->Update(data, n);
  if (!target_->Write(data, n)) {
    target_failed_ = true;
    return false;
  }
  return true;
}

}  // namespace rarlib
