// Guarded allocation, string helpers, file size and deletion.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "tests/support/diag_capture.h"
#include "test_dir.h"
#include "ubl/memory.h"

namespace {

TEST(GuardedAllocTest, RefusesEmptyAndOversizedWithOneError) {
  struct {
    uint64_t size;
    const char16_t* text;
  } refused[] = {
      {0, u"Error: Attempt to allocate 0 bytes!\n"},
      {UBL_MAX_ALLOC + 1, u"Error: Attempt to allocate 134217729 bytes!\n"},
      {uint64_t(1) << 40, u"Error: Attempt to allocate 1099511627776 bytes!\n"},
  };
  for (const auto& c : refused) {
    DiagCapture cap;
    EXPECT_EQ(nullptr, ubl_malloc(c.size));
    EXPECT_EQ(c.text, cap.only());
  }
  DiagCapture cap;
  void* p = ubl_malloc(UBL_MAX_ALLOC);
  EXPECT_NE(nullptr, p);
  std::free(p);
  EXPECT_TRUE(cap.records.empty());
}

TEST(GuardedAllocTest, CallocBoundsElementSizeAndProduct) {
  {
    DiagCapture cap;
    unsigned char* p = static_cast<unsigned char*>(ubl_calloc(1000000, 2));
    ASSERT_NE(nullptr, p);
    EXPECT_EQ(0, p[0] | p[1999999]);
    std::free(p);
    EXPECT_TRUE(cap.records.empty());
  }
  {
    DiagCapture cap;
    EXPECT_EQ(nullptr, ubl_calloc(5, 0));
    EXPECT_EQ(u"Error: Attempt to allocate 0 bytes!\n", cap.only());
  }
  {
    // A count from hostile input cannot size a block past the limit.
    DiagCapture cap;
    EXPECT_EQ(nullptr, ubl_calloc(UBL_MAX_ALLOC, 2));
    EXPECT_EQ(u"Error: Attempt to allocate 268435456 bytes!\n", cap.only());
    cap.records.clear();
    EXPECT_EQ(nullptr, ubl_calloc(UINT64_MAX, 16));
    EXPECT_EQ(1u, cap.records.size());
    EXPECT_EQ(nullptr, ublCallocQuiet(UINT64_MAX, 16));
    EXPECT_EQ(1u, cap.records.size());
  }
}

TEST(StringHelperTest, DuplicatesAndConversions) {
  char16_t* empty = ublWcsDup(nullptr, true);
  ASSERT_NE(nullptr, empty);
  EXPECT_EQ(0, empty[0]);
  std::free(empty);
  char16_t* copy = ublWcsDup(u"na\u00efve", false);
  EXPECT_EQ(std::u16string(u"na\u00efve"), std::u16string(copy));
  std::free(copy);

  EXPECT_EQ(nullptr, ublWideToNarrowDup(nullptr));
  char* e = ublWideToNarrowDup(u"");
  EXPECT_STREQ("", e);
  std::free(e);
  // Room for the full UTF-8 length: 3 bytes for each of these characters.
  char* cjk = ublWideToNarrowDup(u"\u65e5\u672c\u8a9e.rar");
  EXPECT_STREQ("\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e.rar", cjk);
  std::free(cjk);
  const char16_t lone[] = {u'p', 0xD800, 0};
  EXPECT_EQ(nullptr, ublWideToNarrowDup(lone));

  char buf[8] = "x";
  EXPECT_FALSE(ublWideToNarrow(u"a", buf, 0));
  EXPECT_STREQ("x", buf);  // size 0: nothing touched
  EXPECT_FALSE(ublWideToNarrow(nullptr, buf, 8));
  EXPECT_FALSE(ublWideToNarrow(u"\u00e9\u00e9\u00e9\u00e9", buf, 8));  // needs 9 bytes
  EXPECT_TRUE(ublWideToNarrow(u"\u00e9\u00e9\u00e9", buf, 8));
}

TEST(FileNameHelperTest, SizeAndDelete) {
  TestDir dir;
  EXPECT_EQ(-1, ublFileSizeW(dir.wide("missing").c_str()));
  std::ofstream(dir.path() + "/empty").close();
  EXPECT_EQ(0, ublFileSizeW(dir.wide("empty").c_str()));
  // A sparse file above 4 GiB reports its full 64-bit size.
  FILE* f = std::fopen((dir.path() + "/big").c_str(), "wb");
  ASSERT_NE(nullptr, f);
  ASSERT_EQ(0, fseeko(f, (off_t(5) << 30) - 1, SEEK_SET));
  std::fputc(0, f);
  std::fclose(f);
  EXPECT_EQ(int64_t(5) << 30, ublFileSizeW(dir.wide("big").c_str()));

  DiagCapture cap;
  EXPECT_TRUE(ublDeleteFileW(dir.wide("big").c_str()));
  EXPECT_FALSE(ublDeleteFileW(dir.wide("big").c_str()));
  EXPECT_TRUE(cap.records.empty());
}

}  // namespace
