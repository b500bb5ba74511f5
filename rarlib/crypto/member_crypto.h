// What the archive handle needs to read encrypted archives: the key material of
// one member, the header decryptor, and the data check that knows the RAR 5
// MAC form and BLAKE2sp.
#ifndef RARLIB_CRYPTO_MEMBER_CRYPTO_H_
#define RARLIB_CRYPTO_MEMBER_CRYPTO_H_

#include <cstddef>
#include <cstdint>
#include <vector>

#include "rarlib/block.h"
#include "rarlib/crypto/aes_cbc.h"
#include "rarlib/crypto/blake2sp.h"
#include "rarlib/crypto/key_cache.h"
#include "rarlib/parser.h"
#include "rarlib/sinks.h"

namespace rarlib {

// Key and IV of one member's AES data stream, and the MAC key of its checksums.
// Wiped on destruction.
struct MemberCipher {
  size_t key_len = 0;  // 16 (RAR 3.x) or 32 (RAR 5)
  uint8_t key[32] = {};
  uint8_t iv[16] = {};
  bool mac = false;  // the stored checksums are MACs under hash_key
  uint8_t hash_key[32] = {};
  MemberCipher() = default;
  ~MemberCipher();
  MemberCipher(const MemberCipher&) = delete;
  MemberCipher& operator=(const MemberCipher&) = delete;
};

// Prepares the cipher of an AES-encrypted member from its stored parameters
// (`crypt`: the RAR 4 salt, possibly empty, or the RAR 5 record body). Returns
// 0, ERAR_MISSING_PASSWORD without a password, ERAR_BAD_PASSWORD when the RAR 5
// check value refuses the password, ERAR_UNKNOWN_FORMAT for an unknown
// encryption version, an iteration count beyond the limit or a key the handle's
// derivation budget refuses (see key_cache.h), ERAR_BAD_DATA for a broken
// record, ERAR_NO_MEMORY when no key can be derived. No data is read.
int PrepareMemberCipher(bool rar5, const std::vector<uint8_t>& crypt, KeyCache* keys,
                        MemberCipher* out);

// Checks the RAR 5 encryption header of an archive with encrypted headers:
// 0, ERAR_BAD_DATA when it is too short, ERAR_UNKNOWN_FORMAT for an unknown
// version or an iteration count beyond the limit.
int CheckRar5HeaderCrypt(const ArchiveInfo& info);

// Decrypts headers of an archive with encrypted headers, keyed from `keys`.
// The RAR 5 encryption header (from `info`) is read when first needed; its
// check value refuses a wrong password before any header is decrypted. A key
// the derivation budget refuses answers ERAR_BAD_DATA: the walk ends there.
class HeaderCrypto : public HeaderDecryptor {
 public:
  HeaderCrypto(bool rar5, const ArchiveInfo* info, KeyCache* keys)
      : rar5_(rar5), info_(info), keys_(keys) {}
  int Decrypt(const uint8_t* prefix, size_t prefix_size, uint8_t* data, size_t n) override;

 private:
  bool rar5_;
  const ArchiveInfo* info_;
  KeyCache* keys_;
  AesCbc cipher_;
};

// Checks unpacked bytes against the stored CRC32 or BLAKE2sp digest (the digest
// wins when both are there), either plain or, with a MAC key, in MAC form.
class MemberCheck : public DataCheck {
 public:
  // `digest` null: CRC32 only. `hash_key` null: plain checksums.
  MemberCheck(uint32_t crc, const uint8_t* digest, const uint8_t* hash_key);
  ~MemberCheck() override;
  void Update(const uint8_t* data, size_t n) override;
  bool Matches() override;

 private:
  uint32_t crc_expected_;
  uint32_t crc_ = 0;
  bool use_digest_;
  uint8_t digest_[32] = {};
  bool mac_;
  uint8_t hash_key_[32] = {};
  Blake2sp blake_;
};

}  // namespace rarlib

#endif  // RARLIB_CRYPTO_MEMBER_CRYPTO_H_
