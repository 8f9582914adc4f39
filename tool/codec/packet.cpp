#include "tool/codec/packet.hpp"

#include "common/wire.hpp"

namespace tarvo {

uint16_t ByteSum16(const uint8_t* data, size_t n) {
  uint32_t sum = 0;
  // Summing in 32 bits and truncating once gives the same low 16 bits as
  // wrapping at every step; the split keeps the loop free of dependencies.
  for (size_t i = 0; i < n; ++i) sum += data[i];
  return static_cast<uint16_t>(sum);
}

size_t AppendChecksum(uint8_t* buffer, size_t n) {
  wire::PutLe16(buffer + n, ByteSum16(buffer, n));
  return n + 2;
}

bool CheckPacket(const uint8_t* reply, size_t length) {
  if (reply == nullptr || length <= 5) return false;
  if (reply[0] != kReplyStart && reply[0] != kRequestStart) return false;
  return ByteSum16(reply, length - 2) == wire::GetLe16(reply + length - 2);
}

}  // namespace tarvo
