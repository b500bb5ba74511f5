// ArchOpenFile: the size gate, the two passes, re-opening, and the Empty context after
// every failure.
#include <gtest/gtest.h>

#include <cstring>

#include "plugin/records.h"
#include "tests/plugin/plugin_test_util.h"

namespace plugintest {
namespace {

class OpenFileTest : public ::testing::Test {
 protected:
  testsupport::ScratchDir dir_;
  std::string write(const std::string& name, const Bytes& b) { return dir_.Write(name, b); }
};

TEST_F(OpenFileTest, SizeGateAndUnopenableFiles) {
  const Bytes rar = numberedArchive(1);
  struct Case {
    const char* what;
    Bytes bytes;  // empty: no file at all
    int32_t want;
  } cases[] = {
      {"20 bytes of a RAR archive", Bytes(rar.begin(), rar.begin() + 20), ARCH_E_EMPTY},
      {"21 bytes that are no archive", Bytes(21, 'x'), ARCH_E_OPEN},
      {"missing file", {}, ARCH_E_EMPTY},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string path =
        c.bytes.empty() ? dir_.path() + "/missing.rar" : write("t.rar", c.bytes);
    Ctx ctx;
    std::memset(ctx->flags, 7, sizeof ctx->flags);
    ctx->currentIndex = 5;
    ctx->memberCount = 9;
    EXPECT_EQ(c.want, ArchOpenFile(ctx.get(), W(path).c_str(), 0));
    EXPECT_TRUE(ctx.empty());
    if (c.want == ARCH_E_EMPTY) {
      const uint8_t want[9] = {0, 0, 0, 0, 7, 7, 7, 7, 1};
      EXPECT_EQ(0, std::memcmp(want, ctx->flags, 9));
      EXPECT_EQ(0, ctx->memberCount);
      EXPECT_EQ(5, ctx->currentIndex);  // untouched by the size gate
    }
  }
}

TEST_F(OpenFileTest, OneMemberDescribesItInTheContext) {
  RarWriter w(RarWriter::Format::kRar4);
  w.Authenticity().AddFile("dir/only.txt", "payload");
  const std::string path = write("one.rar", w.Build());
  Ctx ctx;
  ctx->flags[4] = 0x5A;
  ASSERT_EQ(ARCH_OK, ArchOpenFile(ctx.get(), W(path).c_str(), 0));
  EXPECT_EQ(1, ctx->memberCount);
  EXPECT_EQ(0, ctx->currentIndex);
  const uint8_t want[9] = {1, 1, 0, 0, 0x5A, 0, 1, 0, 0};
  EXPECT_EQ(0, std::memcmp(want, ctx->flags, 9));
  EXPECT_EQ("dir/only.txt", ctx.name());
  EXPECT_EQ(7u, ctx->unpackedSize);
  EXPECT_EQ(0x30u, ctx->method);

  ArchClose(ctx.get());  // descriptive fields survive the close, pointers do not
  EXPECT_EQ(1, ctx->flags[0]);
  EXPECT_EQ(1, ctx->memberCount);
  EXPECT_TRUE(ctx.empty());
  EXPECT_EQ(nullptr, ctx->memberName);
}

TEST_F(OpenFileTest, ArchiveWithoutMembersIsEmptyAndLeftEmpty) {
  for (auto f : {RarWriter::Format::kRar4, RarWriter::Format::kRar5}) {
    const std::string path = write("none.rar", RarWriter(f).Build());
    Ctx ctx;
    EXPECT_EQ(ARCH_E_EMPTY, ArchOpenFile(ctx.get(), W(path).c_str(), 0));
    EXPECT_EQ(1, ctx->flags[8]);
    EXPECT_EQ(0, ctx->memberCount);
    EXPECT_TRUE(ctx.empty());
  }
}

TEST_F(OpenFileTest, DuplicateNamesAreAllCounted) {
  RarWriter w(RarWriter::Format::kRar5);
  w.AddFile("a", "1").AddFile("b", "2").AddFile("a", "3");
  Ctx ctx;
  ASSERT_EQ(ARCH_OK, ArchOpenFile(ctx.get(), W(write("dup.rar", w.Build())).c_str(), 0));
  EXPECT_EQ(3, ctx->memberCount);
  EXPECT_EQ(3, ctx->index->count);
}

TEST_F(OpenFileTest, NullArguments) {
  EXPECT_EQ(ARCH_E_FAILED, ArchOpenFile(nullptr, u"/x", 0));
  Ctx ctx;
  ASSERT_EQ(ARCH_OK, ArchOpenFile(ctx.get(), W(write("a.rar", numberedArchive(2))).c_str(), 0));
  EXPECT_EQ(ARCH_E_FAILED, ArchOpenFile(ctx.get(), nullptr, 0));
  EXPECT_TRUE(ctx.empty());  // the old archive is closed
}

TEST_F(OpenFileTest, ReopenKeepsThePasswordAFailedOpenLosesIt) {
  const std::string a = write("a.rar", numberedArchive(2));
  const std::string b = write("b.rar", numberedArchive(3));
  Ctx ctx;
  ASSERT_EQ(ARCH_OK, ArchSetEncryptionKey(ctx.get(), u"s\u00e9cret"));
  ASSERT_EQ(ARCH_OK, ArchOpenFile(ctx.get(), W(a).c_str(), 0));
  ASSERT_EQ(1, ArchNextItem(ctx.get()));
  ASSERT_EQ(ARCH_OK, ArchOpenFile(ctx.get(), W(b).c_str(), 0));
  EXPECT_EQ(3, ctx->memberCount);
  EXPECT_EQ(0, ctx->currentIndex);
  EXPECT_EQ("f0.txt", ctx.name());
  ASSERT_NE(nullptr, ctx->index->password);
  EXPECT_STREQ(
      "s\xc3\xa9"
      "cret",
      ctx->index->password);

  EXPECT_EQ(ARCH_E_EMPTY, ArchOpenFile(ctx.get(), W(dir_.path() + "/gone.rar").c_str(), 0));
  EXPECT_TRUE(ctx.empty());
  ASSERT_EQ(ARCH_OK, ArchOpenFile(ctx.get(), W(a).c_str(), 0));
  EXPECT_EQ(nullptr, ctx->index->password);
}

}  // namespace
}  // namespace plugintest
