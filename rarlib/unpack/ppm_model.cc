// PPMd variant H with RAR's carry-less range decoder.
//
// The model lives in one heap addressed by 32-bit byte offsets (0 is null). Every
// load and store goes through bounds-checked accessors: a reference that points
// outside the heap sets a sticky fault and the current symbol is reported as bad
// data, so hostile input can never make the model touch memory it does not own.
// The sub-allocator follows the reference layout exactly (12-byte units), because
// the points where allocation fails decide when the model restarts and the
// compressor runs the very same allocator.
#include "rarlib/unpack/ppm_model.h"

#include <cstring>
#include <new>
#include <vector>

#include "rarlib/unpack/ppm_test_encoder.h"

namespace rarlib {
namespace {

constexpr int kMaxOrder = 64;
constexpr int kPeriodBits = 7;
constexpr uint32_t kInterval = 1u << 7;
constexpr uint32_t kBinScale = 1u << 14;
constexpr uint32_t kMaxFreq = 124;
constexpr uint32_t kUnit = 12;
constexpr int kNumIndexes = 38;
constexpr uint32_t kTop = 1u << 24;
constexpr uint32_t kBot = 1u << 15;
// Offset of the heap inside the buffer: offsets below it are the null reference and
// the glue pass's list head.
constexpr uint32_t kHeapBase = kUnit;
// Zeroed bytes after the heap so the glue pass's look at "the block after the last
// block" reads a non-free mark.
constexpr uint32_t kTailPad = 2 * kUnit;
constexpr uint32_t kMiB = 1u << 20;
// Chain walks are bounded by the deepest possible context chain plus slack.
constexpr int kMaxChain = 4 * kMaxOrder + 8;

constexpr uint16_t kInitBinEsc[8] = {0x3CDD, 0x1F3F, 0x59BF, 0x48F3,
                                     0x64A1, 0x5ABC, 0x6632, 0x6051};
constexpr uint8_t kExpEscape[16] = {25, 14, 9, 7, 5, 5, 4, 4, 4, 3, 3, 3, 2, 2, 2, 2};

struct Tables {
  uint8_t indx2units[kNumIndexes];
  uint8_t units2indx[128];
  uint8_t ns2indx[256];
  uint8_t ns2bsindx[256];
  uint8_t hb2flag[256];
};

constexpr Tables MakeTables() {
  Tables t{};
  const uint8_t units[kNumIndexes] = {1,  2,  3,  4,  6,  8,  10, 12, 15, 18,  21,  24,  28,
                                      32, 36, 40, 44, 48, 52, 56, 60, 64, 68,  72,  76,  80,
                                      84, 88, 92, 96, 100, 104, 108, 112, 116, 120, 124, 128};
  for (int i = 0; i < kNumIndexes; ++i) t.indx2units[i] = units[i];
  for (int n = 1, i = 0; n <= 128; ++n) {
    while (units[i] < n) ++i;
    t.units2indx[n - 1] = static_cast<uint8_t>(i);
  }
  t.ns2indx[0] = 0;
  t.ns2indx[1] = 1;
  t.ns2indx[2] = 2;
  for (int k = 3, v = 3, step = 1, left = 1; k < 256; ++k) {
    t.ns2indx[k] = static_cast<uint8_t>(v);
    if (--left == 0) {
      ++v;
      left = ++step;
    }
  }
  t.ns2bsindx[0] = 0;
  t.ns2bsindx[1] = 2;
  for (int k = 2; k < 11; ++k) t.ns2bsindx[k] = 4;
  for (int k = 11; k < 256; ++k) t.ns2bsindx[k] = 6;
  for (int k = 0; k < 256; ++k) t.hb2flag[k] = k < 0x40 ? 0 : 8;
  return t;
}

constexpr Tables kT = MakeTables();
static_assert(kT.ns2indx[3] == 3 && kT.ns2indx[4] == 4 && kT.ns2indx[6] == 5 &&
                  kT.ns2indx[9] == 6 && kT.ns2indx[233] == 23 && kT.ns2indx[234] == 24 &&
                  kT.ns2indx[255] == 24,
              "context-size classes");

// Secondary escape estimation cell.
struct See {
  uint16_t summ;
  uint8_t shift;
  uint8_t count;
  uint32_t Mean() {
    uint32_t r = summ >> shift;
    summ = static_cast<uint16_t>(summ - r);
    return r + (r == 0);
  }
  void Update() {
    if (shift < kPeriodBits && --count == 0) {
      summ = static_cast<uint16_t>(summ * 2);
      count = static_cast<uint8_t>(3 << shift++);
    }
  }
};

// A state is 6 bytes: symbol, freq, successor. A context is one unit: NumStats (2),
// SummFreq (2) and Stats (4) - or the single state over those 6 bytes - then Suffix.
constexpr uint32_t kStateSize = 6;

// The whole model and its range coder; PpmModel's implementation and the test
// encoder both drive it.
struct PpmCore {
  PpmCore() = default;
  PpmCore(const PpmCore&) = delete;
  PpmCore& operator=(const PpmCore&) = delete;
  ~PpmCore() { delete[] mem; }

  // ---- heap ----
  uint8_t* mem = nullptr;
  uint32_t size = 0;       // heap bytes (S)
  uint32_t buf_size = 0;   // kHeapBase + S + kTailPad
  uint32_t heap_end = 0;   // kHeapBase + S
  uint32_t text = 0, units_start = 0, lo_unit = 0, hi_unit = 0;
  uint32_t free_list[kNumIndexes] = {};
  int glue_count = 0;
  bool fault = false;

  // ---- model ----
  bool model_ok = false;
  int max_order = 0;
  uint32_t min_ctx = 0, max_ctx = 0, found = 0;
  int order_fall = 0, run_length = 0, init_rl = 0, prev_success = 0;
  uint32_t num_masked = 0, init_esc = 0, hi_bits_flag = 0;
  uint8_t esc_count = 1;
  uint8_t char_mask[256] = {};
  uint16_t bin_summ[128][64] = {};
  See see[25][16] = {};
  See dummy_see = {};

  // ---- range decoder ----
  PpmByteInput* in = nullptr;
  // Encoding (test fixtures only): the symbol to code instead of reading one, and
  // where the coder's bytes go.
  int target = -1;
  std::vector<uint8_t>* enc_out = nullptr;
  uint32_t low = 0, code = 0, range = 0;
  bool overrun = false;

  // Bounds-checked heap access. An out-of-range reference reads 0 and writes
  // nothing, and marks the fault.
  bool Ok(uint32_t r, uint32_t n) {
    if (r > buf_size || buf_size - r < n) {
      fault = true;
      return false;
    }
    return true;
  }
  uint8_t U8(uint32_t r) { return Ok(r, 1) ? mem[r] : 0; }
  void SetU8(uint32_t r, uint8_t v) {
    if (Ok(r, 1)) mem[r] = v;
  }
  uint16_t U16(uint32_t r) {
    uint16_t v = 0;
    if (Ok(r, 2)) std::memcpy(&v, mem + r, 2);
    return v;
  }
  void SetU16(uint32_t r, uint32_t v) {
    uint16_t x = static_cast<uint16_t>(v);
    if (Ok(r, 2)) std::memcpy(mem + r, &x, 2);
  }
  uint32_t U32(uint32_t r) {
    uint32_t v = 0;
    if (Ok(r, 4)) std::memcpy(&v, mem + r, 4);
    return v;
  }
  void SetU32(uint32_t r, uint32_t v) {
    if (Ok(r, 4)) std::memcpy(mem + r, &v, 4);
  }
  // Unchecked access, only for bytes a check above has already covered (a
  // context that passed IsCtx, a state array that passed Ok).
  uint16_t Ld16(uint32_t r) const {
    uint16_t v;
    std::memcpy(&v, mem + r, 2);
    return v;
  }
  uint32_t Ld32(uint32_t r) const {
    uint32_t v;
    std::memcpy(&v, mem + r, 4);
    return v;
  }
  void St32(uint32_t r, uint32_t v) { std::memcpy(mem + r, &v, 4); }
  void St16(uint32_t r, uint32_t v) {
    uint16_t x = static_cast<uint16_t>(v);
    std::memcpy(mem + r, &x, 2);
  }
  void Move(uint32_t dst, uint32_t src, uint32_t n) {
    if (Ok(dst, n) && Ok(src, n)) std::memmove(mem + dst, mem + src, n);
  }

  // Context fields.
  uint32_t NumStats(uint32_t c) { return U16(c); }
  void SetNumStats(uint32_t c, uint32_t v) { SetU16(c, v); }
  uint32_t SummFreq(uint32_t c) { return U16(c + 2); }
  void SetSummFreq(uint32_t c, uint32_t v) { SetU16(c + 2, v); }
  uint32_t Stats(uint32_t c) { return U32(c + 4); }
  void SetStats(uint32_t c, uint32_t v) { SetU32(c + 4, v); }
  uint32_t Suffix(uint32_t c) { return U32(c + 8); }
  void SetSuffix(uint32_t c, uint32_t v) { SetU32(c + 8, v); }
  static uint32_t OneState(uint32_t c) { return c + 2; }
  // State fields.
  uint32_t Sym(uint32_t s) { return U8(s); }
  uint32_t Freq(uint32_t s) { return U8(s + 1); }
  void SetFreq(uint32_t s, uint32_t v) { SetU8(s + 1, static_cast<uint8_t>(v)); }
  uint32_t Succ(uint32_t s) { return U32(s + 2); }
  void SetSucc(uint32_t s, uint32_t v) { SetU32(s + 2, v); }
  void SetState(uint32_t s, uint32_t sym, uint32_t freq, uint32_t succ) {
    SetU8(s, static_cast<uint8_t>(sym));
    SetU8(s + 1, static_cast<uint8_t>(freq));
    SetU32(s + 2, succ);
  }
  void SwapStates(uint32_t a, uint32_t b) {
    if (!Ok(a, kStateSize) || !Ok(b, kStateSize)) return;
    uint8_t t[kStateSize];
    std::memcpy(t, mem + a, kStateSize);
    std::memcpy(mem + a, mem + b, kStateSize);
    std::memcpy(mem + b, t, kStateSize);
  }

  // A context reference must lie above the text area and inside the heap.
  bool IsCtx(uint32_t r) {
    if (r <= text || r < kHeapBase || r > heap_end - kUnit) {
      fault = true;
      return false;
    }
    return true;
  }
  // Finds the state for `sym` among the `n` states at `stats`; 0 (and a fault) if
  // the model is inconsistent.
  uint32_t FindState(uint32_t stats, uint32_t n, uint32_t sym) {
    if (n <= 256 && Ok(stats, n * kStateSize)) {
      const uint8_t* p = mem + stats;
      for (uint32_t j = 0; j < n; ++j, p += kStateSize)
        if (*p == sym) return stats + j * kStateSize;
    }
    fault = true;
    return 0;
  }

  // ---- sub-allocator ----
  static uint32_t U2B(uint32_t units) { return units * kUnit; }
  void Push(uint32_t p, int i) {
    SetU32(p + 4, free_list[i]);
    free_list[i] = p;
  }
  uint32_t Pop(int i) {
    uint32_t p = free_list[i];
    free_list[i] = U32(p + 4);
    return p;
  }
  void InitHeap() {
    uint32_t size2 = kUnit * ((size / 8 / kUnit) * 7);
    uint32_t size1 = size - size2;
    text = kHeapBase;
    units_start = lo_unit = kHeapBase + size1;
    hi_unit = kHeapBase + size;
    std::memset(free_list, 0, sizeof(free_list));
    glue_count = 0;
  }
  void SplitBlock(uint32_t b, int from, int to) {
    uint32_t d = kT.indx2units[from] - kT.indx2units[to];
    uint32_t p = b + U2B(kT.indx2units[to]);
    int i = kT.units2indx[d - 1];
    if (kT.indx2units[i] != d) {
      --i;
      Push(p, i);
      p += U2B(kT.indx2units[i]);
      d -= kT.indx2units[i];
    }
    Push(p, kT.units2indx[d - 1]);
  }
  // The glue pass's working list is doubly linked through the blocks themselves
  // (mark, size, next, prev); offset 0 of the buffer serves as its head.
  uint32_t GNext(uint32_t p) { return U32(p + 4); }
  uint32_t GPrev(uint32_t p) { return U32(p + 8); }
  void GLink(uint32_t a, uint32_t b) {  // a.next = b, b.prev = a
    SetU32(a + 4, b);
    SetU32(b + 8, a);
  }
  void GRemove(uint32_t p) { GLink(GPrev(p), GNext(p)); }
  void GlueFreeBlocks() {
    const uint32_t head = 0;
    SetU16(head, 0);
    GLink(head, head);
    if (lo_unit != hi_unit) SetU8(lo_unit, 0);
    uint32_t limit = size / kUnit + 1;  // no more blocks than units exist
    for (int i = 0; i < kNumIndexes; ++i) {
      while (free_list[i] != 0 && !fault) {
        uint32_t p = Pop(i);
        SetU16(p, 0xFFFF);
        SetU16(p + 2, kT.indx2units[i]);
        uint32_t first = GNext(head);
        GLink(head, p);
        GLink(p, first);
        if (--limit == 0) fault = true;
      }
    }
    uint32_t steps = size / kUnit + 2;
    for (uint32_t p = GNext(head); p != head && !fault; p = GNext(p)) {
      for (;;) {
        uint32_t nu = U16(p + 2);
        uint32_t q = p + U2B(nu);
        if (q > heap_end || U16(q) != 0xFFFF) break;
        uint32_t qnu = U16(q + 2);
        if (nu + qnu >= 0x10000) break;
        GRemove(q);
        SetU16(q, 0);
        SetU16(p + 2, nu + qnu);
        if (--steps == 0 || fault) {
          fault = true;
          return;
        }
      }
      if (--steps == 0) fault = true;
    }
    while (GNext(head) != head && !fault) {
      uint32_t p = GNext(head);
      GRemove(p);
      uint32_t s = U16(p + 2);
      SetU16(p, 0);
      for (; s > 128; s -= 128, p += U2B(128)) Push(p, kNumIndexes - 1);
      if (s == 0) continue;
      int i = kT.units2indx[s - 1];
      if (kT.indx2units[i] != s) {
        uint32_t k = s - kT.indx2units[--i];
        Push(p + U2B(s - k), static_cast<int>(k) - 1);
      }
      Push(p, i);
    }
  }
  uint32_t AllocUnitsRare(int i) {
    if (glue_count == 0) {
      glue_count = 255;
      GlueFreeBlocks();
      if (free_list[i] != 0) return Pop(i);
    }
    for (int j = i + 1; j < kNumIndexes; ++j) {
      if (free_list[j] != 0) {
        uint32_t b = Pop(j);
        SplitBlock(b, j, i);
        return b;
      }
    }
    --glue_count;
    uint32_t k = U2B(kT.indx2units[i]);
    if (units_start - text > k) {
      units_start -= k;
      return units_start;
    }
    return 0;
  }
  uint32_t AllocUnits(uint32_t n) {
    int i = kT.units2indx[n - 1];
    if (free_list[i] != 0) return Pop(i);
    uint32_t bytes = U2B(kT.indx2units[i]);
    if (hi_unit - lo_unit >= bytes) {
      uint32_t r = lo_unit;
      lo_unit += bytes;
      return r;
    }
    return AllocUnitsRare(i);
  }
  uint32_t AllocContext() {
    if (hi_unit != lo_unit) return hi_unit -= kUnit;
    if (free_list[0] != 0) return Pop(0);
    return AllocUnitsRare(0);
  }
  uint32_t ExpandUnits(uint32_t b, uint32_t n) {
    if (n == 0 || n >= 128) {
      fault = true;
      return 0;
    }
    int i0 = kT.units2indx[n - 1];
    if (i0 == kT.units2indx[n]) return b;
    uint32_t b2 = AllocUnits(n + 1);
    if (b2 == 0) return 0;
    Move(b2, b, U2B(n));
    Push(b, i0);
    return b2;
  }
  uint32_t ShrinkUnits(uint32_t b, uint32_t n, uint32_t m) {
    int i0 = kT.units2indx[n - 1], i1 = kT.units2indx[m - 1];
    if (i0 == i1) return b;
    if (free_list[i1] != 0) {
      uint32_t b2 = Pop(i1);
      Move(b2, b, U2B(m));
      Push(b, i0);
      return b2;
    }
    SplitBlock(b, i0, i1);
    return b;
  }

  // ---- range decoder ----
  uint32_t NextByte() {
    int b = in ? in->NextByte() : -1;
    if (b < 0) {
      overrun = true;
      return 0;
    }
    return static_cast<uint32_t>(b) & 0xFF;
  }
  uint32_t Count(uint32_t total) {
    if (total == 0) {
      fault = true;
      return 0;
    }
    range /= total;
    if (range == 0) {
      fault = true;
      return total;
    }
    return (code - low) / range;
  }
  uint32_t Count14() {
    range >>= 14;
    if (range == 0) {
      fault = true;
      return kBinScale;
    }
    return (code - low) / range;
  }
  void Remove(uint32_t lo, uint32_t hi) {
    low += range * lo;
    range *= hi - lo;
  }
  void Normalize() {
    for (;;) {
      if ((low ^ (low + range)) >= kTop) {
        if (range >= kBot) return;
        range = (0u - low) & (kBot - 1);
      }
      if (enc_out != nullptr)
        enc_out->push_back(static_cast<uint8_t>(low >> 24));
      else
        code = (code << 8) | NextByte();
      range <<= 8;
      low <<= 8;
      if (range == 0) {  // cannot recover; a valid coder never gets here
        fault = true;
        return;
      }
    }
  }

  // ---- model ----
  void RestartModel() {
    std::memset(char_mask, 0, sizeof(char_mask));
    esc_count = 1;
    InitHeap();
    init_rl = -(max_order < 12 ? max_order : 12) - 1;
    run_length = init_rl;
    prev_success = 0;
    order_fall = max_order;
    uint32_t root = AllocContext();
    SetNumStats(root, 256);
    SetSummFreq(root, 257);
    SetSuffix(root, 0);
    uint32_t stats = AllocUnits(128);
    SetStats(root, stats);
    for (uint32_t i = 0; i < 256; ++i) SetState(stats + i * kStateSize, i, 1, 0);
    min_ctx = max_ctx = root;
    found = stats;
    for (int i = 0; i < 128; ++i)
      for (int k = 0; k < 8; ++k)
        for (int m = 0; m < 64; m += 8)
          bin_summ[i][k + m] = static_cast<uint16_t>(kBinScale - kInitBinEsc[k] / (i + 2));
    for (int i = 0; i < 25; ++i)
      for (int k = 0; k < 16; ++k) see[i][k] = See{static_cast<uint16_t>((5 * i + 10) << 3), 3, 4};
    dummy_see = See{0, kPeriodBits, 64};
  }

  void ClearMask() {
    if (++esc_count == 0) {
      std::memset(char_mask, 0, sizeof(char_mask));
      esc_count = 1;
    }
  }

  void Rescale(uint32_t c) {
    uint32_t n0 = NumStats(c);
    uint32_t stats = Stats(c);
    if (n0 < 2 || n0 > 256 || found < stats || found >= stats + n0 * kStateSize ||
        (found - stats) % kStateSize != 0) {
      fault = true;
      return;
    }
    for (uint32_t p = found; p != stats; p -= kStateSize) SwapStates(p, p - kStateSize);
    uint32_t f0 = Freq(stats) + 4;
    SetSummFreq(c, SummFreq(c) + 4);
    int esc = static_cast<int>(SummFreq(c)) - static_cast<int>(f0);
    uint32_t a = order_fall != 0;
    f0 = (f0 + a) >> 1;
    SetFreq(stats, f0);
    uint32_t sum = f0;
    for (uint32_t j = 1; j < n0; ++j) {
      uint32_t s = stats + j * kStateSize;
      uint32_t f = Freq(s);
      esc -= static_cast<int>(f);
      f = (f + a) >> 1;
      SetFreq(s, f);
      sum += f;
      if (f > Freq(s - kStateSize)) {
        uint8_t tmp[kStateSize];
        if (!Ok(s, kStateSize)) return;
        std::memcpy(tmp, mem + s, kStateSize);
        uint32_t k = j;
        do {
          Move(stats + k * kStateSize, stats + (k - 1) * kStateSize, kStateSize);
          --k;
        } while (k > 0 && f > Freq(stats + (k - 1) * kStateSize));
        if (Ok(stats + k * kStateSize, kStateSize)) std::memcpy(mem + stats + k * kStateSize, tmp, kStateSize);
      }
    }
    if (Freq(stats + (n0 - 1) * kStateSize) == 0) {
      uint32_t z = 0;
      while (z < n0 && Freq(stats + (n0 - 1 - z) * kStateSize) == 0) ++z;
      esc += static_cast<int>(z);
      uint32_t n = n0 - z;
      SetNumStats(c, n);
      if (n == 1) {
        uint32_t sym = Sym(stats), freq = Freq(stats), succ = Succ(stats);
        do {
          freq -= freq >> 1;
          esc >>= 1;
        } while (esc > 1);
        Push(stats, kT.units2indx[((n0 + 1) >> 1) - 1]);
        SetState(OneState(c), sym, freq, succ);
        found = OneState(c);
        return;
      }
    }
    esc -= esc >> 1;
    SetSummFreq(c, sum + static_cast<uint32_t>(esc));
    uint32_t n = NumStats(c);
    uint32_t old_units = (n0 + 1) >> 1, new_units = (n + 1) >> 1;
    if (old_units != new_units) SetStats(c, ShrinkUnits(stats, old_units, new_units));
    found = Stats(c);
  }

  // Returns the new context, or 0 when the model must restart.
  uint32_t CreateSuccessors(bool skip) {
    uint32_t c = min_ctx;
    uint32_t up = Succ(found);
    uint32_t fsym = Sym(found);
    uint32_t list[kMaxOrder + 1];
    int nlist = 0;
    if (!skip) list[nlist++] = found;
    for (uint32_t sfx = Suffix(c); sfx != 0 && !fault; sfx = Ld32(c + 8)) {
      c = sfx;
      if (!IsCtx(c)) return 0;
      const uint32_t ns = Ld16(c);
      // A found state lies in a checked array; the one state lies in the context.
      uint32_t s = ns != 1 ? FindState(Ld32(c + 4), ns, fsym) : OneState(c);
      if (fault) return 0;
      const uint32_t succ = Ld32(s + 2);
      if (succ != up) {
        c = succ;
        break;
      }
      if (nlist > kMaxOrder) {
        fault = true;
        return 0;
      }
      list[nlist++] = s;
    }
    if (nlist == 0) return c;
    if (up < kHeapBase || up >= heap_end) {
      fault = true;
      return 0;
    }
    uint32_t nsym = U8(up);
    uint32_t nsucc = up + 1;
    uint32_t nfreq;
    if (c <= text) return 0;  // restart
    if (!IsCtx(c)) return 0;
    if (NumStats(c) != 1) {
      uint32_t s = FindState(Stats(c), NumStats(c), nsym);
      if (fault) return 0;
      uint32_t cf = Freq(s) - 1;
      uint32_t s0 = SummFreq(c) - NumStats(c) - cf;
      if (2 * cf <= s0) {
        nfreq = 1 + (5 * cf > s0 ? 1 : 0);
      } else {
        if (s0 == 0) {
          fault = true;
          return 0;
        }
        nfreq = 1 + (2 * cf + 3 * s0 - 1) / (2 * s0);
      }
    } else {
      nfreq = Freq(OneState(c));
    }
    while (nlist > 0) {
      uint32_t c2 = AllocContext();
      if (c2 == 0 || !Ok(c2, kUnit)) return 0;
      St16(c2, 1);
      mem[c2 + 2] = static_cast<uint8_t>(nsym);
      mem[c2 + 3] = static_cast<uint8_t>(nfreq);
      St32(c2 + 4, nsucc);
      St32(c2 + 8, c);
      SetSucc(list[--nlist], c2);
      c = c2;
    }
    return c;
  }

  // Returns false when the model must restart.
  bool UpdateModel() {
    uint32_t fs_sym = 0, fs_freq = 0, fs_succ = 0;
    if (Ok(found, kStateSize)) {
      fs_sym = mem[found];
      fs_freq = mem[found + 1];
      fs_succ = Ld32(found + 2);
    }
    uint32_t suffix = Suffix(min_ctx);
    if (fs_freq < kMaxFreq / 4 && suffix != 0) {
      if (!IsCtx(suffix)) return true;
      // The suffix passed IsCtx; FindState checked its whole state array.
      uint8_t* const m = mem;
      const uint32_t sn = Ld16(suffix);
      if (sn != 1) {
        uint32_t stats = Ld32(suffix + 4);
        uint32_t p = FindState(stats, sn, fs_sym);
        if (fault) return true;
        if (p != stats && m[p + 1] >= m[p + 1 - kStateSize]) {
          uint8_t t[kStateSize];
          std::memcpy(t, m + p, kStateSize);
          std::memcpy(m + p, m + p - kStateSize, kStateSize);
          std::memcpy(m + p - kStateSize, t, kStateSize);
          p -= kStateSize;
        }
        if (m[p + 1] < kMaxFreq - 9) {
          m[p + 1] = static_cast<uint8_t>(m[p + 1] + 2);
          St16(suffix + 2, Ld16(suffix + 2) + 2);
        }
      } else {
        uint32_t p = OneState(suffix);
        if (m[p + 1] < 32) m[p + 1] = static_cast<uint8_t>(m[p + 1] + 1);
      }
    }
    if (order_fall == 0) {
      uint32_t r = CreateSuccessors(true);
      if (r == 0 || fault) return false;
      SetSucc(found, r);
      min_ctx = max_ctx = r;
      return true;
    }
    SetU8(text, static_cast<uint8_t>(fs_sym));
    ++text;
    uint32_t succ = text;
    if (text >= units_start) return false;
    if (fs_succ != 0) {
      if (fs_succ <= text) {
        fs_succ = CreateSuccessors(false);
        if (fs_succ == 0 || fault) return false;
      }
      if (--order_fall == 0) {
        succ = fs_succ;
        if (max_ctx != min_ctx) --text;
      }
    } else {
      SetSucc(found, succ);
      fs_succ = min_ctx;
    }
    const uint32_t ns = NumStats(min_ctx);
    const uint32_t s0 = SummFreq(min_ctx) - ns - (fs_freq - 1);
    int hops = 0;
    // Each context's own fields are read and written unchecked once it has
    // passed IsCtx; the states it points to are checked.
    for (uint32_t c = max_ctx; c != min_ctx && !fault; c = Ld32(c + 8)) {
      if (!IsCtx(c) || ++hops > kMaxChain) {
        fault = true;
        return true;
      }
      uint32_t n1 = Ld16(c);
      uint32_t sf;
      if (n1 != 1) {
        if ((n1 & 1) == 0) {
          uint32_t st = ExpandUnits(Ld32(c + 4), n1 >> 1);
          if (st == 0 || fault) return false;
          St32(c + 4, st);
        }
        sf = Ld16(c + 2);
        sf += (2 * n1 < ns ? 1 : 0) + 2 * ((4 * n1 <= ns && sf <= 8 * n1) ? 1 : 0);
      } else {
        uint32_t a = AllocUnits(1);
        if (a == 0) return false;
        Move(a, OneState(c), kStateSize);
        St32(c + 4, a);
        uint32_t f = Freq(a);
        f = f < kMaxFreq / 4 - 1 ? f * 2 : kMaxFreq - 4;
        SetFreq(a, f);
        sf = f + init_esc + (ns > 3 ? 1 : 0);
      }
      sf &= 0xFFFF;  // the field is 16 bits wide
      uint32_t cf = 2 * fs_freq * (sf + 6);
      uint32_t sf2 = s0 + sf;
      if (cf < 6 * sf2) {
        cf = 1 + (cf > sf2 ? 1 : 0) + (cf >= 4 * sf2 ? 1 : 0);
        St16(c + 2, sf + 3);
      } else {
        cf = 4 + (cf >= 9 * sf2 ? 1 : 0) + (cf >= 12 * sf2 ? 1 : 0) + (cf >= 15 * sf2 ? 1 : 0);
        St16(c + 2, sf + cf);
      }
      const uint32_t ns1 = Ld32(c + 4) + n1 * kStateSize;
      if (Ok(ns1, kStateSize)) {
        mem[ns1] = static_cast<uint8_t>(fs_sym);
        mem[ns1 + 1] = static_cast<uint8_t>(cf);
        St32(ns1 + 2, succ);
      }
      St16(c, n1 + 1);
    }
    max_ctx = min_ctx = fs_succ;
    return true;
  }

  // Symbol in a context with several states. False on bad data.
  // `c` has passed IsCtx.
  bool DecodeSymbol1(uint32_t c) {
    uint32_t n = Ld16(c);
    uint32_t stats = Ld32(c + 4);
    if (n > 256 || stats <= text || !Ok(stats, n * kStateSize)) {
      fault = true;
      return false;
    }
    uint32_t total = Ld16(c + 2);
    uint32_t t = Count(total);
    if (target >= 0) {  // the start of the target's interval, or of the escape
      t = 0;
      for (uint32_t j = 0; j < n && Sym(stats + j * kStateSize) != uint32_t(target); ++j)
        t += Freq(stats + j * kStateSize);
    }
    if (t >= total) return false;
    uint8_t* const m = mem;
    uint32_t s = stats;
    uint32_t h = m[s + 1];
    if (t < h) {
      Remove(0, h);
      prev_success = 2 * h > total ? 1 : 0;
      run_length += prev_success;
      h += 4;
      m[s + 1] = static_cast<uint8_t>(h);
      St16(c + 2, total + 4);
      found = s;
      if (h > kMaxFreq) Rescale(c);
      return true;
    }
    prev_success = 0;
    uint32_t cum = h;
    for (uint32_t j = 1; j < n; ++j) {
      s += kStateSize;
      uint32_t f = m[s + 1];  // inside the array checked above
      cum += f;
      if (cum > t) {
        Remove(cum - f, cum);
        m[s + 1] = static_cast<uint8_t>(f + 4);
        St16(c + 2, total + 4);
        found = s;
        if (f + 4 > m[s + 1 - kStateSize]) {
          SwapStates(s, s - kStateSize);
          found = s - kStateSize;
          if (Freq(found) > kMaxFreq) Rescale(c);
        }
        return true;
      }
    }
    hi_bits_flag = kT.hb2flag[Sym(found)];
    Remove(cum, total);
    for (uint32_t j = 0; j < n; ++j) char_mask[m[stats + j * kStateSize]] = esc_count;
    num_masked = n;
    found = 0;
    return true;
  }

  // `c` has passed IsCtx, so its one state is in bounds too.
  bool DecodeBinSymbol(uint32_t c) {
    uint32_t rs = OneState(c);
    hi_bits_flag = kT.hb2flag[Sym(found)];
    uint32_t suffix = Ld32(c + 8);
    if (!IsCtx(suffix)) return false;
    uint32_t sn = Ld16(suffix);
    const uint32_t rs_sym = mem[rs];
    uint32_t freq = mem[rs + 1];
    if (sn == 0 || sn > 256 || freq == 0 || freq > 128) {
      fault = true;
      return false;
    }
    uint32_t j = static_cast<uint32_t>(prev_success) + kT.ns2bsindx[sn - 1] + hi_bits_flag +
                 2 * kT.hb2flag[rs_sym] + ((run_length >> 26) & 0x20);
    uint16_t& p = bin_summ[freq - 1][j];
    uint32_t t = Count14();
    if (target >= 0) t = Sym(rs) == uint32_t(target) ? 0 : p;
    if (t < p) {
      Remove(0, p);
      found = rs;
      if (freq < 128) mem[rs + 1] = static_cast<uint8_t>(freq + 1);
      p = static_cast<uint16_t>(p + kInterval - ((p + 32) >> 7));
      prev_success = 1;
      ++run_length;
    } else {
      Remove(p, kBinScale);
      p = static_cast<uint16_t>(p - ((p + 32) >> 7));
      init_esc = kExpEscape[p >> 10];
      num_masked = 1;
      char_mask[rs_sym] = esc_count;
      prev_success = 0;
      found = 0;
    }
    return true;
  }

  // `c` has passed IsCtx.
  bool DecodeSymbol2(uint32_t c) {
    uint32_t n = Ld16(c);
    if (n > 256 || num_masked >= n) {
      fault = true;
      return false;
    }
    uint32_t d = n - num_masked;
    See* e;
    uint32_t esc;
    if (n != 256) {
      uint32_t suffix = Ld32(c + 8);
      if (!IsCtx(suffix)) return false;
      uint32_t a = static_cast<int>(d) < static_cast<int>(Ld16(suffix)) - static_cast<int>(n);
      uint32_t b = Ld16(c + 2) < 11 * n;
      uint32_t g = num_masked > d;
      e = &see[kT.ns2indx[d - 1]][a + 2 * b + 4 * g + hi_bits_flag];
      esc = e->Mean();
    } else {
      e = &dummy_see;
      esc = 1;
    }
    uint32_t stats = Ld32(c + 4);
    if (stats <= text || !Ok(stats, n * kStateSize)) {
      fault = true;
      return false;
    }
    // Every state below lies in the array just checked.
    uint8_t* const m = mem;
    const uint8_t mark = esc_count;
    uint32_t u[256];
    uint32_t h = 0, k = 0;
    for (uint32_t j = 0, s = stats; j < n && k < d; ++j, s += kStateSize) {
      if (char_mask[m[s]] == mark) continue;
      u[k++] = s;
      h += m[s + 1];
    }
    if (k != d) {
      fault = true;
      return false;
    }
    uint32_t total = esc + h;
    uint32_t t = Count(total);
    if (target >= 0) {
      t = 0;
      for (uint32_t j = 0; j < d && Sym(u[j]) != uint32_t(target); ++j) t += Freq(u[j]);
    }
    if (t >= total) return false;
    if (t < h) {
      uint32_t sum = 0, j = 0, f;
      for (;; ++j) {
        f = m[u[j] + 1];
        sum += f;
        if (sum > t) break;
      }
      uint32_t s = u[j];
      Remove(sum - f, sum);
      e->Update();
      f = (f + 4) & 0xFF;
      m[s + 1] = static_cast<uint8_t>(f);
      St16(c + 2, Ld16(c + 2) + 4);
      found = s;
      if (f > kMaxFreq) Rescale(c);
      run_length = init_rl;
    } else {
      Remove(h, total);
      for (uint32_t j = 0; j < d; ++j) char_mask[m[u[j]]] = mark;
      e->summ = static_cast<uint16_t>(e->summ + total);
      num_masked = n;
    }
    return true;
  }

  int DecodeChar() {
    if (!model_ok || fault || overrun) return Fail();
    uint32_t c = min_ctx;
    if (!IsCtx(c)) return Fail();
    bool ok = Ld16(c) != 1 ? DecodeSymbol1(c) : DecodeBinSymbol(c);
    if (!ok || fault) return Fail();
    while (found == 0) {
      Normalize();
      int hops = 0;
      do {
        ++order_fall;
        c = Ld32(c + 8);  // c passed IsCtx
        if (c == 0 || !IsCtx(c) || ++hops > kMaxChain) return Fail();
      } while (Ld16(c) == num_masked);
      min_ctx = c;
      if (!DecodeSymbol2(c) || fault) return Fail();
    }
    if (overrun) return Fail();  // the symbol depended on bytes past the end
    if (!Ok(found, kStateSize)) return Fail();
    int sym = mem[found];
    uint32_t succ = Ld32(found + 2);
    if (order_fall == 0 && succ > text) {
      if (!IsCtx(succ)) return Fail();
      min_ctx = max_ctx = succ;
    } else if (!UpdateModel() && !fault) {
      RestartModel();  // out of memory: the symbol stands, the model starts over
    }
    if (fault) return Fail();
    ClearMask();
    Normalize();
    if (fault) return Fail();
    return sym;
  }

  int Fail() {
    model_ok = false;
    return -1;
  }

  bool StartModel(uint32_t mb, int order) {
    uint32_t want = (mb + 1) * kMiB;
    if (mem == nullptr || size != want) {
      delete[] mem;
      mem = nullptr;
      size = 0;
      uint32_t bytes = kHeapBase + want + kTailPad;
      mem = new (std::nothrow) uint8_t[bytes];
      if (mem == nullptr) return false;
      size = want;
      buf_size = bytes;
      heap_end = kHeapBase + want;
      std::memset(mem, 0, kHeapBase);
      std::memset(mem + heap_end, 0, kTailPad);
    }
    fault = false;
    max_order = order;
    RestartModel();
    if (fault) return false;
    model_ok = true;
    return true;
  }

  bool StartBlock(PpmByteInput* input, int* esc) {
    auto bad = [this] {
      model_ok = false;
      return false;
    };
    in = input;
    overrun = false;
    int f = input->NextByte();
    if (f < 0) return bad();
    int mb = 0;
    if (f & 0x20) {
      mb = input->NextByte();
      if (mb < 0) return bad();
    } else if (!model_ok) {
      return false;
    }
    if (f & 0x40) {
      int e = input->NextByte();
      if (e < 0) return bad();
      *esc = e;
    }
    low = code = 0;
    range = 0xFFFFFFFFu;
    for (int i = 0; i < 4; ++i) code = (code << 8) | NextByte();
    if (overrun) return bad();
    if (f & 0x20) {
      int order = (f & 0x1F) + 1;
      if (order > 16) order = 16 + 3 * (order - 16);
      if (order == 1) return bad();
      if (!StartModel(static_cast<uint32_t>(mb), order)) return bad();
    }
    return true;
  }
};

}  // namespace

struct PpmModel::Impl : PpmCore {};

std::vector<uint8_t> PpmEncodeBlockForTest(const uint8_t* data, size_t n, int order, int mb,
                                          int esc) {
  std::vector<uint8_t> out;
  if (order < 2 || order > kMaxOrder || mb < 0 || mb > 255 || esc < 0 || esc > 255) return out;
  int code = order <= 16 ? order - 1 : (order - 16) / 3 + 15;
  out = {static_cast<uint8_t>(0xE0 | code), static_cast<uint8_t>(mb), static_cast<uint8_t>(esc)};
  PpmCore m;
  if (!m.StartModel(static_cast<uint32_t>(mb), order)) return {};
  m.enc_out = &out;
  m.low = 0;
  m.range = 0xFFFFFFFFu;
  auto put = [&m](int c) {
    m.target = c;
    return m.DecodeChar() == c;
  };
  for (size_t i = 0; i < n; ++i) {
    if (!put(data[i]) || (data[i] == esc && !put(1))) return {};
  }
  if (!put(esc) || !put(2)) return {};
  for (int i = 0; i < 4; ++i, m.low <<= 8) out.push_back(static_cast<uint8_t>(m.low >> 24));
  return out;
}

PpmModel::PpmModel() : impl_(new Impl) {}
PpmModel::~PpmModel() { delete impl_; }

bool PpmModel::StartBlock(PpmByteInput* in, int* esc) {
  if (in == nullptr || esc == nullptr) return false;
  return impl_->StartBlock(in, esc);
}

int PpmModel::DecodeChar() { return impl_->DecodeChar(); }

void PpmModel::Reset() { impl_->model_ok = false; }

}  // namespace rarlib
