// The whole host path on one input: the bytes as an archive in memory through
// ArchOpenBuffer, then every member walked, looked up and extracted into a
// bounded buffer, the first one also to a file, and the archive re-spilled and
// searched by name. Inputs that show encryption (or no readable header) run a
// second time with a password. Traps on any broken promise of the exports: a
// failed open that leaves state behind, a cursor that runs backwards, a
// temporary file left after ArchClose.
#include <dirent.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "plugin/arcunpack.h"

namespace {

std::string gDir;       // private TEMP folder
std::u16string gDest;   // extraction target inside it
uint8_t* gBuffer = nullptr;
constexpr uint32_t kBufferSize = 1 << 20;

void Check(bool ok) {
  if (!ok) __builtin_trap();
}

bool FolderEmpty() {
  DIR* d = opendir(gDir.c_str());
  if (d == nullptr) return false;
  bool empty = true;
  while (dirent* e = readdir(d)) {
    if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) empty = false;
  }
  closedir(d);
  return empty;
}

void RemoveDest() {
  std::string narrow(gDest.begin(), gDest.end());
  unlink(narrow.c_str());
}

// Returns true when the input deserves a run with a password.
bool Run(const uint8_t* data, size_t size, const char16_t* password) {
  ArchContext c = {};
  if (password != nullptr) Check(ArchSetEncryptionKey(&c, password) == ARCH_OK);
  const int32_t rc = ArchOpenBuffer(&c, data, uint32_t(size), 0, nullptr);
  if (rc != ARCH_OK) {
    Check(c.state == nullptr && c.index == nullptr && c.spill == nullptr);
    ArchClose(&c);
    Check(FolderEmpty());
    return rc == ARCH_E_EMPTY && size > 20;
  }
  Check(c.memberCount > 0 && c.currentIndex == 0 && c.memberName != nullptr);
  bool encrypted = false;
  bool toFile = true;
  std::u16string last;
  for (int steps = 0; steps < c.memberCount + 2 && c.currentIndex < c.memberCount; ++steps) {
    encrypted |= c.flags[5] != 0;
    last = c.memberName;
    ArchDoesMemberExist(&c, last.c_str());
    const int32_t before = c.currentIndex;
    if (toFile) {
      ArchReadMemberToFile(&c, gDest.c_str());
      RemoveDest();
      toFile = false;
    } else {
      const uint32_t n = c.unpackedSize < kBufferSize ? c.unpackedSize : kBufferSize;
      ArchReadMemberToBuffer(&c, gBuffer, n);
    }
    Check(c.currentIndex >= before);
    if (c.currentIndex == before && ArchNextItem(&c) == ARCH_NO_ITEM) break;
  }
  // Spill the same bytes again on the open context and jump to the last name seen.
  if (ArchOpenBuffer(&c, data, uint32_t(size), 0, nullptr) == ARCH_OK && !last.empty())
    ArchFindItemByPath(&c, last.c_str());
  ArchClose(&c);
  Check(c.state == nullptr && c.index == nullptr && c.spill == nullptr && c.memberName == nullptr);
  Check(FolderEmpty());
  return encrypted;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  char tmpl[] = "/tmp/arcunpack-fuzz-host-XXXXXX";
  if (mkdtemp(tmpl) == nullptr) abort();
  gDir = tmpl;
  setenv("TEMP", tmpl, 1);
  const std::string dest = gDir + "/member.out";
  gDest.assign(dest.begin(), dest.end());
  gBuffer = static_cast<uint8_t*>(malloc(kBufferSize));
  atexit([] { rmdir(gDir.c_str()); });
  ArchInitInfo info;
  ArchInit(&info);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 0xFFFFFFFFu) return 0;
  if (Run(data, size, nullptr)) Run(data, size, u"password");
  return 0;
}
