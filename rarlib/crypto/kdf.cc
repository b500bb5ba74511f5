#include "rarlib/crypto/kdf.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>

#include <cstring>
#include <memory>

#include "rarlib/text.h"

namespace rarlib {
namespace {

struct MdCtxFree {
  void operator()(EVP_MD_CTX* c) const { EVP_MD_CTX_free(c); }
};
using MdCtx = std::unique_ptr<EVP_MD_CTX, MdCtxFree>;

// Wipes a buffer when it goes out of scope.
class Wipe {
 public:
  Wipe(void* p, size_t n) : p_(p), n_(n) {}
  ~Wipe() { OPENSSL_cleanse(p_, n_); }
  Wipe(const Wipe&) = delete;
  Wipe& operator=(const Wipe&) = delete;

 private:
  void* p_;
  size_t n_;
};

inline uint32_t Rotl1(uint32_t v) { return (v << 1) | (v >> 31); }

// The archiver's SHA-1 writes its expanded message schedule back over every
// 64-byte block it hashes straight from the caller's buffer; long passwords
// depend on that. `fed` is the number of bytes hashed before this input.
void DamageHashInput(uint8_t* input, size_t len, uint64_t fed) {
  const size_t b = static_cast<size_t>(fed % 64);
  for (size_t d = 64 - b; d + 64 <= len; d += 64) {
    uint32_t w[80];
    uint8_t* p = input + d;
    for (int t = 0; t < 16; ++t) {
      w[t] = (static_cast<uint32_t>(p[4 * t]) << 24) | (static_cast<uint32_t>(p[4 * t + 1]) << 16) |
             (static_cast<uint32_t>(p[4 * t + 2]) << 8) | p[4 * t + 3];
    }
    for (int t = 16; t < 80; ++t) w[t] = Rotl1(w[t - 3] ^ w[t - 8] ^ w[t - 14] ^ w[t - 16]);
    for (int t = 0; t < 16; ++t) {
      uint32_t v = w[64 + t];
      p[4 * t] = static_cast<uint8_t>(v);
      p[4 * t + 1] = static_cast<uint8_t>(v >> 8);
      p[4 * t + 2] = static_cast<uint8_t>(v >> 16);
      p[4 * t + 3] = static_cast<uint8_t>(v >> 24);
    }
    OPENSSL_cleanse(w, sizeof w);
  }
}

// Decodes one code point from UTF-8 at s[*i]; ill-formed bytes give U+FFFD.
uint32_t NextCodePoint(const std::string& s, size_t* i) {
  const uint8_t c = static_cast<uint8_t>(s[*i]);
  size_t len = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
  if (len == 0 || *i + len > s.size() ||
      !IsValidUtf8(reinterpret_cast<const uint8_t*>(s.data()) + *i, len)) {
    ++*i;
    return 0xFFFD;
  }
  uint32_t cp = len == 1 ? c : c & (0x7F >> len);
  for (size_t k = 1; k < len; ++k) cp = (cp << 6) | (static_cast<uint8_t>(s[*i + k]) & 0x3F);
  *i += len;
  return cp;
}

}  // namespace

std::string Rar3PasswordBytes(const std::string& utf8) {
  std::string out;
  out.reserve(2 * kMaxPasswordChars);
  size_t i = 0;
  for (size_t chars = 0; i < utf8.size() && chars < kMaxPasswordChars; ++chars) {
    uint32_t cp = NextCodePoint(utf8, &i);
    out.push_back(static_cast<char>(cp & 0xFF));
    out.push_back(static_cast<char>((cp >> 8) & 0xFF));
  }
  return out;
}

std::string Rar5PasswordBytes(const std::string& utf8) {
  size_t i = 0;
  for (size_t chars = 0; i < utf8.size() && chars < kMaxPasswordChars; ++chars) {
    NextCodePoint(utf8, &i);
  }
  return utf8.substr(0, i);
}

bool DeriveRar3Key(const std::string& password, const uint8_t* salt, size_t salt_len,
                   Rar3Key* out) {
  constexpr uint32_t kRounds = 0x40000;
  if (salt_len != 0 && (salt == nullptr || salt_len != 8)) return false;
  // One buffer holds the input (password, salt) and the round counter, so each
  // round is a single digest update.
  const size_t input_len = password.size() + salt_len;
  uint8_t buf[2 * kMaxPasswordChars + 8 + 3];
  if (input_len > sizeof buf - 3) return false;
  Wipe wipe_buf(buf, sizeof buf);
  std::memcpy(buf, password.data(), password.size());
  if (salt_len != 0) std::memcpy(buf + password.size(), salt, salt_len);

  MdCtx ctx(EVP_MD_CTX_new());
  MdCtx copy(EVP_MD_CTX_new());
  if (!ctx || !copy || EVP_DigestInit_ex(ctx.get(), EVP_sha1(), nullptr) != 1) return false;
  uint8_t digest[EVP_MAX_MD_SIZE];
  Wipe wipe_digest(digest, sizeof digest);
  const bool damage = input_len > 64;
  for (uint32_t i = 0; i < kRounds; ++i) {
    buf[input_len] = static_cast<uint8_t>(i);
    buf[input_len + 1] = static_cast<uint8_t>(i >> 8);
    buf[input_len + 2] = static_cast<uint8_t>(i >> 16);
    if (EVP_DigestUpdate(ctx.get(), buf, input_len + 3) != 1) return false;
    if (damage) DamageHashInput(buf, input_len, uint64_t{i} * (input_len + 3));
    if (i % 0x4000 == 0) {
      unsigned n = 0;
      if (EVP_MD_CTX_copy_ex(copy.get(), ctx.get()) != 1 ||
          EVP_DigestFinal_ex(copy.get(), digest, &n) != 1 || n != 20) {
        return false;
      }
      out->iv[i / 0x4000] = digest[19];
    }
  }
  unsigned n = 0;
  if (EVP_DigestFinal_ex(ctx.get(), digest, &n) != 1 || n != 20) return false;
  for (int w = 0; w < 4; ++w) {
    for (int j = 0; j < 4; ++j) out->key[4 * w + j] = digest[4 * w + 3 - j];
  }
  return true;
}

namespace {

// HMAC-SHA256 with the key schedule done once: each call costs two digest
// context copies and two short hashes.
class Hmac256 {
 public:
  bool Init(const uint8_t* key, size_t key_len) {
    inner_.reset(EVP_MD_CTX_new());
    outer_.reset(EVP_MD_CTX_new());
    work_.reset(EVP_MD_CTX_new());
    if (!inner_ || !outer_ || !work_) return false;
    uint8_t k[64] = {};
    Wipe wipe_k(k, sizeof k);
    if (key_len > 64) {
      unsigned n = 0;
      if (EVP_Digest(key, key_len, k, &n, EVP_sha256(), nullptr) != 1) return false;
    } else {
      std::memcpy(k, key, key_len);
    }
    uint8_t pad[64];
    Wipe wipe_pad(pad, sizeof pad);
    for (int i = 0; i < 64; ++i) pad[i] = k[i] ^ 0x36;
    if (EVP_DigestInit_ex(inner_.get(), EVP_sha256(), nullptr) != 1 ||
        EVP_DigestUpdate(inner_.get(), pad, 64) != 1) {
      return false;
    }
    for (int i = 0; i < 64; ++i) pad[i] = k[i] ^ 0x5C;
    return EVP_DigestInit_ex(outer_.get(), EVP_sha256(), nullptr) == 1 &&
           EVP_DigestUpdate(outer_.get(), pad, 64) == 1;
  }
  // out = HMAC(key, data); `out` may alias `data`.
  bool Mac(const uint8_t* data, size_t n, uint8_t out[32]) {
    uint8_t inner[32];
    Wipe wipe_inner(inner, sizeof inner);
    unsigned len = 0;
    return EVP_MD_CTX_copy_ex(work_.get(), inner_.get()) == 1 &&
           EVP_DigestUpdate(work_.get(), data, n) == 1 &&
           EVP_DigestFinal_ex(work_.get(), inner, &len) == 1 &&
           EVP_MD_CTX_copy_ex(work_.get(), outer_.get()) == 1 &&
           EVP_DigestUpdate(work_.get(), inner, 32) == 1 &&
           EVP_DigestFinal_ex(work_.get(), out, &len) == 1;
  }

 private:
  MdCtx inner_, outer_, work_;
};

}  // namespace

bool DeriveRar5Key(const std::string& password, const uint8_t salt[16], unsigned log2_count,
                   Rar5Key* out) {
  if (log2_count > kMaxRar5KdfLog2) return false;
  Hmac256 mac;
  if (!mac.Init(reinterpret_cast<const uint8_t*>(password.data()), password.size())) return false;
  uint8_t u[32], t[32], block[20];
  Wipe wipe_u(u, sizeof u), wipe_t(t, sizeof t);
  std::memcpy(block, salt, 16);
  block[16] = block[17] = block[18] = 0;
  block[19] = 1;
  if (!mac.Mac(block, sizeof block, u)) return false;
  std::memcpy(t, u, 32);
  const uint64_t n = uint64_t{1} << log2_count;
  // One chain: the key after n iterations, the MAC key after n + 16, the check
  // value after n + 32.
  uint8_t* const stops[3] = {out->key, out->hash_key, nullptr};
  uint8_t check_src[32];
  Wipe wipe_check(check_src, sizeof check_src);
  uint64_t stop_at = n;
  for (int stage = 0; stage < 3; ++stage) {
    for (uint64_t i = (stage == 0 ? 1 : stop_at - 16); i < stop_at; ++i) {
      if (!mac.Mac(u, 32, u)) return false;
      for (int k = 0; k < 32; ++k) t[k] ^= u[k];
    }
    std::memcpy(stops[stage] != nullptr ? stops[stage] : check_src, t, 32);
    stop_at += 16;
  }
  std::memset(out->check, 0, sizeof out->check);
  for (int i = 0; i < 32; ++i) out->check[i % 8] ^= check_src[i];
  return true;
}

}  // namespace rarlib
