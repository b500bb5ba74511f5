// Results a host meets only when memory runs out, as docs/host-api.md lists them:
// ArchOpenFile answers ARCH_STAT_ERR_FAILED when its own records cannot be made, and
// ArchOpenBuffer and ArchOpenStream answer ARCH_STAT_ERR_NO_MEMORY when the record of
// their temporary file cannot be made. Each leaves the context as documented. (Where
// the other results of that table are produced is listed in the document.)
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <new>

#include "stream/memory_stream.h"
#include "tests/plugin/plugin_test_util.h"

namespace {

// The next `n`-th nothrow allocation of this program fails when n > 0; inert otherwise.
std::atomic<int> gFailNothrowNewIn{0};

}  // namespace

void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  if (gFailNothrowNewIn.load() > 0 && gFailNothrowNewIn.fetch_sub(1) == 1) return nullptr;
  try {
    return ::operator new(size);
  } catch (...) {
    return nullptr;
  }
}

namespace plugintest {
namespace {

bool fatal(int32_t rc) { return (uint32_t(rc) & 0xC0000000u) == 0x80000000u; }

class OutOfMemoryTest : public ::testing::Test {
 protected:
  void TearDown() override { gFailNothrowNewIn = 0; }
  testsupport::ScratchDir dir_;
  TempFolder temp_;
  const std::string path_ = dir_.Write("three.rar", numberedArchive(3));
};

TEST_F(OutOfMemoryTest, OpenFileWithoutMemoryForItsRecordsFailsAndForgetsThePassword) {
  Ctx ctx;
  ASSERT_EQ(ARCH_OK, ArchSetEncryptionKey(ctx.get(), u"secret"));
  gFailNothrowNewIn = 1;
  const int32_t rc = ArchOpenFile(ctx.get(), W(path_).c_str(), 0);
  EXPECT_EQ(0, gFailNothrowNewIn.load()) << "the open made no nothrow allocation";
  EXPECT_EQ(ARCH_STAT_ERR_FAILED, rc);
  EXPECT_TRUE(fatal(rc));
  EXPECT_TRUE(ctx.empty());  // as after ArchClose: no archive, no password
  EXPECT_EQ(nullptr, ctx->memberName);

  ASSERT_EQ(ARCH_OK, ArchOpenFile(ctx.get(), W(path_).c_str(), 0));  // memory back: fine
  EXPECT_EQ(3, ctx->memberCount);
}

TEST_F(OutOfMemoryTest, SpillWithoutMemoryLeavesTheOpenArchiveAlone) {
  Ctx ctx;
  ASSERT_EQ(ARCH_OK, ArchOpenFile(ctx.get(), W(path_).c_str(), 0));
  ASSERT_EQ(1, ArchNextItem(ctx.get()));
  const Bytes other = numberedArchive(5);
  cMemoryStream host(1024, -1);
  struct Case {
    const char* what;
    int32_t (*call)(ArchContext*, const Bytes&, cAbstractStream*);
  } cases[] = {
      {"buffer",
       [](ArchContext* c, const Bytes& b, cAbstractStream*) {
         return ArchOpenBuffer(c, b.data(), uint32_t(b.size()), 0, nullptr);
       }},
      {"stream", [](ArchContext* c, const Bytes&, cAbstractStream* s) {
         return ArchOpenStream(c, s, nullptr);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    gFailNothrowNewIn = 1;
    const int32_t rc = c.call(ctx.get(), other, &host);
    EXPECT_EQ(ARCH_STAT_ERR_NO_MEMORY, rc);
    EXPECT_TRUE(fatal(rc));
    EXPECT_TRUE(temp_.spills().empty());
    EXPECT_EQ(1, ctx->currentIndex);
    EXPECT_EQ(3, ctx->memberCount);
    EXPECT_EQ("f1.txt", ctx.name());
  }
  char buf[9];
  ASSERT_EQ(ARCH_OK, ArchReadMemberToBuffer(ctx.get(), buf, sizeof buf));
  EXPECT_EQ(0, std::memcmp(buf, "content 1", 9));
}

}  // namespace
}  // namespace plugintest
