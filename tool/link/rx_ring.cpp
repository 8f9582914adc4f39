#include "tool/link/rx_ring.hpp"

namespace tarvo {

size_t RxRing::Append(const uint8_t* bytes, size_t n) {
  size_t stored = 0;
  for (; stored < n; ++stored) {
    uint16_t next = static_cast<uint16_t>((write_ + 1) % kSize);
    // One slot stays free so that a full ring is not mistaken for an empty one.
    if (next == read_) break;
    bytes_[write_] = bytes[stored];
    write_ = next;
  }
  return stored;
}

int RxRing::NextByte(uint8_t* out, const Source& source) {
  if (Empty() && source) {
    uint8_t temp[kSize];
    size_t n = source(temp, sizeof temp);
    if (n > sizeof temp) n = sizeof temp;
    Append(temp, n);
  }
  if (Empty()) return 0;
  *out = bytes_[read_];
  read_ = static_cast<uint16_t>((read_ + 1) % kSize);
  return 1;
}

}  // namespace tarvo
