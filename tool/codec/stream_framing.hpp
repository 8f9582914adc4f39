// Stream framing of controller packets on byte-stream media (serial line,
// GPRS gateway, "Zv GPRS" relay envelope, UDP relay cards):
//   0xA5, packet bytes with 0xA5/0xAA/0xAE escaped as 0xAA,(b & 0x0F), 0xAE.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tarvo {

inline constexpr uint8_t kFrameStart = 0xA5;
inline constexpr uint8_t kFrameEscape = 0xAA;
inline constexpr uint8_t kFrameEnd = 0xAE;

inline bool NeedsEscape(uint8_t b) {
  return b == kFrameStart || b == kFrameEscape || b == kFrameEnd;
}

// Escaped form of `n` packet bytes (no start or end byte) written to `out`;
// returns the count written, or 0 when it would not fit in `capacity`
// (nothing useful is left in `out` then).
size_t EscapeBytes(const uint8_t* packet, size_t n, uint8_t* out, size_t capacity);
// Length of the escaped form of n packet bytes.
size_t EscapedLength(const uint8_t* packet, size_t n);
// Whole frame: start byte, escaped packet, end byte. Returns the frame length,
// or 0 when it does not fit in `capacity`.
size_t EncodeStreamFrame(const uint8_t* packet, size_t n, uint8_t* out, size_t capacity);
// Appends the escaped bytes to a vector (for envelopes built piecewise).
void AppendEscaped(const uint8_t* packet, size_t n, std::vector<uint8_t>& out);

// Byte-at-a-time decoder of the stream framing. A start byte restarts the
// packet, an end byte completes it, 0xAA escapes the next byte. Bytes that do
// not fit the destination are counted but not stored, so a frame longer than
// the capacity is reported as overflowed instead of being written past.
class StreamDecoder {
 public:
  enum class Step { kMore, kComplete };

  StreamDecoder(uint8_t* destination, size_t capacity) : dst_(destination), cap_(capacity) {}

  // Inline: the serial path feeds every received byte through here.
  Step Feed(uint8_t byte) {
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
  void Reset() {
    count_ = 0;
    escape_ = false;
  }
  // Packet bytes collected since the last start byte (may exceed capacity).
  size_t count() const { return count_; }
  bool overflowed() const { return count_ > cap_; }

 private:
  uint8_t* dst_;
  size_t cap_;
  size_t count_ = 0;
  bool escape_ = false;
};

}  // namespace tarvo
