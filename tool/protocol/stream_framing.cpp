#include "tool/protocol/stream_framing.hpp"

namespace tarvo {

size_t EscapedLength(const uint8_t* packet, size_t n) {
  size_t len = n;
  for (size_t i = 0; i < n; ++i) len += NeedsEscape(packet[i]) ? 1 : 0;
  return len;
}

size_t EscapeBytes(const uint8_t* packet, size_t n, uint8_t* out, size_t capacity) {
  size_t o = 0;
  for (size_t i = 0; i < n; ++i) {
    uint8_t b = packet[i];
    if (NeedsEscape(b)) {
      if (capacity - o < 2) return 0;
      out[o++] = kFrameEscape;
      out[o++] = static_cast<uint8_t>(b & 0x0F);
    } else {
      if (o == capacity) return 0;
      out[o++] = b;
    }
  }
  return o;
}

size_t EncodeStreamFrame(const uint8_t* packet, size_t n, uint8_t* out, size_t capacity) {
  if (capacity < 2) return 0;
  size_t body = EscapedLength(packet, n);
  if (body > capacity - 2) return 0;
  out[0] = kFrameStart;
  EscapeBytes(packet, n, out + 1, body);
  out[body + 1] = kFrameEnd;
  return body + 2;
}

void AppendEscaped(const uint8_t* packet, size_t n, std::vector<uint8_t>& out) {
  for (size_t i = 0; i < n; ++i) {
    uint8_t b = packet[i];
    if (NeedsEscape(b)) {
      out.push_back(kFrameEscape);
      out.push_back(static_cast<uint8_t>(b & 0x0F));
    } else {
      out.push_back(b);
    }
  }
}

StreamDecoder::Step StreamDecoder::Feed(uint8_t byte) {
  if (byte == kFrameStart) {
    Reset();
    return Step::kMore;
  }
  if (byte == kFrameEnd) return Step::kComplete;
  if (byte == kFrameEscape && !escape_) {
    escape_ = true;
    return Step::kMore;
  }
  uint8_t value = escape_ ? static_cast<uint8_t>(0xA0 | (byte & 0x0F)) : byte;
  escape_ = false;
  if (count_ < cap_) dst_[count_] = value;
  ++count_;
  return Step::kMore;
}

}  // namespace tarvo
