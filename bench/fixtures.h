// The archives the benchmarks run on: generated ones (stored, encrypted, many
// small members, a large spill buffer) written into a scratch directory at
// start, and compressed ones taken from the shared corpus when it is present.
// Nothing generated here is kept after the run.
#ifndef BENCH_FIXTURES_H_
#define BENCH_FIXTURES_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/rar_writer.h"

namespace bench {

struct Fixture {
  std::string name;      // class and size, e.g. "rar5-lz/large"
  std::string path;      // the archive file
  std::string password;  // empty: none
  bool peer = true;      // libarchive can read every member
  uint64_t fileBytes = 0;
  uint64_t unpackedBytes = 0;  // all members together
  uint64_t largestMember = 0;
  int members = 0;
};

// Sizes of the generated fixtures, from the environment:
// ARCUNPACK_BENCH_LARGE_MIB (stored/encrypted large, default 128),
// ARCUNPACK_BENCH_SPILL_MIB (spill buffer, default 1024),
// ARCUNPACK_BENCH_MANY (members of the many-small archive, default 100000).
struct FixtureSizes {
  uint64_t largeBytes;
  uint64_t spillBytes;
  int manyMembers;
  static FixtureSizes FromEnvironment();
};

class FixtureSet {
 public:
  explicit FixtureSet(const FixtureSizes& sizes);
  const std::vector<Fixture>& all() const { return fixtures_; }
  const Fixture* find(const std::string& name) const;
  const std::string& scratch() const { return dir_.path(); }
  // A stored archive of about spillBytes, kept in memory for the spill runs.
  const testsupport::Bytes& spillBuffer() const { return spill_; }
  // The member names of "many-small", in order, for the lookup runs.
  const std::vector<std::u16string>& manyNames() const { return manyNames_; }

 private:
  void AddGenerated(const std::string& name, const testsupport::Bytes& archive,
                    const std::string& password, bool peer);
  void AddCorpus(const std::string& name, const std::string& file, bool peer);

  testsupport::ScratchDir dir_;
  std::vector<Fixture> fixtures_;
  testsupport::Bytes spill_;
  std::vector<std::u16string> manyNames_;
};

}  // namespace bench

#endif  // BENCH_FIXTURES_H_
