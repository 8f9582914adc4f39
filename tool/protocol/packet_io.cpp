#include "tool/protocol/packet_io.hpp"

#include "tool/link/connection_manager.hpp"

namespace tarvo {

int SendPacket(ConnectionManager& link, const uint8_t* packet, size_t length) {
  if (packet == nullptr || length == 0) return 0;
  return link.CurrentMedium().SendPacket(packet, length);
}

size_t ReceivePacket(ConnectionManager& link, uint8_t* destination, size_t capacity) {
  if (destination == nullptr || capacity == 0) return 0;
  return link.CurrentMedium().ReceivePacket(destination, capacity);
}

}  // namespace tarvo
