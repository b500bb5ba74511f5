// Whole-file writing, system error reports, address-space and rounding helpers.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "tests/support/diag_capture.h"
#include "test_dir.h"
#include "ubl/file_write.h"
#include "ubl/vmem.h"

namespace {

std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(WriteFileTest, OverwriteTruncatesAndNewRefusesExisting) {
  TestDir dir;
  std::string path = dir.path() + "/f";
  std::ofstream(path) << std::string(100, 'o');
  DiagCapture cap;
  EXPECT_TRUE(ublWriteFileW(dir.wide("f").c_str(), "0123456789", 10, true, false));
  EXPECT_EQ("0123456789", slurp(path));

  EXPECT_FALSE(ublWriteFileW(dir.wide("f").c_str(), "xyz", 3, false, true));
  EXPECT_EQ(u"Error: ublWriteFileW: Could not open file (error)\n", cap.only());
  EXPECT_EQ("0123456789", slurp(path));

  EXPECT_TRUE(ublWriteFileW(dir.wide("f").c_str(), nullptr, 0, true, false));
  EXPECT_EQ("", slurp(path));
  EXPECT_TRUE(ublWriteFileW(dir.wide("new").c_str(), "abc", 3, false, true));
  EXPECT_EQ("abc", slurp(dir.path() + "/new"));
}

TEST(WriteFileTest, ReportsFailedWriteAndKeepsNothingSilent) {
  DiagCapture cap;
  // /dev/full accepts the open and refuses every byte.
  EXPECT_FALSE(ublWriteFileW(u"/dev/full", "abc", 3, true, true));
  EXPECT_EQ(u"Error: ublWriteFileW: Could not write to file (error)\n", cap.only());
}

TEST(SysErrorTest, ReportsSystemTextOrNothing) {
  DiagCapture cap;
  ublReportSysError("cMemoryBuffer::cMemoryBuffer", ENOENT);
  std::u16string expected = u"Error: cMemoryBuffer::cMemoryBuffer failed with error 2: " +
                            toWide(std::strerror(ENOENT)) + u"\n";
  EXPECT_EQ(expected, cap.only());
  cap.records.clear();
  ublReportSysError("op", 987654);
  EXPECT_TRUE(cap.records.empty());
}

TEST(RoundingTest, MaskForPowersOfTwoTruncatingDivisionOtherwise) {
  struct {
    int64_t value, alignment, down;
  } cases[] = {
      {4100, 4096, 4096}, {4100, 1000, 4000}, {-1, 4096, -4096}, {-1, 1000, 0},
      {12345, 0, 12345},  {INT64_MIN, -1, INT64_MIN},
  };
  for (const auto& c : cases)
    EXPECT_EQ(c.down, ublRoundDown(c.value, c.alignment)) << c.value << " " << c.alignment;
  EXPECT_EQ(1024, ublRoundUp(1, 1024));
  EXPECT_EQ(1024, ublRoundUp(1024, 1024));
  EXPECT_EQ(0, ublRoundUp(0, 1024));
  EXPECT_EQ(-1, ublHighPart(-1));
  EXPECT_EQ(1, ublHighPart(int64_t(1) << 32 | 0xFFFFFFFF));
}

TEST(RoundingTest, ZeroAlignmentIsALevel3Diagnostic) {
  DiagCapture cap(3);
  ublRoundDown(5, 0);
  ASSERT_EQ(1u, cap.count(3));
  EXPECT_EQ(u"ublRoundDown: invalid zero alignment!\n", cap.records[0].text);
}

TEST(VirtualMemTest, ReserveUseRelease) {
  const uint64_t size = 1 << 20;
  char* p = static_cast<char*>(
      ublVirtualAlloc(nullptr, size, UBL_MEM_RESERVE, UBL_PAGE_READWRITE, "test"));
  ASSERT_NE(nullptr, p);
  p[size - 1] = 1;
  EXPECT_EQ(nullptr, ublVirtualAlloc(p, size, UBL_MEM_RESERVE, UBL_PAGE_READWRITE, "test"));
  EXPECT_FALSE(ublVirtualFree(p, 0, UBL_MEM_RELEASE, "test"));
  EXPECT_EQ(1, p[size - 1]);  // size 0 released nothing
  EXPECT_TRUE(ublVirtualFree(p, size, UBL_MEM_RELEASE, "test"));
}

}  // namespace
