// Archives whose headers are encrypted, through the exports: without a key the
// list pass finds no member (ARCH_E_EMPTY, nothing read, nothing broken); with the key set before
// the open every member is listed and extracts to its expected bytes.
#include <gtest/gtest.h>

#include "tests/plugin/plugin_test_util.h"

namespace plugintest {
namespace {

TEST(EncryptedHeadersTest, KeyBeforeOpenListsAndExtractsEverything) {
  if (!testsupport::CorpusAvailable())
    GTEST_SKIP() << "corpus not found at " << testsupport::CorpusDir();
  const auto expected = testsupport::LoadExpected();
  int archives = 0;
  for (const auto& a : testsupport::LoadManifest()) {
    if (!a.enc_headers || a.oracle_result != "OK" || a.files.size() != 1) continue;
    SCOPED_TRACE(a.name());
    const auto want = testsupport::MembersOf(expected, a.name());
    const std::u16string path = W(testsupport::OpenPath(a));

    Ctx locked;
    EXPECT_EQ(ARCH_E_EMPTY, ArchOpenFile(locked.get(), path.c_str(), 0));
    EXPECT_EQ(0, locked->memberCount);

    Ctx ctx;
    ASSERT_EQ(ARCH_OK, ArchSetEncryptionKey(ctx.get(), W(a.password).c_str()));
    ASSERT_EQ(ARCH_OK, ArchOpenFile(ctx.get(), path.c_str(), 0));
    ASSERT_EQ(static_cast<int>(want.size()), ctx->memberCount);
    for (size_t i = 0; i < want.size(); ++i) {
      EXPECT_EQ(want[i].name, ctx.name());
      if (want[i].type == "file" && want[i].sha256 != "-") {
        std::vector<uint8_t> buf(want[i].unp_size);
        ASSERT_EQ(ARCH_OK, ArchReadMemberToBuffer(ctx.get(), buf.data(), buf.size())) << i;
        EXPECT_EQ(want[i].sha256, testsupport::Sha256Hex(buf)) << i;
      } else if (i + 1 < want.size()) {
        ASSERT_GE(ArchNextItem(ctx.get()), 0);
      }
    }
    ++archives;
  }
  EXPECT_GE(archives, 5);
}

}  // namespace
}  // namespace plugintest
