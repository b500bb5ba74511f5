// Limits a scanner relies on: a tiny archive that declares or produces huge
// output costs bounded memory and time, and no extraction ever delivers more
// than the declared unpacked size. Memory is measured in a child process (peak
// resident set over the child's starting size).
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <memory>
#include <fstream>

#include "rarlib/unpack/decoder.h"
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

// The engine's window follows the output: a member that declares a large
// dictionary costs memory only as far as its decoded bytes reach, never more
// than the dictionary.
TEST(Limits, WindowGrowsWithTheOutputUpToTheDeclaredDictionary) {
  constexpr uint64_t kDict = uint64_t{64} << 20;
  const uint32_t repeats = uint32_t(kDict / 4097);  // output just over the dictionary
  const Bytes stream = Rar5BombStream(repeats);
  struct Sink : rarlib::ByteSink {
    uint64_t n = 0;
    bool Write(const uint8_t*, size_t k) override { n += k; return true; }
  };
  struct Source : rarlib::ByteSource {
    const Bytes* b;
    size_t pos = 0;
    int64_t Read(uint8_t* buf, size_t k) override {
      k = std::min(k, b->size() - pos);
      std::memcpy(buf, b->data() + pos, k);
      pos += k;
      return int64_t(k);
    }
  };
  for (const uint64_t declared : {uint64_t{1} << 20, Rar5BombSize(repeats)}) {
    int fds[2];
    ASSERT_EQ(0, pipe(fds));
    fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
      long start = RssKiB();
      rarlib::DecoderParams p;
      p.version = 50;
      p.dict_size = kDict;
      std::unique_ptr<rarlib::Decoder> d;
      long out[3] = {-1, 0, 0};
      if (rarlib::CreateDecoder(p, &d) == rarlib::DecodeStatus::kOk) {
        Source src;
        src.b = &stream;
        Sink sink;
        out[0] = long(d->Decode(src, declared, false, sink));
        out[1] = long(sink.n);
      }
      rusage ru;
      getrusage(RUSAGE_SELF, &ru);
      out[2] = ru.ru_maxrss - start;
      (void)!write(fds[1], out, sizeof out);
      _exit(0);
    }
    close(fds[1]);
    long out[3] = {};
    EXPECT_EQ(ssize_t(sizeof out), read(fds[0], out, sizeof out));
    close(fds[0]);
    waitpid(pid, nullptr, 0);
    std::printf("[ limits   ] 64 MiB dictionary, %llu B declared: status %ld, %ld B out, peak RSS +%ld KiB\n",
                (unsigned long long)declared, out[0], out[1], out[2]);
    EXPECT_EQ(long(rarlib::DecodeStatus::kOk), out[0]);
    EXPECT_EQ(long(declared), out[1]);
    if (!kSanitized) {
      EXPECT_LT(out[2], long(std::min(declared, kDict) / 1024) + 16 * 1024);
    }
  }
}

TEST(Limits, LargestCorpusArchivesCostBoundedMemory) {
  if (!testsupport::CorpusAvailable()) GTEST_SKIP() << "corpus not present at " << testsupport::CorpusDir();
  PrivateTemp temp;
  for (const char* name : {"junrar_m3-plain-32m.rar", "libarchive_test_read_format_rar_binary_data.rar",
                           "libarchive_test_read_format_rar_ppmd_lzss_conversion.rar"}) {
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
