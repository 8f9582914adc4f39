// The controller's network port. Every request arrives behind an 8-byte
// header (ID Code most significant byte first, packet length little-endian,
// two zeros) and every reply goes back behind one of the same form carrying
// this controller's ID Code.
//
// ID Code matching: a controller with ID Code X answers a header carrying X
// or the broadcast code 255.255.255.255; a controller whose own ID Code is
// 255.255.255.255 (not configured) answers any header. Anything else is
// read and left unanswered, as a controller that is not addressed keeps quiet.
#pragma once

#include <cstdint>

#include "sim/connection_set.hpp"
#include "sim/shared_model.hpp"

namespace tarvo::sim {

inline constexpr uint32_t kBroadcastIdCode = 0xFFFFFFFF;
inline constexpr size_t kNetworkHeaderBytes = 8;

bool IdCodeMatches(uint32_t own, uint32_t in_header);

class TcpServer {
 public:
  TcpServer(SharedModel& model, uint32_t id_code);
  // Listens on address:port (0: a free port). 1 or 0.
  int Start(uint32_t address, uint16_t port) { return connections_.Start(address, port); }
  void Stop() { connections_.Stop(); }
  uint16_t port() const { return connections_.port(); }

 private:
  void Serve(platform::TcpSocket& socket, const std::atomic<bool>& stop);

  SharedModel& model_;
  uint32_t id_code_;
  ConnectionSet connections_;
};

}  // namespace tarvo::sim
