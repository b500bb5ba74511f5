// BLAKE2sp-256: eight BLAKE2s leaves over 64-byte blocks dealt round-robin, and
// a BLAKE2s root over the eight leaf digests. The RAR 5 data hash.
#ifndef RARLIB_CRYPTO_BLAKE2SP_H_
#define RARLIB_CRYPTO_BLAKE2SP_H_

#include <cstddef>
#include <cstdint>

namespace rarlib {

// One BLAKE2s-256 instance in a tree (no key, no salt, no personalisation).
class Blake2s {
 public:
  // `node_offset` and `node_depth` place the instance in the BLAKE2sp tree;
  // `last_node` marks the right-most node of its level.
  void Init(uint32_t node_offset, uint8_t node_depth, bool last_node);
  void Update(const uint8_t* data, size_t n);
  void Final(uint8_t out[32]);

 private:
  void Compress(const uint8_t block[64], bool last);

  uint32_t h_[8];
  uint32_t t_[2];
  uint8_t buf_[64];
  size_t buf_len_;
  bool last_node_;
};

class Blake2sp {
 public:
  Blake2sp();
  void Update(const uint8_t* data, size_t n);
  void Final(uint8_t out[32]);

 private:
  Blake2s leaves_[8];
  uint64_t total_ = 0;  // bytes seen, to know which leaf the next byte goes to
};

}  // namespace rarlib

#endif  // RARLIB_CRYPTO_BLAKE2SP_H_
