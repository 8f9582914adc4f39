#include "tool/codec/relay_envelope.hpp"

#include <cstring>

#include "common/wire.hpp"
#include "tool/codec/packet.hpp"
#include "tool/codec/stream_decode.hpp"
#include "tool/codec/stream_framing.hpp"

namespace tarvo {

bool EncodeRouteOneRequest(const uint8_t* packet, size_t length, std::vector<uint8_t>* out) {
  out->clear();
  if (length + 6 > 0xFFFF) return false;
  wire::Writer w(*out);
  w.Le16(static_cast<uint16_t>(length + 6));
  for (int i = 0; i < 6; ++i) w.U8(0x01);
  w.Bytes(packet, length);
  return true;
}

bool EncodeRouteTwoRequest(const std::string& device_id, const uint8_t* packet, size_t length,
                           std::vector<uint8_t>* out) {
  out->clear();
  out->reserve(device_id.size() + 2 * length + 2);
  out->push_back(kFrameStart);
  out->insert(out->end(), device_id.begin(), device_id.end());
  AppendEscaped(packet, length, *out);
  out->push_back(kFrameEnd);
  return true;
}

size_t DecodeRouteOneReply(const uint8_t* received, size_t n, const std::string& device_id,
                           uint8_t* destination, size_t capacity) {
  if (n < kRelayMinimumReply) return 0;
  const size_t declared = wire::GetLe16(received);
  if (device_id.size() != 6 || std::memcmp(received + 2, device_id.data(), 6) != 0) return 0;
  if (declared <= 6 || n < declared + 2) return 0;
  const size_t packet = declared - 6;
  if (packet > capacity || received[kRouteOneHeaderSize] != kReplyStart) return 0;
  std::memcpy(destination, received + kRouteOneHeaderSize, packet);
  return packet;
}

size_t DecodeRouteTwoReply(const uint8_t* received, size_t n, const std::string& device_id,
                           uint8_t* destination, size_t capacity) {
  if (n < kRelayMinimumReply) return 0;
  std::vector<uint8_t> body(n);
  const StreamDecodeResult decoded = DecodeStreamBytes(received, n, body.data(), body.size());
  const bool ended = decoded.complete;
  // The decoded body can never outgrow the received bytes.
  const size_t count = decoded.count;
  if (!ended || count < kRouteTwoMinimumBody) return 0;
  size_t digits = 0;
  while (digits < count && body[digits] >= '0' && body[digits] <= '9') ++digits;
  if (digits == count) return 0;
  if (device_id.size() != digits || std::memcmp(body.data(), device_id.data(), digits) != 0 ||
      body[digits] != kReplyStart) {
    return 0;
  }
  const size_t packet = count - digits;
  if (packet > capacity) return 0;
  std::memcpy(destination, body.data() + digits, packet);
  return packet;
}

}  // namespace tarvo
