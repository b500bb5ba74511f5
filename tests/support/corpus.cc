#include "tests/support/corpus.h"

#include <openssl/sha.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace testsupport {
namespace {

std::vector<std::string> SplitTabs(const std::string& line) {
  std::vector<std::string> out;
  size_t start = 0;
  for (;;) {
    size_t tab = line.find('\t', start);
    out.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
    if (tab == std::string::npos) break;
    start = tab + 1;
  }
  return out;
}

std::vector<std::map<std::string, std::string>> ReadTsv(const std::string& path) {
  std::vector<std::map<std::string, std::string>> rows;
  std::ifstream in(path);
  std::string line;
  if (!std::getline(in, line)) return rows;
  std::vector<std::string> heads = SplitTabs(line);
  while (std::getline(in, line)) {
    if (line.empty()) continue;
    std::vector<std::string> cells = SplitTabs(line);
    std::map<std::string, std::string> row;
    for (size_t i = 0; i < heads.size(); ++i) row[heads[i]] = i < cells.size() ? cells[i] : "";
    rows.push_back(std::move(row));
  }
  return rows;
}

uint64_t ToU64(const std::string& s) { return std::strtoull(s.c_str(), nullptr, 10); }

}  // namespace

std::string CorpusDir() { return ARCUNPACK_CORPUS_DIR; }

bool CorpusAvailable() {
  std::ifstream in(CorpusDir() + "/manifest.tsv");
  return in.good();
}

std::vector<CorpusArchive> LoadManifest() {
  std::vector<CorpusArchive> out;
  for (auto& row : ReadTsv(CorpusDir() + "/manifest.tsv")) {
    CorpusArchive a;
    std::stringstream files(row["files"]);
    std::string f;
    while (std::getline(files, f, ',')) a.files.push_back(f);
    if (a.files.empty()) continue;
    a.format = row["format"];
    a.volume = row["volume"];
    a.password = row["password"];
    a.enc_headers = row["enc_headers"] == "1";
    a.solid = row["solid"] == "1";
    a.sfx = ToU64(row["sfx"]);
    a.category = row["category"];
    a.oracle_result = row["oracle_result"];
    a.notes = row["notes"];
    a.columns = std::move(row);
    out.push_back(std::move(a));
  }
  return out;
}

std::vector<CorpusMember> LoadExpected() {
  std::vector<CorpusMember> out;
  for (auto& row : ReadTsv(CorpusDir() + "/expected.tsv")) {
    CorpusMember m;
    m.archive = row["archive"];
    m.index = static_cast<int>(ToU64(row["index"]));
    m.name = UnescapeName(row["name"]);
    m.unp_size = ToU64(row["unp_size"]);
    m.method = static_cast<int>(ToU64(row["method"]));
    m.dir = row["dir"] == "1";
    m.encrypted = row["encrypted"] == "1";
    m.crc32 = row["crc32"];
    m.sha256 = row["sha256"];
    m.status = row["status"];
    m.type = row["type"];
    m.link_target = row["link_target"];
    m.unp_ver = static_cast<int>(ToU64(row["unp_ver"]));
    m.split = row["split"];
    m.password = row["password"];
    m.libarchive = row["libarchive"];
    out.push_back(std::move(m));
  }
  return out;
}

std::vector<CorpusMember> MembersOf(const std::vector<CorpusMember>& all, const std::string& archive) {
  std::vector<CorpusMember> out;
  for (const auto& m : all) {
    if (m.archive == archive) out.push_back(m);
  }
  return out;
}

std::string UnescapeName(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '\\' || i + 1 >= s.size()) {
      out += s[i];
      continue;
    }
    char c = s[++i];
    switch (c) {
      case '\\': out += '\\'; break;
      case 't': out += '\t'; break;
      case 'n': out += '\n'; break;
      case 'r': out += '\r'; break;
      case 'x':
        if (i + 2 < s.size()) {
          out += static_cast<char>(std::strtoul(s.substr(i + 1, 2).c_str(), nullptr, 16));
          i += 2;
        }
        break;
      default: out += '\\'; out += c; break;
    }
  }
  return out;
}

std::string OpenPath(const CorpusArchive& a) {
  if (a.volume.rfind("bytesplit:", 0) != 0) return CorpusDir() + "/" + a.files[0];
  std::string path = "/tmp/arcunpack_corpus_" + std::to_string(getpid()) + "_" + a.files[0];
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  for (const auto& f : a.files) {
    std::vector<uint8_t> piece;
    ReadFile(CorpusDir() + "/" + f, &piece);
    out.write(reinterpret_cast<const char*>(piece.data()), static_cast<std::streamsize>(piece.size()));
  }
  static std::vector<std::string>* made = new std::vector<std::string>;
  if (made->empty()) {
    std::atexit([] {
      for (const auto& p : *made) std::remove(p.c_str());
    });
  }
  made->push_back(path);
  return path;
}

std::string Sha256Hex(const uint8_t* data, size_t n) {
  unsigned char md[SHA256_DIGEST_LENGTH];
  SHA256(data, n, md);
  static const char* kHex = "0123456789abcdef";
  std::string out;
  for (unsigned char b : md) {
    out += kHex[b >> 4];
    out += kHex[b & 15];
  }
  return out;
}

std::string Utf16ToUtf8(const std::u16string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    uint32_t cp = s[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (s[++i] - 0xDC00);
    }
    if (cp < 0x80) {
      out += static_cast<char>(cp);
    } else if (cp < 0x800) {
      out += static_cast<char>(0xC0 | (cp >> 6));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      out += static_cast<char>(0xE0 | (cp >> 12));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (cp >> 18));
      out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    }
  }
  return out;
}

std::u16string Utf8ToUtf16(const std::string& s) {
  std::u16string out;
  for (size_t i = 0; i < s.size();) {
    uint8_t b = static_cast<uint8_t>(s[i]);
    uint32_t cp = b;
    size_t len = 1;
    if (b >= 0xF0) len = 4, cp = b & 0x07;
    else if (b >= 0xE0) len = 3, cp = b & 0x0F;
    else if (b >= 0xC0) len = 2, cp = b & 0x1F;
    if (i + len > s.size()) len = 1, cp = b;
    for (size_t k = 1; k < len; ++k) cp = (cp << 6) | (static_cast<uint8_t>(s[i + k]) & 0x3F);
    i += len;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (cp >> 10));
      out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    } else {
      out += static_cast<char16_t>(cp);
    }
  }
  return out;
}

bool ReadFile(const std::string& path, std::vector<uint8_t>* out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  out->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
}

std::vector<uint8_t> CorpusSlice(const std::string& name, size_t offset, size_t len) {
  std::vector<uint8_t> all;
  if (!ReadFile(CorpusDir() + "/" + name, &all) || all.size() < offset || all.size() - offset < len) return {};
  return std::vector<uint8_t>(all.begin() + offset, all.begin() + offset + len);
}

}  // namespace testsupport
