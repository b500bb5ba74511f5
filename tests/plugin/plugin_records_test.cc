// ArchInit, ArchClose, the unsupported operations and fillMemberFields.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "platform/utf.h"
#include "plugin/arcunpack.h"
#include "plugin/records.h"
#include "ubl/memory.h"
#include "ubl/temp_path.h"

namespace {

bool exists(const char16_t* path) {
  char narrow[4096];
  platWideToUtf8(path, narrow, sizeof narrow);
  struct stat st;
  return stat(narrow, &st) == 0;
}

TEST(ArchInitTest, FillsTheThreeValuesEveryTime) {
  EXPECT_EQ(ARCH_OK, ArchInit(nullptr));
  for (int round = 0; round < 2; ++round) {
    ArchInitInfo info;
    std::memset(&info, 0xAB, sizeof info);
    EXPECT_EQ(ARCH_OK, ArchInit(&info));
    EXPECT_EQ(57u, info.value1);
    EXPECT_EQ(1612u, info.value2);
    EXPECT_EQ(1u, info.value3);
  }
}

TEST(UnsupportedTest, AlwaysAnswer34) {
  ArchContext ctx = {};
  EXPECT_EQ(ARCH_E_UNSUPPORTED, ArchRemoveMember(nullptr, nullptr));
  EXPECT_EQ(ARCH_E_UNSUPPORTED, ArchRemoveMember(&ctx, u"a"));
  EXPECT_EQ(ARCH_E_UNSUPPORTED, ArchWriteMemberFromBuffer(nullptr, nullptr, nullptr, 0));
  EXPECT_EQ(ARCH_E_UNSUPPORTED, ArchWriteMemberFromBuffer(&ctx, u"a", "x", 1));
  EXPECT_EQ(ARCH_E_UNSUPPORTED, ArchWriteMemberFromFile(nullptr, nullptr, nullptr));
  EXPECT_EQ(ARCH_E_UNSUPPORTED, ArchWriteMemberFromFile(&ctx, u"a", u"/nonexistent"));
}

TEST(ArchCloseTest, NullEmptyAndRepeatedAreHarmless) {
  EXPECT_EQ(ARCH_OK, ArchClose(nullptr));
  ArchContext ctx = {};
  EXPECT_EQ(ARCH_OK, ArchClose(&ctx));
  EXPECT_EQ(ARCH_OK, ArchClose(&ctx));
  ArchContext zero = {};
  EXPECT_EQ(0, std::memcmp(&zero, &ctx, sizeof ctx));
}

// Builds the "open" picture by hand: a state with records, a full index with a
// password, and optionally a spill holder.
void attachOpenArchive(ArchContext* ctx) {
  ctx->state = new RarState;
  ctx->index = new MemberIndex;
  ASSERT_TRUE(memberIndexAppend(ctx->index, u"a.txt"));
  ASSERT_TRUE(memberIndexAppend(ctx->index, u"dir/\u00e9.bin"));
  ctx->index->password = ublWideToNarrowDup(u"secret");
  ctx->memberCount = ctx->index->count;
  ctx->currentIndex = 1;
}

TEST(ArchCloseTest, ReleasesEverythingAndKeepsDescriptiveFields) {
  ArchContext ctx = {};
  attachOpenArchive(&ctx);
  fillMemberFields(&ctx, ctx.state);
  ctx.flags[0] = ctx.flags[1] = 1;
  ctx.method = 0x33;
  ctx.unpackedSize = 77;
  ArchContext before = ctx;

  EXPECT_EQ(ARCH_OK, ArchClose(&ctx));
  EXPECT_EQ(nullptr, ctx.state);
  EXPECT_EQ(nullptr, ctx.spill);
  EXPECT_EQ(nullptr, ctx.index);
  EXPECT_EQ(nullptr, ctx.memberName);
  EXPECT_EQ(0, std::memcmp(before.flags, ctx.flags, sizeof ctx.flags));
  EXPECT_EQ(0x33u, ctx.method);
  EXPECT_EQ(2, ctx.memberCount);
  EXPECT_EQ(1, ctx.currentIndex);
  EXPECT_EQ(77u, ctx.unpackedSize);
}

TEST(ArchCloseTest, DeletesOnlyAGeneratedTemporaryFile) {
  char16_t* generated = ublGenTempW(nullptr, nullptr, u"ZRAR", u"OPEN");
  ASSERT_NE(nullptr, generated);
  std::u16string generatedCopy = generated;
  ArchContext ctx = {};
  attachOpenArchive(&ctx);
  ctx.spill = new TempFileHolder;
  ctx.spill->path = generated;
  ASSERT_TRUE(exists(generatedCopy.c_str()));
  EXPECT_EQ(ARCH_OK, ArchClose(&ctx));
  EXPECT_FALSE(exists(generatedCopy.c_str()));

  // A caller-supplied temporary path is not recorded and survives the close.
  char16_t* callers = ublGenTempW(nullptr, nullptr, u"ZRAR", u"OPEN");
  ASSERT_NE(nullptr, callers);
  ArchContext other = {};
  other.spill = new TempFileHolder;
  EXPECT_EQ(ARCH_OK, ArchClose(&other));
  EXPECT_EQ(nullptr, other.spill);
  EXPECT_TRUE(exists(callers));
  ublDeleteFileW(callers);
  ublFreeTempPath(callers);
}

TEST(ArchCloseTest, PasswordOnlyIndexIsReleased) {
  ArchContext ctx = {};
  ctx.index = new MemberIndex;
  ctx.index->password = ublWideToNarrowDup(u"pw");
  EXPECT_EQ(ARCH_OK, ArchClose(&ctx));
  EXPECT_EQ(nullptr, ctx.index);
}

TEST(FillMemberFieldsTest, DescribesTheCurrentMember) {
  struct {
    unsigned headerFlags, archiveFlags;
    int32_t memberCount;
    uint8_t expected[9];  // position 4 is never written: stays 0xEE
  } cases[] = {
      {0, 0, 3, {1, 1, 0, 0, 0xEE, 0, 0, 0, 0}},
      {RHDF_ENCRYPTED, 0, 3, {1, 1, 0, 0, 0xEE, 1, 0, 0, 0}},
      {RHDF_ENCRYPTED | RHDF_SOLID, ROADF_SIGNED | ROADF_SOLID, 1,
       {1, 1, 0, 0, 0xEE, 1, 1, 0, 0}},
      {0, ROADF_SIGNED, 0, {1, 1, 0, 0, 0xEE, 0, 1, 0, 1}},
      {0, 0, -1, {1, 1, 0, 0, 0xEE, 0, 0, 0, 0}},  // compared as unsigned
  };
  for (const auto& c : cases) {
    ArchContext ctx;
    std::memset(&ctx, 0xEE, sizeof ctx);
    ctx.memberCount = c.memberCount;
    ctx.currentIndex = 5;
    RarState state;
    state.handle = reinterpret_cast<RARHANDLE>(&state);  // any live handle
    state.headerRecord.Flags = c.headerFlags;
    state.openRecord.Flags = c.archiveFlags;
    state.headerRecord.Method = 0x35;
    state.headerRecord.UnpSize = 0xFFFFFFFFu;
    state.headerRecord.UnpSizeHigh = 1;  // sizes report modulo 2^32
    std::memcpy(state.headerRecord.FileNameW, u"m.txt", sizeof u"m.txt");

    EXPECT_EQ(ARCH_OK, fillMemberFields(&ctx, &state));
    EXPECT_EQ(0, std::memcmp(c.expected, ctx.flags, 9)) << c.headerFlags << "/" << c.archiveFlags;
    EXPECT_EQ(0x35u, ctx.method);
    EXPECT_EQ(0xFFFFFFFFu, ctx.unpackedSize);
    EXPECT_EQ(state.headerRecord.FileNameW, ctx.memberName);
    EXPECT_EQ(5, ctx.currentIndex);
    EXPECT_EQ(c.memberCount, ctx.memberCount);
  }
}

TEST(MemberIndexTest, GrowsAndKeepsOrder) {
  MemberIndex* index = new MemberIndex;
  for (int i = 0; i < 100; ++i) {
    std::u16string name = u"n" + std::u16string(size_t(i % 7), u'x');
    ASSERT_TRUE(memberIndexAppend(index, name.c_str()));
  }
  EXPECT_EQ(100, index->count);
  EXPECT_EQ(std::u16string(u"nxxxxxx"), std::u16string(index->names[6]));
  EXPECT_EQ(std::u16string(u"n"), std::u16string(index->names[98]));
  memberIndexClearNames(index);
  EXPECT_EQ(0, index->count);
  EXPECT_TRUE(memberIndexAppend(index, u"again"));
  memberIndexDestroy(index);
}

}  // namespace
