// The ciphers of RAR 1.3, RAR 1.5 and RAR 2.0 archives, and a ByteSource that
// decrypts a member's packed data with one of them.
//
// None of them has a salt or a password check: a wrong password shows only as a
// checksum mismatch after decoding. The key is made afresh for every member from
// the password's bytes (at most the first 127 are used) and then runs on over all
// of that member's packed bytes.
#ifndef RARLIB_LEGACY_LEGACY_CIPHER_H_
#define RARLIB_LEGACY_LEGACY_CIPHER_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "rarlib/unpack/decoder.h"

namespace rarlib {

enum class LegacyCipher {
  kNone,   // not a legacy cipher (AES, or not encrypted)
  kRar13,  // byte stream, three 8-bit key bytes
  kRar15,  // byte stream, four 16-bit key words
  kRar20,  // 16-byte blocks
};

// The cipher of an encrypted member: every member of a RAR 1.4 archive uses the
// RAR 1.3 cipher; RAR 1.5-4.x members choose by unpack version (13, 15, 20/26;
// anything else is AES).
LegacyCipher SelectLegacyCipher(bool rar14_archive, uint32_t unp_ver);

// Keyed cipher state. Decrypt() continues the stream where the last call ended;
// for kRar20 `n` must be a multiple of 16.
class LegacyCipherState {
 public:
  // `password` is used as raw bytes (UTF-8 for non-ASCII text).
  LegacyCipherState(LegacyCipher kind, const std::string& password);
  // A cipher keyed directly with the three RAR 1.3 key bytes (the fixed key of
  // packed RAR 1.4 archive comments).
  static LegacyCipherState Rar13WithKey(uint8_t k0, uint8_t k1, uint8_t k2);
  void Decrypt(uint8_t* data, size_t n);
  // Encrypts in place (used to make test fixtures).
  void Encrypt(uint8_t* data, size_t n);
  size_t block_size() const { return kind_ == LegacyCipher::kRar20 ? 16 : 1; }

 private:
  void Block20(uint8_t* block, bool encrypt);
  void SetKey20(const uint8_t* pw, size_t len);

  LegacyCipher kind_;
  uint8_t k13_[3] = {};
  uint16_t k15_[4] = {};
  uint32_t k20_[4] = {};
  uint8_t subst_[256] = {};
};

// Decrypts the bytes of `src` on the way through. For the block cipher a trailing
// partial block (never written by an archiver) is dropped. Returns -1 when `src`
// fails.
class LegacyDecryptSource : public ByteSource {
 public:
  LegacyDecryptSource(ByteSource* src, LegacyCipher kind, const std::string& password);
  int64_t Read(uint8_t* buf, size_t n) override;

 private:
  bool Refill();

  ByteSource* src_;
  LegacyCipherState state_;
  std::unique_ptr<uint8_t[]> buf_;
  size_t pos_ = 0, len_ = 0, raw_ = 0;
  bool eof_ = false;
  bool failed_ = false;
};

}  // namespace rarlib

#endif  // RARLIB_LEGACY_LEGACY_CIPHER_H_
