// Shared helpers of the plug-in tests: a context closed at scope end, wide strings,
// fixture archives written into a scratch folder, and the temporary folder redirected so
// that spilled files can be watched.
#pragma once

#include <dirent.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "plugin/arcunpack.h"
#include "tests/support/corpus.h"
#include "tests/support/rar_writer.h"
#include "tests/support/temp_redirect.h"

namespace plugintest {

using testsupport::Bytes;
using testsupport::RarWriter;

inline std::u16string W(const std::string& s) { return testsupport::Utf8ToUtf16(s); }

// A host context, zero-filled, closed when the test leaves it.
struct Ctx {
  ArchContext c = {};
  Ctx() = default;
  Ctx(const Ctx&) = delete;
  ~Ctx() { ArchClose(&c); }
  ArchContext* operator->() { return &c; }
  ArchContext* get() { return &c; }
  std::string name() const { return c.memberName ? testsupport::Utf16ToUtf8(c.memberName) : ""; }
  bool empty() const { return !c.state && !c.index && !c.spill; }
};

inline Bytes bytesOf(const std::string& s) { return Bytes(s.begin(), s.end()); }

inline bool fileExists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

inline std::string fileText(const std::string& path) {
  std::vector<uint8_t> v;
  if (!testsupport::ReadFile(path, &v)) return "<missing>";
  return std::string(v.begin(), v.end());
}

// Points TEMP at a scratch folder for the life of the object, so that every temporary
// file the plug-in generates lands there.
class TempFolder : public testsupport::TempRedirect {
 public:
  // Names of the generated spill files present now.
  std::vector<std::string> spills() const {
    std::vector<std::string> out;
    if (DIR* d = opendir(path().c_str())) {
      while (dirent* e = readdir(d)) {
        if (std::string(e->d_name).rfind("QTK_ZRAR_OPEN_", 0) == 0) out.push_back(e->d_name);
      }
      closedir(d);
    }
    return out;
  }
};

// A stored RAR 4 archive of `n` files named f0.txt, f1.txt... holding "content <i>".
inline Bytes numberedArchive(int n, RarWriter::Format f = RarWriter::Format::kRar4) {
  RarWriter w(f);
  for (int i = 0; i < n; ++i) {
    w.AddFile("f" + std::to_string(i) + ".txt", "content " + std::to_string(i));
  }
  return w.Build();
}

}  // namespace plugintest
