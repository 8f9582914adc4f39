// The simulated controller as a TCP card of zvrelayd: connects to the card
// port, registers its DeviceID and answers every forwarded packet, and
// zvrelayd's probes and (with a secret) its challenge. When the
// connection ends (the server restarts, turns the card away, or the stream
// goes out of step) it connects and registers again after a pause, until
// stopped.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/socket.hpp"
#include "sim/shared_model.hpp"

namespace tarvo::sim {

struct RelayCardTiming {
  int connect_timeout_ms = 3000;
  int retry_pause_ms = 1000;  // between a lost connection and the next attempt
};

// One zvrelayd node's card port.
struct RelayNode {
  uint32_t address = 0;
  uint16_t port = 0;
};

class TcpRelayCard {
 public:
  // `secret` empty: a card without one (it cannot answer a challenge).
  TcpRelayCard(SharedModel& model, std::string device_id, RelayCardTiming timing = {},
               std::string secret = {});
  ~TcpRelayCard() { Stop(); }
  TcpRelayCard(const TcpRelayCard&) = delete;
  TcpRelayCard& operator=(const TcpRelayCard&) = delete;

  // Makes the first connection and sends the registration; 1, or 0 when the
  // server cannot be reached (nothing keeps running then).
  int Start(uint32_t address, uint16_t port) { return Start({RelayNode{address, port}}); }
  // The same with several nodes of one fleet: the card connects to the
  // first that takes it, trying them in order, and when its connection ends
  // it tries that node again first and then the others, so a node that goes
  // leaves its cards to the next.
  int Start(std::vector<RelayNode> nodes);
  // The node of the current (or last) connection, as an index of the list.
  size_t node() const { return node_; }
  void Stop();
  // Registrations sent so far (the first one and every reconnection).
  int registrations() const { return registrations_; }
  bool connected() const { return connected_; }

 private:
  bool Connect();
  void Run();
  // Answers forwarded packets until the connection ends or stop is set.
  void Serve();

  SharedModel& model_;
  const std::string device_id_;
  const RelayCardTiming timing_;
  const std::string secret_;
  std::vector<RelayNode> nodes_;
  std::atomic<size_t> node_{0};
  platform::TcpSocket socket_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> connected_{false};
  std::atomic<int> registrations_{0};
  std::thread thread_;
};

}  // namespace tarvo::sim
