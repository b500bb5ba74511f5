#include "tests/reliability/reliability_util.h"

#include <unistd.h>

#include <memory>

namespace reliability {

WalkResult WalkArchive(const testsupport::Bytes& bytes, const std::string& password,
                       const std::string& destFile, bool reopen, uint32_t cap) {
  WalkResult r;
  ArchContext c = {};
  if (!password.empty() && ArchSetEncryptionKey(&c, W(password).c_str()) != ARCH_OK)
    r.problem = "password refused";
  r.open = ArchOpenBuffer(&c, bytes.data(), uint32_t(bytes.size()), 0, nullptr);
  if (!IsOpenCode(r.open)) r.problem = "open answered " + std::to_string(r.open);
  if (r.open != ARCH_OK) {
    if (!IsEmptyContext(c)) r.problem = "failed open left state behind";
    ArchClose(&c);
    return r;
  }
  if (c.memberCount <= 0 || c.currentIndex != 0 || c.memberName == nullptr)
    r.problem = "open succeeded without a member";
  std::unique_ptr<uint8_t[]> buf(new uint8_t[cap ? cap : 1]);
  const std::u16string dest = W(destFile);
  bool toFile = !destFile.empty();
  for (int steps = 0; steps < c.memberCount + 2 && c.currentIndex < c.memberCount; ++steps) {
    const std::u16string name = c.memberName ? c.memberName : u"";
    if (!ArchDoesMemberExist(&c, name.c_str())) r.problem = "member at the cursor not in the index";
    const int32_t before = c.currentIndex;
    int32_t rc;
    if (toFile) {
      rc = ArchReadMemberToFile(&c, dest.c_str());
      unlink(destFile.c_str());
      toFile = false;
    } else {
      rc = ArchReadMemberToBuffer(&c, buf.get(), c.unpackedSize < cap ? c.unpackedSize : cap);
    }
    if (rc != ARCH_OK && rc != ARCH_E_FAILED) r.problem = "extract answered " + std::to_string(rc);
    if (rc == ARCH_OK) ++r.extracted;
    if (c.currentIndex < before || c.currentIndex > before + 1) r.problem = "cursor jumped";
    if (c.currentIndex == before) {
      const int32_t next = ArchNextItem(&c);
      if (next == ARCH_NO_ITEM) break;
      if (next != before + 1) r.problem = "ArchNextItem answered " + std::to_string(next);
    }
  }
  if (reopen) {
    const int32_t again = ArchOpenBuffer(&c, bytes.data(), uint32_t(bytes.size()), 0, nullptr);
    if (again != r.open) r.problem = "second open answered " + std::to_string(again);
    if (again == ARCH_OK && c.index != nullptr && c.memberCount > 0) {
      ArchFindItemByPath(&c, u"no such member");
      if (c.currentIndex != 0) r.problem = "lookup of a missing name moved the cursor";
    }
  }
  ArchClose(&c);
  if (!IsEmptyContext(c) || c.memberName != nullptr) r.problem = "ArchClose left state behind";
  return r;
}

}  // namespace reliability
