// ArchOpenBuffer and ArchOpenStream: temporary files created, kept and deleted, the
// 32768-byte copy of a host stream, and failures that leave the context as it was.
#include <gtest/gtest.h>

#include <cstring>

#include "plugin/records.h"
#include "stream/abstract_stream.h"
#include "tests/plugin/plugin_test_util.h"

namespace plugintest {
namespace {

// A host stream over bytes in memory that records its reads. `lengthAnswer` overrides
// what `length` says; `shortBy` makes every read deliver that many bytes less.
class FakeHostStream : public cAbstractStream {
 public:
  explicit FakeHostStream(Bytes bytes)
      : lengthAnswer(int64_t(bytes.size())), bytes_(std::move(bytes)) {}
  ~FakeHostStream() override { *destroyed = true; }

  int64_t lengthAnswer;
  int64_t shortBy = 0;
  bool failSeek = false;
  std::vector<int64_t> reads;
  bool* destroyed = &ownDestroyed_;

  uint32_t open(uint32_t, uint32_t) override { return 0; }
  uint32_t read(uint8_t* dest, int64_t count, int64_t* got) override {
    reads.push_back(count);
    int64_t n = std::min<int64_t>(count - shortBy, int64_t(bytes_.size()) - pos_);
    if (n < 0) n = 0;
    std::memcpy(dest, bytes_.data() + pos_, size_t(n));
    pos_ += n;
    *got = n;
    return 0;
  }
  uint32_t write(const uint8_t*, int64_t, int64_t*) override { return kFail; }
  uint32_t flush() override { return 0; }
  uint32_t close() override { return kFail; }  // never to be called by the plug-in
  int64_t length() override { return lengthAnswer; }
  uint32_t seek(int64_t offset, int32_t origin) override {
    if (failSeek) return kFail;
    pos_ = origin == FIO_SEEK_BEGIN ? offset : pos_ + offset;
    return 0;
  }
  int64_t tell() override { return pos_; }
  uint32_t truncate() override { return kFail; }
  uint32_t copyFromStream(cAbstractStream*, int64_t, int64_t*) override { return kFail; }
  void setMode(uint32_t m) override { mMode = m; }
  void moveTo(int64_t p) { pos_ = p; }

 private:
  static constexpr uint32_t kFail = 0x80000002;
  Bytes bytes_;
  int64_t pos_ = 0;
  bool ownDestroyed_ = false;
};

class SpillTest : public ::testing::Test {
 protected:
  TempFolder temp_;
  Ctx ctx_;
  const Bytes archive_ = numberedArchive(2);
  const Bytes other_ = numberedArchive(5);
  std::string spillPath() const { return temp_.path() + "/" + temp_.spills().at(0); }
};

TEST_F(SpillTest, BufferSpillIsDeletedOnCloseAndOnTheNextSpill) {
  ASSERT_EQ(ARCH_OK, ArchOpenBuffer(ctx_.get(), archive_.data(), archive_.size(), 0, nullptr));
  ASSERT_EQ(1u, temp_.spills().size());
  const std::string first = spillPath();
  EXPECT_EQ(std::string(archive_.begin(), archive_.end()), fileText(first));

  ASSERT_EQ(ARCH_OK, ArchOpenBuffer(ctx_.get(), other_.data(), other_.size(), 0, nullptr));
  EXPECT_FALSE(fileExists(first));
  ASSERT_EQ(1u, temp_.spills().size());
  EXPECT_EQ(5, ctx_->memberCount);

  // Opening a file directly keeps the context's temporary file until the close.
  const std::string second = spillPath();
  testsupport::ScratchDir dir;
  ASSERT_EQ(ARCH_OK, ArchOpenFile(ctx_.get(), W(dir.Write("a.rar", archive_)).c_str(), 0));
  EXPECT_TRUE(fileExists(second));
  ArchClose(ctx_.get());
  EXPECT_FALSE(fileExists(second));
  EXPECT_TRUE(ctx_.empty());
}

TEST_F(SpillTest, FailedOpenOfASpillDeletesIt) {
  // 20 bytes: written, refused as empty, deleted.
  EXPECT_EQ(ARCH_E_EMPTY, ArchOpenBuffer(ctx_.get(), archive_.data(), 20, 0, nullptr));
  EXPECT_TRUE(temp_.spills().empty());
  EXPECT_TRUE(ctx_.empty());
  const Bytes junk(100, 'j');
  EXPECT_EQ(ARCH_E_OPEN, ArchOpenBuffer(ctx_.get(), junk.data(), junk.size(), 0, nullptr));
  EXPECT_TRUE(temp_.spills().empty());
  for (int64_t length : {int64_t(0), int64_t(-1)}) {
    FakeHostStream s(archive_);
    s.lengthAnswer = length;
    EXPECT_EQ(ARCH_E_EMPTY, ArchOpenStream(ctx_.get(), &s, nullptr));
    EXPECT_TRUE(s.reads.empty());
    EXPECT_TRUE(temp_.spills().empty());
  }
}

TEST_F(SpillTest, CallerSuppliedPathsAreNeverDeleted) {
  testsupport::ScratchDir dir;
  const std::string mine = dir.path() + "/mine.rar";
  ASSERT_EQ(ARCH_OK,
            ArchOpenBuffer(ctx_.get(), archive_.data(), archive_.size(), 0, W(mine).c_str()));
  ArchClose(ctx_.get());
  EXPECT_EQ(std::string(archive_.begin(), archive_.end()), fileText(mine));

  // The stream spill needs the file to exist and overwrites it from the start without
  // cutting it: bytes of the older, longer file remain after the copied ones.
  const std::string longer = dir.Write("longer.rar", Bytes(archive_.size() + 7, 'Z'));
  FakeHostStream s(archive_);
  ASSERT_EQ(ARCH_OK, ArchOpenStream(ctx_.get(), &s, W(longer).c_str()));
  ArchClose(ctx_.get());
  EXPECT_EQ(std::string(archive_.begin(), archive_.end()) + "ZZZZZZZ", fileText(longer));
  EXPECT_TRUE(temp_.spills().empty());

  const std::string absent = dir.path() + "/absent.rar";
  FakeHostStream t(archive_);
  EXPECT_EQ(int32_t(0x8000003b), ArchOpenStream(ctx_.get(), &t, W(absent).c_str()));
  EXPECT_FALSE(fileExists(absent));
}

TEST_F(SpillTest, StreamIsCopiedFromOffsetZeroIn32768ByteChunks) {
  Bytes big = other_;
  big.resize(32769, 0);  // trailing bytes after the end block are ignored by the engine
  FakeHostStream s(big);
  bool destroyed = false;
  s.destroyed = &destroyed;
  s.moveTo(1234);
  ASSERT_EQ(ARCH_OK, ArchOpenStream(ctx_.get(), &s, nullptr));
  EXPECT_EQ((std::vector<int64_t>{32768, 1}), s.reads);
  EXPECT_EQ(5, ctx_->memberCount);
  EXPECT_EQ(std::string(big.begin(), big.end()), fileText(spillPath()));
  EXPECT_FALSE(destroyed);
}

// Failures of the spill itself leave an archive that was open untouched: same cursor,
// same temporary file.
TEST_F(SpillTest, SpillFailuresLeaveTheOpenArchiveAlone) {
  ASSERT_EQ(ARCH_OK, ArchOpenBuffer(ctx_.get(), other_.data(), other_.size(), 0, nullptr));
  ASSERT_EQ(1, ArchNextItem(ctx_.get()));
  const std::string kept = spillPath();
  struct Case {
    const char* what;
    int64_t shortBy;
    bool failSeek;
    int32_t want;
  } cases[] = {
      {"short read", 1, false, int32_t(0x8000003a)},
      {"seek fails", 0, true, int32_t(0x8000003a)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FakeHostStream s(archive_);
    s.shortBy = c.shortBy;
    s.failSeek = c.failSeek;
    EXPECT_EQ(c.want, ArchOpenStream(ctx_.get(), &s, nullptr));
    EXPECT_EQ(std::vector<std::string>{kept.substr(temp_.path().size() + 1)}, temp_.spills());
    EXPECT_EQ(1, ctx_->currentIndex);
    EXPECT_EQ("f1.txt", ctx_.name());
  }
  EXPECT_EQ(ARCH_E_FAILED, ArchOpenStream(ctx_.get(), nullptr, nullptr));
  EXPECT_EQ(ARCH_E_FAILED, ArchOpenBuffer(ctx_.get(), nullptr, 5, 0, nullptr));
  EXPECT_EQ(ARCH_E_FAILED, ArchOpenBuffer(nullptr, archive_.data(), archive_.size(), 0, nullptr));
  EXPECT_EQ(1, ctx_->currentIndex);
  char buf[9];
  EXPECT_EQ(ARCH_OK, ArchReadMemberToBuffer(ctx_.get(), buf, sizeof buf));
  EXPECT_EQ(0, std::memcmp(buf, "content 1", 9));
}

}  // namespace
}  // namespace plugintest
