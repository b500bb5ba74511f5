// Files, mutex, debugger output, clocks, mappings and system services.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <thread>

#include "platform/clock.h"
#include "platform/debug_output.h"
#include "platform/file.h"
#include "platform/mutex.h"
#include "platform/system.h"
#include "platform/utf.h"
#include "platform/vmem.h"

namespace {

class TempDir : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/plat_test_XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(tmpl));
    dir_ = tmpl;
  }
  void TearDown() override { std::system(("rm -rf " + dir_).c_str()); }
  std::u16string wide(const std::string& name) {
    char16_t buf[1024];
    platUtf8ToWide((dir_ + "/" + name).c_str(), buf, 1024, false);
    return buf;
  }
  std::string dir_;
};

using PlatFileTest = TempDir;

TEST_F(PlatFileTest, WriteSeekReadSizeTruncate) {
  std::u16string p = wide("f\u00e9.bin");  // non-ASCII name goes through UTF-8
  PlatFile f;
  ASSERT_EQ(0, platFileOpen(p.c_str(), PLAT_ACCESS_READ | PLAT_ACCESS_WRITE,
                            PLAT_CREATE_NEW, true, &f));
  size_t n = 0;
  ASSERT_EQ(0, platFileWrite(f, "hello world", 11, &n));
  EXPECT_EQ(11u, n);
  int64_t pos = -1, size = -1;
  ASSERT_EQ(0, platFileSeek(f, -5, PLAT_SEEK_END, &pos));
  EXPECT_EQ(6, pos);
  char buf[16] = {};
  ASSERT_EQ(0, platFileRead(f, buf, sizeof buf, &n));
  EXPECT_EQ(5u, n);
  EXPECT_STREQ("world", buf);
  ASSERT_EQ(0, platFileRead(f, buf, sizeof buf, &n));
  EXPECT_EQ(0u, n);  // end of file
  ASSERT_EQ(0, platFileTruncate(f, 5));
  ASSERT_EQ(0, platFileSize(f, &size));
  EXPECT_EQ(5, size);
  EXPECT_EQ(EINVAL, platFileSeek(f, 0, 7, nullptr));
  EXPECT_EQ(0, platFileFlush(f));
  EXPECT_EQ(0, platFileClose(f));

  struct stat st;
  ASSERT_EQ(0, stat((dir_ + "/f\xc3\xa9.bin").c_str(), &st));
  EXPECT_EQ(0600u, st.st_mode & 0777);
}

TEST_F(PlatFileTest, DispositionsAndRefusals) {
  std::u16string p = wide("x");
  PlatFile f;
  EXPECT_EQ(ENOENT, platFileOpen(p.c_str(), PLAT_ACCESS_READ, PLAT_OPEN_EXISTING, false, &f));
  EXPECT_EQ(PLAT_NO_FILE, f);
  ASSERT_EQ(0, platFileOpen(p.c_str(), PLAT_ACCESS_WRITE, PLAT_CREATE_ALWAYS, false, &f));
  platFileWrite(f, "abc", 3, nullptr);
  platFileClose(f);
  EXPECT_EQ(EEXIST, platFileOpen(p.c_str(), PLAT_ACCESS_READ, PLAT_CREATE_NEW, true, &f));
  ASSERT_EQ(0, platFileOpen(p.c_str(), PLAT_ACCESS_WRITE, PLAT_TRUNCATE_EXISTING, false, &f));
  int64_t size = -1;
  platFileSize(f, &size);
  EXPECT_EQ(0, size);
  platFileClose(f);

  EXPECT_EQ(EISDIR, platFileOpen(wide("").c_str(), PLAT_ACCESS_READ, PLAT_OPEN_EXISTING,
                                 false, &f));
  const char16_t bad[] = {u'/', 0xD800, 0};
  EXPECT_EQ(EILSEQ, platFileOpen(bad, PLAT_ACCESS_READ, PLAT_OPEN_EXISTING, false, &f));
  std::u16string huge(5000, u'a');
  EXPECT_EQ(ENAMETOOLONG,
            platFileOpen(huge.c_str(), PLAT_ACCESS_READ, PLAT_OPEN_EXISTING, false, &f));
  EXPECT_EQ(EINVAL, platFileOpen(nullptr, PLAT_ACCESS_READ, PLAT_OPEN_EXISTING, false, &f));
}

TEST_F(PlatFileTest, StatusMakeDirDelete) {
  PlatFileKind kind;
  int64_t size;
  EXPECT_EQ(ENOENT, platFileStatus(wide("d").c_str(), &kind, &size));
  EXPECT_EQ(PLAT_KIND_NONE, kind);
  ASSERT_EQ(0, platMakeDir(wide("d").c_str()));
  EXPECT_EQ(EEXIST, platMakeDir(wide("d").c_str()));
  ASSERT_EQ(0, platFileStatus(wide("d").c_str(), &kind, nullptr));
  EXPECT_EQ(PLAT_KIND_DIR, kind);
  EXPECT_NE(0, platDeleteFile(wide("d").c_str()));  // not a file
  EXPECT_EQ(ENOENT, platDeleteFile(wide("missing").c_str()));
}

TEST(PlatMutexTest, IsRecursiveAndExcludesOtherThreads) {
  uint32_t err = 99;
  PlatMutex* m = platMutexCreate(&err);
  ASSERT_NE(nullptr, m);
  EXPECT_EQ(0u, err);
  ASSERT_EQ(0, platMutexLock(m));
  ASSERT_EQ(0, platMutexLock(m));  // same thread again
  ASSERT_EQ(0, platMutexUnlock(m));
  bool otherGotIt = false;
  std::thread t([&] {
    platMutexLock(m);
    otherGotIt = true;
    platMutexUnlock(m);
  });
  usleep(20000);
  EXPECT_FALSE(otherGotIt);  // still held once
  platMutexUnlock(m);
  t.join();
  EXPECT_TRUE(otherGotIt);
  platMutexDestroy(m);
  EXPECT_EQ(EINVAL, platMutexLock(nullptr));
}

TEST(PlatDebugOutputTest, CaptureReceivesUtf8) {
  std::string got;
  platSetDebugCapture(
      [](void* user, const char* s, size_t n) { static_cast<std::string*>(user)->append(s, n); },
      &got);
  platDebugOutput(u"line \u00e9\n");
  const char16_t bad[] = {u'x', 0xDC00, u'\n', 0};
  platDebugOutput(bad);
  std::u16string big(5000, u'\u65e5');  // larger than the stack buffer
  platDebugOutput(big.c_str());
  platSetDebugCapture(nullptr, nullptr);
  const std::string head = "line \xc3\xa9\nx\xef\xbf\xbd\n";
  ASSERT_EQ(head.size() + 15000, got.size());
  EXPECT_EQ(head, got.substr(0, head.size()));
}

TEST(PlatClockTest, ClocksAndIds) {
  uint64_t a = platCounterNow();
  usleep(2000);
  uint64_t b = platCounterNow();
  EXPECT_GE(b - a, 2000000u);
  PlatLocalTime t;
  ASSERT_TRUE(platLocalTimeNow(&t));
  EXPECT_GE(t.month, 1);
  EXPECT_LE(t.month, 12);
  EXPECT_GE(t.year, 2000);
  EXPECT_EQ(uint32_t(getpid()), platThreadId());  // the main thread
  uint32_t other = 0;
  std::thread([&] { other = platThreadId(); }).join();
  EXPECT_NE(other, platThreadId());
}

TEST(PlatVmemTest, ReserveExactlyWhereAskedOrFail) {
  int err = 0;
  void* p = platReserve(nullptr, 1 << 16, &err);
  ASSERT_NE(nullptr, p);
  static_cast<char*>(p)[100] = 1;  // usable read-write
  // A fixed address that is already mapped must not be reused or clobbered.
  EXPECT_EQ(nullptr, platReserve(p, 1 << 16, &err));
  EXPECT_NE(0, err);
  EXPECT_EQ(1, static_cast<char*>(p)[100]);
  EXPECT_EQ(0, platRelease(p, 1 << 16));
  EXPECT_EQ(nullptr, platReserve(nullptr, 0, &err));
}

TEST(PlatSystemTest, EnvAndErrorText) {
  setenv("PLAT_TEST_VAR", "a\xc3\xa9", 1);
  char16_t v[8];
  EXPECT_EQ(1, platGetEnv("PLAT_TEST_VAR", v, 8));
  EXPECT_EQ(std::u16string(u"a\u00e9"), std::u16string(v));
  EXPECT_EQ(-1, platGetEnv("PLAT_TEST_VAR", v, 2));  // too long for the buffer
  unsetenv("PLAT_TEST_VAR");
  EXPECT_EQ(0, platGetEnv("PLAT_TEST_VAR", v, 8));

  char text[128];
  EXPECT_TRUE(platErrorText(ENOENT, text, sizeof text));
  EXPECT_STREQ(strerror(ENOENT), text);
  EXPECT_FALSE(platErrorText(987654, text, sizeof text));
}

}  // namespace
