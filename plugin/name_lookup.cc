#include "plugin/name_lookup.h"

#include <chrono>
#include <cstring>
#include <new>
#include <random>

namespace {

struct SipKey {
  uint64_t k0;
  uint64_t k1;
};

SipKey makeKey() noexcept {
  SipKey key{0x736f6d6570736575ull, 0x646f72616e646f6dull};
  try {
    std::random_device rd;
    key.k0 ^= (uint64_t(rd()) << 32) | rd();
    key.k1 ^= (uint64_t(rd()) << 32) | rd();
  } catch (...) {
    // No entropy source: fall back on the clock and this object's address.
    key.k0 ^= uint64_t(std::chrono::steady_clock::now().time_since_epoch().count());
    key.k1 ^= uint64_t(reinterpret_cast<uintptr_t>(&key));
  }
  return key;
}

const SipKey& processKey() noexcept {
  static const SipKey key = makeKey();
  return key;
}

inline uint64_t rotl(uint64_t x, int b) { return (x << b) | (x >> (64 - b)); }

struct SipState {
  uint64_t v0, v1, v2, v3;
  void round() {
    v0 += v1;
    v1 = rotl(v1, 13);
    v1 ^= v0;
    v0 = rotl(v0, 32);
    v2 += v3;
    v3 = rotl(v3, 16);
    v3 ^= v2;
    v0 += v3;
    v3 = rotl(v3, 21);
    v3 ^= v0;
    v2 += v1;
    v1 = rotl(v1, 17);
    v1 ^= v2;
    v2 = rotl(v2, 32);
  }
  void absorb(uint64_t m) {
    v3 ^= m;
    round();
    v0 ^= m;
  }
};

// SipHash-1-3 of `len` bytes.
uint64_t sipHash13(const SipKey& k, const uint8_t* p, size_t len) {
  SipState s{k.k0 ^ 0x736f6d6570736575ull, k.k1 ^ 0x646f72616e646f6dull,
             k.k0 ^ 0x6c7967656e657261ull, k.k1 ^ 0x7465646279746573ull};
  const size_t whole = len & ~size_t(7);
  for (size_t i = 0; i < whole; i += 8) {
    uint64_t m = 0;
    for (int b = 0; b < 8; ++b) m |= uint64_t(p[i + b]) << (8 * b);
    s.absorb(m);
  }
  uint64_t last = uint64_t(len & 0xFF) << 56;
  for (size_t b = 0; b < (len & 7); ++b) last |= uint64_t(p[whole + b]) << (8 * b);
  s.absorb(last);
  s.v2 ^= 0xFF;
  s.round();
  s.round();
  s.round();
  return s.v0 ^ s.v1 ^ s.v2 ^ s.v3;
}

}  // namespace

size_t NameLookup::KeyedHash::operator()(std::u16string_view name) const noexcept {
  return static_cast<size_t>(sipHash13(processKey(), reinterpret_cast<const uint8_t*>(name.data()),
                                       name.size() * sizeof(char16_t)));
}

bool NameLookup::add(const char16_t* name, int32_t position) noexcept {
  try {
    map_.emplace(std::u16string_view(name), position);  // keeps an earlier position
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

int32_t NameLookup::find(const char16_t* name) const noexcept {
  if (name == nullptr) return -1;
  const auto it = map_.find(std::u16string_view(name));
  return it == map_.end() ? -1 : it->second;
}
