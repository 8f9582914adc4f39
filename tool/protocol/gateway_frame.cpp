#include "tool/protocol/gateway_frame.hpp"

#include <cstring>

#include "common/wire.hpp"
#include "tool/protocol/stream_framing.hpp"

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
  StreamDecoder decoder(destination, capacity);
  bool ended = false;
  for (size_t k = 0; k < length && !ended; ++k) {
    ended = decoder.Feed(message.data[k]) == StreamDecoder::Step::kComplete;
  }
  if (decoder.overflowed()) return 0;
  const size_t count = decoder.count();
  if (ended && count < capacity) destination[count] = 0;
  return count;
}

}  // namespace tarvo
