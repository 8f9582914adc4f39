#include "tool/codec/stream_framing.hpp"

#include <cstring>

#include "tool/codec/byte_scan.hpp"

namespace tarvo {

size_t EscapedLength(const uint8_t* packet, size_t n) {
  size_t len = n;
  size_t i = 0;
  while (i < n) {
    i += PlainRunLength(packet + i, n - i);
    if (i < n) {
      ++len;
      ++i;
    }
  }
  return len;
}

// The plain stretches between markers are copied whole; markers are rare in
// real packets, so most of a packet moves with memcpy.
size_t EscapeBytes(const uint8_t* packet, size_t n, uint8_t* out, size_t capacity) {
  size_t o = 0;
  size_t i = 0;
  while (i < n) {
    const size_t run = PlainRunLength(packet + i, n - i);
    if (run > capacity - o) return 0;
    std::memcpy(out + o, packet + i, run);
    o += run;
    i += run;
    if (i == n) break;
    if (capacity - o < 2) return 0;
    out[o++] = kFrameEscape;
    out[o++] = static_cast<uint8_t>(packet[i++] & 0x0F);
  }
  return o;
}

size_t EncodeStreamFrame(const uint8_t* packet, size_t n, uint8_t* out, size_t capacity) {
  if (capacity < 2) return 0;
  out[0] = kFrameStart;
  size_t body = 0;
  if (n > 0) {
    body = EscapeBytes(packet, n, out + 1, capacity - 2);
    if (body == 0) return 0;
  }
  out[body + 1] = kFrameEnd;
  return body + 2;
}

void AppendEscaped(const uint8_t* packet, size_t n, std::vector<uint8_t>& out) {
  const size_t start = out.size();
  out.resize(start + 2 * n);
  const size_t written = EscapeBytes(packet, n, out.data() + start, 2 * n);
  out.resize(start + written);
}

}  // namespace tarvo
