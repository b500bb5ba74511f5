#include "rarlib/unpack/rar5_decoder.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

#include "rarlib/unpack/bitreader.h"
#include "rarlib/unpack/huffman.h"
#include "rarlib/unpack/rar5_filters.h"

namespace rarlib {

namespace {

constexpr size_t kMainSymbols = 306;
constexpr size_t kDistSymbolsV0 = 64;
constexpr size_t kDistSymbolsV1 = 80;
constexpr size_t kLowDistSymbols = 16;
constexpr size_t kRepSymbols = 44;
constexpr size_t kMaxTableLengths = kMainSymbols + kDistSymbolsV1 + kLowDistSymbols + kRepSymbols;

// Longest match (4097 plus the distance bonus), rounded up.
constexpr uint64_t kMaxMatch = 4104;
// More than any symbol's bits (the longest, a filter record, takes 91).
constexpr uint64_t kMaxSymbolBits = 128;
constexpr uint64_t kMinWindow = 256 * 1024;
constexpr uint64_t kWindowGranule = 64 * 1024;
// Output is handed to the sink in pieces of about this size.
constexpr uint64_t kFlushChunk = 4 * 1024 * 1024;
constexpr uint32_t kMaxFilterLength = 4 * 1024 * 1024;
constexpr size_t kMaxPendingFilters = 8192;
constexpr uint64_t kUnknownSize = UINT64_MAX;
constexpr uint64_t kInvalidDistance = UINT64_MAX;

struct PendingFilter {
  uint64_t start;  // run position of the first byte
  uint32_t length;
  Rar5FilterType type;
  uint8_t channels;
};

class Rar5Decoder : public Decoder {
 public:
  Rar5Decoder(uint64_t dict_size, size_t dist_symbols)
      : dict_(std::max(dict_size, kMinWindow)), dist_symbols_(dist_symbols), br_(nullptr) {
    ResetRun();
  }
  ~Rar5Decoder() override { std::free(win_); }

  DecodeStatus Decode(ByteSource& src, uint64_t unpacked_size, bool solid, ByteSink& sink) override;

 private:
  void ResetRun();
  DecodeStatus EnsureWindow(uint64_t unpacked_size);
  DecodeStatus DecodeMember();
  // Works on the bit register `r` taken from br_ (see BitReader::Take).
  DecodeStatus DecodeSymbol(BitReader::Register& r);
  DecodeStatus ReadBlockHeader();
  DecodeStatus ReadTables();
  DecodeStatus ReadFilter();
  DecodeStatus FlushSome();
  DecodeStatus Flush();
  DecodeStatus ApplyFilter(const PendingFilter& f);
  bool WriteOut(uint64_t from, uint64_t to);
  bool WindowToBuffer(uint64_t from, uint64_t n, uint8_t* dst) const;
  DecodeStatus DataError() const {
    return br_.ReadFailed() ? DecodeStatus::kReadError : DecodeStatus::kBadData;
  }

  uint32_t SlotLength(uint32_t slot, BitReader::Register& r) {
    if (slot < 8) return 2 + slot;
    uint32_t bits = slot / 4 - 1;
    return 2 + ((4 + (slot & 3)) << bits) +
           static_cast<uint32_t>(br_.Read(r, static_cast<int>(bits)));
  }

  // Index of the byte `back` positions before the current one (1 <= back <= cap_).
  size_t BackIndex(uint64_t back) const {
    return static_cast<size_t>(wpos_ >= back ? wpos_ - back : wpos_ + cap_ - back);
  }

  void PutByte(uint8_t b) {
    win_[wpos_] = b;
    if (++wpos_ == cap_) wpos_ = 0;
    ++run_pos_;
  }

  bool Copy(uint32_t length, uint64_t dist) {
    if (dist > run_pos_ || dist > cap_) return false;
    size_t src = BackIndex(dist);
    if (src + length <= cap_ && wpos_ + length <= cap_) {
      uint8_t* d = win_ + wpos_;
      const uint8_t* s = win_ + src;
      if (src >= wpos_) {
        // The source lies ahead (the run has wrapped) or is the slot itself: a
        // forward copy never reads a byte it has written, which memmove does here.
        std::memmove(d, s, length);
      } else if (dist >= length) {
        std::memcpy(d, s, length);
      } else if (dist >= 8) {
        for (uint32_t i = 0; i < length; i += 8) {
          std::memcpy(d + i, s + i, std::min<uint32_t>(8, length - i));
        }
      } else {
        for (uint32_t i = 0; i < length; ++i) d[i] = s[i];
      }
      wpos_ += length;
      if (wpos_ == cap_) wpos_ = 0;
    } else {
      for (uint32_t i = 0; i < length; ++i) {
        win_[wpos_] = win_[src];
        if (++wpos_ == cap_) wpos_ = 0;
        if (++src == cap_) src = 0;
      }
    }
    run_pos_ += length;
    return true;
  }

  const uint64_t dict_;
  const size_t dist_symbols_;

  // Window: the last cap_ bytes of the run; wpos_ is where run_pos_ goes.
  uint8_t* win_ = nullptr;
  uint64_t cap_ = 0;
  uint64_t wpos_ = 0;
  uint64_t run_pos_ = 0;

  // Kept across the members of a solid run.
  HuffmanTable main_, dist_, low_, rep_;
  bool tables_read_ = false;
  uint64_t old_dist_[4];
  uint32_t last_length_ = 0;
  bool broken_ = false;

  // Per member.
  BitReader br_;
  ByteSink* sink_ = nullptr;
  uint64_t file_start_ = 0;  // run position of the member's first byte
  uint64_t file_end_ = 0;    // run position after its last byte (saturated)
  uint64_t written_ = 0;     // run position up to which output is delivered
  uint64_t flush_at_ = 0;
  uint64_t block_end_ = 0;   // bit position after the current block's last valid bit
  uint64_t next_block_ = 0;  // bit position of the next block header
  bool last_block_ = false;
  std::unique_ptr<PendingFilter[]> filters_;  // ring of pending filters, in range order
  size_t filter_head_ = 0;
  size_t filter_count_ = 0;
  std::unique_ptr<uint8_t[]> fbuf_;  // two halves: filter input, delta output
  size_t fbuf_size_ = 0;
};

void Rar5Decoder::ResetRun() {
  run_pos_ = 0;
  wpos_ = 0;
  tables_read_ = false;
  for (auto& d : old_dist_) d = kInvalidDistance;
  last_length_ = 0;
  broken_ = false;
}

DecodeStatus Rar5Decoder::EnsureWindow(uint64_t unpacked_size) {
  if (cap_ == dict_) return DecodeStatus::kOk;
  uint64_t need = dict_;
  if (unpacked_size != kUnknownSize && unpacked_size < dict_) {
    need = std::min(dict_, run_pos_ + unpacked_size + kMaxMatch);
  }
  if (need <= cap_ && win_ != nullptr) return DecodeStatus::kOk;
  uint64_t target = std::max(need, std::min(dict_, cap_ * 2));
  target = std::min(dict_, (target + kWindowGranule - 1) / kWindowGranule * kWindowGranule);
  if (target > SIZE_MAX) return DecodeStatus::kNoMemory;
  void* p = std::realloc(win_, static_cast<size_t>(target));
  if (p == nullptr) return DecodeStatus::kNoMemory;
  // The run never wrapped in a smaller window, so its bytes stay where they are.
  win_ = static_cast<uint8_t*>(p);
  cap_ = target;
  return DecodeStatus::kOk;
}

DecodeStatus Rar5Decoder::Decode(ByteSource& src, uint64_t unpacked_size, bool solid,
                                 ByteSink& sink) {
  if (!solid) {
    ResetRun();
  } else if (broken_) {
    return DecodeStatus::kBadData;
  }
  br_.Reset(&src);
  sink_ = &sink;
  filter_head_ = 0;
  filter_count_ = 0;
  file_start_ = run_pos_;
  written_ = run_pos_;
  file_end_ = unpacked_size == kUnknownSize || unpacked_size > UINT64_MAX - run_pos_
                  ? UINT64_MAX
                  : run_pos_ + unpacked_size;
  DecodeStatus st = EnsureWindow(unpacked_size);
  if (st == DecodeStatus::kOk) st = DecodeMember();
  sink_ = nullptr;
  if (st != DecodeStatus::kOk) broken_ = true;
  return st;
}

DecodeStatus Rar5Decoder::ReadBlockHeader() {
  uint32_t flags = br_.Read32(8);
  uint32_t check = br_.Read32(8);
  uint32_t size_bytes = ((flags >> 3) & 3) + 1;
  if (size_bytes == 4) return DataError();
  uint32_t size = 0;
  for (uint32_t i = 0; i < size_bytes; ++i) size |= br_.Read32(8) << (8 * i);
  if (br_.Overrun()) return DataError();
  if (((0x5A ^ flags ^ size ^ (size >> 8) ^ (size >> 16)) & 0xFF) != check) return DataError();
  uint64_t payload = br_.Position();  // byte aligned
  next_block_ = payload + uint64_t{size} * 8;
  block_end_ = size == 0 ? payload : next_block_ - 8 + (flags & 7) + 1;
  last_block_ = (flags & 0x40) != 0;
  if (flags & 0x80) {
    DecodeStatus st = ReadTables();
    if (st != DecodeStatus::kOk) return st;
    if (br_.Position() > block_end_) return DataError();
  }
  if (!tables_read_) return DataError();
  return DecodeStatus::kOk;
}

DecodeStatus Rar5Decoder::ReadTables() {
  uint8_t lengths[kMaxTableLengths];
  size_t total = kMainSymbols + dist_symbols_ + kLowDistSymbols + kRepSymbols;
  tables_read_ = false;
  if (!ReadCodeLengths(br_, lengths, total, /*delta=*/false)) return DataError();
  const uint8_t* p = lengths;
  if (!main_.Build(p, kMainSymbols) || !dist_.Build(p += kMainSymbols, dist_symbols_) ||
      !low_.Build(p += dist_symbols_, kLowDistSymbols) ||
      !rep_.Build(p += kLowDistSymbols, kRepSymbols)) {
    return DecodeStatus::kBadData;
  }
  tables_read_ = true;
  return DecodeStatus::kOk;
}

DecodeStatus Rar5Decoder::ReadFilter() {
  uint64_t fields[2];
  for (uint64_t& v : fields) {
    int n = static_cast<int>(br_.Read(2)) + 1;
    v = 0;
    for (int i = 0; i < n; ++i) v |= br_.Read(8) << (8 * i);
  }
  uint64_t start = run_pos_ + fields[0];
  uint64_t length = fields[1];
  uint32_t type = br_.Read32(3);
  uint8_t channels = 0;
  if (type == static_cast<uint32_t>(Rar5FilterType::kDelta)) {
    channels = static_cast<uint8_t>(br_.Read32(5) + 1);
  }
  if (br_.Overrun()) return DataError();
  if (type > static_cast<uint32_t>(Rar5FilterType::kArm) || length > kMaxFilterLength) {
    return DecodeStatus::kBadData;
  }
  if (length == 0) return DecodeStatus::kOk;
  if (filter_count_ == kMaxPendingFilters) return DecodeStatus::kBadData;
  if (filter_count_ > 0) {
    const PendingFilter& prev = filters_[(filter_head_ + filter_count_ - 1) % kMaxPendingFilters];
    if (start < prev.start + prev.length) return DecodeStatus::kBadData;
  }
  if (!filters_) {
    filters_.reset(new (std::nothrow) PendingFilter[kMaxPendingFilters]);
    if (!filters_) return DecodeStatus::kNoMemory;
  }
  filters_[(filter_head_ + filter_count_) % kMaxPendingFilters] = PendingFilter{
      start, static_cast<uint32_t>(length), static_cast<Rar5FilterType>(type), channels};
  ++filter_count_;
  return DecodeStatus::kOk;
}

bool Rar5Decoder::WindowToBuffer(uint64_t from, uint64_t n, uint8_t* dst) const {
  uint64_t back = run_pos_ - from;
  if (back > cap_ || n > back) return false;
  size_t idx = BackIndex(back);
  size_t first = static_cast<size_t>(std::min<uint64_t>(n, cap_ - idx));
  std::memcpy(dst, win_ + idx, first);
  std::memcpy(dst + first, win_, static_cast<size_t>(n) - first);
  return true;
}

bool Rar5Decoder::WriteOut(uint64_t from, uint64_t to) {
  while (from < to) {
    uint64_t back = run_pos_ - from;
    size_t idx = back == 0 ? wpos_ : BackIndex(back);
    size_t n = static_cast<size_t>(std::min<uint64_t>(to - from, cap_ - idx));
    if (!sink_->Write(win_ + idx, n)) return false;
    from += n;
  }
  return true;
}

DecodeStatus Rar5Decoder::ApplyFilter(const PendingFilter& f) {
  size_t n = f.length;
  if (fbuf_size_ < n) {
    fbuf_.reset(new (std::nothrow) uint8_t[2 * size_t{kMaxFilterLength}]);
    if (!fbuf_) {
      fbuf_size_ = 0;
      return DecodeStatus::kNoMemory;
    }
    fbuf_size_ = kMaxFilterLength;
  }
  uint8_t* data = fbuf_.get();
  if (!WindowToBuffer(f.start, n, data)) return DecodeStatus::kBadData;
  uint32_t offset = static_cast<uint32_t>(f.start - file_start_);
  switch (f.type) {
    case Rar5FilterType::kE8:
    case Rar5FilterType::kE8E9:
      Rar5FilterE8(data, n, offset, f.type == Rar5FilterType::kE8E9);
      break;
    case Rar5FilterType::kArm:
      Rar5FilterArm(data, n, offset);
      break;
    case Rar5FilterType::kDelta:
      Rar5FilterDelta(data, data + kMaxFilterLength, n, f.channels);
      data += kMaxFilterLength;
      break;
  }
  if (!sink_->Write(data, n)) return DecodeStatus::kWriteError;
  written_ = f.start + n;
  return DecodeStatus::kOk;
}

// Delivers everything decoded so far, up to the first filter whose range is not
// complete yet.
DecodeStatus Rar5Decoder::Flush() {
  while (written_ < run_pos_) {
    if (filter_count_ > 0) {
      const PendingFilter f = filters_[filter_head_];
      if (f.start == written_) {
        if (f.start + f.length > run_pos_) break;
        DecodeStatus st = ApplyFilter(f);
        if (st != DecodeStatus::kOk) return st;
        filter_head_ = (filter_head_ + 1) % kMaxPendingFilters;
        --filter_count_;
        continue;
      }
      uint64_t to = std::min(f.start, run_pos_);
      if (!WriteOut(written_, to)) return DecodeStatus::kWriteError;
      written_ = to;
      continue;
    }
    if (!WriteOut(written_, run_pos_)) return DecodeStatus::kWriteError;
    written_ = run_pos_;
  }
  return DecodeStatus::kOk;
}

DecodeStatus Rar5Decoder::FlushSome() {
  DecodeStatus st = Flush();
  if (st != DecodeStatus::kOk) return st;
  if (br_.Overrun()) return DataError();
  uint64_t pending = run_pos_ - written_;
  uint64_t step = kFlushChunk;
  if (cap_ == dict_) {
    // The window wraps: bytes not yet delivered must never be overwritten.
    if (pending + kMaxMatch >= cap_) return DecodeStatus::kBadData;
    step = std::min(std::min(step, cap_ / 2), cap_ - kMaxMatch - pending);
  }
  flush_at_ = run_pos_ + step;
  return DecodeStatus::kOk;
}

// Decodes one main-table symbol and acts on it.
inline DecodeStatus Rar5Decoder::DecodeSymbol(BitReader::Register& r) {
  int sym = main_.Decode(br_, r);
  if (sym < 256) {
    if (sym < 0) return DataError();
    PutByte(static_cast<uint8_t>(sym));
    return DecodeStatus::kOk;
  }
  if (sym >= 262) {
    uint32_t length = SlotLength(static_cast<uint32_t>(sym - 262), r);
    int ds = dist_.Decode(br_, r);
    if (ds < 0) return DataError();
    uint64_t dist;
    if (ds < 4) {
      dist = static_cast<uint64_t>(ds) + 1;
    } else {
      int bits = ds / 2 - 1;
      dist = 1 + (uint64_t{2 + static_cast<uint64_t>(ds & 1)} << bits);
      if (bits >= 4) {
        if (bits > 4) dist += br_.Read(r, bits - 4) << 4;
        int low = low_.Decode(br_, r);
        if (low < 0) return DataError();
        dist += static_cast<uint64_t>(low);
      } else {
        dist += br_.Read(r, bits);
      }
    }
    if (dist > 0x100) {
      ++length;
      if (dist > 0x2000) {
        ++length;
        if (dist > 0x40000) ++length;
      }
    }
    old_dist_[3] = old_dist_[2];
    old_dist_[2] = old_dist_[1];
    old_dist_[1] = old_dist_[0];
    old_dist_[0] = dist;
    last_length_ = length;
    if (!Copy(length, dist)) return DecodeStatus::kBadData;
    return DecodeStatus::kOk;
  }
  if (sym == 256) {
    br_.Give(r);
    DecodeStatus st = ReadFilter();
    r = br_.Take();
    return st;
  }
  if (sym == 257) {
    if (last_length_ != 0) {
      if (!Copy(last_length_, old_dist_[0])) return DecodeStatus::kBadData;
    } else {
      br_.Give(r);
      if (br_.Overrun()) return DataError();
    }
    return DecodeStatus::kOk;
  }
  int k = sym - 258;
  uint64_t dist = old_dist_[k];
  for (int i = k; i > 0; --i) old_dist_[i] = old_dist_[i - 1];
  old_dist_[0] = dist;
  int slot = rep_.Decode(br_, r);
  if (slot < 0) return DataError();
  uint32_t length = SlotLength(static_cast<uint32_t>(slot), r);
  last_length_ = length;
  if (!Copy(length, dist)) return DecodeStatus::kBadData;
  return DecodeStatus::kOk;
}

DecodeStatus Rar5Decoder::DecodeMember() {
  // An empty member may come without any packed data.
  if (file_end_ == file_start_ && br_.NoData()) return DecodeStatus::kOk;
  DecodeStatus st = ReadBlockHeader();
  if (st != DecodeStatus::kOk) return st;
  st = FlushSome();
  if (st != DecodeStatus::kOk) return st;

  for (;;) {
    uint64_t limit = std::min(flush_at_, file_end_);
    if (br_.Position() >= block_end_) {
      if (last_block_) break;
      if (br_.Position() > next_block_) return DecodeStatus::kBadData;
      br_.Skip(static_cast<int>(next_block_ - br_.Position()));
      st = ReadBlockHeader();
      if (st != DecodeStatus::kOk) return st;
      continue;
    }
    if (run_pos_ >= limit) {
      if (run_pos_ >= file_end_) break;
      st = FlushSome();
      if (st != DecodeStatus::kOk) return st;
      continue;
    }

    // Every symbol takes fewer than kMaxSymbolBits bits and adds at most kMaxMatch
    // bytes, so this many symbols start inside the block and below the limit.
    uint64_t batch =
        std::min((block_end_ - br_.Position()) / kMaxSymbolBits, (limit - run_pos_) / kMaxMatch);
    if (batch == 0) batch = 1;
    BitReader::Register r = br_.Take();
    for (uint64_t k = 0; k < batch && st == DecodeStatus::kOk; ++k) st = DecodeSymbol(r);
    br_.Give(r);
    if (st != DecodeStatus::kOk) return st;
  }

  if (br_.Overrun()) return DataError();
  if (run_pos_ > file_end_) {
    // A stream that decodes past the declared size: keep exactly the declared bytes.
    uint64_t excess = run_pos_ - file_end_;
    run_pos_ = file_end_;
    wpos_ = wpos_ >= excess ? wpos_ - excess : wpos_ + cap_ - excess;
  }
  if (file_end_ != UINT64_MAX && run_pos_ < file_end_) return DecodeStatus::kBadData;
  st = Flush();
  if (st != DecodeStatus::kOk) return st;
  if (filter_count_ > 0 || written_ != run_pos_) return DecodeStatus::kBadData;
  return DecodeStatus::kOk;
}

}  // namespace

DecodeStatus CreateRar5Decoder(const DecoderParams& params, std::unique_ptr<Decoder>* out) {
  if (out == nullptr) return DecodeStatus::kUnsupported;
  out->reset();
  size_t dist_symbols;
  if (params.version == 50) {
    dist_symbols = kDistSymbolsV0;
  } else if (params.version == 70) {
    dist_symbols = kDistSymbolsV1;
  } else {
    return DecodeStatus::kUnsupported;
  }
  if (params.dict_size > kMaxWindowSize) return DecodeStatus::kUnsupported;
  out->reset(new (std::nothrow) Rar5Decoder(params.dict_size, dist_symbols));
  return *out ? DecodeStatus::kOk : DecodeStatus::kNoMemory;
}

}  // namespace rarlib
