// Access to the shared corpus of real RAR archives for tests: the manifest
// (one row per archive or volume set), the expected members, name unescaping
// and SHA-256. Tests call CorpusAvailable() and skip when it is false.
#ifndef TESTS_SUPPORT_CORPUS_H_
#define TESTS_SUPPORT_CORPUS_H_

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace testsupport {

struct CorpusArchive {
  std::vector<std::string> files;  // file names in the corpus directory; open files[0]
  std::string format;              // RAR4, RAR5, RAR14
  std::string volume;              // 0, yes:N, yes:1-of-set, bytesplit:N
  std::string password;            // "-" when none
  bool enc_headers = false;
  bool solid = false;
  uint64_t sfx = 0;
  std::string category;
  std::string oracle_result;       // OK, WARN, ERR, EMPTY
  std::string notes;
  std::map<std::string, std::string> columns;  // every column by its heading
  const std::string& name() const { return files.front(); }
};

struct CorpusMember {
  std::string archive;  // files[0] of its archive
  int index = 0;
  std::string name;     // UTF-8, unescaped
  uint64_t unp_size = 0;
  int method = 0;
  bool dir = false;
  bool encrypted = false;
  std::string crc32;    // lower-case hex or "-"
  std::string sha256;   // lower-case hex or "-"
  std::string status;   // OK, WARN:..., BAD_DATA, ...
  std::string type;     // file, dir, symlink, ...
  std::string link_target;
  int unp_ver = 0;
  std::string split;    // "-", "B", "A", "BA"
  std::string password; // "-" when none
  std::string libarchive;  // the peer's verdict: OK, DIFF, ERR, MISSING, LENIENT, ...
};

// The corpus directory (ARCUNPACK_CORPUS_DIR).
std::string CorpusDir();
// True when the manifest can be read.
bool CorpusAvailable();
std::vector<CorpusArchive> LoadManifest();
std::vector<CorpusMember> LoadExpected();
// Members of one archive, in order.
std::vector<CorpusMember> MembersOf(const std::vector<CorpusMember>& all, const std::string& archive);

// Undoes the escapes of expected.tsv names: \\ \t \n \r \xNN.
std::string UnescapeName(const std::string& s);

// The path to open for `a`: the first file in the corpus directory, or for a
// byte-split archive a temporary file holding the pieces joined (removed at exit).
std::string OpenPath(const CorpusArchive& a);

// Lower-case hex SHA-256 (OpenSSL).
std::string Sha256Hex(const uint8_t* data, size_t n);
inline std::string Sha256Hex(const std::vector<uint8_t>& v) { return Sha256Hex(v.data(), v.size()); }

// UTF-16 <-> UTF-8 for comparing names.
std::string Utf16ToUtf8(const std::u16string& s);
std::u16string Utf8ToUtf16(const std::string& s);

// Reads a whole file; false when it cannot be read.
bool ReadFile(const std::string& path, std::vector<uint8_t>* out);

// Bytes [offset, offset + len) of the corpus file `name`; empty when the file is
// missing or shorter.
std::vector<uint8_t> CorpusSlice(const std::string& name, size_t offset, size_t len);

}  // namespace testsupport

#endif  // TESTS_SUPPORT_CORPUS_H_
