// libarchive as an independent peer: on every corpus archive it can read (one file,
// no password), each member it extracts without error must come out of our engine
// with the same bytes.
#include <gtest/gtest.h>

#ifdef ARCUNPACK_HAVE_LIBARCHIVE
#include <archive.h>
#include <archive_entry.h>
#endif

#include <map>
#include <set>
#include <string>

#include "rarlib/rar.h"
#include "tests/support/archive_reader.h"
#include "tests/support/corpus.h"

namespace {

#ifdef ARCUNPACK_HAVE_LIBARCHIVE

// Name -> SHA-256 of every regular member libarchive extracts without complaint.
std::map<std::string, std::string> ReadWithLibarchive(const std::string& path) {
  std::map<std::string, std::string> out;
  archive* a = archive_read_new();
  archive_read_support_format_rar(a);
  archive_read_support_format_rar5(a);
  if (archive_read_open_filename(a, path.c_str(), 1 << 16) != ARCHIVE_OK) {
    archive_read_free(a);
    return out;
  }
  archive_entry* e;
  while (archive_read_next_header(a, &e) == ARCHIVE_OK) {
    if (archive_entry_filetype(e) != AE_IFREG || archive_entry_hardlink(e) != nullptr) continue;
    const char* name = archive_entry_pathname_utf8(e);
    if (name == nullptr) name = archive_entry_pathname(e);
    testsupport::HashSink h;
    uint8_t buf[1 << 16];
    la_ssize_t n;
    int64_t total = 0;
    while ((n = archive_read_data(a, buf, sizeof(buf))) > 0) {
      h.Add(buf, static_cast<size_t>(n));
      total += n;
    }
    if (n < 0) break;  // libarchive gave up: nothing after this is trusted
    if (archive_entry_size_is_set(e) && archive_entry_size(e) != total) continue;
    if (name != nullptr) out[name] = h.Hex();
  }
  archive_read_free(a);
  return out;
}

// (archive, member) pairs not to compare: members libarchive extracts although the
// reference rejects them, and links and file copies, whose content the two readers
// present differently.
std::set<std::pair<std::string, std::string>> ExcludedMembers() {
  std::set<std::pair<std::string, std::string>> out;
  for (const testsupport::CorpusMember& m : testsupport::LoadExpected()) {
    if (m.libarchive == "LENIENT" || m.type != "file") out.insert({m.archive, m.name});
  }
  return out;
}

TEST(PeerLibarchive, SameBytesWhereLibarchiveReads) {
  if (!testsupport::CorpusAvailable())
    GTEST_SKIP() << "corpus not present at " << testsupport::CorpusDir();
  std::set<std::pair<std::string, std::string>> excluded = ExcludedMembers();
  size_t compared = 0;
  for (const testsupport::CorpusArchive& a : testsupport::LoadManifest()) {
    // Damaged archives are left out: the libarchive release at hand has known memory
    // faults on some of them, and there is no agreed content to compare anyway.
    if (a.files.size() != 1 || a.volume != "0" || a.password != "-" || a.category == "damaged")
      continue;
    std::string path = testsupport::OpenPath(a);
    std::map<std::string, std::string> peer = ReadWithLibarchive(path);
    if (peer.empty()) continue;
    SCOPED_TRACE(a.name());
    RAROpenArchiveDataEx open;
    RARHANDLE h = testsupport::OpenArchive(path, RAR_OM_EXTRACT, &open);
    ASSERT_NE(h, nullptr) << "libarchive opens it, we do not: " << open.OpenResult;
    testsupport::HashSink hash;
    hash.Attach(h);
    testsupport::ForEachMember(h, [&](const RARHeaderDataEx& hd) {
      std::string name = testsupport::Utf16ToUtf8(hd.FileNameW);
      auto it = peer.find(name);
      if (it == peer.end() || excluded.count({a.name(), name})) return false;
      SCOPED_TRACE(name);
      hash.Start();
      EXPECT_EQ(RARProcessFileW(h, RAR_EXTRACT, nullptr, nullptr), ERAR_SUCCESS);
      EXPECT_EQ(hash.Hex(), it->second);
      ++compared;
      return true;
    });
    RARCloseArchive(h);
  }
  RecordProperty("members_compared", static_cast<int>(compared));
  EXPECT_GT(compared, 0u);
}

#else

TEST(PeerLibarchive, SameBytesWhereLibarchiveReads) {
  GTEST_SKIP() << "libarchive was not found when the tests were configured";
}

#endif

}  // namespace
