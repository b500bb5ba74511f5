// Extracting selected corpus members through the archive interface, for the
// decoder tests that judge each member against the reference's verdict.
#ifndef TESTS_SUPPORT_CORPUS_EXTRACT_H_
#define TESTS_SUPPORT_CORPUS_EXTRACT_H_

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

#include "rarlib/rar.h"
#include "tests/support/archive_reader.h"
#include "tests/support/corpus.h"

namespace testsupport {

// Extracts into memory every regular, unencrypted, unsplit member for which
// `want(member)` holds, archive by archive (headers-encrypted archives left out),
// and hands `check(archive_name, member, rc, hash_sink)` each result. Fails the test
// when an archive does not open or a wanted member is never reached.
template <typename Want, typename Check>
void ExtractCorpusMembers(Want want, Check check) {
  std::map<std::string, std::map<std::string, CorpusMember>> wanted;
  for (const CorpusMember& m : LoadExpected()) {
    if (!m.encrypted && m.type == "file" && m.split == "-" && want(m)) {
      wanted[m.archive][m.name] = m;
    }
  }
  for (const CorpusArchive& a : LoadManifest()) {
    if (a.enc_headers || !wanted.count(a.name())) continue;
    SCOPED_TRACE(a.name());
    const auto& members = wanted[a.name()];
    RAROpenArchiveDataEx open;
    RARHANDLE h = OpenArchive(OpenPath(a), RAR_OM_EXTRACT, &open);
    ASSERT_NE(h, nullptr) << "open failed: " << open.OpenResult;
    HashSink hash;
    hash.Attach(h);
    std::set<std::string> seen;
    ForEachMember(h, [&](const RARHeaderDataEx& hd) {
      std::string name = Utf16ToUtf8(hd.FileNameW);
      auto it = members.find(name);
      if (it == members.end()) return false;
      SCOPED_TRACE(name);
      seen.insert(name);
      hash.Start();
      int rc = RARProcessFileW(h, RAR_EXTRACT, nullptr, nullptr);
      check(a.name(), it->second, rc, hash);
      return true;
    });
    RARCloseArchive(h);
    EXPECT_EQ(seen.size(), members.size()) << "members not reached";
  }
}

}  // namespace testsupport

#endif  // TESTS_SUPPORT_CORPUS_EXTRACT_H_
