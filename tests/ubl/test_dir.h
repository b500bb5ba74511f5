// Test helper: a fresh directory under /tmp, removed with its contents.
#pragma once

#include <string>

class TestDir {
 public:
  TestDir();
  ~TestDir();
  const std::string& path() const { return mPath; }
  std::u16string wide(const std::string& name = "") const;

 private:
  std::string mPath;
};

std::u16string toWide(const std::string& utf8);
std::string toUtf8(const std::u16string& wide);
