// The password of one archive handle and the keys derived from it.
//
// Keys are cached per (salt, iteration count) for the life of the password, so
// an archive whose members share a salt costs one derivation. Setting another
// password drops them. The password and every key are wiped when dropped.
//
// Work budget. An archive chooses its salts and RAR 5 iteration counts, so a
// hostile one could ask for a fresh expensive derivation on every member or
// every encrypted header. Each derivation actually computed is charged in
// rounds (cache hits are free): 2^18 for a RAR 3 key, 8 * (2^n + 32) for a
// RAR 5 key at 2^n iterations (one PBKDF2-HMAC-SHA256 iteration measures about
// eight RAR 3 SHA-1 rounds). The first derivation under a password is always
// made, so a lone key at the highest count (2^24) opens; after that, one that
// would take the total past the budget is refused, and what is cached stays
// usable. A new password starts a new budget.
//
// The default, 3 * 2^28 rounds, is 3072 RAR 3 keys or 3069 RAR 5 keys at the
// archiver's usual 2^15: an archive with its own salt on each of a few
// thousand members never reaches it, while a hostile one gets at most five
// fresh keys at 2^24. Measured on the two-core x86-64 build host with OpenSSL 3
// under a load of 7-8: a RAR 3 key 13-16 ms, a RAR 5 key at 2^15 about 17 ms
// and at 2^24 9-14 s, so a handle spends at most about 45-70 s on keys (an
// archive of eight members with fresh 2^24 keys: five made in 67 s, three
// refused at once), where without the budget every further member would cost
// as much again.
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

  // The RAR 3 key for `salt` (`salt_len` 0 or 8); null without a password,
  // over the budget (refused() tells), or when it cannot be derived.
  const Rar3Key* Rar3(const uint8_t* salt, size_t salt_len);
  // The RAR 5 values for `salt` and 2^log2_count iterations; null without a
  // password, for a count beyond the limit, over the budget (refused() tells),
  // or when they cannot be derived.
  const Rar5Key* Rar5(const uint8_t salt[16], unsigned log2_count);
  // True when the last Rar3 or Rar5 call answered null because its derivation
  // would have gone over the budget.
  bool refused() const { return refused_; }

  // Returned keys stay valid until the next call that derives a key; copy what
  // must outlive it.

  // Derivations run so far (for cost checks).
  uint64_t derivations() const { return derivations_; }

  static constexpr uint64_t kDefaultBudget = uint64_t{3} << 28;
  static constexpr uint64_t kRar3Cost = uint64_t{1} << 18;
  static uint64_t Rar5Cost(unsigned log2_count) { return 8 * ((uint64_t{1} << log2_count) + 32); }
  // Rounds allowed under one password (default kDefaultBudget); lowered by
  // tests, not reachable from the C interface.
  void set_budget(uint64_t rounds) { budget_ = rounds; }
  // Rounds charged under the current password.
  uint64_t spent() const { return spent_; }

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
  // Charges `cost` when the budget allows it; sets refused_ otherwise.
  bool Charge(uint64_t cost);

  std::string password_;
  std::vector<Entry> entries_;
  uint64_t derivations_ = 0;
  uint64_t budget_ = kDefaultBudget;
  uint64_t spent_ = 0;
  bool refused_ = false;
};

}  // namespace rarlib

#endif  // RARLIB_CRYPTO_KEY_CACHE_H_
