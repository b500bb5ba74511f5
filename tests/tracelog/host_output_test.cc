// End to end through the shared library: a host process loads the plug-in,
// calls exports that report, and standard error shows their records.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <regex>
#include <string>

#include "tracelog_test_util.h"

namespace {

class HostProcess : public testing::Test {
 protected:
  void SetUp() override {
    if (!std::ifstream(mHost)) GTEST_SKIP() << "the host harness is not built: " << mHost;
    // One file per test: ctest may run the tests of this fixture at once.
    mArchive = std::string(ARCUNPACK_BUILD_DIR) + "/tracelog_" +
               testing::UnitTest::GetInstance()->current_test_info()->name() + ".bin";
    std::ofstream(mArchive) << std::string(64, 'x');  // big enough to open, no archive
  }
  void TearDown() override {
    if (!mArchive.empty()) std::remove(mArchive.c_str());
  }

  // Standard error of the host listing the non-archive.
  std::string hostErrors(const std::string& environment, const std::string& via) {
    const std::string cmd =
        environment + " '" + mHost + "' --via " + via + " list '" + mArchive + "' 2>&1 1>/dev/null";
    std::string err;
    if (FILE* p = popen(cmd.c_str(), "r")) {
      char buf[4096];
      for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) err.append(buf, n);
      pclose(p);
    }
    return err;
  }

  const std::string mHost = std::string(ARCUNPACK_BUILD_DIR) + "/archost";
  std::string mArchive;
};

TEST_F(HostProcess, ReportFromAnExportIsOneLineOnStandardError) {
  // The spill of a buffer cannot create its temporary file: the export reports.
  std::string err = hostErrors("TEMP=/nonexistent/tracelog-test", "buffer");
  std::smatch m;
  // The first record of a process carries the initial marker ":".
  ASSERT_TRUE(std::regex_search(
      err, m,
      std::regex(std::string("^") + kStampPattern + ":\\[ubl\\] (Warning|Error): [^\r]*\r\n")))
      << err;
  EXPECT_EQ(std::string::npos, m.suffix().str().find("[ubl")) << err;  // one record, no more
  EXPECT_EQ(std::string::npos, err.find("initialization complete"));
}

TEST_F(HostProcess, DiagnosticsOfLevelDiagStayHidden) {
  std::string err = hostErrors("", "file");
  EXPECT_EQ(std::string::npos, err.find("[ubl:ublDiag]")) << err;
  EXPECT_EQ(std::string::npos, err.find("initialization complete")) << err;
}

}  // namespace
