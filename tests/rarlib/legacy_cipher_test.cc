// Legacy ciphers against known keys and plaintexts, and the decrypting source's
// handling of reads that split blocks.
#include "rarlib/legacy/legacy_cipher.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/rarlib/decoder_test_util.h"

namespace rarlib {
namespace {

std::vector<uint8_t> Hex(const std::string& s) {
  std::vector<uint8_t> v;
  for (size_t i = 0; i + 1 < s.size(); i += 2) v.push_back(static_cast<uint8_t>(std::stoi(s.substr(i, 2), nullptr, 16)));
  return v;
}

TEST(LegacyCipher, KnownAnswers) {
  struct {
    LegacyCipher kind;
    std::string password;
    std::string cipher_hex;
    std::string plain_hex;
  } kCases[] = {
      // Zero bytes decrypt to the keystream (negated for RAR 1.3).
      {LegacyCipher::kRar13, "abc", "00000000000000000000000000000000", "2315b0f4e177b69e2f694cd80deb72a2"},
      {LegacyCipher::kRar15, "abc", "00000000000000000000000000000000", "fdba8b6197e7b70832f745b9c16df7b0"},
      {LegacyCipher::kRar20, "abc", "00000000000000000000000000000000", "118bea0dc560434fd2351cd6756d4b65"},
      // Data of real archives: "RAR 1.5 and 2.0 legacy cipher fi".
      {LegacyCipher::kRar13, "password", "21A99071D25C2D1FA432E69DE7580CEB", "52415220312E3520616E6420322E3020"},
      {LegacyCipher::kRar15, "password", "119DCDD01FA8E8A809787B80DF8E633E", "52415220312E3520616E6420322E3020"},
      {LegacyCipher::kRar20, "password",
       "2D422AE3E5206E813239C637F0AEFF180D6266BB652BFBEB7F4618B0EC235A44",
       "52415220312E3520616E6420322E30206C656761637920636970686572206669"},
      // Only the first 127 password bytes count.
      {LegacyCipher::kRar20, std::string(127, 'x') + "tail", "00000000000000000000000000000000", ""},
  };
  for (auto& c : kCases) {
    SCOPED_TRACE(c.password.substr(0, 10));
    std::vector<uint8_t> data = Hex(c.cipher_hex);
    LegacyCipherState s(c.kind, c.password);
    s.Decrypt(data.data(), data.size());
    if (c.plain_hex.empty()) {
      std::vector<uint8_t> ref = Hex(c.cipher_hex);
      LegacyCipherState(c.kind, std::string(127, 'x')).Decrypt(ref.data(), ref.size());
      EXPECT_EQ(data, ref);
    } else {
      EXPECT_EQ(data, Hex(c.plain_hex));
    }
  }
  // The fixed key of packed RAR 1.4 comments.
  std::vector<uint8_t> zeros(8, 0);
  LegacyCipherState::Rar13WithKey(0, 7, 77).Decrypt(zeros.data(), zeros.size());
  EXPECT_EQ(zeros, Hex("ac0b1de25a8563f4"));
}

using ChunkSource = decodetest::MemSource;

TEST(LegacyCipher, SourceReassemblesBlocksAcrossShortReads) {
  std::vector<uint8_t> plain(1000);
  for (size_t i = 0; i < plain.size(); ++i) plain[i] = static_cast<uint8_t>(i * 7);
  for (LegacyCipher kind : {LegacyCipher::kRar13, LegacyCipher::kRar15, LegacyCipher::kRar20}) {
    for (size_t chunk : {1u, 7u, 16u, 4096u}) {
      std::vector<uint8_t> enc = plain;
      LegacyCipherState(kind, "pw").Encrypt(enc.data(), enc.size());
      // The block cipher's data ends in a whole block; a stray tail is dropped.
      size_t whole = kind == LegacyCipher::kRar20 ? 992 : 1000;
      ChunkSource raw(enc, chunk);
      LegacyDecryptSource src(&raw, kind, "pw");
      std::vector<uint8_t> out;
      uint8_t buf[37];
      for (int64_t got; (got = src.Read(buf, sizeof buf)) > 0;) out.insert(out.end(), buf, buf + got);
      EXPECT_EQ(out, std::vector<uint8_t>(plain.begin(), plain.begin() + whole))
          << static_cast<int>(kind) << " chunk " << chunk;
    }
  }
}

}  // namespace
}  // namespace rarlib
