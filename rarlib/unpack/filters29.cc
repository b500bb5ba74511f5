#include "rarlib/unpack/filters29.h"

#include <zlib.h>

#include <cstring>

namespace rarlib {
namespace {

// MSB-first reader over a filter record; bits past the end read as zero.
class RecordBits {
 public:
  RecordBits(const uint8_t* p, size_t n) : p_(p), n_(n) {}

  uint32_t Read(unsigned bits) {  // bits <= 16
    uint32_t v = 0;
    for (unsigned i = 0; i < bits; ++i) {
      size_t byte = pos_ >> 3;
      uint32_t bit = byte < n_ ? (p_[byte] >> (7 - (pos_ & 7))) & 1 : 0;
      v = (v << 1) | bit;
      ++pos_;
    }
    return v;
  }

  // The record's variable-length number.
  uint32_t Num() {
    switch (Read(2)) {
      case 0:
        return Read(4);
      case 1: {
        uint32_t v = Read(8);
        if (v >= 16) return v;
        return 0xFFFFFF00u + (v << 4) + Read(4);
      }
      case 2:
        return Read(16);
      default: {
        uint32_t h = Read(16);
        return (h << 16) | Read(16);
      }
    }
  }

  // Whole bytes still present after the current bit position.
  size_t BytesLeft() const {
    size_t total = n_ * 8;
    return pos_ >= total ? 0 : (total - pos_) / 8;
  }

 private:
  const uint8_t* p_;
  size_t n_;
  size_t pos_ = 0;
};

struct KnownProgram {
  size_t size;
  uint32_t crc;
  Filter29Kind kind;
};

constexpr KnownProgram kKnownPrograms[] = {
    {53, 0xAD576887u, Filter29Kind::kE8},       {57, 0x3CD7E57Eu, Filter29Kind::kE8E9},
    {120, 0x3769893Fu, Filter29Kind::kItanium}, {29, 0x0E06077Du, Filter29Kind::kDelta},
    {149, 0x1C2C5DC8u, Filter29Kind::kRgb},     {216, 0xBC85E701u, Filter29Kind::kAudio},
};

inline uint32_t Le32(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

inline void PutLe32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
  p[2] = static_cast<uint8_t>(v >> 16);
  p[3] = static_cast<uint8_t>(v >> 24);
}

void RunE8(uint8_t* data, uint32_t n, uint32_t file_offset, bool e9) {
  if (n <= 4) return;
  const uint32_t kFileSize = 0x1000000;
  for (uint32_t i = 0; i < n - 4;) {
    uint8_t x = data[i++];
    if (x != 0xE8 && !(e9 && x == 0xE9)) continue;
    uint32_t off = i + file_offset;
    uint32_t a = Le32(data + i);
    if (a & 0x80000000u) {
      if (((a + off) & 0x80000000u) == 0) PutLe32(data + i, a + kFileSize);
    } else if (a < kFileSize) {
      PutLe32(data + i, a - off);
    }
    i += 4;
  }
}

// Bit field of an IA-64 bundle, bits numbered little-endian from the bundle start.
// Callers keep bit + width within the 128-bit bundle plus the 5 bytes after it.
inline uint32_t GetBundleBits(const uint8_t* b, unsigned bit, unsigned width) {
  return (Le32(b + bit / 8) >> (bit % 8)) & ((1u << width) - 1);
}

inline void SetBundleBits(uint8_t* b, unsigned bit, unsigned width, uint32_t v) {
  uint32_t mask = ((1u << width) - 1) << (bit % 8);
  uint32_t word = Le32(b + bit / 8);
  PutLe32(b + bit / 8, (word & ~mask) | ((v << (bit % 8)) & mask));
}

void RunItanium(uint8_t* data, uint32_t n, uint32_t file_offset) {
  static constexpr uint8_t kMasks[16] = {4, 4, 6, 6, 0, 0, 7, 7, 4, 4, 0, 0, 4, 4, 0, 0};
  if (n <= 21) return;
  uint32_t fo = file_offset >> 4;
  for (uint32_t p = 0; p < n - 21; p += 16, ++fo) {
    uint8_t* bundle = data + p;
    unsigned t = bundle[0] & 0x1F;
    unsigned mask = t >= 0x10 ? kMasks[t - 0x10] : 0;
    for (unsigned k = 0; k < 3; ++k) {
      if (!(mask & (1u << k))) continue;
      unsigned b = 5 + 41 * k;
      if (GetBundleBits(bundle, b + 37, 4) != 5) continue;
      uint32_t v = GetBundleBits(bundle, b + 13, 20);
      SetBundleBits(bundle, b + 13, 20, (v - fo) & 0xFFFFF);
    }
  }
}

void RunDelta(const uint8_t* in, uint8_t* out, uint32_t n, uint32_t channels) {
  uint32_t src = 0;
  for (uint32_t ch = 0; ch < channels; ++ch) {
    uint8_t prev = 0;
    for (uint32_t j = ch; j < n; j += channels) {
      prev = static_cast<uint8_t>(prev - in[src++]);
      out[j] = prev;
    }
  }
}

void RunRgb(const uint8_t* in, uint8_t* out, uint32_t n, uint32_t width, uint32_t pos_r) {
  // With a row of one pixel the "upper" byte is the one being produced; give it a
  // defined value rather than whatever the scratch area held.
  if (width == 3) std::memset(out, 0, n);
  uint32_t src = 0;
  for (uint32_t ch = 0; ch < 3; ++ch) {
    unsigned prev = 0;
    for (uint32_t j = ch; j < n; j += 3) {
      unsigned pred = prev;
      if (j >= width) {
        int up = out[j - width + 3];
        int ul = out[j - width];
        int q = static_cast<int>(prev) + up - ul;
        int pa =
            q > static_cast<int>(prev) ? q - static_cast<int>(prev) : static_cast<int>(prev) - q;
        int pb = q > up ? q - up : up - q;
        int pc = q > ul ? q - ul : ul - q;
        if (pa <= pb && pa <= pc) {
          pred = prev;
        } else if (pb <= pc) {
          pred = static_cast<unsigned>(up);
        } else {
          pred = static_cast<unsigned>(ul);
        }
      }
      prev = (pred - in[src++]) & 0xFF;
      out[j] = static_cast<uint8_t>(prev);
    }
  }
  for (uint32_t j = pos_r; j + 2 < n; j += 3) {
    uint8_t g = out[j + 1];
    out[j] = static_cast<uint8_t>(out[j] + g);
    out[j + 2] = static_cast<uint8_t>(out[j + 2] + g);
  }
}

inline uint32_t Abs(int32_t v) {
  return v < 0 ? 0u - static_cast<uint32_t>(v) : static_cast<uint32_t>(v);
}

void RunAudio(const uint8_t* in, uint8_t* out, uint32_t n, uint32_t channels) {
  uint32_t src = 0;
  for (uint32_t ch = 0; ch < channels; ++ch) {
    unsigned prev = 0;
    int32_t pd = 0, d1 = 0, d2 = 0, d3 = 0, k1 = 0, k2 = 0, k3 = 0;
    uint32_t dif[7] = {};
    uint32_t count = 0;
    for (uint32_t j = ch; j < n; j += channels) {
      d3 = d2;
      d2 = pd - d1;
      d1 = pd;
      uint32_t sum = 8u * prev + static_cast<uint32_t>(k1 * d1 + k2 * d2 + k3 * d3);
      uint32_t pred = (sum >> 3) & 0xFF;
      uint32_t x = in[src++];
      out[j] = static_cast<uint8_t>(pred - x);
      pd = static_cast<int8_t>(static_cast<uint8_t>(out[j] - prev));
      prev = out[j];
      int32_t e = 8 * static_cast<int8_t>(x);
      dif[0] += Abs(e);
      dif[1] += Abs(e - d1);
      dif[2] += Abs(e + d1);
      dif[3] += Abs(e - d2);
      dif[4] += Abs(e + d2);
      dif[5] += Abs(e - d3);
      dif[6] += Abs(e + d3);
      if ((count & 31) == 0) {
        unsigned m = 0;
        for (unsigned i = 1; i < 7; ++i) {
          if (dif[i] < dif[m]) m = i;
        }
        for (uint32_t& d : dif) d = 0;
        switch (m) {
          case 1:
            if (k1 >= -16) --k1;
            break;
          case 2:
            if (k1 < 16) ++k1;
            break;
          case 3:
            if (k2 >= -16) --k2;
            break;
          case 4:
            if (k2 < 16) ++k2;
            break;
          case 5:
            if (k3 >= -16) --k3;
            break;
          case 6:
            if (k3 < 16) ++k3;
            break;
          default:
            break;
        }
      }
      ++count;
    }
  }
}

}  // namespace

bool ClassifyFilter29Program(const uint8_t* code, size_t size, Filter29Kind* kind) {
  if (size == 0) return false;
  uint8_t x = 0;
  for (size_t i = 1; i < size; ++i) x ^= code[i];
  if (x != code[0]) return false;
  uint32_t crc = static_cast<uint32_t>(crc32(0L, code, static_cast<uInt>(size)));
  *kind = Filter29Kind::kUnknown;
  for (const KnownProgram& k : kKnownPrograms) {
    if (k.size == size && k.crc == crc) *kind = k.kind;
  }
  return true;
}

DecodeStatus RunFilter29(const Filter29Instance& f, uint8_t* data, uint32_t n, uint32_t file_offset,
                         uint8_t* scratch, uint8_t** result) {
  *result = data;
  switch (f.kind) {
    case Filter29Kind::kE8:
    case Filter29Kind::kE8E9:
      if (n > kFilter29MaxLength) return DecodeStatus::kBadData;
      RunE8(data, n, file_offset, f.kind == Filter29Kind::kE8E9);
      return DecodeStatus::kOk;
    case Filter29Kind::kItanium:
      if (n > kFilter29MaxLength) return DecodeStatus::kBadData;
      RunItanium(data, n, file_offset);
      return DecodeStatus::kOk;
    case Filter29Kind::kDelta:
      if (n > kFilter29MaxLength / 2 || f.regs[0] < 1 || f.regs[0] > 1024)
        return DecodeStatus::kBadData;
      RunDelta(data, scratch, n, f.regs[0]);
      *result = scratch;
      return DecodeStatus::kOk;
    case Filter29Kind::kRgb:
      if (n < 3 || n > kFilter29MaxLength / 2 || f.regs[0] < 3 || f.regs[0] - 3 > n ||
          f.regs[1] > 2) {
        return DecodeStatus::kBadData;
      }
      RunRgb(data, scratch, n, f.regs[0], f.regs[1]);
      *result = scratch;
      return DecodeStatus::kOk;
    case Filter29Kind::kAudio:
      if (n > kFilter29MaxLength / 2 || f.regs[0] < 1 || f.regs[0] > 128)
        return DecodeStatus::kBadData;
      RunAudio(data, scratch, n, f.regs[0]);
      *result = scratch;
      return DecodeStatus::kOk;
    case Filter29Kind::kUnknown:
      break;
  }
  return DecodeStatus::kUnsupported;
}

void Filters29::Reset() {
  programs_.clear();
  last_filter_ = 0;
  DropPending();
}

void Filters29::PopFront() {
  if (++head_ == pending_.size()) DropPending();
}

DecodeStatus Filters29::ParseRecord(uint8_t flags, const uint8_t* rec, size_t n, uint64_t out_pos) {
  RecordBits bits(rec, n);
  size_t index = last_filter_;
  if (flags & 0x80) {
    uint32_t k = bits.Num();
    if (k == 0) {
      Reset();
      index = 0;
    } else {
      index = k - 1;
    }
  }
  if (index > programs_.size()) return DecodeStatus::kBadData;
  const bool is_new = index == programs_.size();
  if (is_new && programs_.size() >= kFilter29MaxPrograms) return DecodeStatus::kBadData;
  if (pending_.size() - head_ >= kFilter29MaxPending) return DecodeStatus::kBadData;

  uint64_t start = bits.Num();
  if (flags & 0x40) start += 258;
  uint32_t length = is_new ? 0 : programs_[index].stored_length;
  if (flags & 0x20) length = bits.Num();

  Filter29Instance inst;
  inst.regs[4] = length;
  if (flags & 0x10) {
    uint32_t mask = bits.Read(7);
    for (unsigned i = 0; i < 7; ++i) {
      if (mask & (1u << i)) inst.regs[i] = bits.Num();
    }
  }

  Filter29Kind kind;
  if (is_new) {
    uint32_t size = bits.Num();
    if (size == 0 || size >= 0x10000 || size > bits.BytesLeft()) return DecodeStatus::kBadData;
    code_.resize(size);
    for (uint32_t i = 0; i < size; ++i) code_[i] = static_cast<uint8_t>(bits.Read(8));
    if (!ClassifyFilter29Program(code_.data(), size, &kind)) return DecodeStatus::kBadData;
    programs_.push_back(Program{kind, 0});
  } else {
    kind = programs_[index].kind;
  }
  // Global data (flag 0x08) is not used by any standard filter and ends the record.
  last_filter_ = index;
  if (flags & 0x20) programs_[index].stored_length = length;

  if (kind == Filter29Kind::kUnknown) return DecodeStatus::kUnsupported;
  if (length >= kFilter29MaxLength || inst.regs[4] != length) return DecodeStatus::kBadData;
  inst.kind = kind;
  inst.pos = out_pos + start;
  inst.length = length;
  if (head_ > 0 && head_ == pending_.size()) DropPending();
  pending_.push_back(inst);
  return DecodeStatus::kOk;
}

}  // namespace rarlib
