// What a scanning host does with an archive, through the plug-in's exports
// only: open (both passes), walk every member, scan every member into one
// caller buffer, extract every member to a file, spill a buffer or a stream.
// Each operation opens, works and closes; it answers false when any export
// reported a failure, so that a benchmark never times a broken run.
#ifndef BENCH_HOST_OPS_H_
#define BENCH_HOST_OPS_H_

#include <cstdint>
#include <string>
#include <vector>

#include "plugin/arcunpack.h"

namespace bench {

struct ArchiveStats {
  int members = 0;
  uint64_t unpackedBytes = 0;
  uint64_t largestMember = 0;
};

class HostOps {
 public:
  HostOps(const std::string& path, const std::string& password);

  bool Open() const;
  bool Walk(ArchiveStats* stats = nullptr) const;
  // `buffer` must hold the largest member.
  bool Scan(std::vector<uint8_t>* buffer, uint64_t* bytes) const;
  // Each member into a fresh empty file at `destPath`.
  bool Extract(const std::string& destPath) const;

 private:
  std::u16string path_;
  std::u16string password_;
};

// An archive held open for repeated lookups; closed at destruction.
class OpenSession {
 public:
  OpenSession(const std::string& path, const std::string& password);
  ~OpenSession();
  OpenSession(const OpenSession&) = delete;
  OpenSession& operator=(const OpenSession&) = delete;
  bool ok() const { return ok_; }
  // ArchDoesMemberExist on every name; false when one was not found.
  bool LookupAll(const std::vector<std::u16string>& names);

 private:
  ArchContext* ctx_;
  bool ok_ = false;
};

// Makes `path` a new, empty file, as a host does when it generates a temporary file
// to extract a member into.
bool FreshEmptyFile(const std::string& path);

// Spills `size` bytes held in memory (ArchOpenBuffer) and closes again, which
// deletes the temporary file.
bool SpillBuffer(const uint8_t* data, uint64_t size);
// The same bytes behind a host stream (ArchOpenStream).
bool SpillStream(const uint8_t* data, uint64_t size);

}  // namespace bench

#endif  // BENCH_HOST_OPS_H_
