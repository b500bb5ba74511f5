// Faults the host cannot rule out: allocation failures at every allocation of
// an open-walk-extract-close cycle (in the base library and everywhere else),
// a host stream that fails mid-way, a destination that cannot be created or
// written, a disk that fills up, and a temporary folder that cannot be used.
// Each must end in a documented code, with the context as documented and
// nothing left behind.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <map>

#include "stream/abstract_stream.h"
#include "tests/reliability/alloc_fault.h"
#include "tests/reliability/fixtures.h"
#include "tests/reliability/reliability_util.h"
#include "ubl/memory.h"

namespace reliability {
namespace {

using testsupport::Bytes;
using testsupport::RarWriter;

Bytes FixtureNamed(const std::string& name) {
  for (const Fixture& f : WriterFixtures()) {
    if (f.name == name) return f.bytes;
  }
  ADD_FAILURE() << "no fixture " << name;
  return {};
}

// One full host cycle; returns what happened as text for the outcome table,
// and checks the context rules on the way.
std::string Cycle(const Bytes& archive, const PrivateTemp& temp) {
  ArchContext c = {};
  std::string out;
  const int32_t key = ArchSetEncryptionKey(&c, u"secret");
  if (key != ARCH_OK) {
    EXPECT_EQ(ARCH_E_FAILED, key);
    out += "key=29 ";
  }
  const ArchContext before = c;
  const int32_t rc = ArchOpenBuffer(&c, archive.data(), uint32_t(archive.size()), 0, nullptr);
  EXPECT_TRUE(IsOpenCode(rc)) << rc;
  out += "open=" + std::to_string(rc);
  if (rc != ARCH_OK) {
    // A failed spill leaves the context as it was (here: at most a password);
    // a failed open of the spilled file leaves it empty.
    EXPECT_TRUE(IsEmptyContext(c) || std::memcmp(&before, &c, sizeof c) == 0)
        << "failed open left state behind";
  } else {
    uint8_t buf[4096];
    for (int i = 0; i < 8 && c.currentIndex < c.memberCount; ++i) {
      const int32_t before = c.currentIndex;
      const int32_t x = ArchReadMemberToBuffer(&c, buf, sizeof buf);
      EXPECT_TRUE(x == ARCH_OK || x == ARCH_E_FAILED) << x;
      if (x != ARCH_OK) {
        EXPECT_EQ(before, c.currentIndex) << "a failed extraction into a buffer moved the cursor";
        out += " extract" + std::to_string(before) + "=29";
        if (ArchNextItem(&c) == ARCH_NO_ITEM) {
          out += " next=-1";
          break;
        }
      }
    }
  }
  ArchClose(&c);
  EXPECT_TRUE(IsEmptyContext(c));
  EXPECT_TRUE(temp.entries().empty()) << "temporary file left";
  return out;
}

// Fails the 1st, 2nd, ... allocation of a cycle until a cycle runs out of
// allocations before the armed one; returns how many sites were hit and the
// distinct outcomes.
template <typename Arm, typename Pending>
size_t FailEveryAllocation(const Bytes& archive, Arm arm, Pending pending,
                           std::map<std::string, int>* outcomes) {
  PrivateTemp temp;
  const size_t fds = OpenDescriptors();
  const std::string clean = Cycle(archive, temp);
  size_t n = 1;
  for (; n < 20000; ++n) {
    arm(int64_t(n));
    const std::string out = Cycle(archive, temp);
    const bool hit = !pending();
    arm(0);
    if (!hit) break;
    ++(*outcomes)[out];
    if (::testing::Test::HasFailure()) {
      ADD_FAILURE() << "allocation " << n << " failing: " << out;
      break;
    }
  }
  EXPECT_EQ(fds, OpenDescriptors());
  EXPECT_EQ(clean, Cycle(archive, temp)) << "a clean cycle after the faults differs";
  return n - 1;
}

void Print(const char* what, size_t sites, const std::map<std::string, int>& outcomes) {
  std::printf("[ faults   ] %s: %zu allocation sites failed one at a time\n", what, sites);
  for (const auto& o : outcomes) std::printf("[ faults   ]   %4d x %s\n", o.second, o.first.c_str());
}

TEST(Faults, BaseLibraryAllocationFailuresAtEverySite) {
  for (const char* name : {"rar4-solid-services", "rar5-packed"}) {
    std::map<std::string, int> outcomes;
    const size_t sites = FailEveryAllocation(FixtureNamed(name), ublFailNthAllocation,
                                             ublAllocationFailurePending, &outcomes);
    EXPECT_GT(sites, 0u);
    Print((std::string("ubl_malloc/ubl_calloc, ") + name).c_str(), sites, outcomes);
  }
}

TEST(Faults, EveryOperatorNewFailingInTurn) {
  for (const char* name : {"rar4-solid-services", "rar5-packed"}) {
    std::map<std::string, int> outcomes;
    const size_t sites = FailEveryAllocation(FixtureNamed(name), FailNthNew, NewFailurePending,
                                             &outcomes);
    EXPECT_GT(sites, 5u);
    Print((std::string("operator new, ") + name).c_str(), sites, outcomes);
  }
}

// A host stream over bytes that fails after `failAfter` bytes: with a fatal
// status, or (`shortRead`) with a success status and a short count.
class FailingHostStream : public cAbstractStream {
 public:
  FailingHostStream(Bytes bytes, int64_t failAfter, bool shortRead, bool failSeek = false)
      : bytes_(std::move(bytes)), failAfter_(failAfter), short_(shortRead), failSeek_(failSeek) {}
  uint32_t open(uint32_t, uint32_t) override { return 0; }
  uint32_t read(uint8_t* dest, int64_t count, int64_t* got) override {
    int64_t n = std::min<int64_t>(count, int64_t(bytes_.size()) - pos_);
    if (pos_ + n > failAfter_) {
      if (!short_) return kFail;
      n = std::max<int64_t>(0, failAfter_ - pos_);
    }
    std::memcpy(dest, bytes_.data() + pos_, size_t(n));
    pos_ += n;
    *got = n;
    return 0;
  }
  uint32_t write(const uint8_t*, int64_t, int64_t*) override { return kFail; }
  uint32_t flush() override { return 0; }
  uint32_t close() override { return kFail; }
  int64_t length() override { return int64_t(bytes_.size()); }
  uint32_t seek(int64_t offset, int32_t origin) override {
    if (failSeek_) return kFail;
    pos_ = origin == FIO_SEEK_BEGIN ? offset : pos_ + offset;
    return 0;
  }
  int64_t tell() override { return pos_; }
  uint32_t truncate() override { return kFail; }
  uint32_t copyFromStream(cAbstractStream*, int64_t, int64_t*) override { return kFail; }
  void setMode(uint32_t m) override { mMode = m; }

 private:
  static constexpr uint32_t kFail = 0x80000002;
  Bytes bytes_;
  int64_t pos_ = 0;
  int64_t failAfter_;
  bool short_;
  bool failSeek_;
};

Bytes BigArchive() {
  RarWriter w(RarWriter::Format::kRar5);
  w.AddFile("big.bin", std::string(100000, 'q')).AddFile("small.txt", "tail");
  return w.Build();
}

TEST(Faults, HostStreamFailingMidWayLeavesTheOpenArchiveAlone) {
  PrivateTemp temp;
  const Bytes first = FixtureNamed("rar4-plain");
  const Bytes big = BigArchive();
  const struct {
    const char* label;
    int64_t failAfter;
    bool shortRead, failSeek;
  } cases[] = {
      {"seek fails", 1 << 30, false, true},
      {"first read fails", 0, false, false},
      {"fails in the second chunk", 40000, false, false},
      {"fails at the last byte", int64_t(big.size()) - 1, false, false},
      {"short first read", 100, true, false},
      {"short third read", 70000, true, false},
  };
  ArchContext c = {};
  ASSERT_EQ(ARCH_OK, ArchOpenBuffer(&c, first.data(), uint32_t(first.size()), 0, nullptr));
  ASSERT_EQ(1, ArchNextItem(&c));
  const ArchContext before = c;
  const auto spills = temp.entries();
  ASSERT_EQ(1u, spills.size());
  const size_t fds = OpenDescriptors();
  for (const auto& k : cases) {
    FailingHostStream s(big, k.failAfter, k.shortRead, k.failSeek);
    EXPECT_EQ(ARCH_STAT_ERR_SHORT_READ, ArchOpenStream(&c, &s, nullptr)) << k.label;
    EXPECT_EQ(0, std::memcmp(&before, &c, sizeof c)) << k.label << ": context changed";
    EXPECT_EQ(spills, temp.entries()) << k.label;
  }
  EXPECT_EQ(fds, OpenDescriptors());
  // The archive still works where it stood.
  uint8_t buf[64];
  EXPECT_EQ(ARCH_OK, ArchReadMemberToBuffer(&c, buf, sizeof buf));
  ArchClose(&c);
  EXPECT_TRUE(temp.entries().empty());
}

TEST(Faults, StreamSpillIntoAFullDeviceFailsAsAShortWrite) {
  PrivateTemp temp;
  const Bytes big = BigArchive();
  FailingHostStream s(big, 1 << 30, false);
  ArchContext c = {};
  EXPECT_EQ(ARCH_STAT_ERR_SHORT_WRITE, ArchOpenStream(&c, &s, u"/dev/full"));
  EXPECT_TRUE(IsEmptyContext(c));
  EXPECT_TRUE(temp.entries().empty());
  ArchClose(&c);
}

TEST(Faults, DestinationThatCannotBeCreated) {
  PrivateTemp temp;
  testsupport::ScratchDir dest;
  const std::string notADir = dest.Write("plain-file", {'x'});
  const Bytes archive = FixtureNamed("rar5-plain");  // a.txt, dir, dir/b.bin, empty
  ArchContext c = {};
  ASSERT_EQ(ARCH_OK, ArchOpenBuffer(&c, archive.data(), uint32_t(archive.size()), 0, nullptr));
  // The engine moved past the member (no password set): code 29, cursor on the next.
  EXPECT_EQ(ARCH_E_FAILED, ArchReadMemberToFile(&c, W(notADir + "/a.txt").c_str()));
  EXPECT_EQ(1, c.currentIndex);
  if (geteuid() != 0) {  // the superuser writes into read-only folders anyway
    const std::string ro = dest.path() + "/ro";
    ASSERT_EQ(0, mkdir(ro.c_str(), 0555));
    ASSERT_EQ(2, ArchNextItem(&c));
    EXPECT_EQ(ARCH_E_FAILED, ArchReadMemberToFile(&c, W(ro + "/b.bin").c_str()));
    EXPECT_EQ(3, c.currentIndex);
  }
  ArchClose(&c);
  EXPECT_TRUE(temp.entries().empty());
}

TEST(Faults, TemporaryFolderThatCannotBeUsed) {
  testsupport::ScratchDir d;
  const std::string file = d.Write("not-a-folder", {'x'});
  const char* old = getenv("TEMP");
  const std::string saved = old ? old : "";
  setenv("TEMP", (file + "/sub").c_str(), 1);
  const Bytes archive = FixtureNamed("rar4-plain");
  ArchContext c = {};
  EXPECT_EQ(ARCH_E_FILE, ArchOpenBuffer(&c, archive.data(), uint32_t(archive.size()), 0, nullptr));
  EXPECT_TRUE(IsEmptyContext(c));
  if (old) setenv("TEMP", saved.c_str(), 1);
  else unsetenv("TEMP");
}

// Runs `body` in a child whose files may not grow beyond `limit` bytes (a full
// disk as the writer sees it: writes fail with EFBIG). The child's exit status
// is the number of failed checks.
int WithFileSizeLimit(rlim_t limit, int (*body)(const std::string& temp)) {
  PrivateTemp temp;
  fflush(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    signal(SIGXFSZ, SIG_IGN);
    rlimit r = {limit, limit};
    setrlimit(RLIMIT_FSIZE, &r);
    _exit(body(temp.path()));
  }
  int status = 0;
  waitpid(pid, &status, 0);
  EXPECT_TRUE(temp.entries().empty()) << "temporary file left";
  return WIFEXITED(status) ? WEXITSTATUS(status) : 100 + WTERMSIG(status);
}

TEST(Faults, FullDiskWhileSpillingAndExtracting) {
  EXPECT_EQ(0, WithFileSizeLimit(16384, [](const std::string& temp) {
    int failed = 0;
    const Bytes big = BigArchive();
    ArchContext c = {};
    if (ArchOpenBuffer(&c, big.data(), uint32_t(big.size()), 0, nullptr) != ARCH_E_OPEN) ++failed;
    if (!IsEmptyContext(c)) ++failed;
    FailingHostStream s(big, 1 << 30, false);
    if (ArchOpenStream(&c, &s, nullptr) != ARCH_STAT_ERR_SHORT_WRITE) ++failed;
    if (!IsEmptyContext(c)) ++failed;
    // An archive under the limit whose first member decodes to more than the
    // limit: the write fails, the engine has moved past the member.
    const Bytes packed = FixtureNamed("rar5-packed");
    if (ArchOpenBuffer(&c, packed.data(), uint32_t(packed.size()), 0, nullptr) != ARCH_OK) ++failed;
    const std::string dest = temp + ".member.out";
    if (ArchReadMemberToFile(&c, W(dest).c_str()) != ARCH_E_FAILED) ++failed;
    if (c.currentIndex != 1) ++failed;
    unlink(dest.c_str());
    uint8_t buf[64];
    if (ArchReadMemberToBuffer(&c, buf, sizeof buf) != ARCH_OK) ++failed;  // "stored"
    ArchClose(&c);
    return failed;
  }));
}

}  // namespace
}  // namespace reliability
