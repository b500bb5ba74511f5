#include "rarlib/unpack/bitreader.h"

#include <cstring>
#include <new>

namespace rarlib {

BitReader::BitReader(ByteSource* src) : src_(src) {}

void BitReader::Reset(ByteSource* src) {
  src_ = src;
  len_ = 0;
  pos_ = 0;
  consumed_bytes_ = 0;
  pad_bytes_ = 0;
  bits_ = 0;
  nbits_ = 0;
  source_done_ = false;
  read_failed_ = false;
}

bool BitReader::NoData() {
  if (consumed_bytes_ + len_ == 0 && !source_done_) LoadChunk();
  return source_done_ && consumed_bytes_ + len_ == 0;
}

bool BitReader::LoadChunk() {
  if (source_done_) return false;
  if (!buf_) {
    buf_.reset(new (std::nothrow) uint8_t[kChunkSize]);
    if (!buf_) {
      read_failed_ = true;
      source_done_ = true;
      return false;
    }
  }
  int64_t got = src_ ? src_->Read(buf_.get(), kChunkSize) : 0;
  if (got <= 0 || static_cast<uint64_t>(got) > kChunkSize) {
    if (got != 0) read_failed_ = true;
    source_done_ = true;
    return false;
  }
  consumed_bytes_ += len_;
  len_ = static_cast<size_t>(got);
  pos_ = 0;
  return true;
}

BitReader::Register BitReader::RefilledSlow(Register r) {
  Give(r);
  Refill();
  return Take();
}

void BitReader::Refill() {
  while (nbits_ < kMaxPeekBits) {
    if (pos_ + 8 <= len_) {
      LoadWord(bits_, nbits_);
      continue;
    }
    if (pos_ < len_) {
      bits_ |= static_cast<uint64_t>(buf_[pos_++]) << (56 - nbits_);
      nbits_ += 8;
      continue;
    }
    if (LoadChunk()) continue;
    ++pad_bytes_;  // past the end: a zero byte
    nbits_ += 8;
  }
}

}  // namespace rarlib
