// Block parsers and name decoding on hand-made bytes: malformed and hostile
// headers are refused with ERAR_BAD_DATA, never trusted.
#include <gtest/gtest.h>
#include <zlib.h>

#include "rarlib/parser.h"
#include "rarlib/rar.h"
#include "rarlib/text.h"
#include "tests/support/rar_writer.h"

namespace {

using testsupport::Bytes;
using testsupport::Put16;
using testsupport::Put32;

const Bytes kRar4Sig = {0x52, 0x61, 0x72, 0x21, 0x1A, 0x07, 0x00};
const Bytes kRar5Sig = {0x52, 0x61, 0x72, 0x21, 0x1A, 0x07, 0x01, 0x00};

// A RAR 4 block with a correct CRC; `size` overrides HEAD_SIZE.
Bytes Rar4Block(uint8_t type, uint16_t flags, const Bytes& body, int size = -1) {
  Bytes h = {0, 0, type};
  Put16(&h, flags);
  Put16(&h, size >= 0 ? static_cast<uint32_t>(size) : static_cast<uint32_t>(7 + body.size()));
  h.insert(h.end(), body.begin(), body.end());
  uint32_t crc = crc32(0, h.data() + 2, static_cast<uInt>(h.size() - 2));
  h[0] = static_cast<uint8_t>(crc);
  h[1] = static_cast<uint8_t>(crc >> 8);
  return h;
}

Bytes Rar4Archive(const Bytes& blocks) {
  Bytes a = kRar4Sig;
  Bytes main = Rar4Block(0x73, 0, Bytes(6, 0));
  a.insert(a.end(), main.begin(), main.end());
  a.insert(a.end(), blocks.begin(), blocks.end());
  return a;
}

// A RAR 4 file header body: sizes, name size, then `name`.
Bytes Rar4FileBody(uint32_t pack, uint32_t unp, uint16_t name_size, const std::string& name,
                   const Bytes& high = {}) {
  Bytes b;
  Put32(&b, pack);
  Put32(&b, unp);
  b.push_back(0);     // host
  Put32(&b, 0);       // crc
  Put32(&b, 0);       // time
  b.push_back(29);    // version
  b.push_back(0x30);  // method
  Put16(&b, name_size);
  Put32(&b, 0x20);    // attributes
  b.insert(b.end(), high.begin(), high.end());
  b.insert(b.end(), name.begin(), name.end());
  return b;
}

// A RAR 5 block: CRC, size vint, then `body` (type, flags, fields).
Bytes Rar5Block(const Bytes& body) {
  Bytes sized;
  testsupport::PutVint(&sized, body.size());
  sized.insert(sized.end(), body.begin(), body.end());
  Bytes h;
  Put32(&h, crc32(0, sized.data(), static_cast<uInt>(sized.size())));
  h.insert(h.end(), sized.begin(), sized.end());
  return h;
}

Bytes Rar5Archive(const Bytes& blocks) {
  Bytes a = kRar5Sig;
  Bytes main = Rar5Block({1, 0, 0});
  a.insert(a.end(), main.begin(), main.end());
  a.insert(a.end(), blocks.begin(), blocks.end());
  return a;
}

// Opens `archive` and reads the block after the main header.
int ReadFirstBlock(const Bytes& archive, rarlib::Block* b) {
  rarlib::MemoryAccess mem(archive.data(), archive.size());
  uint64_t sig = 0;
  rarlib::ArchiveFormat f = rarlib::FindSignature(mem, &sig);
  auto parser = rarlib::MakeParser(f);
  if (!parser) return -1;
  uint64_t first = 0;
  int rc = parser->OpenVolume(mem, sig, &first);
  if (rc != 0) return rc;
  return parser->ReadBlock(mem, first, b);
}

TEST(ParserTest, ValidBlocksParse) {
  rarlib::Block b;
  ASSERT_EQ(ReadFirstBlock(Rar4Archive(Rar4Block(0x74, 0x8000, Rar4FileBody(0, 3, 3, "abc"))), &b), 0);
  EXPECT_EQ(b.kind, rarlib::BlockKind::kFile);
  EXPECT_EQ(b.name, u"abc");
  EXPECT_EQ(b.unp_size, 3u);
  // file flags 0, size 3, attr 0, compression 0, host 0, name "xy"
  ASSERT_EQ(ReadFirstBlock(Rar5Archive(Rar5Block({2, 0, 0, 3, 0, 0, 0, 2, 'x', 'y'})), &b), 0);
  EXPECT_EQ(b.kind, rarlib::BlockKind::kFile);
  EXPECT_EQ(b.name, u"xy");
  EXPECT_EQ(b.unp_size, 3u);
}

TEST(ParserTest, MalformedHeadersAreRefused) {
  struct Case {
    const char* what;
    Bytes archive;
  };
  Bytes oversize5 = kRar5Sig;
  oversize5.insert(oversize5.end(), {0, 0, 0, 0, 0x80, 0x80, 0x80, 0x01});  // 4-byte size vint
  Bytes huge5 = kRar5Sig;
  huge5.insert(huge5.end(), {0, 0, 0, 0, 0xFF, 0xFF, 0x7F});  // ~2 MiB + more
  const Case kCases[] = {
      {"rar4 head size below 7", Rar4Archive(Rar4Block(0x7A, 0, {}, 5))},
      {"rar4 file header too short", Rar4Archive(Rar4Block(0x74, 0x8000, Bytes(20, 0)))},
      {"rar4 name beyond header", Rar4Archive(Rar4Block(0x74, 0x8000, Rar4FileBody(0, 0, 200, "abc")))},
      {"rar4 64-bit size overflow",
       Rar4Archive(Rar4Block(0x74, 0x8100, Rar4FileBody(0xFFFFFFFF, 0, 1, "a", Bytes(8, 0xFF))))},
      {"rar4 header cut by end of file", Rar4Archive(Bytes{1, 2, 3, 4, 5, 6, 7, 8})},
      {"rar5 size vint longer than 3 bytes", oversize5},
      {"rar5 header beyond 2 MiB", huge5},
      {"rar5 name beyond header", Rar5Archive(Rar5Block({2, 0, 0, 3, 0, 0, 0, 90, 'x'}))},
      {"rar5 extra area larger than header", Rar5Archive(Rar5Block({2, 1, 50, 0, 0, 0, 0, 0, 0}))},
      {"rar5 data size above 2^63",
       Rar5Archive(Rar5Block({2, 2, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x01, 0, 0, 0, 0, 0, 0}))},
  };
  for (const Case& c : kCases) {
    rarlib::Block b;
    EXPECT_EQ(ReadFirstBlock(c.archive, &b), ERAR_BAD_DATA) << c.what;
  }
}

TEST(ParserTest, Rar4UnicodeNameOperations) {
  // Legacy part "abcdef"; encoded: high byte 0x04, then ops 3 (copy 3 legacy
  // bytes), 1 (0x10 + high), 0 (plain byte), 3 with correction (2 units, +1);
  // copies read the field at the position of the unit being produced.
  const uint8_t field[] = {'a', 'b', 'c', 'd', 'e', 'f', 0, 0x04, 0xD3, 0x01, 0x10, '!', 0x80, 0x01};
  std::u16string name = rarlib::DecodeRar4UnicodeName(field, sizeof field, field + 7, sizeof field - 7);
  EXPECT_EQ(name, std::u16string(u"abc\u0410!") + char16_t{0x0400 + 'f' + 1} + char16_t{0x0400 + 0 + 1});
  // A two-byte literal cut short ends the name quietly.
  const uint8_t cut[] = {'x', 0, 0x00, 0x80, 0x41};
  EXPECT_EQ(rarlib::DecodeRar4UnicodeName(cut, sizeof cut, cut + 2, 3), u"");
}

}  // namespace
