// Finding the framing markers (0xA5, 0xAA, 0xAE) in a run of bytes eight at
// a time, so that the plain stretches between them can be copied whole.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace tarvo {

// Non-zero when some byte of `w` equals `c` (exact as a yes/no answer).
inline uint64_t WordHasByte(uint64_t w, uint8_t c) {
  constexpr uint64_t kOnes = 0x0101010101010101ull;
  constexpr uint64_t kHighs = 0x8080808080808080ull;
  const uint64_t x = w ^ (kOnes * c);
  return (x - kOnes) & ~x & kHighs;
}

inline bool IsFrameMarker(uint8_t b) {
  return b == 0xA5 || b == 0xAA || b == 0xAE;
}

// Number of leading bytes of p[0..n) that are not framing markers.
inline size_t PlainRunLength(const uint8_t* p, size_t n) {
  size_t i = 0;
  while (i + 8 <= n) {
    uint64_t w;
    std::memcpy(&w, p + i, 8);
    if (WordHasByte(w, 0xA5) | WordHasByte(w, 0xAA) | WordHasByte(w, 0xAE)) break;
    i += 8;
  }
  while (i < n && !IsFrameMarker(p[i])) ++i;
  return i;
}

}  // namespace tarvo
