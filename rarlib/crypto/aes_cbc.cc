#include "rarlib/crypto/aes_cbc.h"

#include <openssl/crypto.h>

#include <climits>
#include <cstring>

namespace rarlib {

AesCbc::~AesCbc() { EVP_CIPHER_CTX_free(ctx_); }  // frees and wipes the key schedule

bool AesCbc::Init(const uint8_t* key, size_t key_len, const uint8_t iv[16], bool encrypt) {
  const EVP_CIPHER* kind = key_len == 16   ? EVP_aes_128_cbc()
                           : key_len == 32 ? EVP_aes_256_cbc()
                                           : nullptr;
  if (kind == nullptr) return false;
  if (ctx_ == nullptr) ctx_ = EVP_CIPHER_CTX_new();
  if (ctx_ == nullptr) return false;
  if (EVP_CipherInit_ex(ctx_, kind, nullptr, key, iv, encrypt ? 1 : 0) != 1) return false;
  return EVP_CIPHER_CTX_set_padding(ctx_, 0) == 1;
}

bool AesCbc::Restart(const uint8_t iv[16]) {
  return ctx_ != nullptr && EVP_CipherInit_ex(ctx_, nullptr, nullptr, nullptr, iv, -1) == 1;
}

bool AesCbc::Run(uint8_t* data, size_t n) {
  if (ctx_ == nullptr || n % 16 != 0) return false;
  while (n > 0) {
    const size_t step = n > (size_t{1} << 30) ? (size_t{1} << 30) : n;
    int out = 0;
    if (EVP_CipherUpdate(ctx_, data, &out, data, static_cast<int>(step)) != 1 ||
        static_cast<size_t>(out) != step) {
      return false;
    }
    data += step;
    n -= step;
  }
  return true;
}

AesDecryptSource::AesDecryptSource(ByteSource* src, const uint8_t* key, size_t key_len,
                                   const uint8_t iv[16])
    : src_(src) {
  ok_ = cipher_.Init(key, key_len, iv);
}

AesDecryptSource::~AesDecryptSource() {
  OPENSSL_cleanse(carry_, sizeof carry_);
  OPENSSL_cleanse(plain_, sizeof plain_);
}

int64_t AesDecryptSource::ReadBlocks(uint8_t* out, size_t n) {
  const size_t room = n & ~size_t{15};
  std::memcpy(out, carry_, carry_len_);
  size_t have = carry_len_;
  carry_len_ = 0;
  // Read until at least one whole block is there (a source may hand out a few
  // bytes at a time at volume boundaries).
  while (!eof_ && have < 16) {
    int64_t got = src_->Read(out + have, room - have);
    if (got < 0 || static_cast<uint64_t>(got) > room - have) return -1;
    if (got == 0) eof_ = true;
    have += static_cast<size_t>(got);
  }
  const size_t usable = have & ~size_t{15};
  carry_len_ = have - usable;
  std::memcpy(carry_, out + usable, carry_len_);
  if (eof_) carry_len_ = 0;  // an incomplete final block carries nothing
  if (usable > 0 && !cipher_.Run(out, usable)) return -1;
  return static_cast<int64_t>(usable);
}

int64_t AesDecryptSource::Read(uint8_t* buf, size_t n) {
  if (!ok_) return -1;
  if (n == 0) return 0;
  if (plain_pos_ == plain_len_) {
    if (n >= 16) {
      int64_t got = ReadBlocks(buf, n);
      if (got < 0) ok_ = false;
      return got;
    }
    int64_t got = ReadBlocks(plain_, sizeof plain_);
    if (got < 0) {
      ok_ = false;
      return -1;
    }
    plain_pos_ = 0;
    plain_len_ = static_cast<size_t>(got);
    if (got == 0) return 0;
  }
  size_t k = plain_len_ - plain_pos_ < n ? plain_len_ - plain_pos_ : n;
  std::memcpy(buf, plain_ + plain_pos_, k);
  plain_pos_ += k;
  return static_cast<int64_t>(k);
}

}  // namespace rarlib
