#include "rarlib/volume_name.h"

#include <gtest/gtest.h>

namespace {

struct Case {
  const char* path;
  bool new_numbering;
  const char* next;
};

TEST(VolumeNameTest, NextNameFollowsBothSchemes) {
  const Case kCases[] = {
      {"a.part1.rar", true, "a.part2.rar"},
      {"a.part9.rar", true, "a.part10.rar"},
      {"a.part09.rar", true, "a.part10.rar"},
      {"a.part099.rar", true, "a.part100.rar"},
      {"a.part03of10.rar", true, "a.part04of10.rar"},
      {"dir/a.part1.exe", true, "dir/a.part2.rar"},
      {"d1.x/a.part1.rar", true, "d1.x/a.part2.rar"},
      {"d1/a.rar", true, "d1/a.r00"},  // no number in the file name part
      {"a.rar", false, "a.r00"},
      {"a.r00", false, "a.r01"},
      {"a.r09", false, "a.r10"},
      {"a.r99", false, "a.s00"},
      {"a.999", false, "a.a00"},
      {"a.exe", false, "a.r00"},
      {"a.sfx", false, "a.r00"},
      {"a", false, "a.r00"},
      {"a.", false, "a.r00"},
      {"dir.v/a", false, "dir.v/a.r00"},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(rarlib::NextVolumeName(c.path, c.new_numbering), c.next) << c.path;
  }
}

}  // namespace
