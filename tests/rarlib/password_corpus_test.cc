// Encrypted archives of the corpus: every member extracts to its expected
// SHA-256 with the right password (data-encrypted and header-encrypted, RAR 3
// and RAR 5, solid ones included); without a password nothing is listed from
// encrypted headers and encrypted data answers ERAR_MISSING_PASSWORD.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "rarlib/rar.h"
#include "tests/support/archive_reader.h"
#include "tests/support/corpus.h"

namespace {

using testsupport::CorpusArchive;
using testsupport::CorpusMember;

std::string FirstPassword(const CorpusArchive& a) {
  return a.password.substr(0, a.password.find(';'));
}

bool Extractable(const CorpusMember& m) {
  return m.type == "file" && m.sha256 != "-" &&
         (m.status == "OK" || m.status.rfind("WARN", 0) == 0);
}

std::vector<CorpusArchive> EncryptedArchives() {
  std::vector<CorpusArchive> out;
  for (const auto& a : testsupport::LoadManifest()) {
    if (a.password != "-" && a.oracle_result != "ERR") out.push_back(a);
  }
  return out;
}

TEST(PasswordCorpus, EveryEncryptedMemberExtractsWithItsPassword) {
  if (!testsupport::CorpusAvailable())
    GTEST_SKIP() << "corpus not present at " << testsupport::CorpusDir();
  const auto expected = testsupport::LoadExpected();
  int checked = 0, undecodable = 0;
  for (const auto& a : EncryptedArchives()) {
    const auto want = testsupport::MembersOf(expected, a.name());
    RARHANDLE h = testsupport::OpenForExtract(testsupport::OpenPath(a));
    ASSERT_NE(h, nullptr) << a.name();
    RARSetPassword(h, FirstPassword(a).c_str());
    RARHeaderDataEx hd;
    for (size_t i = 0; i < want.size(); ++i) {
      const CorpusMember& w = want[i];
      ASSERT_EQ(RARReadHeaderEx(h, &hd), 0) << a.name() << " #" << i;
      EXPECT_EQ(testsupport::Utf16ToUtf8(hd.FileNameW), w.name) << a.name() << " #" << i;
      if (w.password != "-") RARSetPassword(h, w.password.c_str());
      if (!Extractable(w)) {
        RARProcessFileW(h, RAR_SKIP, nullptr, nullptr);
        continue;
      }
      std::vector<uint8_t> out;
      int rc = testsupport::ExtractToMemory(h, &out);
      if (rc == ERAR_UNKNOWN_FORMAT) {  // a decoder this build does not have yet
        ++undecodable;
        RARProcessFileW(h, RAR_SKIP, nullptr, nullptr);
        continue;
      }
      EXPECT_EQ(rc, 0) << a.name() << " #" << i << " " << w.name;
      EXPECT_EQ(testsupport::Sha256Hex(out), w.sha256) << a.name() << " #" << i << " " << w.name;
      ++checked;
    }
    RARCloseArchive(h);
  }
  std::printf("encrypted members checked: %d, not decodable yet: %d\n", checked, undecodable);
  EXPECT_GT(checked, 20);
}

TEST(PasswordCorpus, WithoutPasswordNothingLeaksAndNothingBreaks) {
  if (!testsupport::CorpusAvailable())
    GTEST_SKIP() << "corpus not present at " << testsupport::CorpusDir();
  const auto expected = testsupport::LoadExpected();
  for (const auto& a : EncryptedArchives()) {
    RARHANDLE h = testsupport::OpenForExtract(testsupport::OpenPath(a));
    ASSERT_NE(h, nullptr) << a.name();
    RARHeaderDataEx hd;
    if (a.enc_headers) {
      EXPECT_EQ(RARReadHeaderEx(h, &hd), ERAR_MISSING_PASSWORD) << a.name();
      RARCloseArchive(h);
      continue;
    }
    for (const auto& w : testsupport::MembersOf(expected, a.name())) {
      ASSERT_EQ(RARReadHeaderEx(h, &hd), 0) << a.name();
      int rc = RARProcessFileW(h, RAR_TEST, nullptr, nullptr);
      if (hd.Flags & RHDF_ENCRYPTED && (hd.Flags & RHDF_DIRECTORY) != RHDF_DIRECTORY) {
        EXPECT_EQ(rc, ERAR_MISSING_PASSWORD) << a.name() << " " << w.name;
      }
    }
    EXPECT_EQ(RARReadHeaderEx(h, &hd), ERAR_END_ARCHIVE) << a.name();
    RARCloseArchive(h);
  }
}

}  // namespace
