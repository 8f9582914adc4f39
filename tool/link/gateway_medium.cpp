// "GPRS Server": stream-framed packets inside gateway messages, through the
// gateway library that the application loaded.
#include "tool/codec/gateway_frame.hpp"
#include "tool/codec/packet.hpp"
#include "tool/link/connection_manager.hpp"
#include "tool/link/media.hpp"

namespace tarvo {
namespace {

constexpr size_t kImeiLength = 15;

class GatewayMedium final : public Medium {
 public:
  explicit GatewayMedium(ConnectionManager& link) : link_(link) {}

  int Open(uint8_t, uint8_t* effective_id) override {
    *effective_id = kAnyControllerId;
    const LinkSettings& s = link_.settings;
    int handle = Gateway().Init(1, 0, s.gateway_address.c_str(), s.gateway_port, 0);
    // A handle above 0 is kept even when the IMEI is refused, so that
    // CloseLink releases the gateway connection.
    link_.gateway_handle = handle > 0 ? handle : 0;
    if (handle <= 0) {
      link_.NoteProblem("link-failed", "the GPRS gateway at " + s.gateway_address + ":" +
                                           std::to_string(s.gateway_port) +
                                           " did not take the connection");
      return 0;
    }
    if (s.imei.size() != kImeiLength) {
      link_.NoteProblem("link-failed", "IMEI " + s.imei + " has " + std::to_string(s.imei.size()) +
                                           " digits; a modem's IMEI has 15");
      return 0;
    }
    return 1;
  }

  void Close() override {
    if (link_.gateway_handle > 0) {
      Gateway().Close(link_.gateway_handle);
      link_.gateway_handle = 0;
    }
  }

  int SendPacket(const uint8_t* packet, size_t length) override {
    if (!BuildGatewayMessage(link_.settings.imei, packet, length, &message_)) return 0;
    if (Gateway().MessageSend(link_.gateway_handle, &message_) <= 0) return 0;
    // The gateway confirms every send with one message of its own.
    message_ = DccMessage{};
    int r = Gateway().MessageReceive(link_.gateway_handle, &message_);
    return r > 0 && message_.type == kDccTypeSendConfirm ? 1 : 0;
  }

  size_t ReceivePacket(uint8_t* destination, size_t capacity) override {
    message_ = DccMessage{};
    if (Gateway().MessageReceive(link_.gateway_handle, &message_) <= 0) return 0;
    return DecodeGatewayMessage(message_, destination, capacity);
  }

 private:
  const GprsGateway& Gateway() const { return link_.gateway ? *link_.gateway : unloaded_; }

  ConnectionManager& link_;
  GprsGateway unloaded_;  // answers every call with its default
  DccMessage message_{};
};

}  // namespace

std::unique_ptr<Medium> MakeGatewayMedium(ConnectionManager& link) {
  return std::make_unique<GatewayMedium>(link);
}

}  // namespace tarvo
