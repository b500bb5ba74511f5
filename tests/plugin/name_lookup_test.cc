// The name table through its growth: every name keeps its first position across
// many doublings, look-alike names stay apart, and a cleared table starts afresh.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "plugin/name_lookup.h"

namespace {

std::u16string Name(int i) {
  std::string s = "dir/" + std::to_string(i);
  return std::u16string(s.begin(), s.end());
}

TEST(NameLookupGrowthTest, FirstPositionsSurviveGrowthAndClear) {
  constexpr int kNames = 20000;
  std::vector<std::u16string> names;
  for (int i = 0; i < kNames; ++i) names.push_back(Name(i));
  // The same names again, later: they must not displace the first positions.
  for (int i = 0; i < kNames; i += 7) names.push_back(Name(i));
  NameLookup lookup;
  for (size_t i = 0; i < names.size(); ++i)
    ASSERT_TRUE(lookup.add(names[i].c_str(), static_cast<int32_t>(i)));
  for (int i = 0; i < kNames; ++i) ASSERT_EQ(i, lookup.find(Name(i).c_str()));
  for (const char16_t* miss : {u"dir/", u"dir/20000", u"dir/00", u"dir/1 ", u"Dir/1"})
    EXPECT_EQ(-1, lookup.find(miss));

  lookup.clear();
  EXPECT_EQ(-1, lookup.find(u"dir/1"));
  ASSERT_TRUE(lookup.add(names[5].c_str(), 0));
  EXPECT_EQ(0, lookup.find(u"dir/5"));
  EXPECT_EQ(-1, lookup.find(u"dir/4"));
}

}  // namespace
