#include "rarlib/legacy/legacy_cipher.h"

#include <zlib.h>

#include <cstring>
#include <new>

namespace rarlib {
namespace {

constexpr size_t kMaxPasswordBytes = 127;
constexpr size_t kBufSize = 64 * 1024;

constexpr uint8_t kInitSubst[256] = {
    215, 19,  149, 35,  73,  197, 192, 205, 249, 28,  16,  119, 48,  221, 2,   42,
    232, 1,   177, 233, 14,  88,  219, 25,  223, 195, 244, 90,  87,  239, 153, 137,
    255, 199, 147, 70,  92,  66,  246, 13,  216, 40,  62,  29,  217, 230, 86,  6,
    71,  24,  171, 196, 101, 113, 218, 123, 93,  91,  163, 178, 202, 67,  44,  235,
    107, 250, 75,  234, 49,  167, 125, 211, 83,  114, 157, 144, 32,  193, 143, 36,
    158, 124, 247, 187, 89,  214, 141, 47,  121, 228, 61,  130, 213, 194, 174, 251,
    97,  110, 54,  229, 115, 57,  152, 94,  105, 243, 212, 55,  209, 245, 63,  11,
    164, 200, 31,  156, 81,  176, 227, 21,  76,  99,  139, 188, 127, 17,  248, 51,
    207, 120, 189, 210, 8,   226, 41,  72,  183, 203, 135, 165, 166, 60,  98,  7,
    122, 38,  155, 170, 69,  172, 252, 238, 39,  134, 59,  128, 236, 27,  240, 80,
    131, 3,   85,  206, 145, 79,  154, 142, 159, 220, 201, 133, 74,  64,  20,  129,
    224, 185, 138, 103, 173, 182, 43,  34,  254, 82,  198, 151, 231, 180, 58,  10,
    118, 26,  102, 12,  50,  132, 22,  191, 136, 111, 162, 179, 45,  4,   148, 108,
    161, 56,  78,  126, 242, 222, 15,  175, 146, 23,  33,  241, 181, 190, 77,  225,
    0,   46,  169, 186, 68,  95,  237, 65,  53,  208, 253, 168, 9,   18,  100, 52,
    116, 184, 160, 96,  109, 37,  30,  106, 140, 104, 150, 5,   204, 117, 112, 84};

inline uint32_t CrcTab(uint32_t i) { return static_cast<uint32_t>(get_crc_table()[i & 0xFF]); }
inline uint32_t Rol32(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }
inline uint16_t Ror16(uint16_t x) { return static_cast<uint16_t>((x >> 1) | (x << 15)); }
inline uint32_t Load32(const uint8_t* p) {
  return uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}
inline void Store32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
  p[2] = static_cast<uint8_t>(v >> 16);
  p[3] = static_cast<uint8_t>(v >> 24);
}

}  // namespace

LegacyCipher SelectLegacyCipher(bool rar14_archive, uint32_t unp_ver) {
  if (rar14_archive) return LegacyCipher::kRar13;
  switch (unp_ver) {
    case 13: return LegacyCipher::kRar13;
    case 15: return LegacyCipher::kRar15;
    case 20:
    case 26: return LegacyCipher::kRar20;
    default: return LegacyCipher::kNone;
  }
}

LegacyCipherState::LegacyCipherState(LegacyCipher kind, const std::string& password) : kind_(kind) {
  const uint8_t* pw = reinterpret_cast<const uint8_t*>(password.data());
  const size_t len = password.size() < kMaxPasswordBytes ? password.size() : kMaxPasswordBytes;
  switch (kind) {
    case LegacyCipher::kRar13:
      for (size_t i = 0; i < len; ++i) {
        k13_[0] = static_cast<uint8_t>(k13_[0] + pw[i]);
        k13_[1] ^= pw[i];
        uint8_t k2 = static_cast<uint8_t>(k13_[2] + pw[i]);
        k13_[2] = static_cast<uint8_t>((k2 << 1) | (k2 >> 7));
      }
      break;
    case LegacyCipher::kRar15: {
      uint32_t c = ~static_cast<uint32_t>(crc32(0, pw, static_cast<uInt>(len)));
      k15_[0] = static_cast<uint16_t>(c);
      k15_[1] = static_cast<uint16_t>(c >> 16);
      for (size_t i = 0; i < len; ++i) {
        uint32_t t = CrcTab(pw[i]);
        k15_[2] ^= static_cast<uint16_t>(pw[i] ^ t);
        k15_[3] = static_cast<uint16_t>(k15_[3] + pw[i] + (t >> 16));
      }
      break;
    }
    case LegacyCipher::kRar20:
      SetKey20(pw, len);
      break;
    case LegacyCipher::kNone:
      break;
  }
}

LegacyCipherState LegacyCipherState::Rar13WithKey(uint8_t k0, uint8_t k1, uint8_t k2) {
  LegacyCipherState s(LegacyCipher::kRar13, std::string());
  s.k13_[0] = k0;
  s.k13_[1] = k1;
  s.k13_[2] = k2;
  return s;
}

void LegacyCipherState::SetKey20(const uint8_t* pw, size_t len) {
  k20_[0] = 0xD3A3B879u;
  k20_[1] = 0x3F6D12F7u;
  k20_[2] = 0x7515A235u;
  k20_[3] = 0xA4E7F123u;
  std::memcpy(subst_, kInitSubst, sizeof subst_);
  uint8_t p[kMaxPasswordBytes + 16] = {};
  std::memcpy(p, pw, len);
  for (uint32_t j = 0; j < 256; ++j) {
    for (size_t i = 0; i < len; i += 2) {
      uint32_t n1 = CrcTab((p[i] - j) & 0xFF) & 0xFF;
      uint32_t n2 = CrcTab((p[i + 1] + j) & 0xFF) & 0xFF;
      for (uint32_t k = 1; n1 != n2; n1 = (n1 + 1) & 0xFF, ++k) {
        uint8_t& a = subst_[n1];
        uint8_t& b = subst_[(n1 + i + k) & 0xFF];
        uint8_t t = a;
        a = b;
        b = t;
      }
    }
  }
  const size_t padded = (len + 15) & ~size_t{15};
  for (size_t i = 0; i < padded; i += 16) Block20(p + i, true);
}

void LegacyCipherState::Block20(uint8_t* blk, bool encrypt) {
  auto f = [this](uint32_t x) {
    return uint32_t{subst_[x & 0xFF]} | (uint32_t{subst_[(x >> 8) & 0xFF]} << 8) |
           (uint32_t{subst_[(x >> 16) & 0xFF]} << 16) | (uint32_t{subst_[x >> 24]} << 24);
  };
  uint8_t in[16];
  std::memcpy(in, blk, 16);
  uint32_t a = Load32(blk) ^ k20_[0], b = Load32(blk + 4) ^ k20_[1];
  uint32_t c = Load32(blk + 8) ^ k20_[2], d = Load32(blk + 12) ^ k20_[3];
  for (int step = 0; step < 32; ++step) {
    int r = encrypt ? step : 31 - step;
    uint32_t k = k20_[r & 3];
    uint32_t t = (c + Rol32(d, 11)) ^ k;
    uint32_t u = (d ^ Rol32(c, 17)) + k;
    uint32_t na = c, nb = d, nc = a ^ f(t), nd = b ^ f(u);
    a = na;
    b = nb;
    c = nc;
    d = nd;
  }
  Store32(blk, c ^ k20_[0]);
  Store32(blk + 4, d ^ k20_[1]);
  Store32(blk + 8, a ^ k20_[2]);
  Store32(blk + 12, b ^ k20_[3]);
  const uint8_t* z = encrypt ? blk : in;  // the key follows the ciphertext
  for (int i = 0; i < 16; ++i) k20_[i & 3] ^= CrcTab(z[i]);
}

void LegacyCipherState::Decrypt(uint8_t* data, size_t n) {
  switch (kind_) {
    case LegacyCipher::kRar13:
      for (size_t i = 0; i < n; ++i) {
        k13_[1] = static_cast<uint8_t>(k13_[1] + k13_[2]);
        k13_[0] = static_cast<uint8_t>(k13_[0] + k13_[1]);
        data[i] = static_cast<uint8_t>(data[i] - k13_[0]);
      }
      break;
    case LegacyCipher::kRar15:
      for (size_t i = 0; i < n; ++i) {
        k15_[0] = static_cast<uint16_t>(k15_[0] + 0x1234);
        uint32_t t = CrcTab(k15_[0] >> 1);
        k15_[1] ^= static_cast<uint16_t>(t);
        k15_[2] = static_cast<uint16_t>(k15_[2] - (t >> 16));
        k15_[0] ^= k15_[2];
        k15_[3] = Ror16(static_cast<uint16_t>(Ror16(k15_[3]) ^ k15_[1]));
        k15_[0] ^= k15_[3];
        data[i] ^= static_cast<uint8_t>(k15_[0] >> 8);
      }
      break;
    case LegacyCipher::kRar20:
      for (size_t i = 0; i + 16 <= n; i += 16) Block20(data + i, false);
      break;
    case LegacyCipher::kNone:
      break;
  }
}

void LegacyCipherState::Encrypt(uint8_t* data, size_t n) {
  switch (kind_) {
    case LegacyCipher::kRar13:
      for (size_t i = 0; i < n; ++i) {
        k13_[1] = static_cast<uint8_t>(k13_[1] + k13_[2]);
        k13_[0] = static_cast<uint8_t>(k13_[0] + k13_[1]);
        data[i] = static_cast<uint8_t>(data[i] + k13_[0]);
      }
      break;
    case LegacyCipher::kRar20:
      for (size_t i = 0; i + 16 <= n; i += 16) Block20(data + i, true);
      break;
    default:
      Decrypt(data, n);  // a keystream XOR: the same operation both ways
      break;
  }
}

LegacyDecryptSource::LegacyDecryptSource(ByteSource* src, LegacyCipher kind,
                                         const std::string& password)
    : src_(src), state_(kind, password), buf_(new (std::nothrow) uint8_t[kBufSize]) {}

// Decrypted bytes wait in buf_[pos_, len_); for the block cipher, up to 15 raw
// bytes of an incomplete block follow at buf_[len_, len_ + raw_).
bool LegacyDecryptSource::Refill() {
  if (!buf_) {
    failed_ = true;
    return false;
  }
  std::memmove(buf_.get(), buf_.get() + len_, raw_);
  pos_ = len_ = 0;
  const size_t bs = state_.block_size();
  while (!eof_ && len_ == 0) {
    int64_t got = src_->Read(buf_.get() + raw_, kBufSize - raw_);
    if (got < 0 || static_cast<uint64_t>(got) > kBufSize - raw_) {
      failed_ = true;
      return false;
    }
    if (got == 0) {
      eof_ = true;
      break;
    }
    raw_ += static_cast<size_t>(got);
    size_t usable = raw_ - raw_ % bs;
    state_.Decrypt(buf_.get(), usable);
    len_ = usable;
    raw_ -= usable;
  }
  return true;
}

int64_t LegacyDecryptSource::Read(uint8_t* buf, size_t n) {
  if (failed_) return -1;
  if (pos_ == len_ && !Refill()) return -1;
  size_t k = len_ - pos_ < n ? len_ - pos_ : n;
  std::memcpy(buf, buf_.get() + pos_, k);
  pos_ += k;
  return static_cast<int64_t>(k);
}

}  // namespace rarlib
