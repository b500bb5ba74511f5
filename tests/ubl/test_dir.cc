#include "test_dir.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/utf.h"

std::u16string TestDir::wide(const std::string& name) const {
  return toWide(name.empty() ? path() : path() + "/" + name);
}

std::u16string toWide(const std::string& utf8) {
  std::vector<char16_t> buf(utf8.size() + 1);
  EXPECT_TRUE(platUtf8ToWide(utf8.c_str(), buf.data(), buf.size(), false));
  return buf.data();
}

std::string toUtf8(const std::u16string& wide) {
  std::vector<char> buf(wide.size() * 3 + 1);
  EXPECT_TRUE(platWideToUtf8(wide.c_str(), buf.data(), buf.size()));
  return buf.data();
}
