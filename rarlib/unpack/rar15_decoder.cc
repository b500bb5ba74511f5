#include "rarlib/unpack/rar15_decoder.h"

#include <cstring>

#include "rarlib/legacy/lz_window.h"
#include "rarlib/unpack/bitreader.h"

namespace rarlib {
namespace {

constexpr uint32_t kWindow = 64u << 10;

// A fixed prefix code: codes of increasing length START, START+1, ... whose
// left-aligned 16-bit limits are `dec`, mapped to values from `pos` by length.
struct FixedCode {
  int start;
  uint16_t dec[12];
  uint16_t pos[13];
};

constexpr FixedCode kL1 = {2,
                           {0x8000, 0xA000, 0xC000, 0xD000, 0xE000, 0xEA00, 0xEE00, 0xF000,
                            0xF200, 0xF200, 0xFFFF},
                           {0, 0, 0, 2, 3, 5, 7, 11, 16, 20, 24, 32, 32}};
constexpr FixedCode kL2 = {3,
                           {0xA000, 0xC000, 0xD000, 0xE000, 0xEA00, 0xEE00, 0xF000, 0xF200,
                            0xF240, 0xFFFF},
                           {0, 0, 0, 0, 5, 7, 9, 13, 18, 22, 26, 34, 36}};
constexpr FixedCode kHf0 = {4,
                            {0x8000, 0xC000, 0xE000, 0xF200, 0xF200, 0xF200, 0xF200, 0xF200,
                             0xFFFF},
                            {0, 0, 0, 0, 0, 8, 16, 24, 33, 33, 33, 33, 33}};
constexpr FixedCode kHf1 = {5,
                            {0x2000, 0xC000, 0xE000, 0xF000, 0xF200, 0xF200, 0xF7E0, 0xFFFF},
                            {0, 0, 0, 0, 0, 0, 4, 44, 60, 76, 80, 80, 127}};
constexpr FixedCode kHf2 = {5,
                            {0x1000, 0x2400, 0x8000, 0xC000, 0xFA00, 0xFFFF, 0xFFFF, 0xFFFF},
                            {0, 0, 0, 0, 0, 0, 2, 7, 53, 117, 233, 0, 0}};
constexpr FixedCode kHf3 = {6,
                            {0x0800, 0x2400, 0xEE00, 0xFE80, 0xFFFF, 0xFFFF, 0xFFFF},
                            {0, 0, 0, 0, 0, 0, 0, 2, 16, 218, 251, 0, 0}};
constexpr FixedCode kHf4 = {8,
                            {0xFF00, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF},
                            {0, 0, 0, 0, 0, 0, 0, 0, 0, 255, 0, 0, 0}};

// Short-match length codes, tried in order: (bits, pattern) per entry. Entry 1 (or
// 3) is one bit longer while Buf60 is set.
constexpr uint8_t kShortLenLow[15] = {1, 3, 4, 4, 5, 6, 7, 8, 8, 4, 4, 5, 6, 6, 4};
constexpr uint8_t kShortXorLow[15] = {0x00, 0xA0, 0xD0, 0xE0, 0xF0, 0xF8, 0xFC, 0xFE,
                                      0xFF, 0xC0, 0x80, 0x90, 0x98, 0x9C, 0xB0};
constexpr uint8_t kShortLenHigh[15] = {2, 3, 3, 3, 4, 4, 5, 6, 6, 4, 4, 5, 6, 6, 4};
constexpr uint8_t kShortXorHigh[15] = {0x00, 0x40, 0x60, 0xA0, 0xD0, 0xE0, 0xF0, 0xF8,
                                       0xFC, 0xC0, 0x80, 0x90, 0x98, 0x9C, 0xB0};

class Rar15Decoder : public Decoder {
 public:
  Rar15Decoder() : br_(nullptr) {}
  bool Init() {
    if (!win_.Allocate(kWindow)) return false;
    ResetRun();
    return true;
  }
  DecodeStatus Decode(ByteSource& src, uint64_t unpacked_size, bool solid, ByteSink& sink) override;

 private:
  void ResetRun();
  DecodeStatus Run();
  uint32_t DecodeNum(const FixedCode& c);
  // Moves list entry `p` up one counter group; `overflow` says when the counters
  // must be rebuilt first. Returns the entry's value before the increment.
  template <typename Overflow>
  uint16_t Adapt(uint16_t* t, uint8_t* n, uint32_t p, Overflow overflow, uint16_t* incremented);
  static void CorrHuff(uint16_t* t, uint8_t* n);
  void GetFlags();
  bool HuffDecode();
  bool ShortLz();
  bool LongLz();
  bool Record(uint32_t len, uint32_t dist) {
    old_dist_[dist_ptr_] = dist;
    dist_ptr_ = (dist_ptr_ + 1) & 3;
    last_length_ = len;
    last_dist_ = dist;
    return win_.Copy(len, dist);
  }

  LzWindow win_;
  BitReader br_;
  uint16_t ch_set_[256], ch_set_b_[256], ch_set_c_[256];
  uint8_t ch_set_a_[256];
  uint8_t n_to_pl_[256], n_to_pl_b_[256], n_to_pl_c_[256];
  uint32_t avr_plc_ = 0, avr_plc_b_ = 0, avr_ln1_ = 0, avr_ln2_ = 0, avr_ln3_ = 0;
  uint32_t nhfb_ = 0, nlzb_ = 0, max_dist3_ = 0, buf60_ = 0, num_huf_ = 0;
  uint32_t old_dist_[4];
  uint32_t dist_ptr_ = 0, last_dist_ = 0, last_length_ = 0;
  // Per member.
  int st_mode_ = 0, l_count_ = 0, flags_cnt_ = 0;
  uint32_t flag_buf_ = 0;
  bool broken_ = false;
};

void Rar15Decoder::CorrHuff(uint16_t* t, uint8_t* n) {
  for (int g = 0; g < 8; ++g)
    for (int i = 0; i < 32; ++i) {
      uint16_t& e = t[32 * g + i];
      e = static_cast<uint16_t>((e & 0xFF00) | (7 - g));
    }
  std::memset(n, 0, 256);
  for (int v = 0; v < 7; ++v) n[v] = static_cast<uint8_t>((7 - v) * 32);
}

void Rar15Decoder::ResetRun() {
  win_.ResetRun();
  for (int i = 0; i < 256; ++i) {
    ch_set_[i] = static_cast<uint16_t>(i << 8);
    ch_set_a_[i] = static_cast<uint8_t>(i);
    ch_set_b_[i] = static_cast<uint16_t>(i << 8);
    ch_set_c_[i] = static_cast<uint16_t>(((256 - i) & 0xFF) << 8);
  }
  std::memset(n_to_pl_, 0, sizeof(n_to_pl_));
  std::memset(n_to_pl_c_, 0, sizeof(n_to_pl_c_));
  CorrHuff(ch_set_b_, n_to_pl_b_);
  avr_plc_ = 0x3500;
  avr_plc_b_ = avr_ln1_ = avr_ln2_ = avr_ln3_ = 0;
  nhfb_ = nlzb_ = 0x80;
  max_dist3_ = 0x2001;
  buf60_ = 0;
  num_huf_ = 0;
  // No distance is valid before the first match sets one.
  for (uint32_t& d : old_dist_) d = UINT32_MAX;
  dist_ptr_ = 0;
  last_dist_ = UINT32_MAX;
  last_length_ = 0;
  broken_ = false;
}

uint32_t Rar15Decoder::DecodeNum(const FixedCode& c) {
  uint32_t v = static_cast<uint32_t>(br_.Peek(16)) & 0xFFF0;
  int len = c.start, k = 0;
  while (c.dec[k] <= v) {  // ends at a 0xFFFF entry: v <= 0xFFF0
    ++len;
    ++k;
  }
  br_.Skip(len);
  uint32_t prev = k > 0 ? c.dec[k - 1] : 0;
  return ((v - prev) >> (16 - len)) + c.pos[len];
}

template <typename Overflow>
uint16_t Rar15Decoder::Adapt(uint16_t* t, uint8_t* n, uint32_t p, Overflow overflow,
                             uint16_t* incremented) {
  // At most two rounds: after CorrHuff every counter is below 8.
  for (int round = 0;; ++round) {
    uint16_t before = t[p];
    uint8_t q = n[before & 0xFF]++;
    uint16_t e = static_cast<uint16_t>(before + 1);
    if (overflow(e) && round == 0) {
      CorrHuff(t, n);
      continue;
    }
    t[p] = t[q];
    t[q] = e;
    if (incremented) *incremented = e;
    return before;
  }
}

void Rar15Decoder::GetFlags() {
  uint32_t p = DecodeNum(kHf2);
  if (p > 0xFF) return;  // never sent by a packer; the flags stay as they were
  uint16_t before =
      Adapt(ch_set_c_, n_to_pl_c_, p, [](uint16_t e) { return (e & 0xFF) == 0; }, nullptr);
  flag_buf_ = before >> 8;
}

bool Rar15Decoder::HuffDecode() {
  uint32_t v = static_cast<uint32_t>(br_.Peek(16));
  uint32_t place;
  if (avr_plc_ > 0x75FF)
    place = DecodeNum(kHf4);
  else if (avr_plc_ > 0x5DFF)
    place = DecodeNum(kHf3);
  else if (avr_plc_ > 0x35FF)
    place = DecodeNum(kHf2);
  else if (avr_plc_ > 0x0DFF)
    place = DecodeNum(kHf1);
  else
    place = DecodeNum(kHf0);
  int b = static_cast<int>(place & 0xFF);
  if (st_mode_) {
    if (b == 0 && v > 0x0FFF) b = 256;
    if (--b == -1) {
      if (br_.Read(1)) {
        num_huf_ = 0;
        st_mode_ = 0;
        return true;
      }
      uint32_t len = br_.Read(1) ? 4 : 3;
      uint32_t d = DecodeNum(kHf2);
      d = (d << 5) | br_.Read32(5);
      return win_.Copy(len, d);
    }
  } else {
    if (num_huf_ >= 16 && flags_cnt_ == 0) st_mode_ = 1;
    ++num_huf_;
  }
  avr_plc_ += static_cast<uint32_t>(b);
  avr_plc_ -= avr_plc_ >> 8;
  nhfb_ += 16;
  if (nhfb_ > 0xFF) {
    nhfb_ = 0x90;
    nlzb_ >>= 1;
  }
  win_.Put(static_cast<uint8_t>(ch_set_[b] >> 8));
  Adapt(ch_set_, n_to_pl_, static_cast<uint32_t>(b), [](uint16_t e) { return (e & 0xFF) > 0xA1; },
        nullptr);
  return true;
}

bool Rar15Decoder::ShortLz() {
  num_huf_ = 0;
  if (l_count_ == 2) {
    if (br_.Read(1)) return win_.Copy(last_length_, last_dist_);
    l_count_ = 0;
  }
  uint32_t bits = static_cast<uint32_t>(br_.Peek(8));
  const bool high = avr_ln1_ >= 37;
  const uint8_t* lens = high ? kShortLenHigh : kShortLenLow;
  const uint8_t* pats = high ? kShortXorHigh : kShortXorLow;
  const int wide = high ? 3 : 1;  // the entry that grows by a bit with Buf60
  int j = 0;
  for (; j < 15; ++j) {
    int n = lens[j] + (j == wide && buf60_ ? 1 : 0);
    uint32_t mask = (0xFFu << (8 - n)) & 0xFF;
    if (((bits ^ pats[j]) & mask) == 0) {
      br_.Skip(n);
      break;
    }
  }
  if (j == 15) return false;  // unreachable: entry 0 or 1 always matches
  if (j == 9) {
    ++l_count_;
    return win_.Copy(last_length_, last_dist_);
  }
  if (j == 14) {
    l_count_ = 0;
    uint32_t len = DecodeNum(kL2) + 5;
    uint32_t d = br_.Read32(15) + 0x8000;
    last_length_ = len;
    last_dist_ = d;
    return win_.Copy(len, d);
  }
  l_count_ = 0;
  if (j >= 10) {
    uint32_t d = old_dist_[(dist_ptr_ - static_cast<uint32_t>(j - 9)) & 3];
    uint32_t len = DecodeNum(kL1) + 2;
    if (len == 0x101 && j == 10) {
      buf60_ ^= 1;
      return true;
    }
    if (d > 256) ++len;
    if (d >= max_dist3_) ++len;
    return Record(len, d);
  }
  avr_ln1_ += static_cast<uint32_t>(j);
  avr_ln1_ -= avr_ln1_ >> 4;
  uint32_t k = DecodeNum(kHf2) & 0xFF;
  uint32_t x = ch_set_a_[k];
  if (k > 0) {
    ch_set_a_[k] = ch_set_a_[k - 1];
    ch_set_a_[k - 1] = static_cast<uint8_t>(x);
  }
  return Record(static_cast<uint32_t>(j) + 2, x + 1);
}

bool Rar15Decoder::LongLz() {
  num_huf_ = 0;
  nlzb_ += 16;
  if (nlzb_ > 0xFF) {
    nlzb_ = 0x90;
    nhfb_ >>= 1;
  }
  const uint32_t a2 = avr_ln2_;
  uint32_t len;
  if (avr_ln2_ >= 122) {
    len = DecodeNum(kL2);
  } else if (avr_ln2_ >= 64) {
    len = DecodeNum(kL1);
  } else {
    uint32_t v = static_cast<uint32_t>(br_.Peek(16));
    if (v < 0x100) {
      len = v;
      br_.Skip(16);
    } else {
      len = 0;
      while (((v << len) & 0x8000) == 0) ++len;
      br_.Skip(static_cast<int>(len) + 1);
    }
  }
  avr_ln2_ += len;
  avr_ln2_ -= avr_ln2_ >> 5;
  uint32_t p;
  if (avr_plc_b_ > 0x28FF)
    p = DecodeNum(kHf2);
  else if (avr_plc_b_ > 0x6FF)
    p = DecodeNum(kHf1);
  else
    p = DecodeNum(kHf0);
  avr_plc_b_ += p;
  avr_plc_b_ -= avr_plc_b_ >> 8;
  uint16_t e = 0;
  Adapt(ch_set_b_, n_to_pl_b_, p & 0xFF, [](uint16_t x) { return (x & 0xFF) == 0; }, &e);
  uint32_t d = (static_cast<uint32_t>(e) >> 8) * 128 + br_.Read32(7);
  const uint32_t a3 = avr_ln3_;
  if (len != 1 && len != 4) {
    if (len == 0 && d <= max_dist3_) {
      ++avr_ln3_;
      avr_ln3_ -= avr_ln3_ >> 8;
    } else if (avr_ln3_ > 0) {
      --avr_ln3_;
    }
  }
  len += 3;
  if (d >= max_dist3_) ++len;
  if (d <= 256) len += 8;
  max_dist3_ = (a3 > 0xB0 || (avr_plc_ >= 0x2A00 && a2 < 0x40)) ? 0x7F00 : 0x2001;
  return Record(len, d);
}

DecodeStatus Rar15Decoder::Decode(ByteSource& src, uint64_t unpacked_size, bool solid,
                                  ByteSink& sink) {
  if (!solid) ResetRun();
  if (broken_) return DecodeStatus::kBadData;
  br_.Reset(&src);
  st_mode_ = l_count_ = flags_cnt_ = 0;
  flag_buf_ = 0;
  DecodeStatus st = DecodeStatus::kBadData;
  if (win_.BeginMember(&sink, unpacked_size)) st = Run();
  br_.Reset(nullptr);
  if (st != DecodeStatus::kOk) broken_ = true;
  return st;
}

DecodeStatus Rar15Decoder::Run() {
  auto stream_error = [&] {
    return br_.ReadFailed() ? DecodeStatus::kReadError : DecodeStatus::kBadData;
  };
  if (win_.Done()) return DecodeStatus::kOk;
  GetFlags();
  flags_cnt_ = 8;
  while (!win_.Done()) {
    if (!win_.Flush(false)) return DecodeStatus::kWriteError;
    bool ok;
    if (st_mode_) {
      ok = HuffDecode();
    } else {
      if (--flags_cnt_ < 0) {
        GetFlags();
        flags_cnt_ = 7;
      }
      if (flag_buf_ & 0x80) {
        flag_buf_ <<= 1;
        ok = nlzb_ > nhfb_ ? LongLz() : HuffDecode();
      } else {
        flag_buf_ <<= 1;
        if (--flags_cnt_ < 0) {
          GetFlags();
          flags_cnt_ = 7;
        }
        if (flag_buf_ & 0x80) {
          flag_buf_ <<= 1;
          ok = nlzb_ > nhfb_ ? HuffDecode() : LongLz();
        } else {
          flag_buf_ <<= 1;
          ok = ShortLz();
        }
      }
    }
    if (!ok || br_.Overrun()) return stream_error();
  }
  if (!win_.Flush(true)) return DecodeStatus::kWriteError;
  return DecodeStatus::kOk;
}

}  // namespace

DecodeStatus CreateRar15Decoder(const DecoderParams&, std::unique_ptr<Decoder>* out) {
  out->reset();
  std::unique_ptr<Rar15Decoder> d(new (std::nothrow) Rar15Decoder);
  if (!d || !d->Init()) return DecodeStatus::kNoMemory;
  *out = std::move(d);
  return DecodeStatus::kOk;
}

}  // namespace rarlib
