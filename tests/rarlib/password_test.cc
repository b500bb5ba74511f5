// Passwords through the archive interface on writer fixtures: missing, wrong
// and right passwords for AES-encrypted data and headers of both formats, the
// retry of a failed member, damaged ciphertext, hostile KDF parameters, the
// handle's key-derivation budget; and the retry inside solid encrypted archives
// of the corpus.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <zlib.h>

#include <algorithm>
#include <string>
#include <vector>

#include "rarlib/archive.h"
#include "rarlib/rar.h"
#include "tests/support/archive_reader.h"
#include "tests/support/corpus.h"
#include "tests/support/rar_writer.h"

namespace {

using testsupport::Bytes;
using testsupport::RarEntry;
using testsupport::RarPassword;
using testsupport::RarWriter;

RARHANDLE Open(const std::string& path, RAROpenArchiveDataEx* d) {
  return testsupport::OpenArchive(path, RAR_OM_EXTRACT, d);
}

// Extracts the current member to the callback; the return code and the bytes.
int Extract(RARHANDLE h, std::string* out) {
  std::vector<uint8_t> bytes;
  int rc = testsupport::ExtractToMemory(h, &bytes);
  out->assign(bytes.begin(), bytes.end());
  return rc;
}

std::pair<int64_t, int64_t> Where(RARHANDLE h) {
  int64_t cur = 0, next = 0;
  RARGetBlockPositions(h, &cur, &next);
  return {cur, next};
}

bool Exists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

RarPassword Secret(RarWriter::Format f) {
  RarPassword p;
  p.password = "s\xc3\xa9same";  // non-ASCII on purpose
  p.salt = f == RarWriter::Format::kRar4 ? Bytes{1, 2, 3, 4, 5, 6, 7, 8}
                                         : Bytes{9, 8, 7, 6, 5, 4, 3, 2, 1, 0, 1, 2, 3, 4, 5, 6};
  return p;
}

const std::vector<std::string> kContents = {"first member, encrypted",
                                            std::string(70000, 'x') + "end", ""};

Bytes BuildEncrypted(RarWriter::Format f, bool headers, const RarPassword& p) {
  RarWriter w(f);
  for (size_t i = 0; i < kContents.size(); ++i) {
    RarEntry e;
    e.name = "m" + std::to_string(i) + ".txt";
    e.data.assign(kContents[i].begin(), kContents[i].end());
    testsupport::EncryptEntry(&e, f, p);
    w.Add(std::move(e));
  }
  if (headers) testsupport::EncryptHeaders(&w, f, p);
  return w.Build();
}

struct Variant {
  RarWriter::Format format;
  bool headers;
  const char* label;
};
const Variant kVariants[] = {
    {RarWriter::Format::kRar4, false, "RAR 4 data"},
    {RarWriter::Format::kRar4, true, "RAR 4 headers"},
    {RarWriter::Format::kRar5, false, "RAR 5 data"},
    {RarWriter::Format::kRar5, true, "RAR 5 headers"},
};

TEST(Password, RightPasswordExtractsEveryMember) {
  testsupport::ScratchDir dir;
  for (const Variant& v : kVariants) {
    SCOPED_TRACE(v.label);
    std::string path = dir.Write("a.rar", BuildEncrypted(v.format, v.headers, Secret(v.format)));
    RAROpenArchiveDataEx d;
    RARHANDLE h = Open(path, &d);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ((d.Flags & ROADF_ENCHEADERS) != 0, v.headers);
    RARSetPassword(h, Secret(v.format).password.c_str());
    RARHeaderDataEx hd;
    for (const std::string& want : kContents) {
      ASSERT_EQ(RARReadHeaderEx(h, &hd), 0);
      EXPECT_TRUE(hd.Flags & RHDF_ENCRYPTED);
      EXPECT_EQ(hd.UnpSize, want.size());
      std::string got;
      EXPECT_EQ(Extract(h, &got), 0);
      EXPECT_EQ(got, want);
    }
    EXPECT_EQ(RARReadHeaderEx(h, &hd), ERAR_END_ARCHIVE);
    RARCloseArchive(h);
  }
}

TEST(Password, MissingPasswordListsDataButNotHeaders) {
  testsupport::ScratchDir dir;
  for (const Variant& v : kVariants) {
    SCOPED_TRACE(v.label);
    std::string path = dir.Write("a.rar", BuildEncrypted(v.format, v.headers, Secret(v.format)));
    RAROpenArchiveDataEx d;
    RARHANDLE h = Open(path, &d);
    ASSERT_NE(h, nullptr) << d.OpenResult;
    RARHeaderDataEx hd;
    if (v.headers) {
      EXPECT_EQ(RARReadHeaderEx(h, &hd), ERAR_MISSING_PASSWORD);
      EXPECT_EQ(RARReadHeaderEx(h, &hd), ERAR_MISSING_PASSWORD);  // nothing moved
    } else {
      ASSERT_EQ(RARReadHeaderEx(h, &hd), 0);
      const std::string dest = dir.path() + "/out";
      std::u16string dest16 = testsupport::Utf8ToUtf16(dest);
      EXPECT_EQ(RARProcessFileW(h, RAR_EXTRACT, nullptr, dest16.c_str()), ERAR_MISSING_PASSWORD);
      EXPECT_FALSE(Exists(dest));
      // Without a password a failure moves on as usual.
      ASSERT_EQ(RARReadHeaderEx(h, &hd), 0);
      EXPECT_EQ(testsupport::Utf16ToUtf8(hd.FileNameW), "m1.txt");
    }
    // The password can come later; headers are then read from where they stood.
    RARSetPassword(h, Secret(v.format).password.c_str());
    if (v.headers) {
      ASSERT_EQ(RARReadHeaderEx(h, &hd), 0);
      EXPECT_EQ(testsupport::Utf16ToUtf8(hd.FileNameW), "m0.txt");
    }
    std::string got;
    EXPECT_EQ(Extract(h, &got), 0);
    RARCloseArchive(h);
  }
}

// A wrong password fails the member (RAR 5 by its check value before any data
// is read and before a destination is created; RAR 4 by its CRC), the handle
// stays on the member, and the right password then extracts it.
TEST(Password, WrongPasswordThenRightOneOnTheSameMember) {
  testsupport::ScratchDir dir;
  for (const Variant& v : kVariants) {
    SCOPED_TRACE(v.label);
    const bool rar5 = v.format == RarWriter::Format::kRar5;
    std::string path = dir.Write("a.rar", BuildEncrypted(v.format, v.headers, Secret(v.format)));
    RAROpenArchiveDataEx d;
    RARHANDLE h = Open(path, &d);
    ASSERT_NE(h, nullptr);
    RARHeaderDataEx hd;
    if (v.headers) {
      RARSetPassword(h, "wrong");
      EXPECT_EQ(RARReadHeaderEx(h, &hd), ERAR_BAD_PASSWORD);
    }
    RARSetPassword(h, Secret(v.format).password.c_str());
    ASSERT_EQ(RARReadHeaderEx(h, &hd), 0);
    ASSERT_EQ(RARReadHeaderEx(h, &hd), 0);  // m1, 70 KB
    ASSERT_EQ(testsupport::Utf16ToUtf8(hd.FileNameW), "m1.txt");
    RARSetPassword(h, "wrong");  // data keys come from the member's own parameters
    const auto before = Where(h);
    const std::string dest = dir.path() + "/" + v.label;
    std::u16string dest16 = testsupport::Utf8ToUtf16(dest);
    int rc = RARProcessFileW(h, RAR_EXTRACT, nullptr, dest16.c_str());
    EXPECT_EQ(rc, rar5 ? ERAR_BAD_PASSWORD : ERAR_BAD_DATA);
    if (rar5) {
      EXPECT_FALSE(Exists(dest));
    }
    EXPECT_EQ(Where(h), before);
    std::string got;
    EXPECT_NE(Extract(h, &got), 0);  // still wrong, still here
    EXPECT_EQ(Where(h), before);
    RARSetPassword(h, Secret(v.format).password.c_str());
    EXPECT_EQ(Extract(h, &got), 0);
    EXPECT_EQ(got, kContents[1]);
    ASSERT_EQ(RARReadHeaderEx(h, &hd), 0);
    EXPECT_EQ(testsupport::Utf16ToUtf8(hd.FileNameW), "m2.txt");
    RARCloseArchive(h);
  }
}

// Damaged ciphertext fails the (MAC-converted) checksum; the handle stays put.
TEST(Password, DamagedCiphertextFailsTheCheck) {
  testsupport::ScratchDir dir;
  for (RarWriter::Format f : {RarWriter::Format::kRar4, RarWriter::Format::kRar5}) {
    RarWriter w(f);
    RarEntry e;
    e.name = "m.txt";
    e.data.assign(100, 'q');
    testsupport::EncryptEntry(&e, f, Secret(f));
    (*e.packed)[40] ^= 1;
    w.Add(std::move(e));
    std::string path = dir.Write("a.rar", w.Build());
    RAROpenArchiveDataEx d;
    RARHANDLE h = Open(path, &d);
    ASSERT_NE(h, nullptr);
    RARSetPassword(h, Secret(f).password.c_str());
    RARHeaderDataEx hd;
    ASSERT_EQ(RARReadHeaderEx(h, &hd), 0);
    EXPECT_EQ(RARProcessFileW(h, RAR_TEST, nullptr, nullptr), ERAR_BAD_DATA);
    RARCloseArchive(h);
  }
}

// Hostile RAR 5 parameters: an absurd iteration count or an unknown version is
// refused at once (no 2^40 rounds), and a broken check value is ignored.
TEST(Password, HostileRar5Parameters) {
  testsupport::ScratchDir dir;
  const RarWriter::Format f = RarWriter::Format::kRar5;
  struct Case {
    const char* label;
    size_t byte;  // offset in the record body to change
    uint8_t value;
    int want;
  };
  // Record body: version, flags, count, salt (16), IV (16), check (12).
  const Case cases[] = {
      {"count 40", 2, 40, ERAR_UNKNOWN_FORMAT},
      {"version 1", 0, 1, ERAR_UNKNOWN_FORMAT},
      {"check sum broken", 3 + 32 + 9, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    RarWriter w(f);
    RarEntry e;
    e.name = "m.txt";
    e.data.assign(50, 'z');
    testsupport::EncryptEntry(&e, f, Secret(f));
    e.crypt[c.byte] = c.value == 0 ? static_cast<uint8_t>(e.crypt[c.byte] ^ 0xFF) : c.value;
    w.Add(std::move(e));
    std::string path = dir.Write("a.rar", w.Build());
    RAROpenArchiveDataEx d;
    RARHANDLE h = Open(path, &d);
    ASSERT_NE(h, nullptr);
    RARSetPassword(h, Secret(f).password.c_str());
    RARHeaderDataEx hd;
    ASSERT_EQ(RARReadHeaderEx(h, &hd), 0);
    EXPECT_EQ(RARProcessFileW(h, RAR_TEST, nullptr, nullptr), c.want);
    RARCloseArchive(h);
  }
  // The same count in the encryption header: the archive is refused at open.
  RarWriter w(f);
  w.AddFile("a.txt", "a");
  RarPassword cheap = Secret(f);
  testsupport::EncryptHeaders(&w, f, cheap);
  Bytes archive = w.Build();
  // Encryption header: CRC (4), size, type 4, flags 0, version 0, flags, count.
  const size_t count_at = 8 + 4 + 1 + 1 + 1 + 1 + 1;
  ASSERT_EQ(archive[count_at], 4);
  archive[count_at] = 40;
  // Re-stamp the header's CRC so only the count is hostile.
  const size_t size = archive[12];
  const uint32_t crc = static_cast<uint32_t>(crc32(0, &archive[12], static_cast<uInt>(1 + size)));
  for (int i = 0; i < 4; ++i) archive[8 + i] = static_cast<uint8_t>(crc >> (8 * i));
  std::string path = dir.Write("b.rar", archive);
  RAROpenArchiveDataEx d;
  EXPECT_EQ(Open(path, &d), nullptr);
  EXPECT_EQ(d.OpenResult, static_cast<unsigned>(ERAR_UNKNOWN_FORMAT));
}

// Members with their own salts, keyed under a lowered derivation budget: the
// first key is always made, a key over the budget is refused as unsupported
// (not as a wrong password) on every try, and members whose keys are cached
// still decode afterwards.
TEST(Password, DerivationBudgetRefusesFreshSaltsNotCachedKeys) {
  testsupport::ScratchDir dir;
  const RarWriter::Format f = RarWriter::Format::kRar5;
  const unsigned count = 6;
  const uint64_t one = rarlib::KeyCache::Rar5Cost(count);
  const uint8_t salts[] = {1, 2, 3, 1};  // the last member shares the first one's salt
  RarWriter w(f);
  for (size_t i = 0; i < sizeof salts; ++i) {
    RarPassword p = Secret(f);
    p.log2_count = count;
    p.salt.assign(16, salts[i]);
    RarEntry e;
    e.name = "m" + std::to_string(i);
    e.data.assign(100 + i, static_cast<char>('a' + i));
    testsupport::EncryptEntry(&e, f, p);
    w.Add(std::move(e));
  }
  const std::string path = dir.Write("salts.rar", w.Build());
  const int kNo = ERAR_UNKNOWN_FORMAT;
  struct Case {
    uint64_t budget;
    int want[4];
  };
  const Case cases[] = {
      {rarlib::KeyCache::kDefaultBudget, {0, 0, 0, 0}},
      {2 * one, {0, 0, kNo, 0}},
      {1, {0, kNo, kNo, 0}},  // below one key: the first is still made
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.budget);
    rarlib::Archive a;
    RAROpenArchiveDataEx d = RAROpenArchiveDataEx();
    ASSERT_EQ(a.Open(path, RAR_OM_EXTRACT, &d), 0);
    a.set_kdf_budget(c.budget);
    a.SetPassword(Secret(f).password.c_str());
    RARHeaderDataEx hd;
    for (int i = 0; i < 4; ++i) {
      SCOPED_TRACE(i);
      ASSERT_EQ(a.ReadHeader(&hd), 0);
      EXPECT_EQ(a.ProcessFile(RAR_TEST, nullptr, nullptr), c.want[i]);
      // The refusal holds on a retry; the handle stays on the member.
      if (c.want[i] != 0) {
        EXPECT_EQ(a.ProcessFile(RAR_TEST, nullptr, nullptr), c.want[i]);
      }
    }
    EXPECT_EQ(a.ReadHeader(&hd), ERAR_END_ARCHIVE);
  }
}

// RAR 4 headers each carry their own salt: a header whose key the budget
// refuses ends the walk with ERAR_BAD_DATA, after the members before it.
TEST(Password, DerivationBudgetEndsTheWalkAtAnEncryptedHeader) {
  testsupport::ScratchDir dir;
  const RarWriter::Format f = RarWriter::Format::kRar4;
  // The same plain members under two header salts; encrypted headers keep
  // their sizes, so the second archive's tail fits the first one's head.
  auto build = [&](uint8_t salt, std::vector<size_t>* offsets) {
    RarWriter w(f);
    for (int i = 0; i < 3; ++i) w.AddFile("m" + std::to_string(i), std::string(20, 'x'));
    RarPassword p = Secret(f);
    p.salt.assign(8, salt);
    testsupport::EncryptHeaders(&w, f, p);
    Bytes b = w.Build();
    *offsets = w.header_offsets();
    return b;
  };
  std::vector<size_t> offsets, ignored;
  Bytes archive = build(1, &offsets);
  const Bytes other = build(2, &ignored);
  ASSERT_EQ(archive.size(), other.size());
  std::copy(other.begin() + static_cast<long>(offsets[2]), other.end(),
            archive.begin() + static_cast<long>(offsets[2]));
  const std::string path = dir.Write("headers.rar", archive);
  for (uint64_t budget : {rarlib::KeyCache::kDefaultBudget, uint64_t{1}}) {
    SCOPED_TRACE(budget);
    rarlib::Archive a;
    RAROpenArchiveDataEx d = RAROpenArchiveDataEx();
    ASSERT_EQ(a.Open(path, RAR_OM_EXTRACT, &d), 0);
    a.set_kdf_budget(budget);
    a.SetPassword(Secret(f).password.c_str());
    RARHeaderDataEx hd;
    for (int i = 0; i < 2; ++i) {
      ASSERT_EQ(a.ReadHeader(&hd), 0);
      EXPECT_EQ(a.ProcessFile(RAR_TEST, nullptr, nullptr), 0);
    }
    const bool capped = budget == 1;
    EXPECT_EQ(a.ReadHeader(&hd), capped ? ERAR_BAD_DATA : 0);
    if (!capped) {
      EXPECT_EQ(a.ProcessFile(RAR_TEST, nullptr, nullptr), 0);
    }
    EXPECT_EQ(a.ReadHeader(&hd), capped ? ERAR_BAD_DATA : ERAR_END_ARCHIVE);
  }
}

// In a solid encrypted archive, a member that failed with a wrong password
// extracts after the right one is set: the run is decoded again up to it.
TEST(Password, SolidRunRecoversAfterWrongPassword) {
  if (!testsupport::CorpusAvailable())
    GTEST_SKIP() << "corpus not present at " << testsupport::CorpusDir();
  const auto expected = testsupport::LoadExpected();
  int checked = 0;
  for (const auto& a : testsupport::LoadManifest()) {
    if (!a.solid || a.password == "-" || a.oracle_result != "OK") continue;
    const auto want = testsupport::MembersOf(expected, a.name());
    if (want.size() < 3 || want.back().sha256 == "-") continue;
    SCOPED_TRACE(a.name());
    RAROpenArchiveDataEx d;
    std::string path = testsupport::OpenPath(a);
    RARHANDLE h = Open(path, &d);
    ASSERT_NE(h, nullptr);
    RARSetPassword(h, a.password.c_str());
    RARHeaderDataEx hd;
    std::string got;
    for (size_t i = 0; i + 1 < want.size(); ++i) {
      ASSERT_EQ(RARReadHeaderEx(h, &hd), 0);
      ASSERT_EQ(Extract(h, &got), 0) << i;
    }
    ASSERT_EQ(RARReadHeaderEx(h, &hd), 0);
    const auto before = Where(h);
    RARSetPassword(h, "not the password");
    EXPECT_NE(Extract(h, &got), 0);
    EXPECT_EQ(Where(h), before);
    RARSetPassword(h, a.password.c_str());
    EXPECT_EQ(Extract(h, &got), 0);
    EXPECT_EQ(testsupport::Sha256Hex(reinterpret_cast<const uint8_t*>(got.data()), got.size()),
              want.back().sha256);
    RARCloseArchive(h);
    ++checked;
  }
  EXPECT_GE(checked, 2);
}

}  // namespace
