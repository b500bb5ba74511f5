// Blocks of RAR 1.5-4.x archives.
#include <zlib.h>

#include <cstring>
#include <vector>

#include "rarlib/parser.h"
#include "rarlib/rar.h"
#include "rarlib/text.h"

namespace rarlib {
namespace {

constexpr size_t kProbeSize = 256;

enum : uint8_t {
  kMarker = 0x72,
  kMain = 0x73,
  kFile = 0x74,
  kOldComment = 0x75,
  kOldAuth = 0x76,
  kOldSub = 0x77,
  kOldRecovery = 0x78,
  kOldSign = 0x79,
  kService = 0x7A,
  kEnd = 0x7B,
};

constexpr uint16_t kLongBlock = 0x8000;

uint16_t Crc16(const uint8_t* p, size_t n) {
  return static_cast<uint16_t>(crc32(0, p, static_cast<uInt>(n)) & 0xFFFF);
}

// Length of the EXT_TIME field at `p` (at most `n` bytes), or -1 when it does not fit.
long ExtTimeSize(const uint8_t* p, size_t n) {
  if (n < 2) return -1;
  unsigned flags = Get16(p);
  size_t size = 2;
  for (int group = 0; group < 4; ++group) {
    unsigned g = (flags >> (12 - 4 * group)) & 0xF;
    if ((g & 8) == 0) continue;
    if (group != 0) size += 4;
    size += g & 3;
  }
  return size <= n ? static_cast<long>(size) : -1;
}

class Rar4Parser : public BlockParser {
 public:
  int OpenVolume(RandomAccess& file, uint64_t sig_offset, uint64_t* first_block) override {
    Block main;
    uint64_t pos = sig_offset + 7;
    // Repeated signatures before the main header are passed over.
    for (int i = 0; i < 4; ++i) {
      in_main_ = true;
      int rc = ReadBlock(file, pos, &main);
      in_main_ = false;
      if (rc == ERAR_END_ARCHIVE) return ERAR_BAD_DATA;
      if (rc != 0) return rc;
      if (main.kind == BlockKind::kMain) break;
      uint8_t type;
      if (ReadExact(file, pos + 2, &type, 1) != 0 || type != kMarker) return ERAR_BAD_DATA;
      pos = main.next;
    }
    if (main.kind != BlockKind::kMain) return ERAR_BAD_DATA;
    *first_block = main.next;
    return 0;
  }

  int ReadBlock(RandomAccess& file, uint64_t pos, Block* out) override {
    std::vector<uint8_t>& h = header_;
    uint64_t body = pos;  // where the header bytes start
    size_t pad_extra = 0;
    bool encrypted = info_.encrypted_headers && !in_main_;
    uint8_t salt[8];
    size_t probed = 0;  // plain header bytes already read
    if (encrypted) {
      if (decryptor_ == nullptr) return ERAR_MISSING_PASSWORD;
      uint8_t probe;
      if (file.ReadAt(pos, &probe, 1) == 0) return ERAR_END_ARCHIVE;
      int rc = ReadExact(file, pos, salt, 8);
      if (rc != 0) return rc;
      body = pos + 8;
      h.resize(16);
      rc = ReadExact(file, body, h.data(), 16);
      if (rc != 0) return rc;
      if (int drc = decryptor_->Decrypt(salt, 8, h.data(), 16)) return drc;
    } else {
      // One read usually brings the whole header.
      h.resize(kProbeSize);
      int64_t got = file.ReadAt(pos, h.data(), kProbeSize);
      if (got < 0) return ERAR_EREAD;
      if (got == 0) return ERAR_END_ARCHIVE;
      if (got < 7) return ERAR_BAD_DATA;
      probed = static_cast<size_t>(got);
    }
    const size_t head_size = Get16(&h[5]);
    if (head_size < 7) return encrypted ? ERAR_BAD_PASSWORD : ERAR_BAD_DATA;
    if (encrypted) {
      size_t padded = (head_size + 15) & ~size_t{15};
      h.resize(padded);
      int rc = ReadExact(file, body, h.data(), padded);
      // A size decrypted with a wrong key may point past the end.
      if (rc != 0) return rc == ERAR_BAD_DATA ? ERAR_BAD_PASSWORD : rc;
      if (int drc = decryptor_->Decrypt(salt, 8, h.data(), padded)) return drc;
      // Only a header that passes its CRC is parsed: anything else is the
      // product of a wrong key.
      if (Crc16(h.data() + 2, head_size - 2) != Get16(h.data())) return ERAR_BAD_PASSWORD;
      pad_extra = 8 + padded - head_size;
    } else {
      h.resize(head_size);
      if (head_size > probed) {
        int rc = ReadExact(file, pos + probed, h.data() + probed, head_size - probed);
        if (rc != 0) return rc;
      }
    }
    const uint8_t type = h[2];
    const uint16_t flags = Get16(&h[3]);
    *out = Block();
    out->start = pos;
    out->data_start = pos + head_size + pad_extra;
    uint64_t add_size = 0;
    if ((flags & kLongBlock) && type != kFile && type != kService) {
      if (head_size < 11) return ERAR_BAD_DATA;
      add_size = Get32(&h[7]);
    }
    // The header CRC, with the format's documented exceptions.
    size_t crc_end = head_size;
    bool check_crc = true;
    switch (type) {
      case kMain:
        if (flags & 0x0002) crc_end = head_size < 13 ? head_size : 13;
        break;
      case kMarker:  // its "CRC" is the fixed signature bytes
      case kOldAuth:
      case kOldSign:
        check_crc = false;
        break;
      case kOldSub:
        if (head_size >= 16 && Get16(&h[11]) == 0x101) check_crc = false;
        break;
      default:
        break;
    }
    int rc = 0;
    switch (type) {
      case kMain:
        rc = ParseMain(h.data(), head_size, flags, out);
        break;
      case kFile:
      case kService:
        rc = ParseFile(h.data(), head_size, type, flags, out, &crc_end);
        break;
      case kEnd:
        out->kind = BlockKind::kEnd;
        out->not_last_volume = (flags & 0x0001) != 0;
        break;
      case kMarker:
        // A second signature inside the archive carries nothing.
        break;
      default:
        break;
    }
    if (rc != 0) return rc;
    if (check_crc && Crc16(h.data() + 2, crc_end - 2) != Get16(h.data())) {
      bool rebuilt_end = type == kEnd && (flags & 0x0004) && head_size >= 14 &&
                         std::memcmp(h.data() + head_size - 7, "\0\0\0\0\0\0\0", 7) == 0;
      if (!rebuilt_end) return encrypted ? ERAR_BAD_PASSWORD : ERAR_BAD_DATA;
    }
    if (out->kind != BlockKind::kFile && out->kind != BlockKind::kService) {
      out->data_size = add_size;
    }
    if (out->data_size > static_cast<uint64_t>(INT64_MAX) - out->data_start) return ERAR_BAD_DATA;
    out->next = out->data_start + out->data_size;
    if (out->next <= pos) return ERAR_BAD_DATA;
    return 0;
  }

 private:
  int ParseMain(const uint8_t* h, size_t head_size, uint16_t flags, Block* out) {
    if (head_size < 13) return ERAR_BAD_DATA;
    out->kind = BlockKind::kMain;
    ArchiveInfo& a = info_;
    a.volume = flags & 0x0001;
    a.solid = flags & 0x0008;
    a.new_numbering = flags & 0x0010;
    a.encrypted_headers = flags & 0x0080;
    a.first_volume_known = flags & 0x0100;
    a.open_flags = Rar4OpenFlags(flags);
    a.header_crypt.assign(h, h + 13);
    return 0;
  }

  int ParseFile(const uint8_t* h, size_t head_size, uint8_t type, uint16_t flags, Block* out,
                size_t* crc_end) {
    const bool large = flags & 0x0100;
    const size_t fixed = large ? 40 : 32;
    if (head_size < fixed) return ERAR_BAD_DATA;
    out->kind = type == kFile ? BlockKind::kFile : BlockKind::kService;
    uint64_t pack = Get32(h + 7);
    uint64_t unp = Get32(h + 11);
    if (large) {
      pack |= static_cast<uint64_t>(Get32(h + 32)) << 32;
      unp |= static_cast<uint64_t>(Get32(h + 36)) << 32;
      out->unp_size_unknown = Get32(h + 11) == 0xFFFFFFFF && Get32(h + 36) == 0xFFFFFFFF;
    } else {
      out->unp_size_unknown = unp == 0xFFFFFFFF;
    }
    if (pack > static_cast<uint64_t>(INT64_MAX) || unp > static_cast<uint64_t>(INT64_MAX)) {
      return ERAR_BAD_DATA;
    }
    out->data_size = pack;
    out->unp_size = unp;
    const uint8_t host = h[15];
    out->host_os = (host == 3 || host == 5) ? 3 : 2;
    out->crc = Get32(h + 16);
    out->has_crc = true;
    out->ftime = Get32(h + 20);
    out->unp_ver = h[24];
    out->method = h[25];
    const size_t name_size = Get16(h + 26);
    out->attr = Get32(h + 28);
    size_t p = fixed;
    if (name_size > head_size - p) return ERAR_BAD_DATA;
    const uint8_t* name = h + p;
    p += name_size;
    out->split_before = flags & 0x0001;
    out->split_after = flags & 0x0002;
    out->encrypted = flags & 0x0004;
    if (type == kFile) {
      out->solid_flag = flags & 0x0010;
      out->directory = (flags & 0x00E0) == 0x00E0 || (out->unp_ver < 20 && (out->attr & 0x10));
      out->dict_size = out->directory ? 0 : (uint64_t{64} * 1024) << ((flags >> 5) & 7);
      if (host == 3 && (out->attr & 0xF000) == 0xA000) out->redir_type = RAR_REDIR_UNIXSYMLINK;
    } else {
      out->child = flags & 0x0010;
      out->dict_size = (uint64_t{64} * 1024) << ((flags >> 5) & 7);
    }
    out->solid_decode = out->solid_flag;
    // Stored data has no decoder; the dictionary bits of a directory mean nothing.
    if (out->method != 0x30 && !out->directory) out->decoder_version = out->unp_ver;
    if (type == kFile) {
      out->name = DecodeName(name, name_size, flags & 0x0200);
    } else {
      out->name = Cp437ToUtf16(name, name_size);
      // Service data between the name and the salt is opaque here.
      size_t tail = (flags & 0x0400) ? 8 : 0;
      if (head_size - p >= tail) p = head_size - tail;
    }
    if (flags & 0x0400) {
      if (head_size - p < 8) return ERAR_BAD_DATA;
      out->crypt.assign(h + p, h + p + 8);
      p += 8;
    }
    if (flags & 0x1000) {
      // Some writers set the flag without the field; the data is found through
      // HEAD_SIZE either way.
      long ext = ExtTimeSize(h + p, head_size - p);
      if (ext > 0) p += static_cast<size_t>(ext);
    }
    // An old embedded comment is not covered by the header CRC.
    if (type == kFile && (flags & 0x0008)) *crc_end = p;
    return 0;
  }

  static std::u16string DecodeName(const uint8_t* name, size_t size, bool unicode) {
    std::u16string out;
    const uint8_t* nul = static_cast<const uint8_t*>(std::memchr(name, 0, size));
    if (unicode && nul != nullptr) {
      size_t legacy = static_cast<size_t>(nul - name);
      out = DecodeRar4UnicodeName(name, size, nul + 1, size - legacy - 1);
      if (out.empty()) out = DecodeLegacyName(name, legacy);
    } else {
      out = DecodeLegacyName(name, nul ? static_cast<size_t>(nul - name) : size);
    }
    for (char16_t& c : out) {
      if (c == u'\\') c = u'/';
    }
    return out;
  }

  std::vector<uint8_t> header_;
  bool in_main_ = false;
};

}  // namespace

uint32_t Rar4OpenFlags(uint16_t main_flags) {
  uint32_t f = 0;
  if (main_flags & 0x0001) f |= ROADF_VOLUME;
  if (main_flags & 0x0002) f |= ROADF_COMMENT;
  if (main_flags & 0x0004) f |= ROADF_LOCK;
  if (main_flags & 0x0008) f |= ROADF_SOLID;
  if (main_flags & 0x0010) f |= ROADF_NEWNUMBERING;
  if (main_flags & 0x0020) f |= ROADF_SIGNED;
  if (main_flags & 0x0040) f |= ROADF_RECOVERY;
  if (main_flags & 0x0080) f |= ROADF_ENCHEADERS;
  if (main_flags & 0x0100) f |= ROADF_FIRSTVOLUME;
  return f;
}

std::unique_ptr<BlockParser> MakeRar4Parser() { return std::make_unique<Rar4Parser>(); }

}  // namespace rarlib
