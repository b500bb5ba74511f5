// Key derivation, BLAKE2sp, the RAR 5 check value and MAC forms, the key cache
// and the decrypting byte source, against published vectors and OpenSSL.
#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <cstring>
#include <string>
#include <vector>

#include "rarlib/crypto/aes_cbc.h"
#include "rarlib/crypto/blake2sp.h"
#include "rarlib/crypto/kdf.h"
#include "rarlib/crypto/key_cache.h"
#include "rarlib/crypto/rar5_crypt.h"

namespace rarlib {
namespace {

std::vector<uint8_t> Hex(const std::string& s) {
  std::vector<uint8_t> out;
  for (size_t i = 0; i + 1 < s.size(); i += 2) {
    if (s[i] == ' ') {
      --i;
      continue;
    }
    out.push_back(static_cast<uint8_t>(std::stoi(s.substr(i, 2), nullptr, 16)));
  }
  return out;
}

std::string ToHex(const uint8_t* p, size_t n) {
  static const char* d = "0123456789abcdef";
  std::string s;
  for (size_t i = 0; i < n; ++i) {
    s += d[p[i] >> 4];
    s += d[p[i] & 15];
  }
  return s;
}

TEST(CryptoRar3Kdf, PublishedVectors) {
  struct Case {
    std::string password;
    const char* salt;
    const char* key;
    const char* iv;
  };
  const Case cases[] = {
      {std::string(28, 'p'), "1122334455667788", "ffff33ffaf31987c899ccc2f965a8927",
       "bdff6873721b247afa4f978448a5aeef"},
      // 29 characters with a salt: the hash input passes 64 bytes and gets damaged.
      {std::string(29, 'p'), "1122334455667788", "306cafde28f1ea78c9427c3ec642c0db",
       "173ecdf574c0bfe9e7c23bdfd96fa435"},
      {std::string(127, 'p'), "1122334455667788", "b1bc223609af7d4f3b70e5a254ac2501",
       "302c97945530d7ffa7c551eb2dd21a90"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.password.size());
    Rar3Key k;
    std::vector<uint8_t> salt = Hex(c.salt);
    ASSERT_TRUE(DeriveRar3Key(Rar3PasswordBytes(c.password), salt.data(), salt.size(), &k));
    EXPECT_EQ(ToHex(k.key, 16), c.key);
    EXPECT_EQ(ToHex(k.iv, 16), c.iv);
  }
  // "password" with the 3-byte salt 00FF00: the same as an unsalted derivation
  // of the password bytes followed by those three bytes.
  std::string input = Rar3PasswordBytes("password") + std::string("\x00\xff\x00", 3);
  Rar3Key k;
  ASSERT_TRUE(DeriveRar3Key(input, nullptr, 0, &k));
  EXPECT_EQ(ToHex(k.key, 16), "a160cb31cb262e9231c0b6fc984fbb0d");
  EXPECT_EQ(ToHex(k.iv, 16), "aa54a659fb0c359b30f353a6343fb11d");
}

TEST(CryptoRar3Kdf, PasswordForms) {
  // Non-ASCII text becomes UTF-16LE; characters beyond U+FFFF keep their low
  // 16 bits; 127 characters at most; ill-formed bytes count as U+FFFD.
  EXPECT_EQ(Rar3PasswordBytes("a\xc3\xbc"), std::string("a\0\xfc\0", 4));
  EXPECT_EQ(Rar3PasswordBytes("\xf0\x9f\x98\x80"), std::string("\x00\xf6", 2));
  EXPECT_EQ(Rar3PasswordBytes(std::string(200, 'x')).size(), 254u);
  EXPECT_EQ(Rar3PasswordBytes("\xff"), std::string("\xfd\xff", 2));
  EXPECT_EQ(Rar5PasswordBytes(std::string(100, 'x') + std::string(40, 'y')).size(), 127u);
  EXPECT_EQ(Rar5PasswordBytes(std::string(127, 'x') + "\xc3\xbc"), std::string(127, 'x'));
}

TEST(CryptoRar5Kdf, ArchiveHeaderVector) {
  std::vector<uint8_t> salt = Hex("a798cbfb5c85ea540a42d4d4c2872790");
  Rar5Key k;
  ASSERT_TRUE(DeriveRar5Key("password", salt.data(), 15, &k));
  EXPECT_EQ(ToHex(k.key, 32), "9bd55432715738a0769d0784eb99cf8088e9189ee332f4add2bfeaa2d390ced0");
  EXPECT_EQ(ToHex(k.hash_key, 32),
            "b872e9d4c3c7487317ed2a683a627fb05c5f4fb3e19bff9483212f4a8f28cac7");
  EXPECT_EQ(ToHex(k.check, 8), "1d29a48fc21e63ea");
  EXPECT_FALSE(DeriveRar5Key("password", salt.data(), kMaxRar5KdfLog2 + 1, &k));

  // The encryption header's fields parse to that salt and a valid check value.
  std::vector<uint8_t> fields =
      Hex("00 01 0f a798cbfb5c85ea540a42d4d4c2872790 1d29a48fc21e63ea 4a5f40d3");
  Rar5CryptParams p;
  ASSERT_TRUE(ParseRar5Crypt(fields.data(), fields.size(), false, &p));
  EXPECT_EQ(p.log2_count, 15u);
  EXPECT_TRUE(p.has_check);
  EXPECT_EQ(std::memcmp(p.check, k.check, 8), 0);
  fields.back() ^= 1;  // a damaged check value is treated as absent
  ASSERT_TRUE(ParseRar5Crypt(fields.data(), fields.size(), false, &p));
  EXPECT_FALSE(p.has_check);
  EXPECT_FALSE(ParseRar5Crypt(fields.data(), 10, false, &p));
}

TEST(CryptoRar5Kdf, ChainMatchesSeparatePbkdf2Runs) {
  // The key, MAC key and check source are PBKDF2 outputs after n, n + 16 and
  // n + 32 iterations; a long password exercises the hashed HMAC key.
  for (const std::string& pw : {std::string("pw"), std::string(100, 'k')}) {
    const uint8_t salt[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    Rar5Key k;
    ASSERT_TRUE(DeriveRar5Key(pw, salt, 4, &k));
    uint8_t key[32], hash_key[32];
    ASSERT_EQ(PKCS5_PBKDF2_HMAC(pw.data(), static_cast<int>(pw.size()), salt, 16, 16, EVP_sha256(),
                                32, key),
              1);
    ASSERT_EQ(PKCS5_PBKDF2_HMAC(pw.data(), static_cast<int>(pw.size()), salt, 16, 32, EVP_sha256(),
                                32, hash_key),
              1);
    EXPECT_EQ(ToHex(k.key, 32), ToHex(key, 32));
    EXPECT_EQ(ToHex(k.hash_key, 32), ToHex(hash_key, 32));
  }
}

TEST(CryptoRar5Mac, CrcVector) {
  std::vector<uint8_t> hash_key =
      Hex("29adb79ce960adb7ceb0741e61ad78dcb2a77ab1027fb6e414294a8fc4146f7a");
  uint32_t mac = 0;
  ASSERT_TRUE(Rar5MacCrc(hash_key.data(), 0xc5b7e6a2, &mac));
  EXPECT_EQ(mac, 0xba28eeeau);
}

TEST(CryptoBlake2sp, EmptyAndAnySplit) {
  Blake2sp empty;
  uint8_t d[32];
  empty.Final(d);
  EXPECT_EQ(ToHex(d, 32), "dd0e891776933f43c7d032b08a917e25741f8aa9a12c12e1cac8801500f2ca4f");

  // Feeding the same bytes in odd pieces gives the same digest as one call.
  std::vector<uint8_t> data(5000);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7 + 3);
  for (size_t len : {1u, 64u, 512u, 513u, 5000u}) {
    Blake2sp whole, pieces;
    whole.Update(data.data(), len);
    for (size_t i = 0, step = 1; i < len; i += step, step = step * 3 % 97 + 1) {
      pieces.Update(data.data() + i, std::min(step, len - i));
    }
    uint8_t a[32], b[32];
    whole.Final(a);
    pieces.Final(b);
    EXPECT_EQ(ToHex(a, 32), ToHex(b, 32)) << len;
  }
}

TEST(CryptoKeyCache, OneDerivationPerSaltAndPassword) {
  KeyCache cache;
  const uint8_t salt_a[16] = {1}, salt_b[16] = {2};
  EXPECT_EQ(cache.Rar5(salt_a, 4), nullptr);  // no password yet
  cache.SetPassword("one");
  for (int i = 0; i < 100; ++i) ASSERT_NE(cache.Rar5(salt_a, 4), nullptr);
  EXPECT_EQ(cache.derivations(), 1u);
  Rar5Key first = *cache.Rar5(salt_a, 4);
  cache.Rar5(salt_b, 4);
  cache.Rar5(salt_a, 5);
  EXPECT_EQ(cache.derivations(), 3u);
  cache.SetPassword("one");  // unchanged: keys kept
  cache.Rar5(salt_a, 4);
  EXPECT_EQ(cache.derivations(), 3u);
  cache.SetPassword("two");
  const Rar5Key* second = cache.Rar5(salt_a, 4);
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(cache.derivations(), 4u);
  EXPECT_NE(std::memcmp(first.key, second->key, 32), 0);
  EXPECT_EQ(cache.Rar5(salt_a, kMaxRar5KdfLog2 + 1), nullptr);
}

// The derivation budget: cache hits cost nothing, a refusal leaves the cached
// keys usable and says why it answered null, and a new password starts afresh.
TEST(CryptoKeyCache, BudgetChargesOnlyDerivations) {
  KeyCache cache;
  const uint8_t a[16] = {1}, b[16] = {2};
  const uint8_t s3[8] = {3};
  cache.set_budget(KeyCache::Rar5Cost(4) + KeyCache::kRar3Cost);
  cache.SetPassword("one");
  ASSERT_NE(cache.Rar5(a, 4), nullptr);
  ASSERT_NE(cache.Rar3(s3, 8), nullptr);
  for (int i = 0; i < 10; ++i) ASSERT_NE(cache.Rar5(a, 4), nullptr);
  EXPECT_EQ(cache.spent(), KeyCache::Rar5Cost(4) + KeyCache::kRar3Cost);
  EXPECT_EQ(cache.Rar5(b, 4), nullptr);
  EXPECT_TRUE(cache.refused());
  EXPECT_EQ(cache.Rar3(nullptr, 0), nullptr);  // no salt is a key of its own
  EXPECT_TRUE(cache.refused());
  EXPECT_EQ(cache.derivations(), 2u);
  EXPECT_NE(cache.Rar3(s3, 8), nullptr);
  EXPECT_FALSE(cache.refused());
  EXPECT_EQ(cache.Rar5(a, 25), nullptr);  // beyond the limit, not a refusal
  EXPECT_FALSE(cache.refused());
  cache.SetPassword("two");
  EXPECT_EQ(cache.spent(), 0u);
  // One key beyond the whole budget is still made when it is the first.
  cache.set_budget(1);
  EXPECT_NE(cache.Rar5(b, 4), nullptr);
  EXPECT_EQ(cache.Rar5(a, 4), nullptr);
}

// Hands out the ciphertext in the given piece sizes, as a volume set might.
class PieceSource : public ByteSource {
 public:
  PieceSource(const std::vector<uint8_t>& data, std::vector<size_t> pieces)
      : data_(data), pieces_(std::move(pieces)) {}
  int64_t Read(uint8_t* buf, size_t n) override {
    if (pos_ == data_.size()) return 0;
    size_t want = pieces_.empty() ? n : pieces_[next_++ % pieces_.size()];
    size_t k = std::min({n, want, data_.size() - pos_});
    std::memcpy(buf, data_.data() + pos_, k);
    pos_ += k;
    return static_cast<int64_t>(k);
  }

 private:
  const std::vector<uint8_t>& data_;
  std::vector<size_t> pieces_;
  size_t pos_ = 0, next_ = 0;
};

TEST(CryptoAesDecryptSource, AnySplitOfTheCiphertextAnyReadSize) {
  uint8_t key[32], iv[16];
  for (int i = 0; i < 32; ++i) key[i] = static_cast<uint8_t>(i * 5);
  for (int i = 0; i < 16; ++i) iv[i] = static_cast<uint8_t>(i * 9);
  std::vector<uint8_t> plain(16 * 1000);
  for (size_t i = 0; i < plain.size(); ++i) plain[i] = static_cast<uint8_t>(i ^ (i >> 8));
  for (size_t key_len : {16u, 32u}) {
    std::vector<uint8_t> cipher = plain;
    AesCbc enc;
    ASSERT_TRUE(enc.Init(key, key_len, iv, true));
    ASSERT_TRUE(enc.Run(cipher.data(), cipher.size()));
    const std::vector<std::vector<size_t>> splits = {{}, {1}, {7, 16, 33}, {4096}};
    for (const auto& split : splits) {
      for (size_t read : {1u, 15u, 16u, 100u, 65536u}) {
        PieceSource src(cipher, split);
        AesDecryptSource dec(&src, key, key_len, iv);
        std::vector<uint8_t> out;
        std::vector<uint8_t> buf(read);
        for (int guard = 0; guard < 1 << 20; ++guard) {
          int64_t got = dec.Read(buf.data(), buf.size());
          ASSERT_GE(got, 0);
          if (got == 0) break;
          out.insert(out.end(), buf.begin(), buf.begin() + got);
        }
        EXPECT_EQ(out, plain) << key_len << " " << read << " " << split.size();
      }
    }
    // A truncated final block is dropped, not invented.
    std::vector<uint8_t> cut(cipher.begin(), cipher.end() - 5);
    PieceSource src(cut, {});
    AesDecryptSource dec(&src, key, key_len, iv);
    std::vector<uint8_t> buf(plain.size());
    int64_t total = 0, got;
    while ((got = dec.Read(buf.data() + total, buf.size() - total)) > 0) total += got;
    EXPECT_EQ(total, static_cast<int64_t>(plain.size() - 16));
  }
}

}  // namespace
}  // namespace rarlib
