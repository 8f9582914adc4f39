// Cutting the byte streams of zvrelayd's peers into frames, before anything
// is allocated for them.
//
// Users send relay frames: the 14-byte header ("ZVMSGPUB", type, body length)
// and the body. Cards send [L: 16-bit little-endian][L bytes], where the first
// six bytes are the card's DeviceID (registration: L = 6, nothing else).
// UDP cards send one datagram per message: A5 <DeviceID digits> [packet] AE.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zv::daemon {

enum class SplitResult {
  kNeedMore,  // no whole frame yet
  kFrame,     // a whole frame is ready
  kBad,       // the stream cannot be a valid frame: close the connection
};

// Accumulates a user's bytes. Refuses a wrong magic, a body length of 0 or
// below, and a body above `max_body` as soon as the header is complete.
class CRelayFrameSplitter {
 public:
  explicit CRelayFrameSplitter(uint32_t max_body) : max_body_(max_body) {}
  // The bound applies to frames whose header is not yet complete or checked:
  // a user's bound grows when it has logged in.
  void SetMaxBody(uint32_t max_body) { max_body_ = max_body; }
  // The last kBad was a body over the bound (not a wrong magic or length).
  bool Oversized() const { return oversized_; }
  void Append(const uint8_t* data, size_t size) {
    buffer_.insert(buffer_.end(), data, data + size);
  }
  // On kFrame, type/body describe the frame at the front until Consume().
  SplitResult Next(uint16_t* type, const uint8_t** body, uint32_t* body_length);
  void Consume();
  // Bytes of an unfinished frame are waiting.
  bool HasPartial() const { return !buffer_.empty(); }

 private:
  uint32_t max_body_;
  std::vector<uint8_t> buffer_;
  size_t frame_size_ = 0;
  bool oversized_ = false;
};

// Accumulates a TCP card's bytes: [L][L bytes], 6 <= L.
class CCardFrameSplitter {
 public:
  void Append(const uint8_t* data, size_t size) {
    buffer_.insert(buffer_.end(), data, data + size);
  }
  // On kFrame, `frame` covers the whole frame including its length field.
  SplitResult Next(const uint8_t** frame, size_t* frame_length);
  void Consume();
  bool HasPartial() const { return !buffer_.empty(); }

 private:
  std::vector<uint8_t> buffer_;
  size_t frame_size_ = 0;
};

inline constexpr size_t kCardIdLength = 6;
// The DeviceID carried by a card frame (its bytes 2-7).
std::string CardFrameId(const uint8_t* frame);

// A UDP card datagram: A5, 1-30 DeviceID digits, then either AE directly
// (registration) or a stuffed packet and AE (an answer).
struct UdpCardDatagram {
  std::string device_id;
  bool registration = false;
};
inline constexpr size_t kMaxUdpDeviceIdDigits = 30;
bool ParseUdpCardDatagram(const uint8_t* data, size_t size, UdpCardDatagram* out);

}  // namespace zv::daemon
