// Blocks of RAR 5.0 archives.
#include <zlib.h>

#include <cstring>
#include <vector>

#include "rarlib/file_io.h"
#include "rarlib/parser.h"
#include "rarlib/rar.h"
#include "rarlib/text.h"

namespace rarlib {
namespace {

constexpr size_t kProbeSize = 256;

enum : uint64_t { kMain = 1, kFile = 2, kService = 3, kCrypt = 4, kEnd = 5 };

constexpr size_t kMaxHeaderSize = 2 * 1024 * 1024;

// Reads vints from a bounded byte range; any overrun marks the reader failed.
class VintReader {
 public:
  VintReader(const uint8_t* p, size_t n) : p_(p), n_(n) {}
  uint64_t Vint() {
    uint64_t v = 0;
    for (unsigned shift = 0; shift < 64; shift += 7) {
      if (pos_ >= n_) break;
      uint8_t b = p_[pos_++];
      v |= static_cast<uint64_t>(b & 0x7F) << shift;
      if ((b & 0x80) == 0) return v;
    }
    ok_ = false;
    return 0;
  }
  uint32_t U32() {
    if (n_ - pos_ < 4) {
      ok_ = false;
      pos_ = n_;
      return 0;
    }
    uint32_t v = Get32(p_ + pos_);
    pos_ += 4;
    return v;
  }
  uint64_t U64() {
    uint64_t lo = U32();
    return lo | (static_cast<uint64_t>(U32()) << 32);
  }
  // Returns a pointer to `n` bytes, or null (failed) when they are not there.
  const uint8_t* Bytes(uint64_t n) {
    if (n > n_ - pos_) {
      ok_ = false;
      pos_ = n_;
      return nullptr;
    }
    const uint8_t* r = p_ + pos_;
    pos_ += static_cast<size_t>(n);
    return r;
  }
  size_t pos() const { return pos_; }
  size_t left() const { return n_ - pos_; }
  bool ok() const { return ok_; }

 private:
  const uint8_t* p_;
  size_t n_;
  size_t pos_ = 0;
  bool ok_ = true;
};

// Windows FILETIME (100 ns since 1601) to Unix seconds.
int64_t FileTimeToUnix(uint64_t ft) {
  return static_cast<int64_t>(ft / 10000000) - 11644473600LL;
}

class Rar5Parser : public BlockParser {
 public:
  int OpenVolume(RandomAccess& file, uint64_t sig_offset, uint64_t* first_block) override {
    uint64_t pos = sig_offset + 8;
    for (int i = 0; i < 2; ++i) {
      Block b;
      plain_open_ = true;
      int rc = ReadBlock(file, pos, &b);
      plain_open_ = false;
      if (rc == ERAR_END_ARCHIVE) return ERAR_BAD_DATA;
      if (rc != 0) return rc;
      pos = b.next;
      if (b.kind == BlockKind::kMain) break;
      if (!info_.encrypted_headers) return ERAR_BAD_DATA;
      // The main header is itself encrypted; it is read with the first
      // ReadBlock once a decryptor is available.
      if (decryptor_ == nullptr) break;
      Block main;
      rc = ReadBlock(file, pos, &main);
      if (rc != 0) return rc == ERAR_END_ARCHIVE ? ERAR_BAD_DATA : rc;
      if (main.kind != BlockKind::kMain) return ERAR_BAD_DATA;
      pos = main.next;
      break;
    }
    *first_block = pos;
    return 0;
  }

  int ReadBlock(RandomAccess& file, uint64_t pos, Block* out) override {
    std::vector<uint8_t>& h = header_;
    const bool encrypted = info_.encrypted_headers && !plain_open_;
    uint64_t body = pos;
    uint8_t iv[16];
    size_t head_len;
    size_t avail;
    if (encrypted) {
      if (decryptor_ == nullptr) return ERAR_MISSING_PASSWORD;
      uint8_t probe;
      if (file.ReadAt(pos, &probe, 1) == 0) return ERAR_END_ARCHIVE;
      int rc = ReadExact(file, pos, iv, 16);
      if (rc != 0) return rc;
      body = pos + 16;
      h.resize(16);
      rc = ReadExact(file, body, h.data(), 16);
      if (rc != 0) return rc;
      if (int drc = decryptor_->Decrypt(iv, 16, h.data(), 16)) return drc;
      avail = 16;
    } else {
      // One read usually brings the whole header.
      h.resize(kProbeSize);
      int64_t got = file.ReadAt(pos, h.data(), kProbeSize);
      if (got < 0) return ERAR_EREAD;
      if (got == 0) return ERAR_END_ARCHIVE;
      avail = static_cast<size_t>(got);
    }
    // Header size: a vint of at most 3 bytes after the CRC.
    uint64_t size = 0;
    size_t vlen = 0;
    for (;;) {
      if (4 + vlen >= avail || vlen >= 3) return encrypted ? ERAR_BAD_PASSWORD : ERAR_BAD_DATA;
      uint8_t b = h[4 + vlen];
      size |= static_cast<uint64_t>(b & 0x7F) << (7 * vlen);
      ++vlen;
      if ((b & 0x80) == 0) break;
    }
    if (size == 0 || size > kMaxHeaderSize) return encrypted ? ERAR_BAD_PASSWORD : ERAR_BAD_DATA;
    head_len = 4 + vlen + static_cast<size_t>(size);
    size_t stored_len = head_len;
    if (encrypted) {
      stored_len = (head_len + 15) & ~size_t{15};
      h.resize(stored_len);
      int rc = ReadExact(file, body, h.data(), stored_len);
      // A size decrypted with a wrong key may point past the end.
      if (rc != 0) return rc == ERAR_BAD_DATA ? ERAR_BAD_PASSWORD : rc;
      if (int drc = decryptor_->Decrypt(iv, 16, h.data(), stored_len)) return drc;
      stored_len += 16;
    } else {
      h.resize(head_len);
      if (head_len > avail) {
        int rc = ReadExact(file, pos + avail, h.data() + avail, head_len - avail);
        if (rc != 0) return rc;
      }
    }
    if (crc32(0, h.data() + 4, static_cast<uInt>(head_len - 4)) != Get32(h.data())) {
      return encrypted ? ERAR_BAD_PASSWORD : ERAR_BAD_DATA;
    }
    *out = Block();
    out->start = pos;
    out->data_start = pos + stored_len;
    VintReader r(h.data() + 4 + vlen, static_cast<size_t>(size));
    const uint64_t type = r.Vint();
    const uint64_t flags = r.Vint();
    uint64_t extra_size = 0;
    if (flags & 0x0001) extra_size = r.Vint();
    uint64_t data_size = 0;
    if (flags & 0x0002) data_size = r.Vint();
    if (!r.ok() || extra_size >= size || data_size > static_cast<uint64_t>(INT64_MAX)) {
      return ERAR_BAD_DATA;
    }
    // The extra area is the last extra_size bytes of the header.
    const size_t fields_end = static_cast<size_t>(size - extra_size);
    if (fields_end < r.pos()) return ERAR_BAD_DATA;
    VintReader fields(h.data() + 4 + vlen, fields_end);
    fields.Bytes(r.pos());
    const uint8_t* extra = h.data() + 4 + vlen + fields_end;
    out->data_size = data_size;
    int rc = 0;
    switch (type) {
      case kMain:
        rc = ParseMain(fields, flags);
        out->kind = BlockKind::kMain;
        break;
      case kFile:
      case kService:
        rc = ParseFile(fields, extra, static_cast<size_t>(extra_size), type, flags, out);
        break;
      case kCrypt:
        info_.encrypted_headers = true;
        info_.open_flags |= ROADF_ENCHEADERS;
        info_.header_crypt.assign(h.data() + 4 + vlen + r.pos(), h.data() + head_len);
        out->kind = BlockKind::kOther;
        break;
      case kEnd: {
        uint64_t end_flags = fields.Vint();
        out->kind = BlockKind::kEnd;
        out->not_last_volume = fields.ok() && (end_flags & 1);
        break;
      }
      default:
        break;
    }
    if (rc != 0) return rc;
    if (out->data_size > static_cast<uint64_t>(INT64_MAX) - out->data_start) return ERAR_BAD_DATA;
    out->next = out->data_start + out->data_size;
    if (out->next <= pos) return ERAR_BAD_DATA;
    return 0;
  }

 private:
  int ParseMain(VintReader& r, uint64_t /*block_flags*/) {
    uint64_t af = r.Vint();
    bool has_num = af & 0x0002;
    if (has_num) r.Vint();
    if (!r.ok()) return ERAR_BAD_DATA;
    ArchiveInfo& a = info_;
    a.volume = af & 0x0001;
    a.solid = af & 0x0004;
    a.new_numbering = true;
    a.has_volume_number = has_num;
    uint32_t f = ROADF_NEWNUMBERING | (a.open_flags & ROADF_ENCHEADERS);
    if (af & 0x0001) f |= ROADF_VOLUME;
    if (af & 0x0004) f |= ROADF_SOLID;
    if (af & 0x0008) f |= ROADF_RECOVERY;
    if (af & 0x0010) f |= ROADF_LOCK;
    if ((af & 0x0001) && !has_num) f |= ROADF_FIRSTVOLUME;
    a.first_volume_known = (af & 0x0001) && !has_num;
    a.open_flags = f;
    return 0;
  }

  int ParseFile(VintReader& r, const uint8_t* extra, size_t extra_size, uint64_t type,
                uint64_t flags, Block* out) {
    out->kind = type == kFile ? BlockKind::kFile : BlockKind::kService;
    out->split_before = flags & 0x0008;
    out->split_after = flags & 0x0010;
    out->child = flags & 0x0020;
    const uint64_t file_flags = r.Vint();
    out->unp_size = r.Vint();
    out->attr = static_cast<uint32_t>(r.Vint());
    if (file_flags & 0x0002) out->ftime = UnixToDosTime(r.U32());
    if (file_flags & 0x0004) {
      out->crc = r.U32();
      out->has_crc = true;
      out->hash_type = RAR_HASH_CRC32;
    }
    const uint64_t ci = r.Vint();
    const uint64_t host = r.Vint();
    const uint64_t name_len = r.Vint();
    const uint8_t* name = r.Bytes(name_len);
    if (!r.ok()) return ERAR_BAD_DATA;
    out->unp_size_unknown = file_flags & 0x0008;
    if (!out->unp_size_unknown && out->unp_size > static_cast<uint64_t>(INT64_MAX)) {
      return ERAR_BAD_DATA;
    }
    out->directory = type == kFile && (file_flags & 0x0001);
    out->host_os = host == 0 ? 2 : 3;
    const unsigned algo = ci & 0x3F;
    out->solid_flag = type == kFile && (ci & 0x0040);
    out->solid_decode = out->solid_flag;
    out->method = 0x30 + ((ci >> 7) & 7);
    const uint64_t base = uint64_t{128} * 1024;
    if (algo == 0 || (algo == 1 && (ci & 0x100000))) {
      out->unp_ver = 50;
      out->dict_size = base << ((ci >> 10) & 0xF);
    } else if (algo == 1) {
      out->unp_ver = 70;
      uint64_t d = base << ((ci >> 10) & 0x1F);
      out->dict_size = d + (d / 32) * ((ci >> 15) & 0x1F);
    } else {
      out->unp_ver = 9999;
    }
    if (out->directory) out->dict_size = 0;
    if (out->method != 0x30 && !out->directory) out->decoder_version = static_cast<int>(out->unp_ver);
    out->name = DecodeLegacyName(name, static_cast<size_t>(name_len));
    return ParseExtra(extra, extra_size, out);
  }

  int ParseExtra(const uint8_t* extra, size_t extra_size, Block* out) {
    VintReader x(extra, extra_size);
    // Each record consumes at least one byte, so this ends within extra_size steps.
    while (x.left() > 0) {
      uint64_t rec_size = x.Vint();
      if (!x.ok() || rec_size == 0 || rec_size > x.left()) break;
      VintReader rec(x.Bytes(rec_size), static_cast<size_t>(rec_size));
      uint64_t rec_type = rec.Vint();
      if (!rec.ok()) break;
      switch (rec_type) {
        case 0x01: {  // encryption
          size_t n = rec.left();
          const uint8_t* body = rec.Bytes(n);
          out->encrypted = true;
          if (body != nullptr) out->crypt.assign(body, body + n);
          break;
        }
        case 0x02: {  // hash
          uint64_t ht = rec.Vint();
          const uint8_t* digest = rec.Bytes(32);
          if (rec.ok() && ht == 0) {
            out->hash_type = RAR_HASH_BLAKE2;
            std::memcpy(out->hash, digest, 32);
          }
          break;
        }
        case 0x03: {  // high-precision times
          uint64_t tf = rec.Vint();
          if (tf & 0x0002) {
            int64_t t = (tf & 0x0001) ? static_cast<int64_t>(rec.U32()) : FileTimeToUnix(rec.U64());
            if (rec.ok()) out->ftime = UnixToDosTime(t);
          }
          break;
        }
        case 0x04: {  // file version
          rec.Vint();
          uint64_t version = rec.Vint();
          if (rec.ok() && version != 0) {
            std::string v = ";" + std::to_string(version);
            for (char c : v) out->name.push_back(static_cast<char16_t>(c));
          }
          break;
        }
        case 0x05: {  // redirection
          uint64_t rt = rec.Vint();
          rec.Vint();
          uint64_t len = rec.Vint();
          const uint8_t* target = rec.Bytes(len);
          if (rec.ok() && rt >= 1 && rt <= 5) {
            out->redir_type = static_cast<uint32_t>(rt);
            out->link_target.assign(reinterpret_cast<const char*>(target), static_cast<size_t>(len));
          }
          break;
        }
        default:
          break;
      }
    }
    return 0;
  }

  std::vector<uint8_t> header_;
  bool plain_open_ = false;
};

}  // namespace

std::unique_ptr<BlockParser> MakeRar5Parser() { return std::make_unique<Rar5Parser>(); }

}  // namespace rarlib
