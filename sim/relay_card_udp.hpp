// The simulated controller as a UDP ("Zv GPRS") card of zvrelayd: registers
// its DeviceID digits with a datagram to the card port and answers every
// forwarded packet that comes from the server. UDP has no connection to
// lose, so the registration is simply sent again at a steady pace: a server
// that restarted, or forgot the card, learns its address again.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

#include "platform/socket.hpp"
#include "sim/shared_model.hpp"

namespace tarvo::sim {

class UdpRelayCard {
 public:
  static constexpr int kReRegisterMs = 10000;

  UdpRelayCard(SharedModel& model, std::string device_digits, int reregister_ms = kReRegisterMs);
  ~UdpRelayCard() { Stop(); }
  UdpRelayCard(const UdpRelayCard&) = delete;
  UdpRelayCard& operator=(const UdpRelayCard&) = delete;

  // Opens a socket on a free port and sends the first registration. 1, or 0
  // (bad DeviceID, no socket, registration not sent).
  int Start(uint32_t address, uint16_t port);
  void Stop();
  int registrations() const { return registrations_; }
  uint16_t local_port() const { return socket_.Port(); }

 private:
  bool Register();
  void Run();
  void AnswerDatagram(const uint8_t* datagram, size_t size);

  SharedModel& model_;
  const std::string digits_;
  const int reregister_ms_;
  uint32_t address_ = 0;
  uint16_t port_ = 0;
  platform::UdpSocket socket_;
  std::atomic<bool> stop_{false};
  std::atomic<int> registrations_{0};
  std::thread thread_;
};

}  // namespace tarvo::sim
