// The GPRS gateway as seen by libdcc.so: a TCP port on which DccMessage
// records travel whole. For each user-data record (type 0) the gateway first
// sends a confirmation record (type 4, no data), then hands the stream-framed
// packet in its data to the controller, and sends the controller's reply
// back as a user-data record carrying the same modem identifier. Records of
// other types, and malformed ones, are read and ignored.
#pragma once

#include <mutex>
#include <string>

#include "sim/connection_set.hpp"
#include "sim/shared_model.hpp"

namespace tarvo::sim {

class GatewayServer {
 public:
  explicit GatewayServer(SharedModel& model);
  int Start(uint32_t address, uint16_t port) { return connections_.Start(address, port); }
  void Stop() { connections_.Stop(); }
  uint16_t port() const { return connections_.port(); }
  // The modem identifier of the last user-data record.
  std::string last_imei();

 private:
  void Serve(platform::TcpSocket& socket, const std::atomic<bool>& stop);

  SharedModel& model_;
  std::mutex mutex_;
  std::string last_imei_;
  ConnectionSet connections_;
};

}  // namespace tarvo::sim
