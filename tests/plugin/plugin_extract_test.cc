// Extraction of the member at the cursor: the memory target's chunk rule, the buffer and
// file targets, how the cursor follows the engine, and directories over existing files.
#include <gtest/gtest.h>

#include <cstring>

#include "plugin/memory_target.h"
#include "plugin/records.h"
#include "tests/plugin/plugin_test_util.h"

namespace plugintest {
namespace {

TEST(MemoryTargetTest, CopiesWholeBlocksWhileTheyFitAndDropsTheRestWhole) {
  struct Case {
    uint32_t room;
    std::vector<std::string> blocks;
    std::string want;  // buffer contents; '.' marks bytes never written
  } cases[] = {
      {10, {"abcd", "efghijkl", "mno", "pqr"}, "abcdmnopqr"},  // too-big block dropped
      {10, {"abcdefghij"}, "abcdefghij"},                      // exact fit
      {10, {"abcdefghijk"}, ".........."},                     // never cut
      {4, {"", "ab", "", "cd", "e"}, "abcd"},
      {0, {"a"}, ""},
  };
  for (const Case& c : cases) {
    std::string buf(c.room + 1, '.');  // one guard byte past the room
    MemoryTarget t{reinterpret_cast<uint8_t*>(&buf[0]), c.room};
    for (const std::string& b : c.blocks) {
      EXPECT_EQ(1, memoryTargetDeliver(&t, reinterpret_cast<const uint8_t*>(b.data()), b.size()));
    }
    EXPECT_EQ(c.want + ".", buf);
  }
}

class ExtractTest : public ::testing::Test {
 protected:
  testsupport::ScratchDir dir_;
  Ctx ctx_;
  void open(const Bytes& archive) {
    ASSERT_EQ(ARCH_OK, ArchOpenFile(ctx_.get(), W(dir_.Write("x.rar", archive)).c_str(), 0));
  }
  std::string out(const std::string& name) { return dir_.path() + "/" + name; }
};

TEST_F(ExtractTest, BufferThenFileThenTheLastMember) {
  open(numberedArchive(3));
  std::string buf(9, '?');
  ASSERT_EQ(ARCH_OK, ArchReadMemberToBuffer(ctx_.get(), &buf[0], 9));
  EXPECT_EQ("content 0", buf);
  EXPECT_EQ(1, ctx_->currentIndex);
  EXPECT_EQ("f1.txt", ctx_.name());

  ASSERT_EQ(ARCH_OK, ArchReadMemberToFile(ctx_.get(), W(out("one")).c_str()));
  EXPECT_EQ("content 1", fileText(out("one")));
  EXPECT_EQ("content 0", buf);  // the earlier buffer is not written again

  // The last member: the failing header read after it is normal.
  char small[4] = {'#', '#', '#', '#'};
  ASSERT_EQ(ARCH_OK, ArchReadMemberToBuffer(ctx_.get(), small, sizeof small));
  EXPECT_EQ(0, std::memcmp(small, "####", 4));  // 9 bytes do not fit: dropped, not cut
  EXPECT_EQ(3, ctx_->currentIndex);
  EXPECT_EQ("f2.txt", ctx_.name());
  EXPECT_EQ(ARCH_E_FAILED, ArchReadMemberToBuffer(ctx_.get(), small, 0));  // nothing left
}

TEST_F(ExtractTest, RefusedArguments) {
  char b[4];
  Ctx closed;
  EXPECT_EQ(ARCH_E_FAILED, ArchReadMemberToBuffer(nullptr, b, 4));
  EXPECT_EQ(ARCH_E_FAILED, ArchReadMemberToBuffer(closed.get(), b, 4));
  EXPECT_EQ(ARCH_E_FAILED, ArchReadMemberToFile(closed.get(), W(out("z")).c_str()));
  open(numberedArchive(1));
  EXPECT_EQ(ARCH_E_FAILED, ArchReadMemberToBuffer(ctx_.get(), nullptr, 4));
  EXPECT_EQ(ARCH_E_FAILED, ArchReadMemberToFile(ctx_.get(), nullptr));
  EXPECT_EQ(0, ctx_->currentIndex);
  EXPECT_EQ(ARCH_OK, ArchReadMemberToBuffer(ctx_.get(), b, 0));  // size 0: clean, nothing kept
}

// Members followed by their own service blocks (a stream after the first, a recovery
// record after the last) extract with ARCH_OK and move the cursor, to a file and to a
// buffer alike.
TEST_F(ExtractTest, ServiceBlocksAfterAMemberBelongToIt) {
  for (auto f : {RarWriter::Format::kRar4, RarWriter::Format::kRar5}) {
    RarWriter w(f);
    testsupport::RarEntry first;
    first.name = "with-stream.txt";
    first.data = bytesOf("first");
    first.services.push_back({"STM", bytesOf("alternate stream"), true});
    w.Add(first).AddFile("last.txt", "second");
    w.Trailer({"RR", Bytes(64, 0x11), false});
    open(w.Build());
    ASSERT_EQ(ARCH_OK, ArchReadMemberToFile(ctx_.get(), W(out("first")).c_str()));
    EXPECT_EQ("first", fileText(out("first")));
    EXPECT_EQ(1, ctx_->currentIndex);
    EXPECT_EQ("last.txt", ctx_.name());
    ASSERT_EQ(ARCH_OK, ArchReadMemberToFile(ctx_.get(), W(out("last")).c_str()));
    EXPECT_EQ("second", fileText(out("last")));
    EXPECT_EQ(2, ctx_->currentIndex);

    open(w.Build());
    char buf[8];
    ASSERT_EQ(ARCH_OK, ArchReadMemberToBuffer(ctx_.get(), buf, sizeof buf));
    ASSERT_EQ(ARCH_OK, ArchReadMemberToBuffer(ctx_.get(), buf, sizeof buf));
    EXPECT_EQ(2, ctx_->currentIndex);
  }
}

// A member whose data fails its check (no password set): the engine moves past it, so
// the cursor follows with ARCH_E_FAILED, for a buffer as for a file, and the next member
// extracts normally.
TEST_F(ExtractTest, AFailedMemberStillMovesTheCursorWhenTheEngineMovedOn) {
  RarWriter w(RarWriter::Format::kRar4);
  testsupport::RarEntry bad;
  bad.name = "bad.txt";
  bad.data = bytesOf("damaged");
  bad.crc = 0x12345678;
  w.Add(bad).AddFile("good.txt", "fine").Add(bad).AddFile("tail.txt", "end");
  open(w.Build());
  char buf[16] = {};
  EXPECT_EQ(ARCH_E_FAILED, ArchReadMemberToBuffer(ctx_.get(), buf, sizeof buf));
  EXPECT_EQ(1, ctx_->currentIndex);
  EXPECT_EQ("good.txt", ctx_.name());
  ASSERT_EQ(ARCH_OK, ArchReadMemberToBuffer(ctx_.get(), buf, sizeof buf));
  EXPECT_EQ(0, std::memcmp(buf, "fine", 4));
  EXPECT_EQ(ARCH_E_FAILED, ArchReadMemberToFile(ctx_.get(), W(out("bad")).c_str()));
  EXPECT_EQ(3, ctx_->currentIndex);
  ASSERT_EQ(ARCH_OK, ArchReadMemberToFile(ctx_.get(), W(out("tail")).c_str()));
  EXPECT_EQ("end", fileText(out("tail")));
}

TEST_F(ExtractTest, DirectoryMemberReplacesAFileAtItsPath) {
  RarWriter w(RarWriter::Format::kRar5);
  w.AddDir("folder").AddFile("folder/in.txt", "x");
  open(w.Build());
  const std::string target = dir_.Write("occupied", bytesOf("old file"));
  ASSERT_EQ(ARCH_OK, ArchReadMemberToFile(ctx_.get(), W(target).c_str()));
  EXPECT_FALSE(fileExists(target));
  EXPECT_EQ(1, ctx_->currentIndex);
}

// A volume opened in the middle: the list pass and the extraction pass pass over the
// continued part alike, so the names and the cursor describe the same members.
TEST_F(ExtractTest, VolumeOpenedInTheMiddleKeepsNamesAndCursorInStep) {
  RarWriter w(RarWriter::Format::kRar5);
  w.AddFile("spans.bin", std::string(300, 's'))
      .AddFile("second.txt", "2")
      .AddFile("third.txt", "3");
  const std::vector<Bytes> volumes = w.BuildVolumes(200);
  ASSERT_GE(volumes.size(), 2u);
  const std::string first = dir_.WriteVolumes("set", volumes);
  const std::string second = first.substr(0, first.size() - 9) + "part2.rar";
  ASSERT_TRUE(fileExists(second)) << second;
  ASSERT_EQ(ARCH_OK, ArchOpenFile(ctx_.get(), W(second).c_str(), 0));
  EXPECT_NE("spans.bin", ctx_.name());
  int steps = 0;
  while (ctx_->currentIndex < ctx_->memberCount) {
    const int32_t at = ctx_->currentIndex;
    EXPECT_TRUE(ArchFindItemByPath(ctx_.get(), ctx_->memberName)) << ctx_.name();
    EXPECT_EQ(at, ctx_->currentIndex);  // the name at the cursor is the index's name there
    ArchNextItem(ctx_.get());
    ++steps;
  }
  EXPECT_EQ(ctx_->memberCount, steps);
}

}  // namespace
}  // namespace plugintest
