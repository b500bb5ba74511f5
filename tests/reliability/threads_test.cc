// Many threads, each with its own contexts, opening and extracting the same
// archive file and their own buffers at once, while other threads write
// diagnostics and change the log level. Every thread must see exactly the
// bytes a lone thread sees. Run under ThreadSanitizer as well.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/debug_output.h"
#include "tests/reliability/fixtures.h"
#include "tests/reliability/reliability_util.h"
#include "tracelog/threaded_trace_log.h"
#include "ubl/diag.h"
#include "ubl/ubl_singleton.h"

namespace reliability {
namespace {

using testsupport::Bytes;

// Codes and extracted bytes of one pass over an open context.
std::string Extract(ArchContext* c) {
  std::string out;
  std::vector<uint8_t> buf;
  for (int i = 0; i < 64 && c->currentIndex < c->memberCount; ++i) {
    buf.assign(c->unpackedSize < (1u << 20) ? c->unpackedSize : (1u << 20), 0);
    const int32_t rc = ArchReadMemberToBuffer(c, buf.data(), uint32_t(buf.size()));
    out += std::to_string(rc) + ":" + std::string(buf.begin(), buf.end()) + "|";
    if (rc != ARCH_OK && ArchNextItem(c) == ARCH_NO_ITEM) break;
  }
  return out;
}

std::string Pass(const Bytes& bytes, const std::string& path, bool fromFile) {
  ArchContext c = {};
  const int32_t rc = fromFile ? ArchOpenFile(&c, W(path).c_str(), 0)
                              : ArchOpenBuffer(&c, bytes.data(), uint32_t(bytes.size()), 0, nullptr);
  std::string out = "open=" + std::to_string(rc) + " ";
  if (rc == ARCH_OK) out += Extract(&c);
  ArchClose(&c);
  return out;
}

TEST(Threads, ContextsPerThreadWhileDiagnosticsAreWritten) {
  PrivateTemp temp;
  testsupport::ScratchDir dir;
  std::vector<Bytes> archives;
  for (const Fixture& f : WriterFixtures()) archives.push_back(f.bytes);
  Bytes damaged = archives[0];
  damaged.resize(damaged.size() / 2);
  archives.push_back(damaged);
  std::vector<std::string> paths, expected;
  // Letters only: a digit in the name would make a volume look for its successor.
  for (size_t i = 0; i < archives.size(); ++i)
    paths.push_back(dir.Write(std::string("arch-") + char('a' + i) + ".rar", archives[i]));
  for (size_t i = 0; i < archives.size(); ++i) {
    expected.push_back(Pass(archives[i], paths[i], true));
    ASSERT_EQ(expected[i], Pass(archives[i], paths[i], false)) << i;
  }

  static std::atomic<size_t> lines{0};
  platSetDebugCapture([](void*, const char*, size_t) { lines.fetch_add(1); }, nullptr);
  std::atomic<bool> stop{false};
  std::atomic<int> mismatches{0};
  std::vector<std::thread> workers;
  constexpr int kThreads = 8, kRounds = 6;
  for (int t = 0; t < kThreads; ++t) {
    workers.emplace_back([&, t] {
      for (int r = 0; r < kRounds; ++r) {
        for (size_t i = 0; i < archives.size(); ++i) {
          // Half the threads share archive files, half spill their own buffers.
          const size_t k = (i + size_t(t)) % archives.size();
          const std::string got = Pass(archives[k], paths[k], (t + r) % 2 == 0);
          if (got != expected[k] && mismatches.fetch_add(1) == 0) {
            size_t at = 0;
            while (at < got.size() && at < expected[k].size() && got[at] == expected[k][at]) ++at;
            ADD_FAILURE() << "archive " << k << " from a " << ((t + r) % 2 == 0 ? "file" : "buffer")
                          << " differs at " << at << " of " << got.size() << "/" << expected[k].size()
                          << ":\n got " << got.substr(at, 60) << "\nwant " << expected[k].substr(at, 60);
          }
        }
      }
    });
  }
  std::thread writer([&] {
    for (int n = 0; !stop.load(); ++n) {
      ublError(u"reliability error %d\n", n);
      ublWarning(u"reliability warning %d\n", n);
      ublDiag(u"reliability diag %d\n", n);
    }
  });
  std::thread levels([&] {
    for (int n = 0; !stop.load(); ++n) {
      gDefaultTraceLog->setDataSourceLogLevel(u"ubl", n % 2 ? LOG_LEVEL_DIAG : LOG_LEVEL_WARN);
      std::this_thread::yield();
    }
    gDefaultTraceLog->setDataSourceLogLevel(u"ubl", LOG_LEVEL_WARN);
  });
  for (auto& w : workers) w.join();
  stop = true;
  writer.join();
  levels.join();
  platSetDebugCapture(nullptr, nullptr);
  EXPECT_EQ(0, mismatches.load());
  EXPECT_GT(lines.load(), 0u);
  EXPECT_TRUE(temp.entries().empty());
}

}  // namespace
}  // namespace reliability
