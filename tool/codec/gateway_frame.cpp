#include "tool/codec/gateway_frame.hpp"

#include <cstring>

#include "common/wire.hpp"
#include "tool/codec/stream_decode.hpp"
#include "tool/codec/stream_framing.hpp"

namespace tarvo {

bool BuildGatewayMessage(const std::string& imei, const uint8_t* packet, size_t length,
                         DccMessage* message) {
  std::memset(message, 0, sizeof *message);
  if (imei.size() >= kDccIdSize) return false;
  size_t framed = EncodeStreamFrame(packet, length, message->data, kDccDataSize);
  if (framed == 0) return false;
  std::memcpy(message->id, imei.data(), imei.size());
  message->type = kDccTypeUserData;
  wire::PutLe16(message->length, static_cast<uint16_t>(framed));
  return true;
}

size_t DecodeGatewayMessage(const DccMessage& message, uint8_t* destination, size_t capacity) {
  if (message.type != kDccTypeUserData) return 0;
  const size_t length = wire::GetLe16(message.length);
  if (length == 0 || length > kDccDataSize) return 0;
  const StreamDecodeResult r = DecodeStreamBytes(message.data, length, destination, capacity);
  if (r.count > capacity) return 0;
  if (r.complete && r.count < capacity) destination[r.count] = 0;
  return r.count;
}

}  // namespace tarvo
