// Every fixture and corpus archive, cut at each block boundary (and just after
// it) and at a spread of data offsets, and with bytes flipped in every header
// and across the data: each variant goes through the whole host path. Every
// export must answer one of its codes, a failed open must leave the context
// empty, and afterwards no descriptor and no temporary file may remain.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <set>

#include "tests/reliability/fixtures.h"
#include "tests/reliability/reliability_util.h"

namespace reliability {
namespace {

using testsupport::Bytes;

struct Variant {
  std::string label;
  Bytes bytes;
};

// Cuts and flips of one archive. `budget` bounds the number of data offsets
// sampled (big and encrypted archives get fewer: each variant re-derives keys
// or decodes megabytes).
std::vector<Variant> VariantsOf(const Bytes& a, std::vector<size_t> headers, size_t budget) {
  std::vector<Variant> out;
  std::set<size_t> cuts;
  if (headers.size() > 16) {  // sample long archives evenly
    std::vector<size_t> kept;
    for (size_t i = 0; i < 16; ++i) kept.push_back(headers[i * headers.size() / 16]);
    headers = kept;
  }
  for (size_t h : headers) {
    for (size_t d : {size_t(0), size_t(1), size_t(7)}) cuts.insert(h + d);
  }
  for (size_t i = 1; i <= budget; ++i) cuts.insert(a.size() * i / (budget + 1));
  cuts.insert(a.size() - 1);
  for (size_t cut : cuts) {
    if (cut == 0 || cut >= a.size()) continue;
    out.push_back({"cut@" + std::to_string(cut), Bytes(a.begin(), a.begin() + cut)});
  }
  std::set<size_t> flips;
  for (size_t h : headers) {
    for (size_t d : {size_t(0), size_t(2), size_t(5), size_t(9), size_t(15), size_t(24)}) flips.insert(h + d);
  }
  for (size_t i = 1; i <= budget; ++i) flips.insert(a.size() * i / (budget + 1) + 3);
  for (size_t f : flips) {
    if (f >= a.size()) continue;
    Bytes v = a;
    v[f] ^= 0x5B;
    out.push_back({"flip@" + std::to_string(f), std::move(v)});
  }
  return out;
}

struct Tally {
  size_t variants = 0;
  size_t opened = 0;
  size_t extracted = 0;
};

void Sweep(const std::string& name, const Bytes& bytes, const std::vector<size_t>& headers,
           const std::string& password, size_t budget, bool reopen, const PrivateTemp& temp,
           Tally* tally) {
  static const testsupport::ScratchDir destDir;
  const std::string dest = destDir.path() + "/member.out";
  for (const Variant& v : VariantsOf(bytes, headers, budget)) {
    const WalkResult r = WalkArchive(v.bytes, password, dest, reopen);
    ++tally->variants;
    tally->opened += r.open == ARCH_OK;
    tally->extracted += size_t(r.extracted);
    EXPECT_EQ("", r.problem) << name << " " << v.label;
    EXPECT_TRUE(temp.entries().empty()) << name << " " << v.label << ": temporary file left";
    if (::testing::Test::HasFailure()) return;  // one broken variant tells enough
  }
}

TEST(HostileSweep, WriterFixturesAndBombsCutAndFlipped) {
  PrivateTemp temp;
  const size_t fds = OpenDescriptors();
  Tally t;
  for (const Fixture& f : WriterFixtures()) Sweep(f.name, f.bytes, f.header_offsets, "", 16, true, temp, &t);
  for (const Bomb& b : Bombs(256)) Sweep(b.name, b.bytes, {}, "", 16, true, temp, &t);
  EXPECT_EQ(fds, OpenDescriptors());
  std::printf("[ sweep    ] writer fixtures: %zu variants, %zu opened, %zu members extracted\n",
              t.variants, t.opened, t.extracted);
}

TEST(HostileSweep, CorpusArchivesCutAndFlipped) {
  if (!testsupport::CorpusAvailable()) GTEST_SKIP() << "corpus not present at " << testsupport::CorpusDir();
  PrivateTemp temp;
  const size_t fds = OpenDescriptors();
  const auto start = std::chrono::steady_clock::now();
  Tally t;
  for (const auto& a : testsupport::LoadManifest()) {
    Bytes bytes;
    if (!testsupport::ReadFile(testsupport::OpenPath(a), &bytes) || bytes.size() <= 20) continue;
    const std::string password = a.password == "-" ? "" : a.password;
    const bool costly = !password.empty() || bytes.size() > (256u << 10);
    Sweep(a.name(), bytes, BlockStartsOf(bytes), password, costly ? 3 : 8, false, temp, &t);
    if (HasFailure()) break;
  }
  EXPECT_EQ(fds, OpenDescriptors());
  const double secs =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("[ sweep    ] corpus: %zu variants, %zu opened, %zu members extracted, %.1f s\n",
              t.variants, t.opened, t.extracted, secs);
}

}  // namespace
}  // namespace reliability
