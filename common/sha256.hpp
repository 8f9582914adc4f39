// SHA-256 and HMAC-SHA256, for the keyed answers of zvrelayd's card
// protocol (a card proves its secret without sending it). Small and
// self-contained: the suite links no crypto library for one hash.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "common/wire.hpp"

namespace tarvo::hash {

inline constexpr size_t kSha256Size = 32;
using Sha256Digest = std::array<uint8_t, kSha256Size>;

class Sha256 {
 public:
  void Update(const uint8_t* data, size_t size) {
    total_ += size;
    while (size > 0) {
      const size_t n = std::min(size, block_.size() - used_);
      std::memcpy(block_.data() + used_, data, n);
      used_ += n;
      data += n;
      size -= n;
      if (used_ == block_.size()) {
        Compress(block_.data());
        used_ = 0;
      }
    }
  }

  Sha256Digest Final() {
    const uint64_t bits = total_ * 8;
    const uint8_t one = 0x80;
    Update(&one, 1);
    const uint8_t zero = 0;
    while (used_ != 56) Update(&zero, 1);
    uint8_t length[8];
    wire::PutBe32(length, static_cast<uint32_t>(bits >> 32));
    wire::PutBe32(length + 4, static_cast<uint32_t>(bits));
    Update(length, sizeof length);
    Sha256Digest out{};
    for (size_t i = 0; i < 8; ++i) wire::PutBe32(out.data() + 4 * i, state_[i]);
    return out;
  }

 private:
  static uint32_t Rotr(uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }

  void Compress(const uint8_t* p) {
    static constexpr uint32_t k[64] = {
        0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4,
        0xab1c5ed5, 0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe,
        0x9bdc06a7, 0xc19bf174, 0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f,
        0x4a7484aa, 0x5cb0a9dc, 0x76f988da, 0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7,
        0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967, 0x27b70a85, 0x2e1b2138, 0x4d2c6dfc,
        0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85, 0xa2bfe8a1, 0xa81a664b,
        0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070, 0x19a4c116,
        0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
        0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7,
        0xc67178f2};
    uint32_t w[64];
    for (int i = 0; i < 16; ++i) w[i] = wire::GetBe32(p + 4 * i);
    for (int i = 16; i < 64; ++i) {
      const uint32_t s0 = Rotr(w[i - 15], 7) ^ Rotr(w[i - 15], 18) ^ (w[i - 15] >> 3);
      const uint32_t s1 = Rotr(w[i - 2], 17) ^ Rotr(w[i - 2], 19) ^ (w[i - 2] >> 10);
      w[i] = w[i - 16] + s0 + w[i - 7] + s1;
    }
    uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3];
    uint32_t e = state_[4], f = state_[5], g = state_[6], h = state_[7];
    for (int i = 0; i < 64; ++i) {
      const uint32_t t1 =
          h + (Rotr(e, 6) ^ Rotr(e, 11) ^ Rotr(e, 25)) + ((e & f) ^ (~e & g)) + k[i] + w[i];
      const uint32_t t2 = (Rotr(a, 2) ^ Rotr(a, 13) ^ Rotr(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
      h = g;
      g = f;
      f = e;
      e = d + t1;
      d = c;
      c = b;
      b = a;
      a = t1 + t2;
    }
    state_[0] += a;
    state_[1] += b;
    state_[2] += c;
    state_[3] += d;
    state_[4] += e;
    state_[5] += f;
    state_[6] += g;
    state_[7] += h;
  }

  std::array<uint32_t, 8> state_ = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                    0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
  std::array<uint8_t, 64> block_{};
  size_t used_ = 0;
  uint64_t total_ = 0;
};

inline Sha256Digest Sha256Of(const uint8_t* data, size_t size) {
  Sha256 h;
  h.Update(data, size);
  return h.Final();
}

// HMAC-SHA256 of the message under the key (any length: a key longer than
// the 64-byte block is hashed first).
inline Sha256Digest HmacSha256(const uint8_t* key, size_t key_size, const uint8_t* message,
                               size_t message_size) {
  std::array<uint8_t, 64> block{};
  if (key_size > block.size()) {
    const Sha256Digest k = Sha256Of(key, key_size);
    std::memcpy(block.data(), k.data(), k.size());
  } else if (key_size > 0) {
    std::memcpy(block.data(), key, key_size);
  }
  std::array<uint8_t, 64> pad;
  for (size_t i = 0; i < pad.size(); ++i) pad[i] = block[i] ^ 0x36;
  Sha256 inner;
  inner.Update(pad.data(), pad.size());
  inner.Update(message, message_size);
  const Sha256Digest inner_digest = inner.Final();
  for (size_t i = 0; i < pad.size(); ++i) pad[i] = block[i] ^ 0x5c;
  Sha256 outer;
  outer.Update(pad.data(), pad.size());
  outer.Update(inner_digest.data(), inner_digest.size());
  return outer.Final();
}

// Compares two digests in a time that does not depend on where they differ,
// so an answer's bytes cannot be guessed one at a time from the delays.
inline bool DigestsEqual(const uint8_t* a, const uint8_t* b, size_t size) {
  uint8_t diff = 0;
  for (size_t i = 0; i < size; ++i) diff |= static_cast<uint8_t>(a[i] ^ b[i]);
  return diff == 0;
}

}  // namespace tarvo::hash
