// The host harness's own behaviour: the built-in demo, list/cat, and extraction that never
// writes outside the chosen folder whatever names the archive carries.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "tests/support/corpus.h"
#include "tests/support/rar_writer.h"

namespace {

using testsupport::Bytes;
using testsupport::RarWriter;

// A sanitizer report ends the harness with its own exit code, never mistaken for the
// harness's 1 (some member failed).
const char kSanitizerExit[] =
    "ASAN_OPTIONS=\"$ASAN_OPTIONS:exitcode=86\" UBSAN_OPTIONS=\"$UBSAN_OPTIONS:exitcode=86\" ";

struct HostRun {
  int code = -1;
  std::string out;
};

HostRun archost(const std::string& args) {
  const std::string cmd =
      std::string(kSanitizerExit) + ARCUNPACK_BUILD_DIR + "/archost " + args + " 2>/dev/null";
  HostRun r;
  FILE* p = popen(cmd.c_str(), "r");
  if (p == nullptr) return r;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
  const int status = pclose(p);
  r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

bool isFile(const std::string& p) {
  struct stat st;
  return lstat(p.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool isDir(const std::string& p) {
  struct stat st;
  return lstat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

TEST(ArchostTest, BuiltInSampleScansListsAndCats) {
  const HostRun demo = archost("");
  EXPECT_EQ(0, demo.code);
  EXPECT_EQ(3, std::count(demo.out.begin(), demo.out.end(), '\n'));
  EXPECT_NE(std::string::npos, demo.out.find("\tOK\t39\t3e49030973703b7a"));

  testsupport::ScratchDir dir;
  const std::string sample = dir.path() + "/sample.rar";
  ASSERT_EQ(0, archost("sample " + sample).code);
  for (const char* via : {"file", "buffer", "stream"}) {
    SCOPED_TRACE(via);
    const HostRun list = archost(std::string("--via ") + via + " list " + sample);
    EXPECT_EQ(0, list.code);
    EXPECT_EQ("0\t39\t48\t-\thello.txt\n1\t6537\t48\t-\tdocs/numbers.txt\n2\t0\t48\t-\tempty.dat\n",
              list.out);
    const HostRun cat = archost(std::string("--via ") + via + " cat " + sample + " hello.txt");
    EXPECT_EQ(0, cat.code);
    EXPECT_EQ("Hello from the arcunpack host harness.\n", cat.out);
  }
  EXPECT_EQ(2, archost("cat " + sample + " missing.txt").code);
  EXPECT_EQ(2, archost("scan " + dir.path() + "/absent.rar").code);
  const HostRun json = archost("--json scan " + sample);
  EXPECT_NE(std::string::npos, json.out.find("\"name\":\"docs/numbers.txt\""));
}

TEST(ArchostTest, ExtractionStaysInsideTheFolder) {
  testsupport::ScratchDir dir;
  const std::string outside = dir.path() + "/outside";
  const std::string out = dir.path() + "/out";
  ASSERT_EQ(0, mkdir(outside.c_str(), 0755));
  ASSERT_EQ(0, mkdir(out.c_str(), 0755));
  ASSERT_EQ(0, symlink(outside.c_str(), (out + "/link").c_str()));

  RarWriter w(RarWriter::Format::kRar5);
  w.AddFile("../escape1.txt", "1")
      .AddFile("/abs/escape2.txt", "2")
      .AddFile("a/../../escape3.txt", "3");
  w.AddFile("link/through.txt", "4").AddDir("made").AddFile("ok/inner.txt", "inner");
  const std::string archive = dir.Write("evil.rar", w.Build());
  const HostRun r = archost("extract " + archive + " " + out);
  EXPECT_EQ(1, r.code) << r.out;  // the member behind the planted link is refused

  EXPECT_FALSE(isFile(dir.path() + "/escape1.txt"));
  EXPECT_FALSE(isFile("/abs/escape2.txt"));
  EXPECT_FALSE(isFile(dir.path() + "/escape3.txt"));
  EXPECT_FALSE(isFile(outside + "/through.txt"));
  EXPECT_TRUE(isFile(out + "/escape1.txt"));
  EXPECT_TRUE(isFile(out + "/abs/escape2.txt"));
  EXPECT_TRUE(isFile(out + "/a/escape3.txt"));
  EXPECT_TRUE(isDir(out + "/made"));
  std::vector<uint8_t> inner;
  ASSERT_TRUE(testsupport::ReadFile(out + "/ok/inner.txt", &inner));
  EXPECT_EQ("inner", std::string(inner.begin(), inner.end()));
}

}  // namespace
