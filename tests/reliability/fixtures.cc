#include "tests/reliability/fixtures.h"

#include <cstring>

namespace reliability {
namespace {

using testsupport::RarEntry;
using testsupport::RarService;
using testsupport::RarWriter;

}  // namespace

std::vector<size_t> BlockStartsOf(const Bytes& a) {
  static const uint8_t kSig4[7] = {0x52, 0x61, 0x72, 0x21, 0x1A, 0x07, 0x00};
  static const uint8_t kSig5[8] = {0x52, 0x61, 0x72, 0x21, 0x1A, 0x07, 0x01, 0x00};
  std::vector<size_t> out;
  size_t sig = 0;
  bool rar5 = false;
  for (; sig + 8 <= a.size(); ++sig) {
    if (std::memcmp(&a[sig], kSig5, 8) == 0) { rar5 = true; break; }
    if (std::memcmp(&a[sig], kSig4, 7) == 0) break;
  }
  if (sig + 8 > a.size()) return out;
  out.push_back(sig);
  size_t pos = sig + (rar5 ? 8 : 7);
  for (int guard = 0; guard < 4096 && pos < a.size(); ++guard) {
    out.push_back(pos);
    uint64_t total = 0;
    if (rar5) {
      auto vint = [&](size_t* p, uint64_t* v) {
        *v = 0;
        for (int shift = 0; shift < 64 && *p < a.size(); shift += 7) {
          uint8_t b = a[(*p)++];
          *v |= uint64_t(b & 0x7F) << shift;
          if (!(b & 0x80)) return true;
        }
        return false;
      };
      size_t p = pos + 4;
      uint64_t hsize = 0, type = 0, flags = 0, extra = 0, data = 0;
      if (!vint(&p, &hsize) || hsize > 0x200000) break;
      size_t body = p;
      if (!vint(&p, &type) || !vint(&p, &flags)) break;
      if ((flags & 1) && !vint(&p, &extra)) break;
      if ((flags & 2) && !vint(&p, &data)) break;
      if (data > a.size()) break;
      total = (body - pos) + hsize + data;
    } else {
      if (pos + 7 > a.size()) break;
      uint8_t type = a[pos + 2];
      uint16_t flags = uint16_t(a[pos + 3] | a[pos + 4] << 8);
      uint64_t hsize = uint16_t(a[pos + 5] | a[pos + 6] << 8);
      if (hsize < 7) break;
      total = hsize;
      if ((flags & 0x8000) && pos + 11 <= a.size()) {
        uint64_t add = uint32_t(a[pos + 7] | a[pos + 8] << 8 | a[pos + 9] << 16 |
                                uint32_t(a[pos + 10]) << 24);
        if ((type == 0x74 || type == 0x7A) && (flags & 0x100) && pos + 36 <= a.size())
          add |= uint64_t(a[pos + 32] | a[pos + 33] << 8 | a[pos + 34] << 16 |
                          uint32_t(a[pos + 35]) << 24) << 32;
        total += add;
      }
    }
    if (total == 0 || total > a.size() - pos) break;
    pos += size_t(total);
  }
  return out;
}

namespace {

Fixture Make(const std::string& name, const RarWriter& w) {
  Fixture f{name, w.Build(), {}};
  f.header_offsets = BlockStartsOf(f.bytes);
  return f;
}

Bytes Text(size_t n, char c) { return Bytes(n, uint8_t(c)); }

// Writes bits most significant first, as the RAR 5 decoder reads them.
struct BitWriter {
  Bytes bytes;
  int bit = 0;
  void Put(uint64_t v, int n) {
    for (int i = n - 1; i >= 0; --i) {
      if (bit == 0) bytes.push_back(0);
      if ((v >> i) & 1) bytes.back() |= uint8_t(0x80 >> bit);
      bit = (bit + 1) & 7;
    }
  }
};

RarEntry Packed5(const std::string& name, const Bytes& stream, uint64_t unp_size) {
  RarEntry e;
  e.name = name;
  e.method = 3;
  e.rar5_algo = 0;
  e.packed = stream;
  e.unp_size = unp_size;
  e.no_crc = true;  // the decoded bytes are never held whole to checksum them
  return e;
}

}  // namespace

std::vector<Fixture> WriterFixtures() {
  std::vector<Fixture> out;
  for (auto fmt : {RarWriter::Format::kRar4, RarWriter::Format::kRar5}) {
    const std::string tag = fmt == RarWriter::Format::kRar4 ? "rar4" : "rar5";
    {
      RarWriter w(fmt);
      w.AddFile("a.txt", "alpha").AddDir("dir").AddFile("dir/b.bin", std::string(300, 'b'));
      w.AddFile("empty", "");
      out.push_back(Make(tag + "-plain", w));
    }
    {
      RarWriter w(fmt);
      w.Solid().Comment("archive comment").Recovery();
      RarEntry e;
      e.name = "first";
      e.data = Text(200, 'x');
      e.services.push_back(RarService{"STM", Text(16, 's'), true});
      w.Add(e);
      RarEntry s;
      s.name = "second";
      s.data = Text(50, 'y');
      s.solid = true;
      w.Add(s);
      w.Trailer(RarService{"RR", Text(64, 0x11), false});
      out.push_back(Make(tag + "-solid-services", w));
    }
    {
      RarWriter w(fmt);
      RarEntry u;
      u.name = "\xD0\xB8\xD0\xBC\xD1\x8F/\xE6\x96\x87\xE4\xBB\xB6.txt";
      u.data = Text(10, 'u');
      u.rar4_unicode = true;
      w.Add(u);
      RarEntry l;
      l.name = "link";
      l.link_target = "../../etc/passwd";
      l.unix_host = true;
      w.Add(l);
      RarEntry big;
      big.name = "big-sizes";
      big.data = Text(40, 'g');
      big.large = true;
      w.Add(big);
      out.push_back(Make(tag + "-names-links", w));
    }
    {
      RarWriter w(fmt);
      w.Sfx(Bytes(512, 0x4D)).AddFile("inside-sfx", "payload");
      out.push_back(Make(tag + "-sfx", w));
    }
    {
      RarWriter w(fmt);
      w.AddFile("spans", std::string(500, 'v')).AddFile("after", "tail");
      auto vols = w.BuildVolumes(200);
      Fixture f{tag + "-volume1", vols.front(), {}};
      f.header_offsets = BlockStartsOf(f.bytes);
      out.push_back(f);
    }
  }
  {
    RarWriter w(RarWriter::Format::kRar5);
    w.Add(Packed5("packed", Rar5BombStream(8), Rar5BombSize(8)));
    w.AddFile("stored", "after the packed member");
    out.push_back(Make("rar5-packed", w));
  }
  return out;
}

Bytes Rar5BombStream(uint32_t repeats) {
  // Fixed tables in which every code is its own symbol number: main 9 bits,
  // distance 7, low distance 4, repeat length 6 (level code: symbol s has the
  // 5-bit code s).
  BitWriter p;
  for (int i = 0; i < 20; ++i) p.Put(5, 4);
  auto lengths = [&](int n, uint64_t len) {
    for (int i = 0; i < n; ++i) p.Put(len, 5);
  };
  lengths(306, 9);
  lengths(64, 7);
  lengths(16, 4);
  lengths(44, 6);
  p.Put('A', 9);                                  // one literal
  p.Put(262 + 43, 9); p.Put(511, 9); p.Put(0, 7);  // match: length 4097, distance 1
  for (uint32_t i = 0; i < repeats; ++i) p.Put(257, 9);  // repeat the last match
  const uint32_t size = uint32_t(p.bytes.size());
  const int valid = p.bit == 0 ? 8 : p.bit;
  const int size_bytes = size < 0x100 ? 1 : size < 0x10000 ? 2 : 3;
  const uint8_t flags = uint8_t((valid - 1) | ((size_bytes - 1) << 3) | 0x40 | 0x80);
  Bytes s;
  s.push_back(flags);
  s.push_back(uint8_t(0x5A ^ flags ^ size ^ (size >> 8) ^ (size >> 16)));
  for (int i = 0; i < size_bytes; ++i) s.push_back(uint8_t(size >> (8 * i)));
  s.insert(s.end(), p.bytes.begin(), p.bytes.end());
  return s;
}

std::vector<Bomb> Bombs(uint32_t repeats) {
  std::vector<Bomb> out;
  const Bytes stream = Rar5BombStream(repeats);
  const uint64_t produced = Rar5BombSize(repeats);
  {
    RarWriter w(RarWriter::Format::kRar5);
    w.Add(Packed5("bomb", stream, produced));
    out.push_back({"rar5-ratio", w.Build(), produced, produced});
  }
  {
    RarWriter w(RarWriter::Format::kRar5);
    w.Add(Packed5("liar", stream, 1000));
    out.push_back({"rar5-lies", w.Build(), produced, 1000});
  }
  for (auto fmt : {RarWriter::Format::kRar4, RarWriter::Format::kRar5}) {
    RarWriter w(fmt);
    RarEntry e;
    e.name = "huge";
    e.data = Text(16, 'h');
    e.large = true;
    e.unp_size = uint64_t{1} << 40;
    w.Add(e);
    out.push_back({fmt == RarWriter::Format::kRar4 ? "rar4-declares-1TiB" : "rar5-declares-1TiB",
                   w.Build(), 16, uint64_t{1} << 40});
  }
  return out;
}

}  // namespace reliability
