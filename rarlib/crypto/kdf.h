// Password-based key derivation for AES-encrypted RAR archives.
//
// RAR 3.x (AES-128): 2^18 rounds of SHA-1 over the password (UTF-16LE) and an
// optional 8-byte salt give the key and the IV. RAR 5.0 (AES-256): one
// PBKDF2-HMAC-SHA256 chain over the UTF-8 password and a 16-byte salt gives the
// data key after 2^n iterations, the MAC key after 16 more and the password
// check value after another 16.
//
// Both are expensive on purpose; callers cache the results (see key_cache.h).
// Every intermediate buffer is wiped before return.
#ifndef RARLIB_CRYPTO_KDF_H_
#define RARLIB_CRYPTO_KDF_H_

#include <cstddef>
#include <cstdint>
#include <string>

namespace rarlib {

// Passwords are cut at this many characters, as the archiver does.
constexpr size_t kMaxPasswordChars = 127;
// RAR 5 iteration counts above 2^24 are refused.
constexpr unsigned kMaxRar5KdfLog2 = 24;

struct Rar3Key {
  uint8_t key[16];
  uint8_t iv[16];
};

struct Rar5Key {
  uint8_t key[32];       // AES-256 key
  uint8_t hash_key[32];  // key of the checksum MAC
  uint8_t check[8];      // password check value
};

// The RAR 3 form of a UTF-8 password: at most 127 characters as UTF-16LE, each
// character cut to its low 16 bits. Ill-formed UTF-8 bytes count as U+FFFD.
std::string Rar3PasswordBytes(const std::string& utf8);

// The RAR 5 form: the UTF-8 text cut after 127 characters.
std::string Rar5PasswordBytes(const std::string& utf8);

// Derives the RAR 3 key and IV from the UTF-16LE password bytes and the salt
// (`salt_len` 0 or 8). False when the digest cannot be computed.
bool DeriveRar3Key(const std::string& password_utf16le, const uint8_t* salt, size_t salt_len,
                   Rar3Key* out);

// Derives the RAR 5 values with 2^log2_count iterations. False for a count above
// 2^kMaxRar5KdfLog2 or when the MAC cannot be computed.
bool DeriveRar5Key(const std::string& password_utf8, const uint8_t salt[16], unsigned log2_count,
                   Rar5Key* out);

}  // namespace rarlib

#endif  // RARLIB_CRYPTO_KDF_H_
