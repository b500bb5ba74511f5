// Temporary path generation: layout, uniqueness, room rules and give-up.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <regex>
#include <string>

#include "tests/support/diag_capture.h"
#include "test_dir.h"
#include "ubl/temp_path.h"

namespace {

class ScopedTemp {
 public:
  explicit ScopedTemp(const char* value) {
    const char* old = std::getenv("TEMP");
    mHad = old != nullptr;
    if (old) mOld = old;
    if (value) setenv("TEMP", value, 1);
    else unsetenv("TEMP");
  }
  ~ScopedTemp() {
    if (mHad) setenv("TEMP", mOld.c_str(), 1);
    else unsetenv("TEMP");
  }

 private:
  bool mHad;
  std::string mOld;
};

struct Made {
  std::string path;
  int32_t capacity;
};

Made make(const char16_t* dir, const char16_t* tag, const char16_t* kind) {
  int32_t capacity = -5;
  char16_t* p = ublGenTempW(dir, &capacity, tag, kind);
  Made m{p ? toUtf8(p) : "", capacity};
  ublFreeTempPath(p);
  return m;
}

const char* kStamp = R"(\d{8}\d{6}\.\d{3}_ {0,9}\d{1,10})";

TEST(GenTempTest, LayoutFromTempWithTagAndKind) {
  TestDir dir;
  ScopedTemp temp(dir.path().c_str());
  Made a = make(nullptr, u"ZRAR", u"OPEN");
  Made b = make(nullptr, u"ZRAR", u"OPEN");
  EXPECT_EQ(1024, a.capacity);
  std::regex layout(dir.path() + "/QTK_ZRAR_OPEN_" + kStamp);
  EXPECT_TRUE(std::regex_match(a.path, layout)) << a.path;
  EXPECT_EQ(dir.path().size() + 15 + 18 + 11, a.path.size());
  EXPECT_NE(a.path, b.path);
  for (const Made* m : {&a, &b}) {
    struct stat st;
    ASSERT_EQ(0, stat(m->path.c_str(), &st));
    EXPECT_EQ(0, st.st_size);
    EXPECT_EQ(0600u, st.st_mode & 0777);
  }
  // Month and day fields are 1-based.
  std::string stamp = a.path.substr(dir.path().size() + 15, 8);
  EXPECT_NE("00", stamp.substr(4, 2));
  EXPECT_NE("00", stamp.substr(6, 2));
}

TEST(GenTempTest, AbsentWordsLeaveNoUnderscores) {
  TestDir dir;
  Made m = make(dir.wide().c_str(), u"", nullptr);
  EXPECT_TRUE(std::regex_match(m.path, std::regex(dir.path() + "/QTK_" + kStamp))) << m.path;
}

TEST(GenTempTest, LongDirectoriesDropWordsThenFail) {
  TestDir dir;
  // Build a real directory whose path is exactly 980 characters long.
  std::string deep = dir.path();
  while (deep.size() < 980) {
    size_t piece = std::min<size_t>(200, 980 - deep.size() - 1);
    deep += "/" + std::string(piece, 'd');
    ASSERT_EQ(0, mkdir(deep.c_str(), 0700)) << deep.size();
  }
  ASSERT_EQ(980u, deep.size());
  Made m = make(toWide(deep).c_str(), u"TENLETTERS", u"OPEN");
  EXPECT_EQ(1024, m.capacity);
  EXPECT_TRUE(std::regex_match(m.path, std::regex(deep + "/QTK_" + kStamp))) << m.path;

  std::u16string tooLong(985, u'a');
  Made none = make(tooLong.c_str(), nullptr, nullptr);
  EXPECT_EQ("", none.path);
  EXPECT_EQ(0, none.capacity);
}

TEST(GenTempTest, GivesUpAfter1001Attempts) {
  TestDir dir;
  std::u16string missing = dir.wide("no/such/dir");
  DiagCapture cap;
  int32_t before = gTempCounter;
  Made m = make(missing.c_str(), u"ZRAR", u"OPEN");
  EXPECT_EQ(1001, gTempCounter - before);
  EXPECT_EQ("", m.path);
  EXPECT_EQ(0, m.capacity);
  EXPECT_EQ(u"Error: " + missing + u"(in [ublGenTempFilePath]): too many tries -- giving up\n",
            cap.only());
}

TEST(GenTempTest, UnsetOrEmptyTempFallsBackToTmp) {
  for (const char* value : {static_cast<const char*>(nullptr), ""}) {
    ScopedTemp temp(value);
    Made m = make(nullptr, u"ZRAR", u"OPEN");
    EXPECT_EQ(0u, m.path.find("/tmp/QTK_ZRAR_OPEN_")) << m.path;
    std::remove(m.path.c_str());
  }
}

}  // namespace
