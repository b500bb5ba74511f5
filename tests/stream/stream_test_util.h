// Helpers shared by the stream tests: scratch files, UTF-16 paths and a
// capture of the diagnostic writers.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

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

// Collects every diagnostic (all levels) while alive, as UTF-8-ish text.
class DiagCapture {
 public:
  DiagCapture() {
    instance() = this;
    mSavedSource = gDefaultSource;
    if (gDefaultSource == nullptr) gDefaultSource = reinterpret_cast<cTlDataSource*>(&mDummy);
    mSavedBinding = ublBindDiagnostics(&kBinding);
  }
  ~DiagCapture() {
    ublBindDiagnostics(mSavedBinding);
    gDefaultSource = mSavedSource;
    instance() = nullptr;
  }
  const std::vector<std::string>& lines() const { return mLines; }
  bool contains(const std::string& piece) const {
    for (const auto& l : mLines)
      if (l.find(piece) != std::string::npos) return true;
    return false;
  }

 private:
  static DiagCapture*& instance() {
    static DiagCapture* current = nullptr;
    return current;
  }
  static bool enabled(cTlDataSource*, uint32_t) { return true; }
  static void log(cTlDataSource*, const char16_t*, uint32_t, const char16_t* text) {
    if (instance() != nullptr) instance()->mLines.push_back(narrow(text));
  }
  static constexpr UblDiagBinding kBinding{&DiagCapture::enabled, &DiagCapture::log};

  int mDummy = 0;
  cTlDataSource* mSavedSource = nullptr;
  const UblDiagBinding* mSavedBinding = nullptr;
  std::vector<std::string> mLines;
};

}  // namespace streamtest
