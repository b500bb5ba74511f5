// The archive handle on fixtures from the test writer, in both formats.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

#include "rarlib/rar.h"
#include "tests/support/archive_reader.h"
#include "tests/support/corpus.h"
#include "tests/support/rar_writer.h"

namespace {

using testsupport::Bytes;
using testsupport::RarEntry;
using testsupport::RarService;
using testsupport::RarWriter;
using testsupport::ScratchDir;
using Format = RarWriter::Format;

struct Member {
  std::string name;
  unsigned flags;
  uint64_t unp_size;
  unsigned method;
};

// An open handle that closes itself.
class Handle {
 public:
  Handle(const std::string& path, unsigned mode) { h_ = testsupport::OpenArchive(path, mode, &data_); }
  ~Handle() {
    if (h_ != nullptr) RARCloseArchive(h_);
  }
  RARHANDLE get() const { return h_; }
  const RAROpenArchiveDataEx& data() const { return data_; }
  int Next(Member* m = nullptr) {
    int rc = RARReadHeaderEx(h_, &hd_);
    if (rc == 0 && m != nullptr) {
      *m = Member{testsupport::Utf16ToUtf8(hd_.FileNameW), hd_.Flags,
                  hd_.UnpSize | (uint64_t{hd_.UnpSizeHigh} << 32), hd_.Method};
    }
    return rc;
  }
  const RARHeaderDataEx& header() const { return hd_; }
  // Extracts the current member through the callback.
  int Extract(std::string* out) {
    std::vector<uint8_t> bytes;
    int rc = testsupport::ExtractToMemory(h_, &bytes);
    out->assign(bytes.begin(), bytes.end());
    return rc;
  }
  int Process(int op) { return RARProcessFileW(h_, op, nullptr, nullptr); }
  int ExtractTo(const std::string& path) {
    std::u16string w = testsupport::Utf8ToUtf16(path);
    return RARProcessFileW(h_, RAR_EXTRACT, nullptr, w.c_str());
  }
  std::pair<int64_t, int64_t> Positions() const {
    int64_t cur = -1, next = -1;
    RARGetBlockPositions(h_, &cur, &next);
    return {cur, next};
  }

 private:
  RAROpenArchiveDataEx data_ = {};
  RARHeaderDataEx hd_ = {};
  RARHANDLE h_ = nullptr;
};

std::vector<Member> ListAll(const std::string& path, int* end_rc = nullptr) {
  Handle h(path, RAR_OM_LIST);
  std::vector<Member> out;
  if (h.get() == nullptr) return out;
  Member m;
  int rc;
  while ((rc = h.Next(&m)) == 0) {
    out.push_back(m);
    EXPECT_EQ(h.Process(RAR_SKIP), 0);
  }
  if (end_rc != nullptr) *end_rc = rc;
  return out;
}

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

RarEntry File(const std::string& name, const std::string& content) {
  RarEntry e;
  e.name = name;
  e.data.assign(content.begin(), content.end());
  return e;
}

class ArchiveTest : public ::testing::TestWithParam<Format> {
 protected:
  RarWriter Writer() const { return RarWriter(GetParam()); }
  bool rar5() const { return GetParam() == Format::kRar5; }
  ScratchDir dir_;
};

INSTANTIATE_TEST_SUITE_P(Formats, ArchiveTest, ::testing::Values(Format::kRar4, Format::kRar5),
                         [](const auto& info) { return info.param == Format::kRar4 ? "Rar4" : "Rar5"; });

TEST_P(ArchiveTest, ListsFileHeadersOnlyInArchiveOrder) {
  RarWriter w = Writer();
  w.Comment("hello").Locked().Recovery().AddDir("docs");
  RarEntry a = File("docs/a.txt", "alpha");
  a.services.push_back(RarService{"STM", Bytes{1, 2, 3}, true});
  a.services.push_back(RarService{"ACL", Bytes{4}, true});
  w.Add(a);
  RarEntry u = File(u8"docs/\u00fc\u540d\U0001F600.txt", "unicode");
  u.rar4_unicode = true;
  w.Add(u).Add(File("empty", "")).Trailer(RarService{"QO", Bytes(20, 7), false});
  w.Trailer(RarService{"RR", Bytes(30, 9), false});
  std::string path = dir_.Write("list.rar", w.Build());

  Handle h(path, RAR_OM_LIST);
  ASSERT_NE(h.get(), nullptr);
  unsigned want_flags = ROADF_COMMENT | ROADF_LOCK | ROADF_RECOVERY | (rar5() ? ROADF_NEWNUMBERING : 0);
  EXPECT_EQ(h.data().Flags, want_flags);
  int rc;
  auto list = ListAll(path, &rc);
  EXPECT_EQ(rc, ERAR_END_ARCHIVE);
  ASSERT_EQ(list.size(), 4u);
  EXPECT_EQ(list[0].name, "docs");
  EXPECT_EQ(list[0].flags & RHDF_DIRECTORY, unsigned{RHDF_DIRECTORY});
  EXPECT_EQ(list[1].name, "docs/a.txt");
  EXPECT_EQ(list[1].flags, 0u);
  EXPECT_EQ(list[1].unp_size, 5u);
  EXPECT_EQ(list[1].method, 0x30u);
  EXPECT_EQ(list[2].name, u8"docs/\u00fc\u540d\U0001F600.txt");
  EXPECT_EQ(list[3].name, "empty");
  EXPECT_EQ(list[3].unp_size, 0u);
}

TEST_P(ArchiveTest, OpenReportsArchiveFlags) {
  struct Case {
    bool solid, auth;
    unsigned want;
  } cases[] = {{true, false, ROADF_SOLID}, {false, true, rar5() ? 0u : unsigned{ROADF_SIGNED}}};
  for (const Case& c : cases) {
    RarWriter w = Writer();
    w.Solid(c.solid).Authenticity(c.auth).AddFile("f", "x");
    Handle h(dir_.Write("flags.rar", w.Build()), RAR_OM_LIST);
    ASSERT_NE(h.get(), nullptr);
    EXPECT_EQ(h.data().Flags & ~unsigned{ROADF_NEWNUMBERING}, c.want);
  }
}

TEST_P(ArchiveTest, OpenHandsOutAStoredComment) {
  RarWriter w = Writer();
  w.Comment("archive comment").AddFile("f", "x");
  std::string path = dir_.Write("cmt.rar", w.Build());
  struct Case {
    unsigned size;
    unsigned state;
    const char* text;
  } cases[] = {{64, 1, "archive comment"}, {8, ERAR_SMALL_BUF, "archive"}};
  for (const Case& c : cases) {
    char buf[64];
    RAROpenArchiveDataEx d = {};
    d.ArcName = path.c_str();
    d.CmtBuf = buf;
    d.CmtBufSize = c.size;
    RARHANDLE h = RAROpenArchiveEx(&d);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(d.CmtState, c.state);
    EXPECT_STREQ(buf, c.text);
    EXPECT_EQ(d.CmtSize, std::string(c.text).size() + 1);
    RARCloseArchive(h);
  }
}

TEST_P(ArchiveTest, LegacyNamesDecodeAsUtf8OrCodePage437) {
  RarEntry cp437 = File("", "1");
  cp437.raw_name = Bytes{0x81, 'b', '\\', 'c'};  // not UTF-8: code page 437
  RarEntry utf8 = File("", "2");
  utf8.raw_name = Bytes{0xC3, 0xA9, '.', 't'};   // valid UTF-8
  auto list = ListAll(dir_.Write("names.rar", Writer().Add(cp437).Add(utf8).Build()));
  ASSERT_EQ(list.size(), 2u);
  // RAR 4 separates with a backslash; in RAR 5 it is part of the name.
  EXPECT_EQ(list[0].name, rar5() ? u8"\u00fcb\\c" : u8"\u00fcb/c");
  EXPECT_EQ(list[1].name, u8"\u00e9.t");
}

TEST_P(ArchiveTest, ExtractsStoredMembersToCallbackAndFile) {
  std::string big(3 << 20, 'q');  // larger than one copy step
  for (size_t i = 0; i < big.size(); i += 4093) big[i] = static_cast<char>(i);
  RarWriter w = Writer();
  w.AddFile("small", "hello").Add(File("big", big)).AddFile("third", "3");
  Handle h(dir_.Write("x.rar", w.Build()), RAR_OM_EXTRACT);
  ASSERT_EQ(h.Next(), 0);
  std::string got;
  EXPECT_EQ(h.Extract(&got), 0);
  EXPECT_EQ(got, "hello");
  ASSERT_EQ(h.Next(), 0);
  std::string dest = dir_.path() + "/out";
  { std::ofstream(dest) << "previous content that is longer"; }
  EXPECT_EQ(h.ExtractTo(dest), 0);
  EXPECT_EQ(ReadText(dest), big);
  ASSERT_EQ(h.Next(), 0);
  EXPECT_EQ(h.Process(RAR_TEST), 0);
  EXPECT_EQ(h.Next(), ERAR_END_ARCHIVE);
}

TEST_P(ArchiveTest, ExtractionNeverFollowsOrCreatesLinks) {
  RarEntry link = File("link", "");
  link.link_target = "/etc/passwd";
  RarWriter w = Writer();
  w.Add(link).AddDir("d").AddFile("f", "data");
  Handle h(dir_.Write("links.rar", w.Build()), RAR_OM_EXTRACT);
  // A link member becomes a regular file holding its target.
  ASSERT_EQ(h.Next(), 0);
  std::string dest = dir_.path() + "/link_out";
  EXPECT_EQ(h.ExtractTo(dest), 0);
  struct stat st;
  ASSERT_EQ(lstat(dest.c_str(), &st), 0);
  EXPECT_TRUE(S_ISREG(st.st_mode));
  EXPECT_EQ(ReadText(dest), "/etc/passwd");
  // A directory creates nothing.
  ASSERT_EQ(h.Next(), 0);
  std::string dir_dest = dir_.path() + "/dir_out";
  EXPECT_EQ(h.ExtractTo(dir_dest), 0);
  EXPECT_NE(lstat(dir_dest.c_str(), &st), 0);
  // A symbolic link at the destination is not followed.
  ASSERT_EQ(h.Next(), 0);
  std::string victim = dir_.path() + "/victim";
  { std::ofstream(victim) << "keep"; }
  std::string trap = dir_.path() + "/trap";
  ASSERT_EQ(symlink(victim.c_str(), trap.c_str()), 0);
  EXPECT_EQ(h.ExtractTo(trap), ERAR_ECREATE);
  EXPECT_EQ(ReadText(victim), "keep");
}

TEST_P(ArchiveTest, DestinationFolderRefusesNamesLeavingIt) {
  RarWriter w = Writer();
  w.AddFile("../escape", "x").AddFile("sub/../../escape2", "y").AddFile("inside", "z");
  Handle h(dir_.Write("esc.rar", w.Build()), RAR_OM_EXTRACT);
  std::string folder = dir_.path() + "/dest";
  ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
  std::u16string wfolder = testsupport::Utf8ToUtf16(folder);
  for (int i = 0; i < 2; ++i) {
    ASSERT_EQ(h.Next(), 0);
    EXPECT_EQ(RARProcessFileW(h.get(), RAR_EXTRACT, wfolder.c_str(), nullptr), ERAR_ECREATE);
  }
  ASSERT_EQ(h.Next(), 0);
  EXPECT_EQ(RARProcessFileW(h.get(), RAR_EXTRACT, wfolder.c_str(), nullptr), 0);
  EXPECT_EQ(ReadText(folder + "/inside"), "z");
  struct stat st;
  EXPECT_NE(lstat((dir_.path() + "/escape").c_str(), &st), 0);
}

TEST_P(ArchiveTest, PositionAfterMemberIsPastItsServiceBlocks) {
  RarEntry a = File("a", "first");
  a.services.push_back(RarService{"STM", Bytes(10, 1), true});
  a.services.push_back(RarService{"RR", Bytes(12, 2), false});
  RarWriter w = Writer();
  w.Add(a).AddFile("b", "second");
  Bytes bytes = w.Build();
  const auto offsets = w.header_offsets();
  Handle h(dir_.Write("pos.rar", bytes), RAR_OM_EXTRACT);
  ASSERT_EQ(h.Next(), 0);
  auto [cur, next] = h.Positions();
  EXPECT_EQ(cur, static_cast<int64_t>(offsets[0]));
  EXPECT_EQ(next, static_cast<int64_t>(offsets[1]));
  std::string got;
  EXPECT_EQ(h.Extract(&got), 0);
  EXPECT_EQ(h.Positions().first, next);
  Member m;
  ASSERT_EQ(h.Next(&m), 0);
  EXPECT_EQ(m.name, "b");
  EXPECT_EQ(h.Positions().first, static_cast<int64_t>(offsets[1]));
}

TEST_P(ArchiveTest, FailuresGiveClearCodesAndTheWalkGoesOn) {
  RarEntry bad_crc = File("bad_crc", "payload");
  bad_crc.crc = 0x12345678;
  RarEntry unknown = File("unknown_method", "");
  unknown.method = 3;
  unknown.unp_ver = 99;  // no decoder for this version
  unknown.rar5_algo = 9;
  unknown.packed = Bytes(16, 0xAB);
  unknown.unp_size = 100;
  RarEntry locked = File("encrypted", "");
  locked.encrypted = true;
  locked.packed = Bytes(16, 0xCD);
  locked.unp_size = 5;
  locked.crypt = rar5() ? Bytes(50, 0) : Bytes(8, 1);
  RarWriter w = Writer();
  w.Add(bad_crc).Add(unknown).Add(locked).AddFile("good", "ok");
  std::string path = dir_.Write("fail.rar", w.Build());
  EXPECT_EQ(ListAll(path).size(), 4u);

  Handle h(path, RAR_OM_EXTRACT);
  std::string got;
  const int want[] = {ERAR_BAD_DATA, ERAR_UNKNOWN_FORMAT, ERAR_MISSING_PASSWORD};
  for (int code : want) {
    ASSERT_EQ(h.Next(), 0);
    EXPECT_EQ(h.Extract(&got), code) << testsupport::Utf16ToUtf8(h.header().FileNameW);
  }
  EXPECT_EQ(h.header().Flags & RHDF_ENCRYPTED, unsigned{RHDF_ENCRYPTED});
  ASSERT_EQ(h.Next(), 0);
  EXPECT_EQ(h.Extract(&got), 0);
  EXPECT_EQ(got, "ok");
}

TEST_P(ArchiveTest, BrokenHeaderEndsTheWalk) {
  RarEntry broken = File("b", "2");
  broken.bad_header_crc = true;
  RarWriter w = Writer();
  w.AddFile("a", "1").Add(broken).AddFile("c", "3");
  int rc;
  auto list = ListAll(dir_.Write("hdr.rar", w.Build()), &rc);
  EXPECT_EQ(list.size(), 1u);
  EXPECT_EQ(rc, ERAR_BAD_DATA);
}

TEST_P(ArchiveTest, TruncatedDataFailsWithoutHanging) {
  RarWriter w = Writer();
  w.AddFile("a", std::string(1000, 'a'));
  Bytes bytes = w.Build();
  bytes.resize(bytes.size() - 600);
  Handle h(dir_.Write("trunc.rar", bytes), RAR_OM_EXTRACT);
  ASSERT_EQ(h.Next(), 0);
  std::string got;
  EXPECT_EQ(h.Extract(&got), ERAR_BAD_DATA);
  EXPECT_NE(h.Next(), 0);
}

TEST_P(ArchiveTest, LargeDeclaredSizesAreReportedAndBounded) {
  RarEntry e = File("huge", "tiny");
  e.large = true;
  e.unp_size = (uint64_t{5} << 32) + 7;
  Handle h(dir_.Write("large.rar", Writer().Add(e).Build()), RAR_OM_EXTRACT);
  Member m;
  ASSERT_EQ(h.Next(&m), 0);
  EXPECT_EQ(m.unp_size, (uint64_t{5} << 32) + 7);
  std::string got;
  EXPECT_EQ(h.Extract(&got), ERAR_BAD_DATA);
  EXPECT_EQ(got, "tiny");
}

TEST_P(ArchiveTest, FindsTheSignatureBehindAnSfxModule) {
  Bytes prefix(70001, 0);
  prefix[0] = 'M';
  prefix[1] = 'Z';
  RarWriter w = Writer();
  w.Sfx(prefix).AddFile("in_sfx", "x");
  auto list = ListAll(dir_.Write("sfx.exe", w.Build()));
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].name, "in_sfx");
}

TEST_P(ArchiveTest, OpenRejectsWhatIsNotAnArchive) {
  RAROpenArchiveDataEx d = {};
  std::string missing = dir_.path() + "/none.rar";
  d.ArcName = missing.c_str();
  EXPECT_EQ(RAROpenArchiveEx(&d), nullptr);
  EXPECT_EQ(d.OpenResult, unsigned{ERAR_EOPEN});
  std::string junk = dir_.Write("junk.rar", Bytes(5000, 'j'));
  d.ArcName = junk.c_str();
  EXPECT_EQ(RAROpenArchiveEx(&d), nullptr);
  EXPECT_EQ(d.OpenResult, unsigned{ERAR_BAD_ARCHIVE});
  Bytes empty = Writer().Build();
  int rc;
  EXPECT_TRUE(ListAll(dir_.Write("empty.rar", empty), &rc).empty());
  EXPECT_EQ(rc, ERAR_END_ARCHIVE);
}

TEST_P(ArchiveTest, SplitMembersReadAcrossVolumes) {
  std::string body(2500, 'v');
  for (size_t i = 0; i < body.size(); ++i) body[i] = static_cast<char>('a' + i % 26);
  RarWriter w = Writer();
  w.AddFile("one", "first member").Add(File("split", body)).AddFile("last", "tail");
  auto vols = w.BuildVolumes(1000);
  ASSERT_GE(vols.size(), 3u);
  for (bool old_naming : {false, true}) {
    if (old_naming && rar5()) continue;
    RarWriter w2 = Writer();
    w2.OldNumbering(old_naming).AddFile("one", "first member").Add(File("split", body)).AddFile("last", "tail");
    ScratchDir d;
    std::string first = d.WriteVolumes("set", w2.BuildVolumes(1000), old_naming);
    auto list = ListAll(first);
    ASSERT_EQ(list.size(), 3u) << "old naming " << old_naming;
    EXPECT_EQ(list[1].name, "split");

    Handle h(first, RAR_OM_EXTRACT);
    EXPECT_EQ(h.data().Flags & (ROADF_VOLUME | ROADF_FIRSTVOLUME),
              unsigned{ROADF_VOLUME | ROADF_FIRSTVOLUME});
    std::string got;
    ASSERT_EQ(h.Next(), 0);
    ASSERT_EQ(h.Next(), 0);  // the first member is passed over unprocessed
    EXPECT_EQ(h.Extract(&got), 0);
    EXPECT_EQ(got, body);
    Member m;
    ASSERT_EQ(h.Next(&m), 0);
    EXPECT_EQ(m.name, "last");
    EXPECT_EQ(h.Extract(&got), 0);
    EXPECT_EQ(got, "tail");
    EXPECT_EQ(h.Next(), ERAR_END_ARCHIVE);
  }
}

TEST_P(ArchiveTest, MissingOrMiddleVolumes) {
  std::string body(2500, 'm');
  RarWriter w = Writer();
  w.AddFile("one", "1").Add(File("split", body)).AddFile("after", "2");
  auto vols = w.BuildVolumes(1000);
  ASSERT_EQ(vols.size(), 3u);
  {
    // The last volume is missing: the split member fails with a clear code,
    // what came before is intact.
    ScratchDir d;
    std::string first = d.WriteVolumes("set", {vols[0], vols[1]});
    Handle h(first, RAR_OM_EXTRACT);
    std::string got;
    ASSERT_EQ(h.Next(), 0);
    EXPECT_EQ(h.Extract(&got), 0);
    EXPECT_EQ(got, "1");
    ASSERT_EQ(h.Next(), 0);
    EXPECT_EQ(h.Extract(&got), ERAR_EOPEN);
    EXPECT_EQ(h.Next(), ERAR_EOPEN);
  }
  {
    // Opened at the second volume: the continued part is passed over.
    ScratchDir d;
    d.WriteVolumes("set", vols);
    int rc;
    auto list = ListAll(d.path() + "/set.part2.rar", &rc);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].name, "after");
    Handle h(d.path() + "/set.part2.rar", RAR_OM_EXTRACT);
    EXPECT_EQ(h.data().Flags & ROADF_FIRSTVOLUME, 0u);
  }
}

// Every single-byte change of a small archive is read without a crash, a hang
// or a leak, whatever it yields.
TEST_P(ArchiveTest, SurvivesEveryByteFlip) {
  RarEntry a = File(u8"d/\u00e4.txt", "some content");
  a.rar4_unicode = true;
  a.services.push_back(RarService{"STM", Bytes(5, 3), true});
  RarWriter w = Writer();
  w.Comment("c").AddDir("d").Add(a).AddFile("z", "zz");
  Bytes base = w.Build();
  std::string path = dir_.path() + "/flip.rar";
  for (size_t i = 0; i < base.size(); ++i) {
    Bytes b = base;
    b[i] ^= 0xFF;
    dir_.Write("flip.rar", b);
    Handle h(path, RAR_OM_EXTRACT);
    if (h.get() == nullptr) continue;
    std::string got;
    for (int n = 0; n < 10 && h.Next() == 0; ++n) h.Extract(&got);
  }
}

}  // namespace
