// Passwords through the exports, on real archives whose members use two different
// passwords: a wrong password leaves the cursor on the member, the right one then
// extracts it, and the password set before an open (or kept over a re-open) is used.
#include <gtest/gtest.h>

#include <map>

#include "tests/plugin/plugin_test_util.h"

namespace plugintest {
namespace {

class PasswordTest : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    if (!testsupport::CorpusAvailable())
      GTEST_SKIP() << "corpus not found at " << testsupport::CorpusDir();
    path_ = W(testsupport::CorpusDir() + "/" + GetParam());
    for (const auto& m : testsupport::MembersOf(testsupport::LoadExpected(), GetParam())) {
      sha_[m.name] = m.sha256;
    }
    // Members: a.txt (plain), b.txt ("password"), c.txt (plain), d.txt ("password2").
    Ctx probe;
    ArchSetEncryptionKey(probe.get(), u"password");
    std::vector<uint8_t> buf(18);
    if (ArchOpenFile(probe.get(), path_.c_str(), 0) != ARCH_OK ||
        !ArchFindItemByPath(probe.get(), u"b.txt") ||
        ArchReadMemberToBuffer(probe.get(), buf.data(), 18) != ARCH_OK) {
      GTEST_SKIP() << "the engine cannot decrypt " << GetParam() << " yet";
    }
  }
  std::string fileSha(const std::string& path) {
    std::vector<uint8_t> v;
    return testsupport::ReadFile(path, &v) ? testsupport::Sha256Hex(v) : "<missing>";
  }
  std::u16string path_;
  std::map<std::string, std::string> sha_;
  testsupport::ScratchDir dir_;
};

TEST_P(PasswordTest, WrongPasswordKeepsTheCursorTheRightOneExtracts) {
  Ctx ctx;
  ASSERT_EQ(ARCH_OK, ArchSetEncryptionKey(ctx.get(), u"wrong"));
  ASSERT_EQ(ARCH_OK, ArchOpenFile(ctx.get(), path_.c_str(), 0));
  ASSERT_EQ(4, ctx->memberCount);
  EXPECT_EQ(0, ctx->flags[5]);
  std::vector<uint8_t> buf(18);
  ASSERT_EQ(ARCH_OK, ArchReadMemberToBuffer(ctx.get(), buf.data(), 18));  // a.txt, plain
  ASSERT_EQ("b.txt", ctx.name());
  EXPECT_EQ(1, ctx->flags[5]);

  const std::string out = dir_.path() + "/b";
  EXPECT_EQ(ARCH_E_FAILED, ArchReadMemberToFile(ctx.get(), W(out).c_str()));
  EXPECT_EQ(1, ctx->currentIndex);
  ASSERT_EQ(ARCH_OK, ArchSetEncryptionKey(ctx.get(), u"password"));
  ASSERT_EQ(ARCH_OK, ArchReadMemberToFile(ctx.get(), W(out).c_str()));
  EXPECT_EQ(sha_["b.txt"], fileSha(out));
  EXPECT_EQ(2, ctx->currentIndex);

  ASSERT_EQ(3, ArchNextItem(ctx.get()));  // d.txt, whose password differs
  EXPECT_EQ(ARCH_E_FAILED, ArchReadMemberToBuffer(ctx.get(), buf.data(), 18));
  EXPECT_EQ(3, ctx->currentIndex);
  ASSERT_EQ(ARCH_OK, ArchSetEncryptionKey(ctx.get(), u"password2"));
  ASSERT_EQ(ARCH_OK, ArchReadMemberToBuffer(ctx.get(), buf.data(), 18));
  EXPECT_EQ(sha_["d.txt"], testsupport::Sha256Hex(buf));
  EXPECT_EQ(4, ctx->currentIndex);

  // A re-open keeps the password held last.
  ASSERT_EQ(ARCH_OK, ArchOpenFile(ctx.get(), path_.c_str(), 0));
  ASSERT_TRUE(ArchFindItemByPath(ctx.get(), u"d.txt"));
  ASSERT_EQ(ARCH_OK, ArchReadMemberToBuffer(ctx.get(), buf.data(), 18));
  EXPECT_EQ(sha_["d.txt"], testsupport::Sha256Hex(buf));
}

INSTANTIATE_TEST_SUITE_P(Corpus, PasswordTest,
                         ::testing::Values("libarchive_test_read_format_rar4_encrypted.rar",
                                           "libarchive_test_read_format_rar5_encrypted.rar"));

}  // namespace
}  // namespace plugintest
