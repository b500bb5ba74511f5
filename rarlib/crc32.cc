#include "rarlib/crc32.h"

#include <zlib.h>

#include <climits>
#include <cstring>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define RARLIB_CRC32_CLMUL 1
#endif

namespace rarlib {

uint32_t Crc32Portable(uint32_t crc, const uint8_t* data, size_t n) {
  while (n > 0) {
    const uInt step = n > UINT_MAX ? UINT_MAX : static_cast<uInt>(n);
    crc = static_cast<uint32_t>(crc32(crc, data, step));
    data += step;
    n -= step;
  }
  return crc;
}

#ifdef RARLIB_CRC32_CLMUL
namespace {

// How the folding works. A CRC register bit-reflects the message: in a 16-byte
// block loaded little-endian, bit i stands for x^(127-i), so the low quadword
// H holds the high-order half and the block is H*x^64 + L. Moving a block D
// bits further down the message multiplies it by x^D; modulo the polynomial P
// that is H*(x^(D+64) mod P) + L*(x^D mod P), two 64x64 carry-less products
// whose sum (under 128 bits) is XORed into the block D bits later.
//
// A carry-less product of two reflected quadwords comes out one place short:
// bits a_i (x^(63-i)) times b_j (x^(63-j)) land on bit i+j, which as a
// reflected 128-bit value stands for x^(127-i-j), i.e. x times the product.
// A constant stored as the 32-bit reflection of x^n mod P in the low half of a
// quadword stands for x^(n+32). So to multiply by x^e we store x^(e-33) mod P:
// the high half needs e = D+64 (n = D+31), the low half e = D (n = D-33).
//
// The constants below are computed at compile time from P by plain shift and
// subtract, so they follow from the polynomial alone.

constexpr uint64_t kPoly = 0x104C11DB7ull;  // x^32 + ... + 1, normal bit order

// x^n mod P, bit k standing for x^k.
constexpr uint32_t XPowMod(unsigned n) {
  uint64_t r = 1;
  for (unsigned i = 0; i < n; ++i) {
    r <<= 1;
    if (r & (uint64_t{1} << 32)) r ^= kPoly;
  }
  return static_cast<uint32_t>(r);
}

constexpr uint32_t Reflect32(uint32_t v) {
  uint32_t r = 0;
  for (int i = 0; i < 32; ++i) r |= ((v >> i) & 1u) << (31 - i);
  return r;
}

// The multiplier pair that moves a block D bits down: {high half, low half}.
constexpr uint64_t FoldHigh(unsigned d) { return Reflect32(XPowMod(d + 31)); }
constexpr uint64_t FoldLow(unsigned d) { return Reflect32(XPowMod(d - 33)); }

constexpr uint64_t kFold512High = FoldHigh(512), kFold512Low = FoldLow(512);
constexpr uint64_t kFold128High = FoldHigh(128), kFold128Low = FoldLow(128);

// A known value guards the derivation: x^32 mod P is P's own low terms.
static_assert(XPowMod(32) == 0x04C11DB7u, "x^32 mod P");
static_assert(Reflect32(0x04C11DB7u) == 0xEDB88320u, "reflected polynomial");

__attribute__((target("pclmul,sse4.1"))) inline __m128i Fold(__m128i x, __m128i k, __m128i next) {
  const __m128i hi = _mm_clmulepi64_si128(x, k, 0x00);
  const __m128i lo = _mm_clmulepi64_si128(x, k, 0x11);
  return _mm_xor_si128(_mm_xor_si128(hi, lo), next);
}

__attribute__((target("pclmul,sse4.1"))) inline __m128i Load(const uint8_t* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

// Folds four running blocks into one, then every whole 16-byte block left;
// the result is congruent to the message so far (start value XORed in) and
// sits where the last block was. zlib then takes that block and the tail,
// under 32 bytes in all.
__attribute__((target("pclmul,sse4.1"))) uint32_t Finish(__m128i x0, __m128i x1, __m128i x2,
                                                         __m128i x3, const uint8_t* p, size_t n) {
  const __m128i k128 =
      _mm_set_epi64x(static_cast<long long>(kFold128Low), static_cast<long long>(kFold128High));
  __m128i x = Fold(x0, k128, x1);
  x = Fold(x, k128, x2);
  x = Fold(x, k128, x3);
  while (n >= 16) {
    x = Fold(x, k128, Load(p));
    p += 16;
    n -= 16;
  }
  // The folded block is a message of its own whose start value is zero:
  // zlib's start value 0xFFFFFFFF gives exactly that.
  alignas(16) uint8_t last[32];
  _mm_store_si128(reinterpret_cast<__m128i*>(last), x);
  if (n > 0) std::memcpy(last + 16, p, n);
  return static_cast<uint32_t>(crc32(0xFFFFFFFFul, last, static_cast<uInt>(16 + n)));
}

// n >= 64: four 16-byte lanes, 64 bytes a step.
__attribute__((target("pclmul,sse4.1"))) uint32_t Crc32Clmul(uint32_t crc, const uint8_t* p,
                                                             size_t n) {
  __m128i x0 = _mm_xor_si128(Load(p), _mm_cvtsi32_si128(static_cast<int>(~crc)));
  __m128i x1 = Load(p + 16), x2 = Load(p + 32), x3 = Load(p + 48);
  p += 64;
  n -= 64;
  const __m128i k512 =
      _mm_set_epi64x(static_cast<long long>(kFold512Low), static_cast<long long>(kFold512High));
  while (n >= 64) {
    x0 = Fold(x0, k512, Load(p));
    x1 = Fold(x1, k512, Load(p + 16));
    x2 = Fold(x2, k512, Load(p + 32));
    x3 = Fold(x3, k512, Load(p + 48));
    p += 64;
    n -= 64;
  }
  return Finish(x0, x1, x2, x3, p, n);
}

// The same with 512-bit registers: four registers of four lanes, 256 bytes a
// step, then one register, then its four lanes go to Finish.
constexpr size_t kWideMin = 1024;
constexpr uint64_t kFold2048High = FoldHigh(2048), kFold2048Low = FoldLow(2048);

#define RARLIB_WIDE_TARGET __attribute__((target("vpclmulqdq,avx512f,pclmul,sse4.1")))

RARLIB_WIDE_TARGET inline __m512i WideFold(__m512i x, __m512i k, __m512i next) {
  return _mm512_ternarylogic_epi64(_mm512_clmulepi64_epi128(x, k, 0x00),
                                   _mm512_clmulepi64_epi128(x, k, 0x11), next, 0x96);
}

// A multiplier pair in every 128-bit lane.
RARLIB_WIDE_TARGET inline __m512i WidePair(uint64_t high, uint64_t low) {
  const auto h = static_cast<long long>(high), l = static_cast<long long>(low);
  return _mm512_set_epi64(l, h, l, h, l, h, l, h);
}

RARLIB_WIDE_TARGET inline __m512i WideLoad(const uint8_t* p) { return _mm512_loadu_si512(p); }

// n >= kWideMin.
RARLIB_WIDE_TARGET uint32_t Crc32Wide(uint32_t crc, const uint8_t* p, size_t n) {
  const __m512i start =
      _mm512_inserti32x4(_mm512_setzero_si512(), _mm_cvtsi32_si128(static_cast<int>(~crc)), 0);
  __m512i z0 = _mm512_xor_si512(WideLoad(p), start);
  __m512i z1 = WideLoad(p + 64), z2 = WideLoad(p + 128), z3 = WideLoad(p + 192);
  p += 256;
  n -= 256;
  const __m512i k2048 = WidePair(kFold2048High, kFold2048Low);
  while (n >= 256) {
    z0 = WideFold(z0, k2048, WideLoad(p));
    z1 = WideFold(z1, k2048, WideLoad(p + 64));
    z2 = WideFold(z2, k2048, WideLoad(p + 128));
    z3 = WideFold(z3, k2048, WideLoad(p + 192));
    p += 256;
    n -= 256;
  }
  const __m512i k512 = WidePair(kFold512High, kFold512Low);
  __m512i z = WideFold(z0, k512, z1);
  z = WideFold(z, k512, z2);
  z = WideFold(z, k512, z3);
  while (n >= 64) {
    z = WideFold(z, k512, WideLoad(p));
    p += 64;
    n -= 64;
  }
  alignas(64) __m128i lanes[4];
  _mm512_store_si512(lanes, z);
  return Finish(lanes[0], lanes[1], lanes[2], lanes[3], p, n);
}

// What the CPU offers, decided once.
enum class Path { kPortable, kClmul, kWide };

Path Detect() {
  __builtin_cpu_init();
  if (!__builtin_cpu_supports("pclmul") || !__builtin_cpu_supports("sse4.1"))
    return Path::kPortable;
  if (__builtin_cpu_supports("vpclmulqdq") && __builtin_cpu_supports("avx512f")) return Path::kWide;
  return Path::kClmul;
}

Path Best() {
  static const Path path = Detect();
  return path;
}

}  // namespace
#endif

uint32_t Crc32(uint32_t crc, const uint8_t* data, size_t n) {
#ifdef RARLIB_CRC32_CLMUL
  if (n >= 64) {
    const Path path = Best();
    if (path == Path::kWide && n >= kWideMin) return Crc32Wide(crc, data, n);
    if (path != Path::kPortable) return Crc32Clmul(crc, data, n);
  }
#endif
  return Crc32Portable(crc, data, n);
}

}  // namespace rarlib
