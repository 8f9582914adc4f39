#include "tool/link/packet_io.hpp"

#include <cstdio>
#include <ostream>

#include "tool/link/connection_manager.hpp"

namespace tarvo {
namespace {

void Trace(const ConnectionManager& link, const char* direction, const uint8_t* bytes, size_t n) {
  if (link.trace == nullptr) return;
  std::ostream& out = *link.trace;
  out << direction << ' ' << n << ':';
  char hex[4];
  for (size_t i = 0; i < n; ++i) {
    std::snprintf(hex, sizeof hex, " %02X", bytes[i]);
    out << hex;
  }
  out << '\n';
}

}  // namespace

int SendPacket(ConnectionManager& link, const uint8_t* packet, size_t length) {
  if (packet == nullptr || length == 0) return 0;
  Trace(link, "TX", packet, length);
  return link.CurrentMedium().SendPacket(packet, length);
}

size_t ReceivePacket(ConnectionManager& link, uint8_t* destination, size_t capacity) {
  if (destination == nullptr || capacity == 0) return 0;
  const size_t n = link.CurrentMedium().ReceivePacket(destination, capacity);
  Trace(link, "RX", destination, n);
  return n;
}

}  // namespace tarvo
