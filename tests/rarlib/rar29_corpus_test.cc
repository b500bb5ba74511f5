// RAR 2.9 members of the shared corpus, extracted through the archive interface:
// every unencrypted compressed member with unpack version 29 (LZ and PPMd) must give
// the expected SHA-256, and every member the reference rejects must fail cleanly.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "rarlib/rar.h"
#include "tests/support/archive_reader.h"
#include "tests/support/corpus.h"
#include "tests/support/corpus_extract.h"

namespace {

// Members whose expected result differs from the reference on purpose: their filter
// program is not one of the standard filters. The reference writes nothing for the
// filtered range (and for the first one even reports success with the bytes lost);
// we refuse the member as unsupported.
const std::map<std::pair<std::string, std::string>, int> kNonStandardProgram = {
    {{"junrar_as-vm-1-trigger.rar", "AS_VM_1.BIN"}, ERAR_UNKNOWN_FORMAT},
    {{"junrar_audio-filter-noncanonical.rar", "BoatModernEnglish.wav"}, ERAR_UNKNOWN_FORMAT},
};

TEST(Rar29Corpus, MembersMatchExpectedHashes) {
  if (!testsupport::CorpusAvailable())
    GTEST_SKIP() << "corpus not present at " << testsupport::CorpusDir();
  size_t checked = 0, failed_as_expected = 0;
  testsupport::ExtractCorpusMembers(
      [](const testsupport::CorpusMember& m) { return m.unp_ver == 29 && m.method != 48; },
      [&](const std::string& archive, const testsupport::CorpusMember& m, int rc,
          testsupport::HashSink& hash) {
        auto special = kNonStandardProgram.find({archive, m.name});
        if (special != kNonStandardProgram.end()) {
          EXPECT_EQ(rc, special->second);
          ++failed_as_expected;
        } else if (m.status == "OK" || m.status.rfind("WARN", 0) == 0) {
          EXPECT_EQ(rc, ERAR_SUCCESS);
          EXPECT_EQ(hash.size(), m.unp_size);
          EXPECT_EQ(hash.Hex(), m.sha256);
          ++checked;
        } else {
          EXPECT_EQ(rc, ERAR_BAD_DATA) << "reference: " << m.status;
          EXPECT_LE(hash.size(), m.unp_size);
          ++failed_as_expected;
        }
      });
  RecordProperty("members_checked", static_cast<int>(checked));
  EXPECT_GT(checked, 0u);
  EXPECT_GT(failed_as_expected, 0u);
}

}  // namespace
