// The password of one archive handle and the keys derived from it.
//
// Keys are cached per (salt, iteration count) for the life of the password, so
// an archive whose members share a salt costs one derivation. Setting another
// password drops them. The password and every key are wiped when dropped.
#ifndef RARLIB_CRYPTO_KEY_CACHE_H_
#define RARLIB_CRYPTO_KEY_CACHE_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "rarlib/crypto/kdf.h"

namespace rarlib {

class KeyCache {
 public:
  KeyCache() = default;
  ~KeyCache() { Clear(); }
  KeyCache(const KeyCache&) = delete;
  KeyCache& operator=(const KeyCache&) = delete;

  // Sets the password (UTF-8); empty means none. Keeps the keys when it is the
  // same password.
  void SetPassword(const std::string& utf8);
  bool has_password() const { return !password_.empty(); }
  // Wipes the password and the keys.
  void Clear();

  // The RAR 3 key for `salt` (`salt_len` 0 or 8); null without a password or
  // when it cannot be derived.
  const Rar3Key* Rar3(const uint8_t* salt, size_t salt_len);
  // The RAR 5 values for `salt` and 2^log2_count iterations; null without a
  // password, for a count beyond the limit, or when they cannot be derived.
  const Rar5Key* Rar5(const uint8_t salt[16], unsigned log2_count);

  // Returned keys stay valid until the next call that derives a key; copy what
  // must outlive it.

  // Derivations run so far (for cost checks).
  uint64_t derivations() const { return derivations_; }

 private:
  struct Entry {
    bool rar5;
    unsigned rounds;  // log2 of the RAR 5 count; 0 for RAR 3
    size_t salt_len;
    uint8_t salt[16];
    union {
      Rar3Key k3;
      Rar5Key k5;
    };
  };
  Entry* Find(bool rar5, unsigned rounds, const uint8_t* salt, size_t salt_len);
  Entry* Add();
  void DropKeys();

  std::string password_;
  std::vector<Entry> entries_;
  uint64_t derivations_ = 0;
};

}  // namespace rarlib

#endif  // RARLIB_CRYPTO_KEY_CACHE_H_
