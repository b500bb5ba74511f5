#include "rarlib/crypto/member_crypto.h"

#include <openssl/crypto.h>

#include <cstring>

#include "rarlib/crc32.h"
#include "rarlib/crypto/rar5_crypt.h"
#include "rarlib/rar.h"

namespace rarlib {

MemberCipher::~MemberCipher() {
  OPENSSL_cleanse(key, sizeof key);
  OPENSSL_cleanse(iv, sizeof iv);
  OPENSSL_cleanse(hash_key, sizeof hash_key);
}

int PrepareMemberCipher(bool rar5, const std::vector<uint8_t>& crypt, KeyCache* keys,
                        MemberCipher* out) {
  if (!keys->has_password()) return ERAR_MISSING_PASSWORD;
  if (!rar5) {
    if (crypt.size() != 0 && crypt.size() != 8) return ERAR_BAD_DATA;
    const Rar3Key* k = keys->Rar3(crypt.data(), crypt.size());
    if (k == nullptr) return keys->refused() ? ERAR_UNKNOWN_FORMAT : ERAR_NO_MEMORY;
    out->key_len = 16;
    std::memcpy(out->key, k->key, 16);
    std::memcpy(out->iv, k->iv, 16);
    out->mac = false;
    return 0;
  }
  Rar5CryptParams p;
  if (!ParseRar5Crypt(crypt.data(), crypt.size(), true, &p)) return ERAR_BAD_DATA;
  if (p.version != 0 || p.log2_count > kMaxRar5KdfLog2) return ERAR_UNKNOWN_FORMAT;
  const Rar5Key* k = keys->Rar5(p.salt, p.log2_count);
  if (k == nullptr) return keys->refused() ? ERAR_UNKNOWN_FORMAT : ERAR_NO_MEMORY;
  if (p.has_check && CRYPTO_memcmp(k->check, p.check, 8) != 0) return ERAR_BAD_PASSWORD;
  out->key_len = 32;
  std::memcpy(out->key, k->key, 32);
  std::memcpy(out->iv, p.iv, 16);
  out->mac = p.mac;
  std::memcpy(out->hash_key, k->hash_key, 32);
  return 0;
}

int CheckRar5HeaderCrypt(const ArchiveInfo& info) {
  Rar5CryptParams p;
  if (!ParseRar5Crypt(info.header_crypt.data(), info.header_crypt.size(), false, &p)) {
    return ERAR_BAD_DATA;
  }
  return p.version != 0 || p.log2_count > kMaxRar5KdfLog2 ? ERAR_UNKNOWN_FORMAT : 0;
}

int HeaderCrypto::Decrypt(const uint8_t* prefix, size_t prefix_size, uint8_t* data, size_t n) {
  if (!rar5_) {
    if (prefix_size != 8) return ERAR_BAD_PASSWORD;
    const Rar3Key* k = keys_->Rar3(prefix, 8);
    if (k == nullptr) return keys_->refused() ? ERAR_BAD_DATA : ERAR_BAD_PASSWORD;
    return cipher_.Init(k->key, 16, k->iv) && cipher_.Run(data, n) ? 0 : ERAR_BAD_PASSWORD;
  }
  if (prefix_size != 16) return ERAR_BAD_PASSWORD;
  Rar5CryptParams p;
  const std::vector<uint8_t>& h = info_->header_crypt;
  if (!ParseRar5Crypt(h.data(), h.size(), false, &p) || p.version != 0 ||
      p.log2_count > kMaxRar5KdfLog2) {
    return ERAR_BAD_PASSWORD;
  }
  const Rar5Key* k = keys_->Rar5(p.salt, p.log2_count);
  if (k == nullptr) return keys_->refused() ? ERAR_BAD_DATA : ERAR_BAD_PASSWORD;
  if (p.has_check && CRYPTO_memcmp(k->check, p.check, 8) != 0) return ERAR_BAD_PASSWORD;
  return cipher_.Init(k->key, 32, prefix) && cipher_.Run(data, n) ? 0 : ERAR_BAD_PASSWORD;
}

MemberCheck::MemberCheck(uint32_t crc, const uint8_t* digest, const uint8_t* hash_key)
    : crc_expected_(crc), use_digest_(digest != nullptr), mac_(hash_key != nullptr) {
  if (digest != nullptr) std::memcpy(digest_, digest, 32);
  if (hash_key != nullptr) std::memcpy(hash_key_, hash_key, 32);
}

MemberCheck::~MemberCheck() { OPENSSL_cleanse(hash_key_, sizeof hash_key_); }

void MemberCheck::Update(const uint8_t* data, size_t n) {
  if (use_digest_) {
    blake_.Update(data, n);
    return;
  }
  crc_ = Crc32(crc_, data, n);
}

bool MemberCheck::Matches() {
  if (use_digest_) {
    uint8_t plain[32], mac[32];
    blake_.Final(plain);
    if (mac_ && !Rar5MacDigest(hash_key_, plain, mac)) return false;
    return std::memcmp(mac_ ? mac : plain, digest_, 32) == 0;
  }
  uint32_t got = crc_;
  if (mac_ && !Rar5MacCrc(hash_key_, crc_, &got)) return false;
  return got == crc_expected_;
}

}  // namespace rarlib
