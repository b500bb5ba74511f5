// Old-format members of the shared corpus, extracted through the archive
// interface: RAR 1.4 archives, RAR 1.5 and RAR 2.0 members (LZ and multimedia,
// plain and under the legacy ciphers), and PPMd streams that stress the model's
// memory (smallest and largest model sizes, hostile variants). Members the
// reference decodes must give the expected SHA-256; members it rejects must fail
// with ERAR_BAD_DATA, without crash or hang.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <set>
#include <string>

#include "rarlib/rar.h"
#include "tests/support/archive_reader.h"
#include "tests/support/corpus.h"

namespace {

// RAR 2.9 archives whose members are PPMd streams worth running end to end.
const std::set<std::string> kPpmArchives = {
    "junrar_preserved-maxmb0.rar",        "junrar_legit-maxmb63.rar",
    "junrar_hostile-maxmb255.rar",        "junrar_hostile-ppm-decodechar.rar",
    "junrar_hostile-ppm-ps-collect.rar",  "junrar_hostile-ppm-ps-count.rar",
    "junrar_hostile-ppm-ps-mask.rar",
};

bool Wanted(const testsupport::CorpusArchive& a, const testsupport::CorpusMember& m) {
  if (a.format == "RAR14" || kPpmArchives.count(a.name())) return true;
  bool legacy = m.unp_ver == 13 || m.unp_ver == 15 || m.unp_ver == 20 || m.unp_ver == 26;
  return legacy && (m.method != 48 || m.encrypted);
}

TEST(LegacyCorpus, MembersMatchExpectedHashes) {
  if (!testsupport::CorpusAvailable()) {
    GTEST_SKIP() << "corpus not present at " << testsupport::CorpusDir();
  }
  std::vector<testsupport::CorpusMember> all = testsupport::LoadExpected();
  size_t checked = 0, failed_as_expected = 0;
  for (const testsupport::CorpusArchive& a : testsupport::LoadManifest()) {
    std::map<int, testsupport::CorpusMember> members;
    for (const testsupport::CorpusMember& m : testsupport::MembersOf(all, a.name())) {
      if (Wanted(a, m) && m.type == "file" && m.split.find('B') == std::string::npos) members[m.index] = m;
    }
    if (members.empty()) continue;
    SCOPED_TRACE(a.name());
    std::string path = testsupport::OpenPath(a);
    RAROpenArchiveDataEx open;
    RARHANDLE h = testsupport::OpenArchive(path, RAR_OM_EXTRACT, &open);
    ASSERT_NE(h, nullptr) << "open failed: " << open.OpenResult;
    testsupport::HashSink hash;
    hash.Attach(h);
    RARHeaderDataEx hd;
    size_t reached = 0;
    for (int index = 0; RARReadHeaderEx(h, &hd) == ERAR_SUCCESS; ++index) {
      auto it = members.find(index);
      if (it == members.end()) {
        if (RARProcessFileW(h, RAR_SKIP, nullptr, nullptr) != ERAR_SUCCESS) break;
        continue;
      }
      const testsupport::CorpusMember& m = it->second;
      SCOPED_TRACE(m.name);
      ASSERT_EQ(testsupport::Utf16ToUtf8(hd.FileNameW), m.name);
      ++reached;
      RARSetPassword(h, m.password == "-" ? "" : m.password.c_str());
      hash.Start();
      int rc = RARProcessFileW(h, RAR_EXTRACT, nullptr, nullptr);
      if (m.status == "OK" || m.status.rfind("WARN", 0) == 0) {
        EXPECT_EQ(rc, ERAR_SUCCESS);
        EXPECT_EQ(hash.size(), m.unp_size);
        EXPECT_EQ(hash.Hex(), m.sha256);
        ++checked;
      } else {
        EXPECT_EQ(rc, ERAR_BAD_DATA) << "reference: " << m.status;
        ++failed_as_expected;
      }
      EXPECT_LE(hash.size(), m.unp_size);
    }
    RARCloseArchive(h);
    EXPECT_EQ(reached, members.size()) << "members not reached";
  }
  EXPECT_GT(checked, 15u);
  EXPECT_GT(failed_as_expected, 3u);
}

// A wrong password under a legacy cipher has no check value: the member decodes
// to garbage and fails its checksum, and the same member extracts with the
// right password afterwards.
TEST(LegacyCorpus, WrongPasswordFailsTheChecksum) {
  if (!testsupport::CorpusAvailable()) GTEST_SKIP() << "corpus not present";
  for (const char* name : {"junrar_rar14-password-stored.rar", "junrar_rar14-password-compressed.rar",
                           "junrar_rar15-password-compressed.rar", "junrar_rar20-password-compressed.rar"}) {
    SCOPED_TRACE(name);
    std::string path = testsupport::CorpusDir() + "/" + name;
    RAROpenArchiveDataEx open;
    RARHANDLE h = testsupport::OpenArchive(path, RAR_OM_EXTRACT, &open);
    ASSERT_NE(h, nullptr);
    testsupport::HashSink hash;
    hash.Attach(h);
    RARHeaderDataEx hd;
    ASSERT_EQ(RARReadHeaderEx(h, &hd), ERAR_SUCCESS);
    EXPECT_EQ(RARProcessFileW(h, RAR_TEST, nullptr, nullptr), ERAR_MISSING_PASSWORD);
    RARCloseArchive(h);

    h = RAROpenArchiveEx(&open);
    ASSERT_NE(h, nullptr);
    hash.Attach(h);
    RARSetPassword(h, "wrong");
    ASSERT_EQ(RARReadHeaderEx(h, &hd), ERAR_SUCCESS);
    hash.Start();
    EXPECT_EQ(RARProcessFileW(h, RAR_TEST, nullptr, nullptr), ERAR_BAD_DATA);
    EXPECT_LE(hash.size(), 87u);
    RARCloseArchive(h);
  }
}

// Every byte of small RAR 1.4 archives flipped in turn: headers without any check
// and data under the legacy cipher must never crash, hang or over-deliver.
TEST(LegacyCorpus, Rar14SurvivesEveryByteFlip) {
  if (!testsupport::CorpusAvailable()) GTEST_SKIP() << "corpus not present";
  const std::string path = std::string(ARCUNPACK_BUILD_DIR) + "/legacy_flip.rar";
  for (const char* name : {"junrar_rar14-password-compressed.rar", "junrar_rar14-password-stored.rar"}) {
    std::vector<uint8_t> base;
    ASSERT_TRUE(testsupport::ReadFile(testsupport::CorpusDir() + "/" + name, &base));
    for (size_t i = 0; i < base.size(); ++i) {
      std::vector<uint8_t> b = base;
      b[i] ^= 0xFF;
      std::ofstream(path, std::ios::binary | std::ios::trunc)
          .write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
      RARHANDLE h = testsupport::OpenForExtract(path);
      if (h == nullptr) continue;
      testsupport::HashSink hash;
      hash.Attach(h);
      RARSetPassword(h, "password");
      RARHeaderDataEx hd;
      for (int n = 0; n < 10 && RARReadHeaderEx(h, &hd) == ERAR_SUCCESS; ++n) {
        hash.Start();
        RARProcessFileW(h, RAR_EXTRACT, nullptr, nullptr);
        EXPECT_LE(hash.size(), hd.UnpSize) << name << " byte " << i;
      }
      RARCloseArchive(h);
    }
  }
  std::remove(path.c_str());
}

}  // namespace
