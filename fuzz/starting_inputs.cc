// Writes the initial corpus of the fuzz targets into run folders outside the
// repository:
//   fuzz_starting_inputs <archives-dir> <decoder-dir> [<corpus-dir>]
// <archives-dir> receives the writer fixtures, small bombs and, when a corpus
// folder is given, every archive in it up to 256 KiB (for fuzz_host and
// fuzz_headers). <decoder-dir> receives, for every compressed member found in
// those archives, the decoder parameters followed by the member's packed bytes
// (the input layout of fuzz_decoder).
#include <dirent.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "rarlib/rar.h"
#include "tests/reliability/fixtures.h"
#include "tests/support/corpus.h"

namespace {

using testsupport::Bytes;

bool WriteBytes(const std::string& path, const Bytes& b) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f.write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
  return bool(f);
}

int VersionSelector(unsigned unp_ver) {
  switch (unp_ver) {
    case 13: case 15: return 0;
    case 20: case 26: return 1;
    case 29: case 36: return 2;
    case 50: return 3;
    case 70: return 4;
    default: return -1;
  }
}

// Cuts the packed bytes of every plain compressed member of `path` out of
// `bytes` and writes one decoder input per member.
int DecoderInputs(const std::string& path, const Bytes& bytes, const std::string& out_dir,
                  const std::string& stem) {
  std::u16string wpath = testsupport::Utf8ToUtf16(path);
  RAROpenArchiveDataEx od = {};
  od.ArcNameW = wpath.c_str();
  od.OpenMode = RAR_OM_LIST;
  RARHANDLE h = RAROpenArchiveEx(&od);
  if (h == nullptr) return 0;
  int written = 0;
  RARHeaderDataEx hd;
  for (int i = 0; i < 64 && RARReadHeaderEx(h, &hd) == 0; ++i) {
    int64_t cur = 0, next = 0;
    const uint64_t pack = uint64_t(hd.PackSize) | uint64_t(hd.PackSizeHigh) << 32;
    const uint64_t unp = uint64_t(hd.UnpSize) | uint64_t(hd.UnpSizeHigh) << 32;
    const int sel = VersionSelector(hd.UnpVer);
    if (hd.Method != 0x30 && sel >= 0 && !(hd.Flags & (RHDF_ENCRYPTED | RHDF_SPLITBEFORE |
                                                       RHDF_SPLITAFTER)) &&
        RARGetBlockPositions(h, &cur, &next) == 0 && (uint64_t(next) >> 48) == 0 &&
        uint64_t(next) <= bytes.size() && pack <= uint64_t(next) && pack < (1u << 20)) {
      int dict_log = 15;
      while (dict_log < 20 && (uint64_t{1} << dict_log) < uint64_t(hd.DictSize) * 1024) ++dict_log;
      const uint64_t size = unp < (1u << 20) ? unp : (1u << 20);
      Bytes in = {uint8_t(sel), uint8_t(dict_log - 15), uint8_t(size), uint8_t(size >> 8),
                  uint8_t(size >> 16), uint8_t((hd.Flags & RHDF_SOLID) ? 1 : 0)};
      in.insert(in.end(), bytes.begin() + (next - int64_t(pack)), bytes.begin() + next);
      if (WriteBytes(out_dir + "/" + stem + "." + std::to_string(i), in)) ++written;
    }
    if (RARProcessFileW(h, RAR_SKIP, nullptr, nullptr) != 0) break;
  }
  RARCloseArchive(h);
  return written;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s <archives-dir> <decoder-dir> [<corpus-dir>]\n", argv[0]);
    return 2;
  }
  const std::string archives = argv[1], decoders = argv[2];
  int n_archives = 0, n_decoder = 0;
  auto add = [&](const std::string& name, const Bytes& b) {
    const std::string path = archives + "/" + name;
    if (!WriteBytes(path, b)) return;
    ++n_archives;
    n_decoder += DecoderInputs(path, b, decoders, name);
  };
  for (const auto& f : reliability::WriterFixtures()) add(f.name + ".rar", f.bytes);
  for (const auto& b : reliability::Bombs(64)) add(b.name + ".rar", b.bytes);
  if (argc > 3) {
    const std::string corpus = argv[3];
    if (DIR* d = opendir(corpus.c_str())) {
      while (dirent* e = readdir(d)) {
        const std::string name = e->d_name;
        if (name[0] == '.' || name.size() < 4) continue;
        const std::string ext = name.substr(name.size() - 3);
        if (ext == "tsv" || ext == ".md") continue;
        Bytes b;
        if (!testsupport::ReadFile(corpus + "/" + name, &b) || b.size() > (256u << 10)) continue;
        add("corpus_" + name, b);
      }
      closedir(d);
    }
  }
  std::printf("%d archives, %d decoder inputs\n", n_archives, n_decoder);
  return 0;
}
