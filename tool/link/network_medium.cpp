// "NetWork": bare packets behind the network header on a TCP connection
// straight to the controller.
#include "platform/clock.hpp"
#include "platform/socket.hpp"
#include "tool/codec/packet.hpp"
#include "tool/link/connection_manager.hpp"
#include "tool/link/media.hpp"

namespace tarvo {
namespace {

class NetworkMedium final : public Medium {
 public:
  explicit NetworkMedium(ConnectionManager& link) : link_(link) {}

  int Open(uint8_t, uint8_t* effective_id) override {
    *effective_id = kAnyControllerId;
    const LinkSettings& s = link_.settings;
    int r = link_.tcp.Connect(s.controller_address, s.controller_port, s.id_code);
    if (r != 1) {
      link_.NoteProblem("link-failed", "cannot connect to the controller at " +
                                           platform::FormatIpv4(s.controller_address) + ":" +
                                           std::to_string(s.controller_port) + ": " +
                                           platform::SocketErrorText(link_.tcp.last_error()));
      return r;
    }
    platform::SleepMs(link_.tcp.timing.pause_after_connect_ms);
    return r;
  }

  void Close() override { link_.tcp.Close(); }

  int SendPacket(const uint8_t* packet, size_t length) override {
    return link_.tcp.Send(packet, length);
  }

  size_t ReceivePacket(uint8_t* destination, size_t capacity) override {
    return link_.tcp.Receive(destination, capacity);
  }

 private:
  ConnectionManager& link_;
};

}  // namespace

std::unique_ptr<Medium> MakeNetworkMedium(ConnectionManager& link) {
  return std::make_unique<NetworkMedium>(link);
}

}  // namespace tarvo
