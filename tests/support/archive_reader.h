// Reading archives through the engine's archive interface in tests: opening a
// path, and catching an extraction's output in memory (all bytes, or only their
// SHA-256 and count for members too large to keep). Header-only, so only the test
// programs that link the RAR engine use it.
#ifndef TESTS_SUPPORT_ARCHIVE_READER_H_
#define TESTS_SUPPORT_ARCHIVE_READER_H_

#include <openssl/evp.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "rarlib/rar.h"

namespace testsupport {

// Opens `path` in `mode`; `d` receives the open data (OpenResult, Flags). Null
// when the open fails.
inline RARHANDLE OpenArchive(const std::string& path, unsigned mode, RAROpenArchiveDataEx* d) {
  *d = RAROpenArchiveDataEx();
  d->ArcName = path.c_str();
  d->OpenMode = mode;
  return RAROpenArchiveEx(d);
}

inline RARHANDLE OpenForExtract(const std::string& path) {
  RAROpenArchiveDataEx d;
  return OpenArchive(path, RAR_OM_EXTRACT, &d);
}

// Data callback that appends every block to the std::vector<uint8_t> in `user`.
inline int CollectBytes(void* user, const uint8_t* data, size_t n) {
  auto* v = static_cast<std::vector<uint8_t>*>(user);
  v->insert(v->end(), data, data + n);
  return RAR_CALLBACK_CONTINUE;
}

// Reads the member headers of `h` in turn and hands each to
// `visit(const RARHeaderDataEx&)`, which acts on the member itself and returns
// true, or returns false to have it skipped. The walk ends at the first header
// that cannot be read or member that cannot be skipped.
template <typename Visit>
void ForEachMember(RARHANDLE h, Visit visit) {
  RARHeaderDataEx hd;
  while (RARReadHeaderEx(h, &hd) == ERAR_SUCCESS) {
    if (!visit(hd) && RARProcessFileW(h, RAR_SKIP, nullptr, nullptr) != ERAR_SUCCESS) break;
  }
}

// Extracts the member whose header was read last into `out` (emptied first)
// through the data callback, which is unset again afterwards. Returns the
// RARProcessFileW code.
inline int ExtractToMemory(RARHANDLE h, std::vector<uint8_t>* out) {
  out->clear();
  RARSetCallback(h, CollectBytes, out);
  int rc = RARProcessFileW(h, RAR_EXTRACT, nullptr, nullptr);
  RARSetCallback(h, nullptr, nullptr);
  return rc;
}

// SHA-256 and byte count of an extraction, fed through the data callback:
// Attach() once per handle, Start() before each member, Hex() after it.
class HashSink {
 public:
  HashSink() : ctx_(EVP_MD_CTX_new()) { Start(); }
  ~HashSink() { EVP_MD_CTX_free(ctx_); }
  HashSink(const HashSink&) = delete;
  HashSink& operator=(const HashSink&) = delete;

  void Attach(RARHANDLE h) { RARSetCallback(h, OnData, this); }
  void Start() {
    EVP_DigestInit_ex(ctx_, EVP_sha256(), nullptr);
    size_ = 0;
  }
  void Add(const void* p, size_t n) {
    EVP_DigestUpdate(ctx_, p, n);
    size_ += n;
  }
  // Lower-case hex digest of the bytes since Start(); call once per Start().
  std::string Hex() {
    uint8_t md[32];
    unsigned len = 0;
    EVP_DigestFinal_ex(ctx_, md, &len);
    char hex[65];
    for (int i = 0; i < 32; ++i) std::snprintf(hex + 2 * i, 3, "%02x", md[i]);
    return hex;
  }
  uint64_t size() const { return size_; }

 private:
  static int OnData(void* user, const uint8_t* data, size_t n) {
    static_cast<HashSink*>(user)->Add(data, n);
    return RAR_CALLBACK_CONTINUE;
  }

  EVP_MD_CTX* ctx_;
  uint64_t size_ = 0;
};

}  // namespace testsupport

#endif  // TESTS_SUPPORT_ARCHIVE_READER_H_
