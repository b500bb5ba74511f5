// A destination file ends up holding exactly what was written, whatever stood at its
// path before: a longer file, an empty one or nothing; a link there is refused.
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <string>

#include "rarlib/file_io.h"
#include "tests/support/rar_writer.h"

namespace {

std::string Contents(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

TEST(OutputFileTest, HoldsExactlyWhatWasWritten) {
  testsupport::ScratchDir dir;
  const std::string fresh = "new bytes";
  const char* const befores[] = {"", "an older and much longer content", nullptr};
  for (const char* before : befores) {
    const std::string path = dir.path() + "/out.bin";
    ::unlink(path.c_str());
    if (before) dir.Write("out.bin", testsupport::Bytes(before, before + std::string(before).size()));
    rarlib::OutputFile f;
    ASSERT_TRUE(f.Create(path));
    ASSERT_TRUE(f.Write(reinterpret_cast<const uint8_t*>(fresh.data()), fresh.size()));
    ASSERT_TRUE(f.Close());
    EXPECT_EQ(fresh, Contents(path)) << "before: " << (before ? before : "(none)");
  }

  const std::string target = dir.Write("target.bin", testsupport::Bytes{'k', 'e', 'e', 'p'});
  const std::string link = dir.path() + "/link.bin";
  ASSERT_EQ(0, ::symlink(target.c_str(), link.c_str()));
  rarlib::OutputFile f;
  EXPECT_FALSE(f.Create(link));
  EXPECT_EQ("keep", Contents(target));
}

}  // namespace
