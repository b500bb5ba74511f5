// Test helper: a fresh directory under /tmp, removed with its contents.
#pragma once

#include <string>

#include "tests/support/rar_writer.h"

class TestDir {
 public:
  const std::string& path() const { return mDir.path(); }
  std::u16string wide(const std::string& name = "") const;

 private:
  testsupport::ScratchDir mDir;
};

std::u16string toWide(const std::string& utf8);
std::string toUtf8(const std::u16string& wide);
