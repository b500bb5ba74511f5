#include "rarlib/unpack/rar29_decoder.h"

#include <cstring>
#include <new>

#include "rarlib/unpack/bitreader.h"
#include "rarlib/unpack/filters29.h"
#include "rarlib/unpack/huffman.h"
#include "rarlib/unpack/ppm_model.h"

namespace rarlib {
namespace {

constexpr size_t kMainSize = 299;
constexpr size_t kDistSize = 60;
constexpr size_t kLowDistSize = 17;
constexpr size_t kRepSize = 28;
constexpr size_t kTableSize = kMainSize + kDistSize + kLowDistSize + kRepSize;  // 404

constexpr uint64_t kMinWindow = uint64_t{1} << 20;
constexpr uint64_t kMaxWindow = uint64_t{4} << 20;
// Room kept free in the window for one more symbol's output (the longest LZ match is
// 262 bytes, the longest PPM copy 287).
constexpr uint64_t kWindowSlack = 4096;
// Bytes decoded between two deliveries to the sink.
constexpr uint64_t kFlushChunk = 256 * 1024;
// Table reads and end markers tolerated after the last byte of a member.
constexpr int kMaxTailSteps = 4;

constexpr uint32_t kInvalidDist = 0xFFFFFFFFu;
// Most bytes one LZ symbol adds to the window (a 258-byte length code plus two for a
// far distance); the batched loop relies on it to stay below its limit.
constexpr uint64_t kMaxSymbolOutput = 262;

struct LengthSlots {
  uint8_t base[kRepSize];
  uint8_t bits[kRepSize];
};

constexpr LengthSlots MakeLengthSlots() {
  LengthSlots t{};
  for (unsigned s = 0; s < kRepSize; ++s) {
    if (s < 8) {
      t.base[s] = static_cast<uint8_t>(s);
      t.bits[s] = 0;
    } else {
      t.bits[s] = static_cast<uint8_t>(s / 4 - 1);
      t.base[s] = static_cast<uint8_t>((4 + s % 4) << (s / 4 - 1));
    }
  }
  return t;
}

struct DistSlots {
  uint32_t base[kDistSize];
  uint8_t bits[kDistSize];
};

constexpr DistSlots MakeDistSlots() {
  constexpr uint8_t kSlotsPerBits[19] = {4, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 14, 0, 12};
  DistSlots t{};
  uint32_t base = 0;
  unsigned ds = 0;
  for (unsigned b = 0; b < 19; ++b) {
    for (unsigned i = 0; i < kSlotsPerBits[b]; ++i, ++ds) {
      t.base[ds] = base;
      t.bits[ds] = static_cast<uint8_t>(b);
      base += uint32_t{1} << b;
    }
  }
  return t;
}

constexpr LengthSlots kLen = MakeLengthSlots();
constexpr DistSlots kDist = MakeDistSlots();
constexpr uint8_t kShortBase[8] = {0, 4, 8, 16, 32, 64, 128, 192};
constexpr uint8_t kShortBits[8] = {2, 2, 3, 4, 5, 6, 6, 6};

// Passes a member's packed bytes through and notes whether there were any.
class CountingSource : public ByteSource {
 public:
  explicit CountingSource(ByteSource* inner) : inner_(inner) {}
  int64_t Read(uint8_t* buf, size_t n) override {
    int64_t got = inner_->Read(buf, n);
    if (got > 0) any_ = true;
    return got;
  }
  bool any() const { return any_; }

 private:
  ByteSource* inner_;
  bool any_ = false;
};

// Hands whole bytes of the packed stream to the PPM model.
class PpmInput : public PpmByteInput {
 public:
  explicit PpmInput(BitReader* br) : br_(br) {}
  int NextByte() override {
    int v = static_cast<int>(br_->Read(8));
    return br_->Overrun() ? -1 : v;
  }

 private:
  BitReader* br_;
};

class Rar29Decoder : public Decoder {
 public:
  Rar29Decoder(std::unique_ptr<uint8_t[]> window, uint64_t size)
      : window_(std::move(window)), wsize_(size), wmask_(size - 1), br_(nullptr), ppm_in_(&br_) {}

  DecodeStatus Decode(ByteSource& src, uint64_t unpacked_size, bool solid, ByteSink& sink) override;

 private:
  enum class Step { kMore, kEndOfFile };

  void ResetRun();
  DecodeStatus Run(uint64_t unpacked_size, const CountingSource& src);
  DecodeStatus ReadTables();
  DecodeStatus DecodeLz(Step* step);
  // Decodes up to `count` symbols with the bit register held in locals; an end of
  // block or a filter record ends the batch after it is handled.
  DecodeStatus DecodeLzBatch(uint64_t count, Step* step);
  // Acts on the end-of-block symbol just read.
  DecodeStatus EndOfBlock(Step* step);
  DecodeStatus DecodePpm(Step* step);
  DecodeStatus ReadLzFilter();
  DecodeStatus ReadPpmFilter();
  DecodeStatus Tail();
  DecodeStatus Copy(uint32_t length, uint32_t dist);
  DecodeStatus Flush(bool final);
  DecodeStatus WriteRaw(uint64_t upto);
  DecodeStatus WriteOut(const uint8_t* p, size_t n, uint64_t at);
  DecodeStatus ApplyFilter();
  DecodeStatus StreamStatus() const {
    return br_.ReadFailed() ? DecodeStatus::kReadError : DecodeStatus::kBadData;
  }

  void PutByte(uint8_t b) { window_[pos_++ & wmask_] = b; }

  std::unique_ptr<uint8_t[]> window_;
  const uint64_t wsize_;
  const uint64_t wmask_;
  BitReader br_;
  PpmInput ppm_in_;
  ByteSink* sink_ = nullptr;

  // Positions in the solid run.
  uint64_t pos_ = 0;           // bytes decoded
  uint64_t written_ = 0;       // bytes delivered (or dropped past the member's end)
  uint64_t member_start_ = 0;  // first byte of the current member
  uint64_t member_end_ = 0;    // member_start_ + declared size

  // LZ state.
  HuffmanTable main_, dist_, low_dist_, rep_;
  uint8_t old_lengths_[kTableSize] = {};
  bool tables_read_ = false;
  uint32_t old_dist_[4] = {kInvalidDist, kInvalidDist, kInvalidDist, kInvalidDist};
  uint32_t last_length_ = 0;
  uint32_t prev_low_dist_ = 0;
  uint32_t low_dist_rep_ = 0;

  // PPM state.
  PpmModel ppm_;
  bool in_ppm_ = false;
  int esc_ = 2;

  Filters29 filters_;
  std::unique_ptr<uint8_t[]> record_;      // one filter record (< 64 KiB)
  std::unique_ptr<uint8_t[]> filter_buf_;  // two halves of kFilter29MaxLength bytes

  bool broken_ = false;  // a member failed; the solid run cannot continue
};

void Rar29Decoder::ResetRun() {
  pos_ = written_ = 0;
  tables_read_ = false;
  std::memset(old_lengths_, 0, sizeof(old_lengths_));
  for (uint32_t& d : old_dist_) d = kInvalidDist;
  last_length_ = prev_low_dist_ = low_dist_rep_ = 0;
  ppm_.Reset();
  in_ppm_ = false;
  esc_ = 2;
  filters_.Reset();
  main_.Clear();
  dist_.Clear();
  low_dist_.Clear();
  rep_.Clear();
  broken_ = false;
}

DecodeStatus Rar29Decoder::Decode(ByteSource& src, uint64_t unpacked_size, bool solid,
                                  ByteSink& sink) {
  if (!solid) ResetRun();
  if (broken_) return DecodeStatus::kBadData;
  CountingSource counted(&src);
  br_.Reset(&counted);
  sink_ = &sink;
  DecodeStatus st;
  try {
    st = Run(unpacked_size, counted);
  } catch (const std::bad_alloc&) {
    st = DecodeStatus::kNoMemory;
  }
  // Garbage decoded after a failed read is the source's fault, not the data's.
  if ((st == DecodeStatus::kOk || st == DecodeStatus::kBadData) && br_.ReadFailed()) {
    st = DecodeStatus::kReadError;
  }
  sink_ = nullptr;
  br_.Reset(nullptr);
  if (st != DecodeStatus::kOk) broken_ = true;
  return st;
}

DecodeStatus Rar29Decoder::Run(uint64_t unpacked_size, const CountingSource& src) {
  filters_.DropPending();
  written_ = pos_;
  member_start_ = pos_;
  if (unpacked_size > UINT64_MAX - pos_) return DecodeStatus::kBadData;
  member_end_ = pos_ + unpacked_size;

  if (unpacked_size == 0) {
    // An empty member may come without packed data; then the state stays as it was.
    br_.Peek(1);
    return src.any() ? Tail() : DecodeStatus::kOk;
  }
  if (!tables_read_) {
    DecodeStatus st = ReadTables();
    if (st != DecodeStatus::kOk) return st;
  }
  uint64_t flush_at = written_ + kFlushChunk;
  while (pos_ < member_end_) {
    if (pos_ >= flush_at || pos_ - written_ > wsize_ - kWindowSlack) {
      DecodeStatus st = Flush(false);
      if (st != DecodeStatus::kOk) return st;
      if (pos_ - written_ > wsize_ - kWindowSlack) return DecodeStatus::kBadData;
      flush_at = pos_ + kFlushChunk;
    }
    if (!in_ppm_) {
      // Every LZ symbol adds at most kMaxSymbolOutput bytes, so this many symbols all
      // start below the member's end, the next flush and the window's free room.
      uint64_t limit = flush_at < member_end_ ? flush_at : member_end_;
      uint64_t room = written_ + (wsize_ - kWindowSlack) + 1;
      if (room < limit) limit = room;
      uint64_t batch = limit > pos_ ? (limit - pos_) / kMaxSymbolOutput : 0;
      if (batch > 1) {
        Step step = Step::kMore;
        DecodeStatus st = DecodeLzBatch(batch, &step);
        if (st != DecodeStatus::kOk) return st;
        if (br_.Overrun()) return StreamStatus();
        if (step == Step::kEndOfFile) return DecodeStatus::kBadData;
        continue;
      }
    }
    Step step = Step::kMore;
    DecodeStatus st = in_ppm_ ? DecodePpm(&step) : DecodeLz(&step);
    if (st != DecodeStatus::kOk) return st;
    if (br_.Overrun()) return StreamStatus();
    if (step == Step::kEndOfFile) {
      // The end marker came before the declared size.
      return DecodeStatus::kBadData;
    }
  }
  DecodeStatus st = Flush(true);
  if (st != DecodeStatus::kOk) return st;
  return Tail();
}

// After the last byte: consume the end-of-file marker (and any table read before it)
// so the next solid member finds the state the packer left. Running out of data here
// loses nothing; the next member then starts with a table read.
DecodeStatus Rar29Decoder::Tail() {
  for (int i = 0; i < kMaxTailSteps; ++i) {
    if (!tables_read_ && !in_ppm_) {
      if (ReadTables() != DecodeStatus::kOk || br_.Overrun()) break;
      continue;
    }
    if (in_ppm_) {
      int c = ppm_.DecodeChar();
      if (c < 0 || c != esc_) break;
      int n = ppm_.DecodeChar();
      if (n == 2) return DecodeStatus::kOk;
      if (n != 0 || ReadTables() != DecodeStatus::kOk || br_.Overrun()) break;
      continue;
    }
    int sym = main_.Decode(br_);
    if (sym == 257) {
      if (ReadLzFilter() != DecodeStatus::kOk || br_.Overrun()) break;
      continue;
    }
    if (sym != 256 || br_.Overrun()) break;
    bool new_tables = br_.Read(1) != 0;
    if (!new_tables) {
      tables_read_ = br_.Read(1) == 0;
      if (br_.Overrun()) break;
      return DecodeStatus::kOk;
    }
    tables_read_ = false;
    if (ReadTables() != DecodeStatus::kOk || br_.Overrun()) break;
  }
  tables_read_ = false;
  return DecodeStatus::kOk;
}

DecodeStatus Rar29Decoder::ReadTables() {
  br_.Align();
  if (br_.Peek(1) != 0) {
    if (!ppm_.StartBlock(&ppm_in_, &esc_) || br_.Overrun()) return StreamStatus();
    in_ppm_ = true;
    return DecodeStatus::kOk;
  }
  br_.Skip(1);
  if (br_.Read(1) == 0) std::memset(old_lengths_, 0, sizeof(old_lengths_));
  prev_low_dist_ = 0;
  low_dist_rep_ = 0;
  if (!ReadCodeLengths(br_, old_lengths_, kTableSize, true) || br_.Overrun()) {
    return StreamStatus();
  }
  const uint8_t* l = old_lengths_;
  if (!main_.Build(l, kMainSize) || !dist_.Build(l + kMainSize, kDistSize) ||
      !low_dist_.Build(l + kMainSize + kDistSize, kLowDistSize) ||
      !rep_.Build(l + kMainSize + kDistSize + kLowDistSize, kRepSize)) {
    return DecodeStatus::kBadData;
  }
  tables_read_ = true;
  in_ppm_ = false;
  return DecodeStatus::kOk;
}

DecodeStatus Rar29Decoder::Copy(uint32_t length, uint32_t dist) {
  if (dist == 0 || dist > pos_ || dist > wsize_) return DecodeStatus::kBadData;
  uint64_t dst = pos_ & wmask_;
  uint64_t src = (pos_ - dist) & wmask_;
  uint8_t* w = window_.get();
  if (dst + length <= wsize_ && src + length <= wsize_) {
    if (dist == 1) {
      std::memset(w + dst, w[src], length);
    } else {
      // Chunks of at most `dist` bytes never overlap their source.
      for (uint32_t done = 0; done < length;) {
        uint32_t n = length - done < dist ? length - done : dist;
        std::memcpy(w + dst + done, w + src + done, n);
        done += n;
      }
    }
  } else {
    for (uint32_t i = 0; i < length; ++i) {
      w[dst] = w[src];
      dst = (dst + 1) & wmask_;
      src = (src + 1) & wmask_;
    }
  }
  pos_ += length;
  return DecodeStatus::kOk;
}

DecodeStatus Rar29Decoder::DecodeLz(Step* step) {
  int sym = main_.Decode(br_);
  if (sym < 0) return StreamStatus();
  if (sym < 256) {
    PutByte(static_cast<uint8_t>(sym));
    return DecodeStatus::kOk;
  }
  if (sym >= 271) {
    unsigned s = static_cast<unsigned>(sym - 271);
    uint32_t length = kLen.base[s] + 3 + br_.Read32(kLen.bits[s]);
    int ds = dist_.Decode(br_);
    if (ds < 0) return StreamStatus();
    uint32_t dist = kDist.base[ds] + 1;
    unsigned bits = kDist.bits[ds];
    if (ds >= 10) {
      if (bits > 4) dist += br_.Read32(static_cast<int>(bits - 4)) << 4;
      if (low_dist_rep_ > 0) {
        --low_dist_rep_;
        dist += prev_low_dist_;
      } else {
        int x = low_dist_.Decode(br_);
        if (x < 0) return StreamStatus();
        if (x == 16) {
          low_dist_rep_ = 15;
          dist += prev_low_dist_;
        } else {
          dist += static_cast<uint32_t>(x);
          prev_low_dist_ = static_cast<uint32_t>(x);
        }
      }
    } else if (bits > 0) {
      dist += br_.Read32(static_cast<int>(bits));
    }
    if (dist >= 0x2000) ++length;
    if (dist >= 0x40000) ++length;
    old_dist_[3] = old_dist_[2];
    old_dist_[2] = old_dist_[1];
    old_dist_[1] = old_dist_[0];
    old_dist_[0] = dist;
    last_length_ = length;
    return Copy(length, dist);
  }
  if (sym == 256) return EndOfBlock(step);
  if (sym == 257) return ReadLzFilter();
  if (sym == 258) {
    if (last_length_ == 0) return DecodeStatus::kOk;
    return Copy(last_length_, old_dist_[0]);
  }
  if (sym < 263) {
    unsigned k = static_cast<unsigned>(sym - 259);
    uint32_t dist = old_dist_[k];
    for (unsigned i = k; i > 0; --i) old_dist_[i] = old_dist_[i - 1];
    old_dist_[0] = dist;
    int s = rep_.Decode(br_);
    if (s < 0) return StreamStatus();
    uint32_t length = kLen.base[s] + 2 + br_.Read32(kLen.bits[s]);
    last_length_ = length;
    return Copy(length, dist);
  }
  unsigned k = static_cast<unsigned>(sym - 263);
  uint32_t dist = kShortBase[k] + 1 + br_.Read32(kShortBits[k]);
  old_dist_[3] = old_dist_[2];
  old_dist_[2] = old_dist_[1];
  old_dist_[1] = old_dist_[0];
  old_dist_[0] = dist;
  last_length_ = 2;
  return Copy(2, dist);
}

DecodeStatus Rar29Decoder::EndOfBlock(Step* step) {
  if (br_.Read(1) != 0) {
    tables_read_ = false;
    return ReadTables();
  }
  tables_read_ = br_.Read(1) == 0;
  *step = Step::kEndOfFile;
  return DecodeStatus::kOk;
}

DecodeStatus Rar29Decoder::DecodeLzBatch(uint64_t count, Step* step) {
  uint8_t* const w = window_.get();
  const uint64_t mask = wmask_;
  const uint64_t wsize = wsize_;
  uint64_t pos = pos_;
  uint32_t d0 = old_dist_[0], d1 = old_dist_[1], d2 = old_dist_[2], d3 = old_dist_[3];
  uint32_t last_length = last_length_;
  BitReader::Register r = br_.Take();
  DecodeStatus st = DecodeStatus::kOk;
  int special = -1;

  for (uint64_t k = 0; k < count; ++k) {
    int sym = main_.Decode(br_, r);
    if (sym < 256) {
      if (sym < 0) {
        st = StreamStatus();
        break;
      }
      w[pos & mask] = static_cast<uint8_t>(sym);
      ++pos;
      continue;
    }
    uint32_t length;
    uint32_t dist;
    if (sym >= 271) {
      unsigned s = static_cast<unsigned>(sym - 271);
      length = kLen.base[s] + 3 + static_cast<uint32_t>(br_.Read(r, kLen.bits[s]));
      int ds = dist_.Decode(br_, r);
      if (ds < 0) {
        st = StreamStatus();
        break;
      }
      dist = kDist.base[ds] + 1;
      unsigned bits = kDist.bits[ds];
      if (ds >= 10) {
        if (bits > 4) dist += static_cast<uint32_t>(br_.Read(r, static_cast<int>(bits - 4))) << 4;
        if (low_dist_rep_ > 0) {
          --low_dist_rep_;
          dist += prev_low_dist_;
        } else {
          int x = low_dist_.Decode(br_, r);
          if (x < 0) {
            st = StreamStatus();
            break;
          }
          if (x == 16) {
            low_dist_rep_ = 15;
            dist += prev_low_dist_;
          } else {
            dist += static_cast<uint32_t>(x);
            prev_low_dist_ = static_cast<uint32_t>(x);
          }
        }
      } else if (bits > 0) {
        dist += static_cast<uint32_t>(br_.Read(r, static_cast<int>(bits)));
      }
      if (dist >= 0x2000) ++length;
      if (dist >= 0x40000) ++length;
      d3 = d2;
      d2 = d1;
      d1 = d0;
      d0 = dist;
    } else if (sym >= 263) {
      unsigned k2 = static_cast<unsigned>(sym - 263);
      dist = kShortBase[k2] + 1 + static_cast<uint32_t>(br_.Read(r, kShortBits[k2]));
      length = 2;
      d3 = d2;
      d2 = d1;
      d1 = d0;
      d0 = dist;
    } else if (sym >= 259) {
      if (sym == 259) {
        dist = d0;
      } else if (sym == 260) {
        dist = d1;
        d1 = d0;
      } else if (sym == 261) {
        dist = d2;
        d2 = d1;
        d1 = d0;
      } else {
        dist = d3;
        d3 = d2;
        d2 = d1;
        d1 = d0;
      }
      d0 = dist;
      int s = rep_.Decode(br_, r);
      if (s < 0) {
        st = StreamStatus();
        break;
      }
      length = kLen.base[s] + 2 + static_cast<uint32_t>(br_.Read(r, kLen.bits[s]));
    } else if (sym == 258) {
      if (last_length == 0) continue;
      length = last_length;
      dist = d0;
    } else {
      special = sym;  // end of block or a filter record, handled below
      break;
    }
    last_length = length;

    if (dist == 0 || dist > pos || dist > wsize) {
      st = DecodeStatus::kBadData;
      break;
    }
    uint64_t dst = pos & mask;
    uint64_t src = (pos - dist) & mask;
    if (dst + length <= wsize && src + length <= wsize) {
      uint8_t* o = w + dst;
      const uint8_t* in = w + src;
      if (dist >= length) {
        std::memcpy(o, in, length);
      } else if (dist == 1) {
        std::memset(o, *in, length);
      } else {
        // Overlapping: each byte may be one this copy has just written.
        for (uint32_t i = 0; i < length; ++i) o[i] = in[i];
      }
    } else {
      for (uint32_t i = 0; i < length; ++i) {
        w[dst] = w[src];
        dst = (dst + 1) & mask;
        src = (src + 1) & mask;
      }
    }
    pos += length;
  }

  br_.Give(r);
  pos_ = pos;
  old_dist_[0] = d0;
  old_dist_[1] = d1;
  old_dist_[2] = d2;
  old_dist_[3] = d3;
  last_length_ = last_length;
  if (st != DecodeStatus::kOk || special < 0) return st;
  if (br_.Overrun()) return StreamStatus();
  return special == 256 ? EndOfBlock(step) : ReadLzFilter();
}

DecodeStatus Rar29Decoder::ReadLzFilter() {
  uint8_t flags = static_cast<uint8_t>(br_.Read(8));
  uint32_t n = (flags & 7u) + 1;
  if (n == 7) {
    n = br_.Read32(8) + 7;
  } else if (n == 8) {
    n = br_.Read32(16);
  }
  if (n == 0) return DecodeStatus::kBadData;
  if (!record_) {
    record_.reset(new (std::nothrow) uint8_t[0x10000]);
    if (!record_) return DecodeStatus::kNoMemory;
  }
  uint8_t* rec = record_.get();
  for (uint32_t i = 0; i < n; ++i) rec[i] = static_cast<uint8_t>(br_.Read(8));
  if (br_.Overrun()) return StreamStatus();
  return filters_.ParseRecord(flags, rec, n, pos_);
}

DecodeStatus Rar29Decoder::ReadPpmFilter() {
  int flags = ppm_.DecodeChar();
  if (flags < 0) return StreamStatus();
  int n = (flags & 7) + 1;
  if (n == 7) {
    int c = ppm_.DecodeChar();
    if (c < 0) return StreamStatus();
    n = c + 7;
  } else if (n == 8) {
    int hi = ppm_.DecodeChar();
    int lo = hi < 0 ? -1 : ppm_.DecodeChar();
    if (lo < 0) return StreamStatus();
    n = hi * 256 + lo;
  }
  if (n == 0) return DecodeStatus::kBadData;
  if (!record_) {
    record_.reset(new (std::nothrow) uint8_t[0x10000]);
    if (!record_) return DecodeStatus::kNoMemory;
  }
  uint8_t* rec = record_.get();
  for (int i = 0; i < n; ++i) {
    int c = ppm_.DecodeChar();
    if (c < 0) return StreamStatus();
    rec[i] = static_cast<uint8_t>(c);
  }
  return filters_.ParseRecord(static_cast<uint8_t>(flags), rec, static_cast<size_t>(n), pos_);
}

DecodeStatus Rar29Decoder::DecodePpm(Step* step) {
  int c = ppm_.DecodeChar();
  if (c < 0) return StreamStatus();
  if (c != esc_) {
    PutByte(static_cast<uint8_t>(c));
    return DecodeStatus::kOk;
  }
  int n = ppm_.DecodeChar();
  if (n < 0) return StreamStatus();
  switch (n) {
    case 0:
      return ReadTables();
    case 1:
      PutByte(static_cast<uint8_t>(esc_));
      return DecodeStatus::kOk;
    case 2:
      *step = Step::kEndOfFile;
      return DecodeStatus::kOk;
    case 3:
      return ReadPpmFilter();
    case 4: {
      uint32_t dist = 0;
      for (int i = 0; i < 3; ++i) {
        int d = ppm_.DecodeChar();
        if (d < 0) return StreamStatus();
        dist = (dist << 8) | static_cast<uint32_t>(d);
      }
      int l = ppm_.DecodeChar();
      if (l < 0) return StreamStatus();
      return Copy(static_cast<uint32_t>(l) + 32, dist + 2);
    }
    case 5: {
      int l = ppm_.DecodeChar();
      if (l < 0) return StreamStatus();
      return Copy(static_cast<uint32_t>(l) + 4, 1);
    }
    default:
      // Not produced by any packer; refuse rather than guess.
      return DecodeStatus::kBadData;
  }
}

DecodeStatus Rar29Decoder::WriteOut(const uint8_t* p, size_t n, uint64_t at) {
  // Bytes decoded past the member's declared end are never delivered.
  if (at >= member_end_) return DecodeStatus::kOk;
  if (n > member_end_ - at) n = static_cast<size_t>(member_end_ - at);
  if (n != 0 && !sink_->Write(p, n)) return DecodeStatus::kWriteError;
  return DecodeStatus::kOk;
}

DecodeStatus Rar29Decoder::WriteRaw(uint64_t upto) {
  while (written_ < upto) {
    uint64_t off = written_ & wmask_;
    uint64_t n = upto - written_;
    if (n > wsize_ - off) n = wsize_ - off;
    DecodeStatus st = WriteOut(window_.get() + off, static_cast<size_t>(n), written_);
    if (st != DecodeStatus::kOk) return st;
    written_ += n;
  }
  return DecodeStatus::kOk;
}

DecodeStatus Rar29Decoder::ApplyFilter() {
  Filter29Instance f = filters_.Front();
  filters_.PopFront();
  if (!filter_buf_) {
    filter_buf_.reset(new (std::nothrow) uint8_t[2 * size_t{kFilter29MaxLength}]);
    if (!filter_buf_) return DecodeStatus::kNoMemory;
  }
  uint8_t* a = filter_buf_.get();
  uint8_t* b = a + kFilter29MaxLength;
  uint64_t off = f.pos & wmask_;
  uint64_t first = f.length;
  if (first > wsize_ - off) first = wsize_ - off;
  std::memcpy(a, window_.get() + off, first);
  std::memcpy(a + first, window_.get(), f.length - first);

  uint32_t file_offset = static_cast<uint32_t>(f.pos - member_start_);
  uint8_t* data = a;
  for (;;) {
    uint8_t* scratch = data == a ? b : a;
    uint8_t* result;
    DecodeStatus st = RunFilter29(f, data, f.length, file_offset, scratch, &result);
    if (st != DecodeStatus::kOk) return st;
    data = result;
    if (!filters_.HasPending()) break;
    const Filter29Instance& next = filters_.Front();
    if (next.pos != f.pos || next.length != f.length) break;
    f = next;
    filters_.PopFront();
  }
  DecodeStatus st = WriteOut(data, f.length, f.pos);
  written_ = f.pos + f.length;
  return st;
}

// Delivers decoded bytes, applying each pending filter once its whole range is
// decoded. With `final`, everything decoded goes out; a filter that starts inside
// the member but cannot be completed is bad data.
DecodeStatus Rar29Decoder::Flush(bool final) {
  while (filters_.HasPending()) {
    const Filter29Instance& f = filters_.Front();
    if (f.pos < written_) return DecodeStatus::kBadData;  // overlaps bytes already out
    if (f.pos >= member_end_ && final) {
      filters_.PopFront();  // lies wholly past the member: nothing to filter
      continue;
    }
    DecodeStatus st = WriteRaw(f.pos < pos_ ? f.pos : pos_);
    if (st != DecodeStatus::kOk) return st;
    if (pos_ < f.pos + f.length) {
      if (final) return DecodeStatus::kBadData;
      return DecodeStatus::kOk;
    }
    st = ApplyFilter();
    if (st != DecodeStatus::kOk) return st;
  }
  return WriteRaw(pos_);
}

}  // namespace

DecodeStatus CreateRar29Decoder(const DecoderParams& params, std::unique_ptr<Decoder>* out) {
  out->reset();
  uint64_t size = kMinWindow;
  while (size < params.dict_size && size < kMaxWindow) size <<= 1;
  std::unique_ptr<uint8_t[]> window(new (std::nothrow) uint8_t[size]);
  if (!window) return DecodeStatus::kNoMemory;
  std::unique_ptr<Rar29Decoder> dec(new (std::nothrow) Rar29Decoder(std::move(window), size));
  if (!dec) return DecodeStatus::kNoMemory;
  out->reset(dec.release());
  return DecodeStatus::kOk;
}

}  // namespace rarlib
