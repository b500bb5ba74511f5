// Helpers of the reliability tests: a private temporary folder, descriptor
// counting, and a host walk that drives every export over an open archive and
// checks that each one answers one of its documented codes.
#pragma once

#include <dirent.h>

#include <string>
#include <vector>

#include "plugin/arcunpack.h"
#include "tests/support/corpus.h"
#include "tests/support/rar_writer.h"
#include "tests/support/temp_redirect.h"

namespace reliability {

inline std::u16string W(const std::string& s) { return testsupport::Utf8ToUtf16(s); }

// Entries of a folder, "." and ".." left out.
inline std::vector<std::string> FolderEntries(const std::string& dir) {
  std::vector<std::string> out;
  if (DIR* d = opendir(dir.c_str())) {
    while (dirent* e = readdir(d)) {
      std::string n = e->d_name;
      if (n != "." && n != "..") out.push_back(n);
    }
    closedir(d);
  }
  return out;
}

// Open descriptors of this process.
inline size_t OpenDescriptors() { return FolderEntries("/proc/self/fd").size(); }

// Points TEMP at a fresh folder for the life of the object.
class PrivateTemp : public testsupport::TempRedirect {
 public:
  std::vector<std::string> entries() const { return FolderEntries(path()); }
};

inline bool IsOpenCode(int32_t rc) {
  return rc == ARCH_OK || rc == ARCH_E_FILE || rc == ARCH_E_EMPTY || rc == ARCH_E_OPEN ||
         rc == ARCH_E_FAILED || rc == ARCH_STAT_ERR_FAILED || rc == ARCH_STAT_ERR_NO_MEMORY ||
         rc == ARCH_STAT_ERR_SHORT_READ || rc == ARCH_STAT_ERR_SHORT_WRITE;
}

inline bool IsEmptyContext(const ArchContext& c) {
  return c.state == nullptr && c.index == nullptr && c.spill == nullptr;
}

// What a walk saw; `problem` is empty when every export kept its promises.
struct WalkResult {
  int32_t open = 0;
  int extracted = 0;  // members that extracted with ARCH_OK
  std::string problem;
};

// Opens `bytes` with ArchOpenBuffer (password first when given), then walks
// every member: looks it up, extracts it into a buffer of at most `cap` bytes
// (the first member also to `destFile` when given), steps on when an
// extraction did not move the cursor; with `reopen`, spills the bytes again on
// the open context and looks up a missing name; closes. Checks every answer.
WalkResult WalkArchive(const testsupport::Bytes& bytes, const std::string& password,
                       const std::string& destFile, bool reopen = true, uint32_t cap = 1u << 20);

}  // namespace reliability
