#include "bench/fixtures.h"

#include <cstdio>
#include <cstdlib>
#include <random>

#include "bench/host_ops.h"
#include "tests/support/corpus.h"

namespace bench {
namespace {

using testsupport::Bytes;
using testsupport::RarEntry;
using testsupport::RarWriter;

uint64_t EnvNumber(const char* name, uint64_t fallback) {
  const char* v = std::getenv(name);
  if (!v || !*v) return fallback;
  char* end = nullptr;
  unsigned long long n = std::strtoull(v, &end, 10);
  return (end && *end == 0 && n > 0) ? n : fallback;
}

// Incompressible content, the same on every run.
Bytes Noise(uint64_t size, uint32_t key) {
  Bytes b(size);
  std::mt19937_64 gen(key);
  size_t i = 0;
  for (; i + 8 <= b.size(); i += 8) {
    uint64_t v = gen();
    for (int k = 0; k < 8; k++) b[i + k] = static_cast<uint8_t>(v >> (8 * k));
  }
  for (; i < b.size(); i++) b[i] = static_cast<uint8_t>(gen());
  return b;
}

Bytes StoredArchive(uint64_t size, uint32_t key, const std::string* password) {
  RarEntry e;
  e.name = "payload.bin";
  e.data = Noise(size, key);
  if (password) {
    testsupport::RarPassword p;
    p.password = *password;
    p.salt = Noise(16, key + 1);
    p.log2_count = 15;  // the archiver's usual work factor
    testsupport::EncryptEntry(&e, RarWriter::Format::kRar5, p);
  }
  return RarWriter(RarWriter::Format::kRar5).Add(std::move(e)).Build();
}

constexpr const char* kPassword = "bench-password";

}  // namespace

FixtureSizes FixtureSizes::FromEnvironment() {
  FixtureSizes s;
  s.largeBytes = EnvNumber("ARCUNPACK_BENCH_LARGE_MIB", 128) << 20;
  s.spillBytes = EnvNumber("ARCUNPACK_BENCH_SPILL_MIB", 1024) << 20;
  if (s.spillBytes > (uint64_t{4095} << 20)) s.spillBytes = uint64_t{4095} << 20;
  s.manyMembers = static_cast<int>(EnvNumber("ARCUNPACK_BENCH_MANY", 100000));
  return s;
}

FixtureSet::FixtureSet(const FixtureSizes& sizes) {
  const std::string pw = kPassword;
  AddGenerated("stored/small", StoredArchive(256 << 10, 1, nullptr), "", true);
  AddGenerated("stored/large", StoredArchive(sizes.largeBytes, 2, nullptr), "", true);
  AddGenerated("encrypted/small", StoredArchive(256 << 10, 3, &pw), pw, false);
  AddGenerated("encrypted/large", StoredArchive(sizes.largeBytes, 4, &pw), pw, false);

  RarWriter many(RarWriter::Format::kRar5);
  for (int i = 0; i < sizes.manyMembers; i++) {
    char name[64];
    std::snprintf(name, sizeof name, "dir%03d/member%07d.txt", i % 997, i);
    many.AddFile(name, std::string(name) + " holds a few bytes\n");
    manyNames_.push_back(testsupport::Utf8ToUtf16(name));
  }
  AddGenerated("many-small", many.Build(), "", true);

  if (testsupport::CorpusAvailable()) {
    AddCorpus("rar5-lz/small", "junrar_m3-plain-128k.rar", true);
    AddCorpus("rar5-lz/large", "junrar_m3-plain-32m.rar", true);
    AddCorpus("rar29-lz/small", "junrar_BoatModernEnglish-regular-unpack30.rar", true);
    AddCorpus("rar29-lz/large", "libarchive_test_read_format_rar_binary_data.rar", true);
    AddCorpus("ppmd/small", "junrar_legit-maxmb63.rar", true);
    AddCorpus("ppmd/large", "libarchive_test_read_format_rar_ppmd_lzss_conversion.rar", false);
    AddCorpus("solid/rar5", "junrar_m5-solid-128k.rar", true);
    AddCorpus("solid/rar29", "rarfile_rar3-solid.rar", false);
  } else {
    std::fprintf(stderr, "corpus not found at %s: compressed classes left out\n",
                 testsupport::CorpusDir().c_str());
  }

  spill_ = StoredArchive(sizes.spillBytes - 4096, 5, nullptr);
}

const Fixture* FixtureSet::find(const std::string& name) const {
  for (const Fixture& f : fixtures_)
    if (f.name == name) return &f;
  return nullptr;
}

void FixtureSet::AddGenerated(const std::string& name, const Bytes& archive,
                              const std::string& password, bool peer) {
  std::string file = name;
  for (char& c : file)
    if (c == '/') c = '_';
  const std::string path = dir_.Write(file + ".rar", archive);
  Fixture f{name, path, password, peer};
  f.fileBytes = archive.size();
  fixtures_.push_back(f);
  ArchiveStats s;
  if (!HostOps(path, password).Walk(&s)) {
    std::fprintf(stderr, "fixture %s cannot be walked\n", name.c_str());
    fixtures_.pop_back();
    return;
  }
  fixtures_.back().members = s.members;
  fixtures_.back().unpackedBytes = s.unpackedBytes;
  fixtures_.back().largestMember = s.largestMember;
}

void FixtureSet::AddCorpus(const std::string& name, const std::string& file, bool peer) {
  const std::string path = testsupport::CorpusDir() + "/" + file;
  std::vector<uint8_t> bytes;
  if (!testsupport::ReadFile(path, &bytes)) {
    std::fprintf(stderr, "corpus file %s missing: %s left out\n", file.c_str(), name.c_str());
    return;
  }
  ArchiveStats s;
  if (!HostOps(path, "").Walk(&s)) {
    std::fprintf(stderr, "corpus file %s cannot be walked: %s left out\n", file.c_str(),
                 name.c_str());
    return;
  }
  Fixture f{name, path, "", peer};
  f.fileBytes = bytes.size();
  f.members = s.members;
  f.unpackedBytes = s.unpackedBytes;
  f.largestMember = s.largestMember;
  fixtures_.push_back(f);
}

}  // namespace bench
