// Limits a scanner relies on: a tiny archive that declares or produces huge
// output costs bounded memory and time, and no extraction ever delivers more
// than the declared unpacked size. Memory is measured in a child process (peak
// resident set over the child's starting size).
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <fstream>

#include "tests/reliability/fixtures.h"
#include "tests/reliability/reliability_util.h"

namespace reliability {
namespace {

using testsupport::Bytes;

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

struct Measure {
  int32_t open = 0;
  int32_t bufferRc = 0;
  int32_t fileRc = 0;
  int64_t fileSize = -1;
  long startKiB = 0;
  long peakKiB = 0;
  double seconds = 0;
};

long RssKiB() {
  std::ifstream f("/proc/self/status");
  std::string line;
  while (std::getline(f, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
  }
  return 0;
}

// Opens `bytes` in a child, extracts the first member into a 1 MiB buffer and,
// when `dest` is given, the same member (after a re-open) to a file.
Measure InChild(const Bytes& bytes, const std::string& dest) {
  int fds[2];
  if (pipe(fds) != 0) return {};
  fflush(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    Measure m;
    m.startKiB = RssKiB();
    const auto t0 = std::chrono::steady_clock::now();
    std::vector<uint8_t> buf(1u << 20);
    ArchContext c = {};
    m.open = ArchOpenBuffer(&c, bytes.data(), uint32_t(bytes.size()), 0, nullptr);
    if (m.open == ARCH_OK) {
      m.bufferRc = ArchReadMemberToBuffer(&c, buf.data(), uint32_t(buf.size()));
      if (!dest.empty() && ArchOpenBuffer(&c, bytes.data(), uint32_t(bytes.size()), 0, nullptr) == ARCH_OK) {
        m.fileRc = ArchReadMemberToFile(&c, W(dest).c_str());
        struct stat st;
        if (stat(dest.c_str(), &st) == 0) m.fileSize = st.st_size;
        unlink(dest.c_str());
      }
    }
    ArchClose(&c);
    m.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    rusage ru;
    getrusage(RUSAGE_SELF, &ru);
    m.peakKiB = ru.ru_maxrss;
    (void)!write(fds[1], &m, sizeof m);
    _exit(0);
  }
  close(fds[1]);
  Measure m;
  const bool got = read(fds[0], &m, sizeof m) == ssize_t(sizeof m);
  close(fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  EXPECT_TRUE(got && WIFEXITED(status) && WEXITSTATUS(status) == 0) << "child failed";
  return m;
}

TEST(Limits, BombsCostBoundedMemoryAndNeverExceedTheDeclaredSize) {
  PrivateTemp temp;
  testsupport::ScratchDir out;
  const uint32_t repeats = kSanitized ? 4000 : 40000;
  for (const Bomb& b : Bombs(repeats)) {
    // A file extraction of the true bomb would put its whole output on disk;
    // it runs into the buffer only.
    const bool toFile = b.name != "rar5-ratio";
    const Measure m = InChild(b.bytes, toFile ? out.path() + "/m.out" : "");
    const long grew = m.peakKiB - m.startKiB;
    std::printf("[ limits   ] %-20s %7zu B packed, produces %llu B, declares %llu B: open %d, "
                "buffer %d, file %d (%lld B), peak RSS +%ld KiB, %.2f s\n",
                b.name.c_str(), b.bytes.size(), (unsigned long long)b.produced,
                (unsigned long long)b.declared, m.open, m.bufferRc, m.fileRc,
                (long long)m.fileSize, grew, m.seconds);
    EXPECT_EQ(ARCH_OK, m.open) << b.name;
    if (toFile) {
      EXPECT_LE(uint64_t(m.fileSize), std::min(b.declared, b.produced)) << b.name;
    }
    if (b.name == "rar5-ratio") {
      EXPECT_EQ(ARCH_OK, m.bufferRc);
    }
    if (!kSanitized) {
      EXPECT_LT(grew, 16 * 1024) << b.name << ": memory grew with the output";
    }
  }
  EXPECT_TRUE(temp.entries().empty());
}

TEST(Limits, LargestCorpusArchivesCostBoundedMemory) {
  if (!testsupport::CorpusAvailable()) GTEST_SKIP() << "corpus not present at " << testsupport::CorpusDir();
  PrivateTemp temp;
  for (const char* name : {"junrar_m3-plain-32m.rar", "libarchive_test_read_format_rar_binary_data.rar"}) {
    Bytes bytes;
    if (!testsupport::ReadFile(testsupport::CorpusDir() + "/" + name, &bytes)) continue;
    const Measure m = InChild(bytes, "");
    std::printf("[ limits   ] %-48s %8zu B: open %d, buffer %d, peak RSS +%ld KiB, %.2f s\n", name,
                bytes.size(), m.open, m.bufferRc, m.peakKiB - m.startKiB, m.seconds);
    EXPECT_EQ(ARCH_OK, m.open) << name;
  }
}

}  // namespace
}  // namespace reliability
