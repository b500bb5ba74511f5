// Opening for a fresh start empties a file that holds something, leaves an empty one
// as it is, and still refuses what it refused before.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/file.h"
#include "platform/utf.h"

namespace {

TEST(PlatFileEmptyTest, DispositionsThatEmptyAFile) {
  char dir[] = "/tmp/plat_empty_XXXXXX";
  ASSERT_NE(nullptr, mkdtemp(dir));
  const std::string path = std::string(dir) + "/f.bin";
  char16_t p[512];
  platUtf8ToWide(path.c_str(), p, 512, false);

  struct Case {
    PlatDisposition disposition;
    size_t before;  // bytes in the file before the open (0: an empty file)
  };
  for (const Case& c : {Case{PLAT_CREATE_ALWAYS, 5000}, Case{PLAT_CREATE_ALWAYS, 0},
                        Case{PLAT_TRUNCATE_EXISTING, 5000}, Case{PLAT_TRUNCATE_EXISTING, 0}}) {
    PlatFile f;
    ASSERT_EQ(0, platFileOpen(p, PLAT_ACCESS_WRITE, PLAT_CREATE_ALWAYS, true, &f));
    std::string fill(c.before, 'x');
    platFileWrite(f, fill.data(), fill.size(), nullptr);
    platFileClose(f);

    ASSERT_EQ(0, platFileOpen(p, PLAT_ACCESS_READ | PLAT_ACCESS_WRITE, c.disposition, true, &f));
    int64_t size = -1;
    EXPECT_EQ(0, platFileSize(f, &size));
    EXPECT_EQ(0, size) << "disposition " << c.disposition << ", " << c.before << " bytes before";
    platFileWrite(f, "ab", 2, nullptr);
    EXPECT_EQ(0, platFileSize(f, &size));
    EXPECT_EQ(2, size);
    platFileClose(f);
  }

  PlatFile f;
  EXPECT_EQ(EINVAL, platFileOpen(p, PLAT_ACCESS_READ, PLAT_CREATE_ALWAYS, true, &f));
  unlink(path.c_str());
  EXPECT_EQ(ENOENT, platFileOpen(p, PLAT_ACCESS_WRITE, PLAT_TRUNCATE_EXISTING, true, &f));
  rmdir(dir);
}

}  // namespace
