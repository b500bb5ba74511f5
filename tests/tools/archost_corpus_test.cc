// The host harness on the shared corpus: build/archost loads the plug-in with dlopen and
// scans every archive, by file, from memory and through a host stream. Every member the
// plug-in extracts must carry the expected name and SHA-256; members it cannot extract
// (yet) are counted and printed, not hidden. No archive may crash the harness.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/corpus.h"

namespace {

using testsupport::CorpusArchive;
using testsupport::CorpusMember;

struct ScanLine {
  std::string status;
  std::string sha256;
  std::string name;
};

// A sanitizer report ends the harness with its own exit code, never mistaken for the
// harness's 1 (some member failed).
const char kSanitizerExit[] =
    "ASAN_OPTIONS=\"$ASAN_OPTIONS:exitcode=86\" UBSAN_OPTIONS=\"$UBSAN_OPTIONS:exitcode=86\" ";

std::string shellQuote(const std::string& s) {
  std::string out = "'";
  for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

// Runs the harness; false when it did not end normally (a crash or a signal).
bool runScan(const std::string& via, const CorpusArchive& a, std::vector<ScanLine>* lines,
             int* exitCode) {
  std::string cmd = std::string(kSanitizerExit) +
                    shellQuote(std::string(ARCUNPACK_BUILD_DIR) + "/archost") + " --via " + via;
  if (a.password != "-") {  // one or more, separated by ';'
    std::istringstream candidates(a.password);
    std::string pw;
    while (std::getline(candidates, pw, ';')) cmd += " --password " + shellQuote(pw);
  }
  cmd += " scan " + shellQuote(testsupport::OpenPath(a)) + " 2>/dev/null";
  FILE* p = popen(cmd.c_str(), "r");
  if (p == nullptr) return false;
  std::string out;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  const int status = pclose(p);
  std::istringstream in(out);
  std::string line;
  while (std::getline(in, line)) {
    std::vector<std::string> f;
    std::istringstream fields(line);
    std::string field;
    while (std::getline(fields, field, '\t')) f.push_back(field);
    if (f.size() == 5) lines->push_back({f[1], f[3], testsupport::UnescapeName(f[4])});
  }
  if (!WIFEXITED(status)) return false;
  *exitCode = WEXITSTATUS(status);
  return *exitCode <= 2;
}

// False for names kept as raw bytes that are not UTF-8 (their decoding depends on a code page).
bool isUtf8(const std::string& s) {
  for (size_t i = 0; i < s.size();) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    const size_t len = c < 0x80         ? 1
                       : (c >> 5) == 6  ? 2
                       : (c >> 4) == 14 ? 3
                       : (c >> 3) == 30 ? 4
                                        : 0;
    if (len == 0 || i + len > s.size()) return false;
    for (size_t k = 1; k < len; ++k) {
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    }
    i += len;
  }
  return true;
}

class ArchostCorpusTest : public ::testing::TestWithParam<const char*> {};

TEST_P(ArchostCorpusTest, ScannedMembersMatchTheExpectedNamesAndHashes) {
  if (!testsupport::CorpusAvailable())
    GTEST_SKIP() << "corpus not found at " << testsupport::CorpusDir();
  const std::string via = GetParam();
  const std::vector<CorpusMember> expected = testsupport::LoadExpected();
  int matched = 0, notExtracted = 0, unopened = 0;
  std::ostringstream tolerated;
  for (const CorpusArchive& a : testsupport::LoadManifest()) {
    SCOPED_TRACE(a.name());
    std::vector<ScanLine> lines;
    int code = -1;
    ASSERT_TRUE(runScan(via, a, &lines, &code)) << "the harness did not end normally";
    const std::vector<CorpusMember> want = testsupport::MembersOf(expected, a.name());
    std::map<std::string, std::vector<const CorpusMember*>> byName;
    for (const CorpusMember& m : want) byName[m.name].push_back(&m);
    if (code == 2 && lines.empty()) {
      for (const CorpusMember& m : want) {
        if (m.sha256 != "-") {
          ++unopened;
          tolerated << via << " " << a.name() << ": not opened; " << m.name << "\n";
        }
      }
      continue;
    }
    std::map<std::string, size_t> used;
    for (const ScanLine& l : lines) {
      if (l.status == "NOT_REACHED") continue;
      auto it = byName.find(l.name);
      if (it == byName.end() || used[l.name] >= it->second.size()) {
        // Extracted members must be known by name; names from raw bytes without a
        // Unicode form may differ by code page only, and those are escaped in the list.
        const bool rawBytesName = std::any_of(
            want.begin(), want.end(), [](const CorpusMember& m) { return !isUtf8(m.name); });
        if (l.status == "OK" && !rawBytesName) ADD_FAILURE() << "unexpected member " << l.name;
        continue;
      }
      const CorpusMember& m = *it->second[used[l.name]++];
      if (l.status != "OK") {
        if (m.sha256 != "-") {
          ++notExtracted;
          tolerated << via << " " << a.name() << ": " << l.status << " (expected " << m.status
                    << ") " << m.name << "\n";
        }
        continue;
      }
      if (m.sha256 == "-") continue;  // directories and links carry no content hash
      EXPECT_EQ(m.sha256, l.sha256) << m.name;
      ++matched;
    }
  }
  std::printf("[ via %s ] %d members matched, %d not extracted, %d in archives not opened\n%s",
              via.c_str(), matched, notExtracted, unopened, tolerated.str().c_str());
  EXPECT_GT(matched, 0);
}

INSTANTIATE_TEST_SUITE_P(Via, ArchostCorpusTest, ::testing::Values("file", "buffer", "stream"));

}  // namespace
