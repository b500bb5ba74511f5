// AES-CBC decryption (OpenSSL, no padding scheme) and a ByteSource that
// decrypts a member's packed data on the way through.
#ifndef RARLIB_CRYPTO_AES_CBC_H_
#define RARLIB_CRYPTO_AES_CBC_H_

#include <openssl/evp.h>

#include <cstddef>
#include <cstdint>

#include "rarlib/unpack/decoder.h"

namespace rarlib {

// One CBC stream. Not copyable; the key schedule is wiped on destruction.
class AesCbc {
 public:
  AesCbc() = default;
  ~AesCbc();
  AesCbc(const AesCbc&) = delete;
  AesCbc& operator=(const AesCbc&) = delete;

  // Keys the cipher (`key_len` 16 or 32) and starts a stream at `iv`.
  bool Init(const uint8_t* key, size_t key_len, const uint8_t iv[16], bool encrypt = false);
  // Starts a fresh stream at `iv` with the same key.
  bool Restart(const uint8_t iv[16]);
  // Transforms `n` bytes (a multiple of 16) in place, continuing the stream.
  bool Run(uint8_t* data, size_t n);

 private:
  EVP_CIPHER_CTX* ctx_ = nullptr;
};

// Decrypts the bytes of `src` (the ciphertext, split anywhere) straight into
// the caller's buffer: each Read asks `src` for as many whole blocks as fit and
// decrypts them in place. Reads shorter than a block go through a one-block
// buffer. A trailing partial block (never written by an archiver) is dropped.
// Returns -1 when `src` fails or the cipher cannot run.
class AesDecryptSource : public ByteSource {
 public:
  AesDecryptSource(ByteSource* src, const uint8_t* key, size_t key_len, const uint8_t iv[16]);
  ~AesDecryptSource() override;
  int64_t Read(uint8_t* buf, size_t n) override;

 private:
  // Fills `out` (room for `n`, at least 16) with whole decrypted blocks; the
  // count, 0 at the end, or -1.
  int64_t ReadBlocks(uint8_t* out, size_t n);

  ByteSource* src_;
  AesCbc cipher_;
  bool ok_;
  bool eof_ = false;
  uint8_t carry_[16];  // raw bytes of an incomplete block
  size_t carry_len_ = 0;
  uint8_t plain_[16];  // decrypted bytes not yet handed out
  size_t plain_pos_ = 0, plain_len_ = 0;
};

}  // namespace rarlib

#endif  // RARLIB_CRYPTO_AES_CBC_H_
