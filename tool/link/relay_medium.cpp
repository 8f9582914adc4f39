// "Zv Server" (route 1) and "Zv GPRS" (route 2): packets in relay envelopes
// through the relay client library. One login and one card lock per
// operation.
#include <array>
#include <vector>

#include "tool/link/connection_manager.hpp"
#include "tool/link/media.hpp"
#include "tool/protocol/packet.hpp"
#include "tool/protocol/relay_envelope.hpp"

namespace tarvo {
namespace {

class RelayMedium final : public Medium {
 public:
  RelayMedium(ConnectionManager& link, int route) : link_(link), route_(route) {}

  int Open(uint8_t, uint8_t* effective_id) override {
    *effective_id = kAnyControllerId;
    const LinkSettings& s = link_.settings;
    const RelayApi& api = link_.relay;
    CommType medium = route_ == kRelayRouteGprs ? CommType::kZvGprs : CommType::kZvServer;
    if (!IsValidDeviceId(medium, s.device_id)) return 0;
    if (!api.login || api.login(s.relay_address.c_str(), s.relay_port, s.user_name.c_str(),
                                s.password.c_str()) != 1) {
      return 0;
    }
    if (api.lock_card && api.lock_card(s.device_id.c_str()) != 0) return 1;
    if (api.logout) api.logout();
    return 0;
  }

  void Close() override {
    const RelayApi& api = link_.relay;
    if (api.unlock_card) api.unlock_card(link_.settings.device_id.c_str());
    if (api.logout) api.logout();
  }

  int SendPacket(const uint8_t* packet, size_t length) override {
    const std::string& id = link_.settings.device_id;
    bool ok = route_ == kRelayRouteGprs ? EncodeRouteTwoRequest(id, packet, length, &envelope_)
                                        : EncodeRouteOneRequest(packet, length, &envelope_);
    if (!ok || !link_.relay.send_comm_packet) return 0;
    link_.relay.send_comm_packet(id.c_str(), route_, envelope_.data(),
                                 static_cast<int>(envelope_.size()));
    return 1;
  }

  size_t ReceivePacket(uint8_t* destination, size_t capacity) override {
    if (!link_.relay.recv_comm_packet) return 0;
    receive_.fill(0);
    int n = link_.relay.recv_comm_packet(receive_.data(), kRelayReceiveBufferSize);
    // A count beyond the buffer cannot be trusted.
    if (n < static_cast<int>(kRelayMinimumReply) || n > kRelayReceiveBufferSize) return 0;
    const std::string& id = link_.settings.device_id;
    return route_ == kRelayRouteGprs ? DecodeRouteTwoReply(receive_.data(), static_cast<size_t>(n),
                                                           id, destination, capacity)
                                     : DecodeRouteOneReply(receive_.data(), static_cast<size_t>(n),
                                                           id, destination, capacity);
  }

 private:
  ConnectionManager& link_;
  int route_;
  std::vector<uint8_t> envelope_;
  std::array<uint8_t, kRelayReceiveBufferSize> receive_{};
};

}  // namespace

std::unique_ptr<Medium> MakeRelayMedium(ConnectionManager& link, int route) {
  return std::make_unique<RelayMedium>(link, route);
}

}  // namespace tarvo
