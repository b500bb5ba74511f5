// RAR 5 encryption parameters: the archive encryption header and the per-file
// encryption record, the password check value, and the conversion of plain
// checksums into the MAC form stored when the record asks for it.
#ifndef RARLIB_CRYPTO_RAR5_CRYPT_H_
#define RARLIB_CRYPTO_RAR5_CRYPT_H_

#include <cstddef>
#include <cstdint>

namespace rarlib {

struct Rar5CryptParams {
  uint64_t version = 0;     // 0 = AES-256; anything else is unknown
  unsigned log2_count = 0;  // PBKDF2 iterations = 2^log2_count
  uint8_t salt[16] = {};
  uint8_t iv[16] = {};     // file records only
  bool has_check = false;  // a well-formed check value is present
  uint8_t check[8] = {};
  bool mac = false;  // stored checksums are MACs (file records only)
};

// Parses the fields of an encryption header (type 4) after its common part
// (`file_record` false) or the body of a file's encryption record. False when
// the bytes are too short. A check value whose own checksum fails is treated as
// absent.
bool ParseRar5Crypt(const uint8_t* p, size_t n, bool file_record, Rar5CryptParams* out);

// The MAC form of a CRC32 and of a 32-byte BLAKE2sp digest under `hash_key`.
// False when the MAC cannot be computed.
bool Rar5MacCrc(const uint8_t hash_key[32], uint32_t crc, uint32_t* out);
bool Rar5MacDigest(const uint8_t hash_key[32], const uint8_t digest[32], uint8_t out[32]);

}  // namespace rarlib

#endif  // RARLIB_CRYPTO_RAR5_CRYPT_H_
