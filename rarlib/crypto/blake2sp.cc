#include "rarlib/crypto/blake2sp.h"

#include <cstring>

namespace rarlib {
namespace {

constexpr uint32_t kIv[8] = {0x6A09E667, 0xBB67AE85, 0x3C6EF372, 0xA54FF53A,
                             0x510E527F, 0x9B05688C, 0x1F83D9AB, 0x5BE0CD19};

constexpr uint8_t kSigma[10][16] = {
    {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15},
    {14, 10, 4, 8, 9, 15, 13, 6, 1, 12, 0, 2, 11, 7, 5, 3},
    {11, 8, 12, 0, 5, 2, 15, 13, 10, 14, 3, 6, 7, 1, 9, 4},
    {7, 9, 3, 1, 13, 12, 11, 14, 2, 6, 5, 10, 4, 0, 15, 8},
    {9, 0, 5, 7, 2, 4, 10, 15, 14, 1, 11, 12, 6, 8, 3, 13},
    {2, 12, 6, 10, 0, 11, 8, 3, 4, 13, 7, 5, 15, 14, 1, 9},
    {12, 5, 1, 15, 14, 13, 4, 10, 0, 7, 6, 3, 9, 2, 8, 11},
    {13, 11, 7, 14, 12, 1, 3, 9, 5, 0, 15, 4, 8, 6, 2, 10},
    {6, 15, 14, 9, 11, 3, 0, 8, 12, 2, 13, 7, 1, 4, 10, 5},
    {10, 2, 8, 4, 7, 6, 1, 5, 15, 11, 9, 14, 3, 12, 13, 0},
};

inline uint32_t Load32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline uint32_t Rotr(uint32_t v, int n) { return (v >> n) | (v << (32 - n)); }

constexpr size_t kBlock = 64;
constexpr int kLeaves = 8;

}  // namespace

void Blake2s::Init(uint32_t node_offset, uint8_t node_depth, bool last_node) {
  // Parameter block: digest 32, key 0, fanout 8, depth 2, leaf length 0,
  // node offset, node depth, inner length 32, no salt or personalisation.
  std::memcpy(h_, kIv, sizeof h_);
  h_[0] ^= 32u | (8u << 16) | (2u << 24);
  h_[2] ^= node_offset;
  h_[3] ^= static_cast<uint32_t>(node_depth) << 16 | (32u << 24);
  t_[0] = t_[1] = 0;
  buf_len_ = 0;
  last_node_ = last_node;
}

void Blake2s::Compress(const uint8_t block[64], bool last) {
  uint32_t m[16], v[16];
  for (int i = 0; i < 16; ++i) m[i] = Load32(block + 4 * i);
  for (int i = 0; i < 8; ++i) {
    v[i] = h_[i];
    v[i + 8] = kIv[i];
  }
  v[12] ^= t_[0];
  v[13] ^= t_[1];
  if (last) {
    v[14] = ~v[14];
    if (last_node_) v[15] = ~v[15];
  }
  auto g = [&](int a, int b, int c, int d, uint32_t x, uint32_t y) {
    v[a] = v[a] + v[b] + x;
    v[d] = Rotr(v[d] ^ v[a], 16);
    v[c] = v[c] + v[d];
    v[b] = Rotr(v[b] ^ v[c], 12);
    v[a] = v[a] + v[b] + y;
    v[d] = Rotr(v[d] ^ v[a], 8);
    v[c] = v[c] + v[d];
    v[b] = Rotr(v[b] ^ v[c], 7);
  };
  for (const auto& s : kSigma) {
    g(0, 4, 8, 12, m[s[0]], m[s[1]]);
    g(1, 5, 9, 13, m[s[2]], m[s[3]]);
    g(2, 6, 10, 14, m[s[4]], m[s[5]]);
    g(3, 7, 11, 15, m[s[6]], m[s[7]]);
    g(0, 5, 10, 15, m[s[8]], m[s[9]]);
    g(1, 6, 11, 12, m[s[10]], m[s[11]]);
    g(2, 7, 8, 13, m[s[12]], m[s[13]]);
    g(3, 4, 9, 14, m[s[14]], m[s[15]]);
  }
  for (int i = 0; i < 8; ++i) h_[i] ^= v[i] ^ v[i + 8];
}

// The last block is held back until Final, which must mark it as last.
void Blake2s::Update(const uint8_t* data, size_t n) {
  auto count = [this](uint32_t k) {
    t_[0] += k;
    if (t_[0] < k) ++t_[1];
  };
  if (n == 0) return;
  if (buf_len_ > 0) {
    size_t take = kBlock - buf_len_ < n ? kBlock - buf_len_ : n;
    std::memcpy(buf_ + buf_len_, data, take);
    buf_len_ += take;
    data += take;
    n -= take;
    if (n == 0) return;
    count(kBlock);
    Compress(buf_, false);
    buf_len_ = 0;
  }
  while (n > kBlock) {
    count(kBlock);
    Compress(data, false);
    data += kBlock;
    n -= kBlock;
  }
  std::memcpy(buf_, data, n);
  buf_len_ = n;
}

void Blake2s::Final(uint8_t out[32]) {
  t_[0] += static_cast<uint32_t>(buf_len_);
  if (t_[0] < buf_len_) ++t_[1];
  std::memset(buf_ + buf_len_, 0, kBlock - buf_len_);
  Compress(buf_, true);
  for (int i = 0; i < 8; ++i) {
    out[4 * i] = static_cast<uint8_t>(h_[i]);
    out[4 * i + 1] = static_cast<uint8_t>(h_[i] >> 8);
    out[4 * i + 2] = static_cast<uint8_t>(h_[i] >> 16);
    out[4 * i + 3] = static_cast<uint8_t>(h_[i] >> 24);
  }
}

Blake2sp::Blake2sp() {
  for (int i = 0; i < kLeaves; ++i) leaves_[i].Init(static_cast<uint32_t>(i), 0, i == kLeaves - 1);
}

void Blake2sp::Update(const uint8_t* data, size_t n) {
  while (n > 0) {
    const size_t in_block = static_cast<size_t>(total_ % kBlock);
    const size_t leaf = static_cast<size_t>((total_ / kBlock) % kLeaves);
    if (in_block == 0 && n >= kBlock * kLeaves && leaf == 0) {
      // Whole stripes: one block to each leaf.
      size_t stripes = n / (kBlock * kLeaves);
      for (size_t s = 0; s < stripes; ++s) {
        for (int i = 0; i < kLeaves; ++i) leaves_[i].Update(data + i * kBlock, kBlock);
        data += kBlock * kLeaves;
      }
      const size_t done = stripes * kBlock * kLeaves;
      n -= done;
      total_ += done;
      continue;
    }
    size_t take = kBlock - in_block < n ? kBlock - in_block : n;
    leaves_[leaf].Update(data, take);
    data += take;
    n -= take;
    total_ += take;
  }
}

void Blake2sp::Final(uint8_t out[32]) {
  uint8_t digests[kLeaves * 32];
  for (int i = 0; i < kLeaves; ++i) leaves_[i].Final(digests + 32 * i);
  Blake2s root;
  root.Init(0, 1, true);
  root.Update(digests, sizeof digests);
  root.Final(out);
}

}  // namespace rarlib
