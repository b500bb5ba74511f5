#include "rarlib/unpack/rar20_decoder.h"

#include <cstdlib>
#include <cstring>

#include "rarlib/legacy/lz_window.h"
#include "rarlib/unpack/bitreader.h"
#include "rarlib/unpack/huffman.h"

namespace rarlib {
namespace {

constexpr size_t kMainSize = 298, kDistSize = 48, kRepSize = 28, kLevelSize = 19;
constexpr size_t kLzListSize = kMainSize + kDistSize + kRepSize;  // 374
constexpr size_t kAudioSize = 257;
constexpr size_t kOldSize = 4 * kAudioSize;  // 1028
constexpr int kMaxChannels = 4;
constexpr int kTableSwitchLz = 269, kTableSwitchAudio = 256;
// Unpacked bytes from one trailing table switch onward: the packed data that must
// remain behind the end of a member for its trailing symbol to be read.
constexpr uint64_t kTrailerBytes = 5;

constexpr uint8_t kLBits[28] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2,
                                2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5};
constexpr uint8_t kLBase[28] = {0,  1,  2,  3,  4,  5,  6,  7,  8,   10,  12,  14,  16,  20,
                                24, 28, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224};
constexpr uint8_t kSDBase[8] = {0, 4, 8, 16, 32, 64, 128, 192};
constexpr uint8_t kSDBits[8] = {2, 2, 3, 4, 5, 6, 6, 6};

struct DistSlots {
  uint32_t base[kDistSize];
  uint8_t bits[kDistSize];
};
constexpr DistSlots MakeDistSlots() {
  DistSlots d{};
  // Slots per extra-bit count 0, 1, 2, ...: 4, then 2 each, then 14 with 16 bits.
  const uint8_t per_bits[17] = {4, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 14};
  uint32_t base = 0;
  size_t i = 0;
  for (int b = 0; b < 17 && i < kDistSize; ++b)
    for (int k = 0; k < per_bits[b] && i < kDistSize; ++k, ++i) {
      d.base[i] = base;
      d.bits[i] = static_cast<uint8_t>(b);
      base += 1u << b;
    }
  return d;
}
constexpr DistSlots kDist = MakeDistSlots();
static_assert(kDist.base[47] == 983040 && kDist.bits[47] == 16, "distance slots");

// Per-channel predictor of the multimedia mode.
struct Channel {
  int k[5];
  int d[4];
  int last_delta;
  int last_char;
  uint32_t dif[11];
  uint32_t byte_count;
};

class Rar20Decoder : public Decoder {
 public:
  Rar20Decoder() : br_(nullptr) {}
  bool Init(uint32_t window) {
    if (!win_.Allocate(window)) return false;
    ResetRun();
    return true;
  }
  DecodeStatus Decode(ByteSource& src, uint64_t unpacked_size, bool solid, ByteSink& sink) override;

 private:
  void ResetRun();
  DecodeStatus Run(uint64_t unpacked_size, CountedSource& src);
  bool ReadTables();
  bool DecodeLzSymbol(int sym);
  uint8_t DecodeAudio(int delta);
  bool Record(uint32_t len, uint32_t dist) {
    old_dist_[dist_ptr_] = dist;
    dist_ptr_ = (dist_ptr_ + 1) & 3;
    last_dist_ = dist;
    last_length_ = len;
    return win_.Copy(len, dist);
  }

  LzWindow win_;
  BitReader br_;
  HuffmanTable main_, dist_, rep_, audio_[kMaxChannels];
  uint8_t old_len_[kOldSize];
  bool tables_read_ = false;
  bool audio_mode_ = false;
  int channels_ = 1;
  int cur_ = 0;
  Channel ch_[kMaxChannels];
  int channel_delta_ = 0;
  uint32_t old_dist_[4];
  uint32_t dist_ptr_ = 0;
  uint32_t last_dist_ = 0;
  uint32_t last_length_ = 0;
  bool broken_ = false;
};

void Rar20Decoder::ResetRun() {
  win_.ResetRun();
  std::memset(old_len_, 0, sizeof(old_len_));
  tables_read_ = false;
  audio_mode_ = false;
  channels_ = 1;
  cur_ = 0;
  std::memset(ch_, 0, sizeof(ch_));
  channel_delta_ = 0;
  // No distance is valid before the first match sets one.
  for (uint32_t& d : old_dist_) d = UINT32_MAX;
  dist_ptr_ = 0;
  last_dist_ = UINT32_MAX;
  last_length_ = 0;
  broken_ = false;
}

bool Rar20Decoder::ReadTables() {
  bool audio = br_.Read(1) != 0;
  if (br_.Read(1) == 0) std::memset(old_len_, 0, sizeof(old_len_));
  size_t n = kLzListSize;
  if (audio) {
    channels_ = static_cast<int>(br_.Read(2)) + 1;
    if (cur_ >= channels_) cur_ = 0;
    n = kAudioSize * static_cast<size_t>(channels_);
  }
  uint8_t level_len[kLevelSize];
  for (uint8_t& l : level_len) l = static_cast<uint8_t>(br_.Read(4));
  HuffmanTable level;
  if (!level.Build(level_len, kLevelSize)) return false;
  uint8_t list[kOldSize];
  for (size_t i = 0; i < n;) {
    if (br_.Overrun()) return false;
    int s = level.Decode(br_);
    if (s < 0) return false;
    if (s < 16) {
      list[i] = static_cast<uint8_t>((s + old_len_[i]) & 15);
      ++i;
      continue;
    }
    size_t run;
    uint8_t v = 0;
    if (s == 16) {
      if (i == 0) return false;
      run = 3 + br_.Read(2);
      v = list[i - 1];
    } else if (s == 17) {
      run = 3 + br_.Read(3);
    } else {
      run = 11 + br_.Read(7);
    }
    for (; run > 0 && i < n; --run) list[i++] = v;
  }
  if (br_.Overrun()) return false;
  std::memcpy(old_len_, list, n);
  if (audio) {
    for (int c = 0; c < channels_; ++c)
      if (!audio_[c].Build(list + kAudioSize * c, kAudioSize)) return false;
  } else {
    if (!main_.Build(list, kMainSize) || !dist_.Build(list + kMainSize, kDistSize) ||
        !rep_.Build(list + kMainSize + kDistSize, kRepSize))
      return false;
  }
  audio_mode_ = audio;
  tables_read_ = true;
  return true;
}

uint8_t Rar20Decoder::DecodeAudio(int delta) {
  Channel& v = ch_[cur_];
  ++v.byte_count;
  v.d[3] = v.d[2];
  v.d[2] = v.d[1];
  v.d[1] = v.last_delta - v.d[0];
  v.d[0] = v.last_delta;
  int p = 8 * v.last_char + v.k[0] * v.d[0] + v.k[1] * v.d[1] + v.k[2] * v.d[2] + v.k[3] * v.d[3] +
          v.k[4] * channel_delta_;
  p = (p >> 3) & 0xFF;
  uint8_t out = static_cast<uint8_t>(p - delta);
  int e = static_cast<int8_t>(delta) * 8;
  v.dif[0] += std::abs(e);
  v.dif[1] += std::abs(e - v.d[0]);
  v.dif[2] += std::abs(e + v.d[0]);
  v.dif[3] += std::abs(e - v.d[1]);
  v.dif[4] += std::abs(e + v.d[1]);
  v.dif[5] += std::abs(e - v.d[2]);
  v.dif[6] += std::abs(e + v.d[2]);
  v.dif[7] += std::abs(e - v.d[3]);
  v.dif[8] += std::abs(e + v.d[3]);
  v.dif[9] += std::abs(e - channel_delta_);
  v.dif[10] += std::abs(e + channel_delta_);
  v.last_delta = static_cast<int8_t>(out - v.last_char);
  channel_delta_ = v.last_delta;
  v.last_char = out;
  if ((v.byte_count & 31) == 0) {
    int m = 0;
    for (int i = 1; i < 11; ++i)
      if (v.dif[i] < v.dif[m]) m = i;
    std::memset(v.dif, 0, sizeof(v.dif));
    if (m != 0) {
      int& kk = v.k[(m - 1) / 2];
      if (m & 1) {
        if (kk >= -16) --kk;
      } else {
        if (kk < 16) ++kk;
      }
    }
  }
  return out;
}

bool Rar20Decoder::DecodeLzSymbol(int s) {
  if (s < 256) {
    win_.Put(static_cast<uint8_t>(s));
    return true;
  }
  if (s == 256) return Record(last_length_, last_dist_);
  if (s < 261) {
    uint32_t d = old_dist_[(dist_ptr_ - static_cast<uint32_t>(s - 256)) & 3];
    int ls = rep_.Decode(br_);
    if (ls < 0) return false;
    uint32_t len = kLBase[ls] + 2 + br_.Read32(kLBits[ls]);
    if (d >= 0x101) ++len;
    if (d >= 0x2000) ++len;
    if (d >= 0x40000) ++len;
    return Record(len, d);
  }
  if (s < 269) {
    int k = s - 261;
    return Record(2, kSDBase[k] + 1 + br_.Read32(kSDBits[k]));
  }
  // 269 (table switch) is handled by the caller; 270..297 are matches.
  int ls = s - 270;
  uint32_t len = kLBase[ls] + 3 + br_.Read32(kLBits[ls]);
  int ds = dist_.Decode(br_);
  if (ds < 0) return false;
  uint32_t d = kDist.base[ds] + 1 + br_.Read32(kDist.bits[ds]);
  if (d >= 0x2000) ++len;
  if (d >= 0x40000) ++len;
  return Record(len, d);
}

DecodeStatus Rar20Decoder::Decode(ByteSource& src, uint64_t unpacked_size, bool solid,
                                  ByteSink& sink) {
  if (!solid) ResetRun();
  if (broken_) return DecodeStatus::kBadData;
  CountedSource counted(&src);
  br_.Reset(&counted);
  if (!win_.BeginMember(&sink, unpacked_size)) {
    broken_ = true;
    return DecodeStatus::kBadData;
  }
  DecodeStatus st = Run(unpacked_size, counted);
  br_.Reset(nullptr);
  if (st != DecodeStatus::kOk) broken_ = true;
  return st;
}

DecodeStatus Rar20Decoder::Run(uint64_t unpacked_size, CountedSource& src) {
  auto stream_error = [&] {
    return br_.ReadFailed() ? DecodeStatus::kReadError : DecodeStatus::kBadData;
  };
  if (unpacked_size == 0) return DecodeStatus::kOk;
  if (!tables_read_ && !ReadTables()) return stream_error();
  while (!win_.Done()) {
    if (!win_.Flush(false)) return DecodeStatus::kWriteError;
    if (audio_mode_) {
      int v = audio_[cur_].Decode(br_);
      if (v < 0) return stream_error();
      if (v == kTableSwitchAudio) {
        if (!ReadTables()) return stream_error();
        continue;
      }
      win_.Put(DecodeAudio(v));
      if (++cur_ == channels_) cur_ = 0;
    } else {
      int s = main_.Decode(br_);
      if (s < 0) return stream_error();
      if (s == kTableSwitchLz) {
        if (!ReadTables()) return stream_error();
        continue;
      }
      if (!DecodeLzSymbol(s)) return stream_error();
    }
    if (br_.Overrun()) return stream_error();
  }
  if (!win_.Flush(true)) return DecodeStatus::kWriteError;
  // A table switch may follow the last symbol; it sets up the next solid member.
  // It is looked for only when enough packed data remains behind the bit position.
  br_.Peek(BitReader::kMaxPeekBits);
  uint64_t byte_pos = br_.Position() / 8;
  bool enough = !src.ended() || (src.delivered() > byte_pos &&
                                 src.delivered() - byte_pos >= kTrailerBytes);
  if (enough) {
    int s = audio_mode_ ? audio_[cur_].Decode(br_) : main_.Decode(br_);
    if (s == (audio_mode_ ? kTableSwitchAudio : kTableSwitchLz) && !ReadTables())
      return stream_error();
  }
  return DecodeStatus::kOk;
}

}  // namespace

DecodeStatus CreateRar20Decoder(const DecoderParams& params, std::unique_ptr<Decoder>* out) {
  out->reset();
  uint32_t size = 64u << 10;
  while (size < params.dict_size && size < (1u << 20)) size <<= 1;
  std::unique_ptr<Rar20Decoder> d(new (std::nothrow) Rar20Decoder);
  if (!d || !d->Init(size)) return DecodeStatus::kNoMemory;
  *out = std::move(d);
  return DecodeStatus::kOk;
}

}  // namespace rarlib
