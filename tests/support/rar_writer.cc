#include "tests/support/rar_writer.h"

#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <stdlib.h>
#include <zlib.h>

#include <filesystem>
#include <fstream>
#include <memory>

#include "tests/support/corpus.h"

namespace testsupport {

void Put16(Bytes* b, uint32_t v) {
  b->push_back(static_cast<uint8_t>(v));
  b->push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(Bytes* b, uint32_t v) {
  Put16(b, v & 0xFFFF);
  Put16(b, v >> 16);
}
void PutVint(Bytes* b, uint64_t v) {
  while (v >= 0x80) {
    b->push_back(static_cast<uint8_t>(v | 0x80));
    v >>= 7;
  }
  b->push_back(static_cast<uint8_t>(v));
}

namespace {

constexpr uint32_t kDosTime = 0x5A6B1234;  // a valid DOS date and time
constexpr uint32_t kUnixTime = 1600000000;

uint32_t Crc(const Bytes& b) { return static_cast<uint32_t>(crc32(0, b.data(), static_cast<uInt>(b.size()))); }

void Append(Bytes* b, const Bytes& more) { b->insert(b->end(), more.begin(), more.end()); }
void Append(Bytes* b, const std::string& s) { b->insert(b->end(), s.begin(), s.end()); }

// The RAR 4 encoded Unicode name field: an ASCII stand-in, NUL, then every
// UTF-16 unit as a two-byte literal.
Bytes Rar4UnicodeName(const std::string& name) {
  std::u16string units = Utf8ToUtf16(name);
  Bytes field;
  for (char16_t c : units) field.push_back(c < 0x80 ? static_cast<uint8_t>(c == '/' ? '\\' : c) : '_');
  field.push_back(0);
  field.push_back(0);  // high byte for op 1, unused
  for (size_t i = 0; i < units.size(); i += 4) {
    size_t ops = units.size() - i < 4 ? units.size() - i : 4;
    uint8_t flags = 0;
    for (size_t k = 0; k < ops; ++k) flags |= static_cast<uint8_t>(2 << (6 - 2 * k));
    field.push_back(flags);
    for (size_t k = 0; k < ops; ++k) {
      char16_t c = units[i + k] == u'/' ? u'\\' : units[i + k];
      Put16(&field, c);
    }
  }
  return field;
}

}  // namespace

struct RarWriter::Piece {
  size_t entry;
  uint64_t offset;
  uint64_t size;
  bool before;
  bool after;
};

RarWriter& RarWriter::AddFile(const std::string& name, const std::string& content) {
  RarEntry e;
  e.name = name;
  e.data.assign(content.begin(), content.end());
  return Add(std::move(e));
}

RarWriter& RarWriter::AddDir(const std::string& name) {
  RarEntry e;
  e.name = name;
  e.directory = true;
  e.attr = 0x10;
  return Add(std::move(e));
}

static Bytes PackedOf(const RarEntry& e, bool rar5) {
  if (e.packed) return *e.packed;
  if (!e.link_target.empty()) return rar5 ? Bytes() : Bytes(e.link_target.begin(), e.link_target.end());
  return e.data;
}

Bytes RarWriter::Wrap4(uint8_t type, uint16_t flags, const Bytes& body, bool bad_crc) const {
  Bytes h;
  Put16(&h, 0);
  h.push_back(type);
  Put16(&h, flags);
  Put16(&h, static_cast<uint32_t>(7 + body.size()));
  Append(&h, body);
  uint16_t crc = static_cast<uint16_t>(crc32(0, h.data() + 2, static_cast<uInt>(h.size() - 2)));
  if (bad_crc) crc ^= 0x5555;
  h[0] = static_cast<uint8_t>(crc);
  h[1] = static_cast<uint8_t>(crc >> 8);
  return h;
}

Bytes RarWriter::Wrap5(uint64_t type, uint64_t flags, const Bytes& fields, const Bytes& extra,
                       uint64_t data_size, bool bad_crc) const {
  Bytes body;
  PutVint(&body, type);
  if (!extra.empty()) flags |= 0x0001;
  if (data_size > 0) flags |= 0x0002;
  PutVint(&body, flags);
  if (!extra.empty()) PutVint(&body, extra.size());
  if (flags & 0x0002) PutVint(&body, data_size);
  Append(&body, fields);
  Append(&body, extra);
  Bytes sized;
  PutVint(&sized, body.size());
  Append(&sized, body);
  uint32_t crc = Crc(sized);
  if (bad_crc) crc ^= 0x55555555;
  Bytes h;
  Put32(&h, crc);
  Append(&h, sized);
  return h;
}

Bytes RarWriter::MainHeader(size_t volume, size_t volumes) const {
  const bool vol = volumes > 1;
  if (format_ == Format::kRar4) {
    uint16_t flags = 0;
    if (vol) flags |= 0x0001;
    if (locked_) flags |= 0x0004;
    if (solid_) flags |= 0x0008;
    if (vol && !old_numbering_) flags |= 0x0010;
    if (auth_) flags |= 0x0020;
    if (recovery_) flags |= 0x0040;
    if (header_cipher_) flags |= 0x0080;
    if (vol && volume == 0) flags |= 0x0100;
    return Wrap4(0x73, flags, Bytes(6, 0), false);
  }
  uint64_t af = 0;
  if (vol) af |= 0x0001;
  if (vol && volume > 0) af |= 0x0002;
  if (solid_) af |= 0x0004;
  if (recovery_) af |= 0x0008;
  if (locked_) af |= 0x0010;
  Bytes fields;
  PutVint(&fields, af);
  if (vol && volume > 0) PutVint(&fields, volume);
  return Wrap5(1, 0, fields, {}, 0, false);
}

Bytes RarWriter::EndHeader(bool last) const {
  if (format_ == Format::kRar4) return Wrap4(0x7B, static_cast<uint16_t>(0x4000 | (last ? 0 : 1)), {}, false);
  Bytes fields;
  PutVint(&fields, last ? 0 : 1);
  return Wrap5(5, 0, fields, {}, 0, false);
}

Bytes RarWriter::FileHeader(const RarEntry& e, const Bytes& packed, uint64_t part_size, bool before,
                            bool after, uint32_t part_crc, bool service, bool child) const {
  const uint64_t unp = e.unp_size ? *e.unp_size
                       : (!e.link_target.empty() ? e.link_target.size() : e.data.size());
  (void)packed;
  if (format_ == Format::kRar4) {
    uint16_t flags = 0x8000;
    if (before) flags |= 0x0001;
    if (after) flags |= 0x0002;
    if (e.encrypted) flags |= 0x0004;
    if ((service && child) || (!service && e.solid)) flags |= 0x0010;
    if (e.directory) flags |= 0x00E0;
    if (e.large) flags |= 0x0100;
    Bytes name;
    if (e.raw_name) {
      name = *e.raw_name;
    } else if (e.rar4_unicode) {
      name = Rar4UnicodeName(e.name);
      flags |= 0x0200;
    } else {
      for (char c : e.name) name.push_back(static_cast<uint8_t>(c == '/' ? '\\' : c));
    }
    if (e.encrypted && e.crypt.size() == 8) flags |= 0x0400;
    Bytes body;
    Put32(&body, static_cast<uint32_t>(part_size));
    Put32(&body, static_cast<uint32_t>(unp));
    const bool unix_host = e.unix_host || !e.link_target.empty();
    body.push_back(unix_host ? 3 : 0);
    Put32(&body, part_crc);
    Put32(&body, kDosTime);
    body.push_back(static_cast<uint8_t>(e.directory ? 20 : e.unp_ver));
    body.push_back(static_cast<uint8_t>(0x30 + e.method));
    Put16(&body, static_cast<uint32_t>(name.size()));
    uint32_t attr = e.attr;
    if (!e.link_target.empty()) attr = 0xA1FF;
    else if (unix_host) attr = e.directory ? 0x41ED : 0x81A4;
    Put32(&body, attr);
    if (e.large) {
      Put32(&body, static_cast<uint32_t>(part_size >> 32));
      Put32(&body, static_cast<uint32_t>(unp >> 32));
    }
    Append(&body, name);
    if (flags & 0x0400) Append(&body, e.crypt);
    return Wrap4(service ? 0x7A : 0x74, flags, body, e.bad_header_crc);
  }
  uint64_t flags = 0;
  if (before) flags |= 0x0008;
  if (after) flags |= 0x0010;
  if (service && child) flags |= 0x0020;
  Bytes fields;
  uint64_t file_flags = 0x0002;
  if (e.directory) file_flags |= 0x0001;
  if (!e.no_crc && !e.directory) file_flags |= 0x0004;
  PutVint(&fields, file_flags);
  PutVint(&fields, e.directory ? 0 : unp);
  PutVint(&fields, e.directory ? (e.unix_host ? 0x41ED : 0x10) : (e.unix_host ? 0x81A4 : e.attr));
  Put32(&fields, kUnixTime);
  if (file_flags & 0x0004) Put32(&fields, part_crc);
  uint64_t ci = (static_cast<uint64_t>(e.method) << 7) | static_cast<uint64_t>(e.rar5_algo & 0x3F);
  if (e.solid && !service) ci |= 0x0040;
  PutVint(&fields, ci);
  PutVint(&fields, e.unix_host || !e.link_target.empty() ? 1 : 0);
  Bytes name = e.raw_name ? *e.raw_name : Bytes(e.name.begin(), e.name.end());
  PutVint(&fields, name.size());
  Append(&fields, name);
  Bytes extra;
  if (e.encrypted) {
    Bytes rec;
    PutVint(&rec, 1);
    Append(&rec, e.crypt);
    PutVint(&extra, rec.size());
    Append(&extra, rec);
  }
  if (!e.link_target.empty()) {
    Bytes rec;
    PutVint(&rec, 5);
    PutVint(&rec, static_cast<uint64_t>(e.redir_type));
    PutVint(&rec, 0);
    PutVint(&rec, e.link_target.size());
    Append(&rec, e.link_target);
    PutVint(&extra, rec.size());
    Append(&extra, rec);
  }
  // Files always carry a data area field, even an empty one.
  if (!e.directory) flags |= 0x0002;
  return Wrap5(service ? 3 : 2, flags, fields, extra, part_size, e.bad_header_crc);
}

Bytes RarWriter::Assemble(const std::vector<Piece>& pieces, size_t volume, size_t volumes) const {
  const bool rar5 = format_ == Format::kRar5;
  Bytes out;
  if (volume == 0) Append(&out, sfx_);
  if (rar5) {
    Append(&out, Bytes{0x52, 0x61, 0x72, 0x21, 0x1A, 0x07, 0x01, 0x00});
  } else {
    Append(&out, Bytes{0x52, 0x61, 0x72, 0x21, 0x1A, 0x07, 0x00});
  }
  auto emit = [&](const Bytes& header) {
    if (header_cipher_) {
      Append(&out, header_cipher_(header));
    } else {
      Append(&out, header);
    }
  };
  if (rar5 && header_cipher_) Append(&out, Wrap5(4, 0, rar5_crypt_header_, {}, 0, false));
  Bytes main = MainHeader(volume, volumes);
  if (rar5) {
    emit(main);
  } else {
    Append(&out, main);
  }
  auto emit_service = [&](const RarService& s) {
    RarEntry e;
    e.name = s.name;
    e.data = s.data;
    e.unp_ver = 29;
    emit(FileHeader(e, s.data, s.data.size(), false, false, Crc(s.data), true, s.child));
    Append(&out, s.data);
  };
  if (volume == 0 && comment_) emit_service(RarService{"CMT", Bytes(comment_->begin(), comment_->end()), false});
  for (const Piece& p : pieces) {
    const RarEntry& e = entries_[p.entry];
    Bytes packed = PackedOf(e, rar5);
    Bytes part(packed.begin() + static_cast<long>(p.offset),
               packed.begin() + static_cast<long>(p.offset + p.size));
    uint32_t crc = p.after ? Crc(part) : (e.crc ? *e.crc : Crc(e.link_target.empty() ? e.data : Bytes()));
    if (!rar5 && !e.link_target.empty() && !p.after) crc = e.crc ? *e.crc : Crc(packed);
    if (volume == 0) header_offsets_.push_back(out.size());
    emit(FileHeader(e, packed, p.size, p.before, p.after, crc, false, false));
    Append(&out, part);
    if (!p.after) {
      for (const auto& s : e.services) emit_service(s);
    }
  }
  if (volume + 1 == volumes) {
    for (const auto& s : trailers_) emit_service(s);
  }
  if (!no_end_) emit(EndHeader(volume + 1 == volumes));
  return out;
}

Bytes RarWriter::Build() const {
  header_offsets_.clear();
  std::vector<Piece> pieces;
  for (size_t i = 0; i < entries_.size(); ++i) {
    pieces.push_back(Piece{i, 0, PackedOf(entries_[i], format_ == Format::kRar5).size(), false, false});
  }
  return Assemble(pieces, 0, 1);
}

std::vector<Bytes> RarWriter::BuildVolumes(size_t volume_data) const {
  header_offsets_.clear();
  if (volume_data == 0) volume_data = 1;
  std::vector<std::vector<Piece>> vols(1);
  size_t room = volume_data;
  for (size_t i = 0; i < entries_.size(); ++i) {
    uint64_t size = PackedOf(entries_[i], format_ == Format::kRar5).size();
    uint64_t off = 0;
    if (size == 0) {
      vols.back().push_back(Piece{i, 0, 0, false, false});
      continue;
    }
    while (off < size) {
      if (room == 0) {
        vols.emplace_back();
        room = volume_data;
      }
      uint64_t take = size - off < room ? size - off : room;
      vols.back().push_back(Piece{i, off, take, off > 0, off + take < size});
      off += take;
      room -= take;
    }
  }
  std::vector<Bytes> out;
  for (size_t v = 0; v < vols.size(); ++v) out.push_back(Assemble(vols[v], v, vols.size()));
  return out;
}

namespace {

struct Rar3Fixture {
  uint8_t key[16], iv[16];
};

// 2^18 SHA-1 rounds over the UTF-16LE password, the salt and a counter.
Rar3Fixture Rar3Kdf(const std::string& password, const Bytes& salt) {
  std::u16string units = Utf8ToUtf16(password);
  Bytes hashInput;
  for (char16_t c : units) Put16(&hashInput, c);
  Append(&hashInput, salt);
  Rar3Fixture out{};
  EVP_MD_CTX* ctx = EVP_MD_CTX_new();
  EVP_MD_CTX* tmp = EVP_MD_CTX_new();
  EVP_DigestInit_ex(ctx, EVP_sha1(), nullptr);
  uint8_t d[20];
  unsigned n = 0;
  for (uint32_t i = 0; i < 0x40000; ++i) {
    const uint8_t counter[3] = {static_cast<uint8_t>(i), static_cast<uint8_t>(i >> 8),
                                static_cast<uint8_t>(i >> 16)};
    EVP_DigestUpdate(ctx, hashInput.data(), hashInput.size());
    EVP_DigestUpdate(ctx, counter, 3);
    if (i % 0x4000 == 0) {
      EVP_MD_CTX_copy_ex(tmp, ctx);
      EVP_DigestFinal_ex(tmp, d, &n);
      out.iv[i / 0x4000] = d[19];
    }
  }
  EVP_DigestFinal_ex(ctx, d, &n);
  for (int i = 0; i < 16; ++i) out.key[i] = d[(i & ~3) + 3 - (i & 3)];
  EVP_MD_CTX_free(tmp);
  EVP_MD_CTX_free(ctx);
  return out;
}

struct Rar5Fixture {
  uint8_t key[32], hash_key[32];
  Bytes check;  // 12 bytes: check value and its checksum
};

// PBKDF2-HMAC-SHA256 outputs after n, n + 16 and n + 32 iterations.
Rar5Fixture Rar5Kdf(const RarPassword& p) {
  Rar5Fixture out{};
  const int n = 1 << p.log2_count;
  uint8_t v[32];
  auto run = [&](int iterations, uint8_t* dst) {
    PKCS5_PBKDF2_HMAC(p.password.data(), static_cast<int>(p.password.size()), p.salt.data(),
                      static_cast<int>(p.salt.size()), iterations, EVP_sha256(), 32, dst);
  };
  run(n, out.key);
  run(n + 16, out.hash_key);
  run(n + 32, v);
  uint8_t check[8] = {};
  for (int i = 0; i < 32; ++i) check[i % 8] ^= v[i];
  uint8_t sum[32];
  unsigned len = 0;
  EVP_Digest(check, 8, sum, &len, EVP_sha256(), nullptr);
  out.check.assign(check, check + 8);
  out.check.insert(out.check.end(), sum, sum + 4);
  return out;
}

Bytes AesCbcEncrypt(const uint8_t* key, int key_len, const uint8_t* iv, Bytes data) {
  data.resize((data.size() + 15) / 16 * 16, 0);
  EVP_CIPHER_CTX* c = EVP_CIPHER_CTX_new();
  EVP_EncryptInit_ex(c, key_len == 16 ? EVP_aes_128_cbc() : EVP_aes_256_cbc(), nullptr, key, iv);
  EVP_CIPHER_CTX_set_padding(c, 0);
  int out = 0;
  if (!data.empty()) EVP_EncryptUpdate(c, data.data(), &out, data.data(), static_cast<int>(data.size()));
  EVP_CIPHER_CTX_free(c);
  return data;
}

// The RAR 5 encryption parameters up to the check value: version, flags,
// count, salt.
Bytes Rar5CryptFields(const RarPassword& p, uint64_t flags) {
  Bytes b;
  PutVint(&b, 0);
  PutVint(&b, flags);
  b.push_back(static_cast<uint8_t>(p.log2_count));
  Append(&b, p.salt);
  return b;
}

}  // namespace

void EncryptEntry(RarEntry* e, RarWriter::Format format, const RarPassword& p) {
  e->encrypted = true;
  if (format == RarWriter::Format::kRar4) {
    Rar3Fixture k = Rar3Kdf(p.password, p.salt);
    e->crypt = p.salt;
    e->packed = AesCbcEncrypt(k.key, 16, k.iv, e->data);
    return;
  }
  Rar5Fixture k = Rar5Kdf(p);
  uint8_t iv[16];
  for (int i = 0; i < 16; ++i) iv[i] = static_cast<uint8_t>(p.salt[i] ^ 0xA5 ^ e->name.size());
  e->crypt = Rar5CryptFields(p, (p.check ? 0x01 : 0) | (p.mac ? 0x02 : 0));
  e->crypt.insert(e->crypt.end(), iv, iv + 16);
  if (p.check) Append(&e->crypt, k.check);
  e->packed = AesCbcEncrypt(k.key, 32, iv, e->data);
  if (p.mac) {
    uint32_t crc = e->crc ? *e->crc : Crc(e->data);
    const uint8_t raw[4] = {static_cast<uint8_t>(crc), static_cast<uint8_t>(crc >> 8),
                            static_cast<uint8_t>(crc >> 16), static_cast<uint8_t>(crc >> 24)};
    uint8_t m[32];
    unsigned len = 0;
    HMAC(EVP_sha256(), k.hash_key, 32, raw, 4, m, &len);
    uint32_t mac = 0;
    for (int i = 0; i < 32; ++i) mac ^= static_cast<uint32_t>(m[i]) << (8 * (i % 4));
    e->crc = mac;
  }
}

void EncryptHeaders(RarWriter* w, RarWriter::Format format, const RarPassword& p) {
  if (format == RarWriter::Format::kRar4) {
    Rar3Fixture k = Rar3Kdf(p.password, p.salt);
    Bytes salt = p.salt;
    w->HeaderCipher([k, salt](const Bytes& h) {
      Bytes out = salt;
      Append(&out, AesCbcEncrypt(k.key, 16, k.iv, h));
      return out;
    });
    return;
  }
  Rar5Fixture k = Rar5Kdf(p);
  Bytes fields = Rar5CryptFields(p, p.check ? 0x01 : 0);
  if (p.check) Append(&fields, k.check);
  auto counter = std::make_shared<uint8_t>(0);
  w->HeaderCipher(
      [k, counter](const Bytes& h) {
        uint8_t iv[16];
        for (int i = 0; i < 16; ++i) iv[i] = static_cast<uint8_t>(i * 17 + ++*counter);
        Bytes out(iv, iv + 16);
        Append(&out, AesCbcEncrypt(k.key, 32, iv, h));
        return out;
      },
      fields);
}

ScratchDir::ScratchDir() {
  char tmpl[] = "/tmp/arcunpack_test_XXXXXX";
  const char* made = mkdtemp(tmpl);
  path_ = made ? made : "/tmp";
}

ScratchDir::~ScratchDir() {
  if (path_ != "/tmp") {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
}

std::string ScratchDir::Write(const std::string& name, const Bytes& bytes) const {
  std::string p = path_ + "/" + name;
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return p;
}

std::string ScratchDir::WriteVolumes(const std::string& stem, const std::vector<Bytes>& volumes,
                                     bool old_naming) const {
  std::string first;
  for (size_t i = 0; i < volumes.size(); ++i) {
    std::string name;
    if (old_naming) {
      name = stem + (i == 0 ? ".rar" : ".r" + std::string(i - 1 < 10 ? "0" : "") + std::to_string(i - 1));
    } else {
      name = stem + ".part" + std::to_string(i + 1) + ".rar";
    }
    std::string p = Write(name, volumes[i]);
    if (i == 0) first = p;
  }
  return first;
}

}  // namespace testsupport
