// End to end through the shared library: a host process loads the plug-in,
// an export warns, and standard error shows exactly that one record.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <regex>
#include <string>

#include "tracelog_test_util.h"

namespace {

TEST(HostProcess, ExportWarningIsOneLineOnStandardError) {
  const std::string host = std::string(ARCUNPACK_BUILD_DIR) + "/archost";
  if (!std::ifstream(host)) GTEST_SKIP() << "the host harness is not built: " << host;

  // Big enough to be opened, but no archive: the open warns.
  const std::string path = std::string(ARCUNPACK_BUILD_DIR) + "/tracelog_not_an_archive.bin";
  std::ofstream(path) << std::string(64, 'x');

  const std::string cmd = "'" + host + "' list '" + path + "' 2>&1 1>/dev/null";
  FILE* p = popen(cmd.c_str(), "r");
  ASSERT_NE(nullptr, p);
  std::string err;
  char buf[4096];
  for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) err.append(buf, n);
  pclose(p);
  std::remove(path.c_str());

  // The first record of a process carries the initial marker ":".
  std::smatch m;
  ASSERT_TRUE(std::regex_search(
      err, m,
      std::regex(std::string("^") + kStampPattern + ":\\[ubl\\] Warning: ArchOpenFile[^\r]*\r\n")))
      << err;
  // Nothing else from the trace log: no second record, no start-up or tear-down text.
  EXPECT_EQ(std::string::npos, m.suffix().str().find("[ubl"));
  EXPECT_EQ(std::string::npos, err.find("initialization complete"));
}

}  // namespace
