#include "rarlib/crypto/key_cache.h"

#include <openssl/crypto.h>

#include <cstring>

namespace rarlib {
namespace {

// Distinct salts kept at once; a hostile archive with a fresh salt per member
// only recycles these slots (its cost is then one derivation per member).
constexpr size_t kMaxEntries = 64;

void WipeString(std::string* s) {
  if (!s->empty()) OPENSSL_cleanse(&(*s)[0], s->size());
  s->clear();
  s->shrink_to_fit();
}

}  // namespace

void KeyCache::SetPassword(const std::string& utf8) {
  if (utf8 == password_) return;
  Clear();
  password_ = utf8;
}

void KeyCache::DropKeys() {
  if (!entries_.empty()) OPENSSL_cleanse(entries_.data(), entries_.size() * sizeof(Entry));
  entries_.clear();
}

void KeyCache::Clear() {
  DropKeys();
  WipeString(&password_);
  spent_ = 0;
  refused_ = false;
}

bool KeyCache::Charge(uint64_t cost) {
  // The first derivation always runs; later ones keep spent_ within the budget
  // (so it never exceeds the budget or one derivation's cost, and cannot wrap).
  if (spent_ != 0 && (spent_ >= budget_ || cost > budget_ - spent_)) {
    refused_ = true;
    return false;
  }
  spent_ += cost;
  return true;
}

KeyCache::Entry* KeyCache::Find(bool rar5, unsigned rounds, const uint8_t* salt, size_t salt_len) {
  for (Entry& e : entries_) {
    if (e.rar5 == rar5 && e.rounds == rounds && e.salt_len == salt_len &&
        (salt_len == 0 || std::memcmp(e.salt, salt, salt_len) == 0)) {
      return &e;
    }
  }
  return nullptr;
}

KeyCache::Entry* KeyCache::Add() {
  if (entries_.capacity() < kMaxEntries) entries_.reserve(kMaxEntries);
  if (entries_.size() >= kMaxEntries) DropKeys();
  entries_.emplace_back();
  return &entries_.back();
}

const Rar3Key* KeyCache::Rar3(const uint8_t* salt, size_t salt_len) {
  refused_ = false;
  if (password_.empty() || (salt_len != 0 && salt_len != 8)) return nullptr;
  if (Entry* e = Find(false, 0, salt, salt_len)) return &e->k3;
  if (!Charge(kRar3Cost)) return nullptr;
  Rar3Key key;
  std::string pw = Rar3PasswordBytes(password_);
  ++derivations_;
  bool ok = DeriveRar3Key(pw, salt, salt_len, &key);
  WipeString(&pw);
  if (!ok) return nullptr;
  Entry* e = Add();
  e->rar5 = false;
  e->rounds = 0;
  e->salt_len = salt_len;
  if (salt_len != 0) std::memcpy(e->salt, salt, salt_len);
  e->k3 = key;
  OPENSSL_cleanse(&key, sizeof key);
  return &e->k3;
}

const Rar5Key* KeyCache::Rar5(const uint8_t salt[16], unsigned log2_count) {
  refused_ = false;
  if (password_.empty() || log2_count > kMaxRar5KdfLog2) return nullptr;
  if (Entry* e = Find(true, log2_count, salt, 16)) return &e->k5;
  if (!Charge(Rar5Cost(log2_count))) return nullptr;
  Rar5Key key;
  std::string pw = Rar5PasswordBytes(password_);
  ++derivations_;
  bool ok = DeriveRar5Key(pw, salt, log2_count, &key);
  WipeString(&pw);
  if (!ok) return nullptr;
  Entry* e = Add();
  e->rar5 = true;
  e->rounds = log2_count;
  e->salt_len = 16;
  std::memcpy(e->salt, salt, 16);
  e->k5 = key;
  OPENSSL_cleanse(&key, sizeof key);
  return &e->k5;
}

}  // namespace rarlib
