#include "rarlib/sinks.h"

#include <zlib.h>

#include <climits>

namespace rarlib {

void Crc32Check::Update(const uint8_t* data, size_t n) {
  while (n > 0) {
    uInt chunk = n > UINT_MAX ? UINT_MAX : static_cast<uInt>(n);
    crc_ = static_cast<uint32_t>(crc32(crc_, data, chunk));
    data += chunk;
    n -= chunk;
  }
}

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
