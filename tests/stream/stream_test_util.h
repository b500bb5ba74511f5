// Helpers shared by the stream tests: scratch files, UTF-16 paths and a
// capture of the diagnostic writers.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/diag_capture.h"
#include "tests/support/rar_writer.h"
#include "ubl/diag.h"

namespace streamtest {

inline std::u16string wide(const std::string& ascii) {
  return std::u16string(ascii.begin(), ascii.end());
}

inline std::string narrow(const char16_t* text) {
  std::string out;
  for (; text && *text; ++text) out += static_cast<char>(*text < 0x80 ? *text : '?');
  return out;
}

// A directory of its own per test, removed with everything in it.
class ScratchDir {
 public:
  std::string path(const std::string& name) const { return mDir.path() + "/" + name; }
  std::u16string wpath(const std::string& name) const { return wide(path(name)); }

 private:
  testsupport::ScratchDir mDir;
};

inline void writeFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

inline std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline std::string pattern(size_t n, unsigned salt = 1) {
  std::string s(n, '\0');
  uint32_t x = salt * 2654435761u + 1;
  for (auto& c : s) {
    x = x * 1103515245u + 12345u;
    c = static_cast<char>(x >> 16);
  }
  return s;
}

// Collects every diagnostic (all levels) while alive; finds them by ASCII text.
class DiagCapture : public ::DiagCapture {
 public:
  DiagCapture() : ::DiagCapture(UINT32_MAX) {}
  bool contains(const std::string& piece) const {
    for (const CapturedRecord& r : records) {
      if (narrow(r.text.c_str()).find(piece) != std::string::npos) return true;
    }
    return false;
  }
};

}  // namespace streamtest
