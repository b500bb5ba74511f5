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

uint64_t hashName(const char16_t* name, size_t length) noexcept {
  return sipHash13(processKey(), reinterpret_cast<const uint8_t*>(name), length * sizeof(char16_t));
}

size_t nameLength(const char16_t* name) noexcept {
  size_t n = 0;
  while (name[n] != 0) ++n;
  return n;
}

}  // namespace

size_t NameLookup::probe(uint64_t hash, const char16_t* name, size_t length) const noexcept {
  const size_t mask = slots_.size() - 1;
  // The table is never full, so the walk ends at a free slot at the latest.
  for (size_t i = static_cast<size_t>(hash) & mask;; i = (i + 1) & mask) {
    const Slot& s = slots_[i];
    if (s.name == nullptr) return i;
    if (s.hash == hash && s.length == length &&
        std::memcmp(s.name, name, length * sizeof(char16_t)) == 0) {
      return i;
    }
  }
}

bool NameLookup::grow() noexcept {
  const size_t size = slots_.empty() ? 64 : slots_.size() * 2;
  if (size > SIZE_MAX / sizeof(Slot) / 2) return false;
  std::vector<Slot> old;
  try {
    old.assign(size, Slot{0, nullptr, 0, -1});
  } catch (const std::bad_alloc&) {
    return false;
  }
  old.swap(slots_);
  const size_t mask = size - 1;
  for (const Slot& s : old) {
    if (s.name == nullptr) continue;
    size_t i = static_cast<size_t>(s.hash) & mask;
    while (slots_[i].name != nullptr) i = (i + 1) & mask;
    slots_[i] = s;
  }
  return true;
}

bool NameLookup::add(const char16_t* name, int32_t position) noexcept {
  if (name == nullptr) return true;
  const size_t length = nameLength(name);
  if (length > UINT32_MAX) return false;
  if ((used_ + 1) * 4 > slots_.size() * 3 && !grow()) return false;
  const uint64_t hash = hashName(name, length);
  Slot& s = slots_[probe(hash, name, length)];
  if (s.name != nullptr) return true;  // an earlier position keeps the name
  s = Slot{hash, name, static_cast<uint32_t>(length), position};
  ++used_;
  return true;
}

int32_t NameLookup::find(const char16_t* name) const noexcept {
  if (name == nullptr || slots_.empty()) return -1;
  const size_t length = nameLength(name);
  if (length > UINT32_MAX) return -1;
  const Slot& s = slots_[probe(hashName(name, length), name, length)];
  return s.name == nullptr ? -1 : s.position;
}

void NameLookup::clear() noexcept {
  std::vector<Slot>().swap(slots_);
  used_ = 0;
}
