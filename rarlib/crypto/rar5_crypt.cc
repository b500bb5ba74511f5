#include "rarlib/crypto/rar5_crypt.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>

#include <cstring>

namespace rarlib {
namespace {

bool ReadVint(const uint8_t* p, size_t n, size_t* pos, uint64_t* v) {
  *v = 0;
  for (unsigned shift = 0; shift < 64 && *pos < n; shift += 7) {
    uint8_t b = p[(*pos)++];
    *v |= static_cast<uint64_t>(b & 0x7F) << shift;
    if ((b & 0x80) == 0) return true;
  }
  return false;
}

}  // namespace

bool ParseRar5Crypt(const uint8_t* p, size_t n, bool file_record, Rar5CryptParams* out) {
  *out = Rar5CryptParams();
  size_t pos = 0;
  uint64_t flags = 0;
  if (!ReadVint(p, n, &pos, &out->version) || !ReadVint(p, n, &pos, &flags)) return false;
  const size_t fixed = 1 + 16 + (file_record ? 16 : 0);
  if (n - pos < fixed) return false;
  out->log2_count = p[pos++];
  std::memcpy(out->salt, p + pos, 16);
  pos += 16;
  if (file_record) {
    std::memcpy(out->iv, p + pos, 16);
    pos += 16;
  }
  out->mac = file_record && (flags & 0x02);
  if ((flags & 0x01) && n - pos >= 12) {
    uint8_t sum[32];
    unsigned len = 0;
    if (EVP_Digest(p + pos, 8, sum, &len, EVP_sha256(), nullptr) == 1 &&
        std::memcmp(sum, p + pos + 8, 4) == 0) {
      out->has_check = true;
      std::memcpy(out->check, p + pos, 8);
    }
  }
  return true;
}

bool Rar5MacCrc(const uint8_t hash_key[32], uint32_t crc, uint32_t* out) {
  uint8_t raw[4] = {static_cast<uint8_t>(crc), static_cast<uint8_t>(crc >> 8),
                    static_cast<uint8_t>(crc >> 16), static_cast<uint8_t>(crc >> 24)};
  uint8_t mac[32];
  unsigned len = 0;
  if (HMAC(EVP_sha256(), hash_key, 32, raw, sizeof raw, mac, &len) == nullptr || len != 32) {
    return false;
  }
  uint32_t r = 0;
  for (int i = 0; i < 32; ++i) r ^= static_cast<uint32_t>(mac[i]) << (8 * (i % 4));
  OPENSSL_cleanse(mac, sizeof mac);
  *out = r;
  return true;
}

bool Rar5MacDigest(const uint8_t hash_key[32], const uint8_t digest[32], uint8_t out[32]) {
  unsigned len = 0;
  return HMAC(EVP_sha256(), hash_key, 32, digest, 32, out, &len) != nullptr && len == 32;
}

}  // namespace rarlib
