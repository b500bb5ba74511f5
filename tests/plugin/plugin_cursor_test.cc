// The cursor and the name lookups: ArchNextItem, ArchFindItemByPath, ArchDoesMemberExist,
// and ArchSetEncryptionKey on its own.
#include <gtest/gtest.h>

#include "plugin/name_lookup.h"
#include "plugin/records.h"
#include "tests/plugin/plugin_test_util.h"

namespace plugintest {
namespace {

class CursorTest : public ::testing::Test {
 protected:
  testsupport::ScratchDir dir_;
  Ctx ctx_;
  void open(const Bytes& archive) {
    ASSERT_EQ(ARCH_OK, ArchOpenFile(ctx_.get(), W(dir_.Write("c.rar", archive)).c_str(), 0));
  }
};

TEST_F(CursorTest, NextItemCountsPastTheEnd) {
  open(numberedArchive(3));
  EXPECT_EQ(1, ArchNextItem(ctx_.get()));
  EXPECT_EQ("f1.txt", ctx_.name());
  EXPECT_EQ(2, ArchNextItem(ctx_.get()));
  EXPECT_EQ(3, ArchNextItem(ctx_.get()));  // == memberCount: the host stops here
  EXPECT_EQ("f2.txt", ctx_.name());        // the last member is repeated
  EXPECT_EQ(4, ArchNextItem(ctx_.get()));
  Ctx closed;
  EXPECT_EQ(ARCH_NO_ITEM, ArchNextItem(closed.get()));
  EXPECT_EQ(ARCH_NO_ITEM, ArchNextItem(nullptr));
}

TEST_F(CursorTest, FindItemMovesOnlyForwardToTheFirstOfAName) {
  RarWriter w(RarWriter::Format::kRar5);
  for (const char* n : {"m0", "m1", "m2", "dup", "m4", "m5", "m0"}) w.AddFile(n, n);
  open(w.Build());
  struct Step {
    const char16_t* name;
    bool found;
    int32_t cursorAfter;
  } steps[] = {
      {u"m0", true, 0},   // at the cursor: no move
      {u"m2", true, 2},   // ahead
      {u"m1", false, 2},  // behind
      {u"m0", false, 2},  // behind, although a later member has the same name
      {u"M4", false, 2},  // no case folding
      {u"nope", false, 2}, {u"dup", true, 3}, {u"m5", true, 5},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(testsupport::Utf16ToUtf8(s.name));
    EXPECT_EQ(s.found, ArchFindItemByPath(ctx_.get(), s.name) != 0);
    EXPECT_EQ(s.cursorAfter, ctx_->currentIndex);
  }
  EXPECT_EQ("m5", ctx_.name());
  EXPECT_EQ(2u, ctx_->unpackedSize);
}

TEST_F(CursorTest, DoesMemberExistSeesEveryNameAndNeverMoves) {
  RarWriter w(RarWriter::Format::kRar4);
  w.AddFile("a.txt", "1").AddFile("sub/b.txt", "2").AddFile("c.txt", "3");
  open(w.Build());
  ASSERT_EQ(1, ArchNextItem(ctx_.get()));
  ASSERT_EQ(2, ArchNextItem(ctx_.get()));
  EXPECT_TRUE(ArchDoesMemberExist(ctx_.get(), u"a.txt"));
  EXPECT_TRUE(ArchDoesMemberExist(ctx_.get(), u"sub/b.txt"));
  EXPECT_FALSE(ArchDoesMemberExist(ctx_.get(), u"A.TXT"));
  EXPECT_FALSE(ArchDoesMemberExist(ctx_.get(), u"sub\\b.txt"));
  EXPECT_FALSE(ArchDoesMemberExist(ctx_.get(), nullptr));
  EXPECT_FALSE(ArchDoesMemberExist(nullptr, u"a.txt"));
  EXPECT_EQ(2, ctx_->currentIndex);
}

TEST(PasswordOnlyTest, KeyOnAnEmptyContextMakesAnIndexWithoutNames) {
  Ctx ctx;
  EXPECT_EQ(ARCH_E_FAILED, ArchSetEncryptionKey(nullptr, u"x"));
  EXPECT_EQ(ARCH_E_FAILED, ArchSetEncryptionKey(ctx.get(), nullptr));
  ASSERT_EQ(ARCH_OK, ArchSetEncryptionKey(ctx.get(), u"one"));
  ASSERT_EQ(ARCH_OK, ArchSetEncryptionKey(ctx.get(), u""));  // replaces; empty means none
  ASSERT_NE(nullptr, ctx->index);
  EXPECT_STREQ("", ctx->index->password);
  EXPECT_EQ(nullptr, ctx->state);
  EXPECT_FALSE(ArchFindItemByPath(ctx.get(), u""));
  EXPECT_FALSE(ArchDoesMemberExist(ctx.get(), u""));
  const char16_t unpaired[] = {u'a', 0xD800, 0};
  EXPECT_EQ(ARCH_E_FAILED, ArchSetEncryptionKey(ctx.get(), unpaired));
  EXPECT_EQ(nullptr, ctx->index->password);  // no password held afterwards
}

TEST(NameLookupTest, AnswersTheFirstPositionOfAnExactName) {
  const char16_t* names[] = {u"a", u"b", u"a", u"", u"B", u"\u00e9"};
  NameLookup lookup;
  for (int i = 0; i < 6; ++i) ASSERT_TRUE(lookup.add(names[i], i));
  EXPECT_EQ(0, lookup.find(u"a"));
  EXPECT_EQ(1, lookup.find(u"b"));
  EXPECT_EQ(3, lookup.find(u""));
  EXPECT_EQ(4, lookup.find(u"B"));
  EXPECT_EQ(5, lookup.find(u"\u00e9"));
  EXPECT_EQ(-1, lookup.find(u"e\u0301"));  // no normalisation
  EXPECT_EQ(-1, lookup.find(u"a "));
  EXPECT_EQ(-1, lookup.find(nullptr));
}

// 100,000 members: every lookup answers like a search from member 0, and the whole run
// stays fast only because a lookup does not walk the names.
TEST_F(CursorTest, LookupsOnAHundredThousandMembers) {
  constexpr int kMembers = 100000;
  RarWriter w(RarWriter::Format::kRar5);
  for (int i = 0; i < kMembers; ++i) w.AddFile("d/" + std::to_string(i % (kMembers - 1)), "");
  open(w.Build());
  ASSERT_EQ(kMembers, ctx_->memberCount);
  for (int i = kMembers - 1; i >= 0; --i) {
    ASSERT_TRUE(
        ArchDoesMemberExist(ctx_.get(), W("d/" + std::to_string(i % (kMembers - 1))).c_str()));
  }
  EXPECT_FALSE(ArchDoesMemberExist(ctx_.get(), u"d/100000"));
  // The duplicate of member 0 sits last; looking it up from 0 finds member 0 itself.
  EXPECT_TRUE(ArchFindItemByPath(ctx_.get(), u"d/0"));
  EXPECT_EQ(0, ctx_->currentIndex);
  EXPECT_TRUE(ArchFindItemByPath(ctx_.get(), u"d/99998"));
  EXPECT_EQ(kMembers - 2, ctx_->currentIndex);
}

}  // namespace
}  // namespace plugintest
