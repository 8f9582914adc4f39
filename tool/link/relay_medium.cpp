// "Zv Server" (route 1) and "Zv GPRS" (route 2): packets in relay envelopes
// through the relay client library. One login and one card lock per
// operation.
#include <array>
#include <vector>

#include "tool/codec/packet.hpp"
#include "tool/codec/relay_envelope.hpp"
#include "tool/link/connection_manager.hpp"
#include "tool/link/media.hpp"

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
    if (!IsValidDeviceId(medium, s.device_id)) {
      link_.NoteProblem("usage",
                        "Device ID " + s.device_id + " is not one a " +
                            (route_ == kRelayRouteGprs ? "Zv GPRS card (6-30 digits)"
                                                       : "Zv Server card (six characters)") +
                            " has");
      return 0;
    }
    int login = api.login ? api.login(s.relay_address.c_str(), s.relay_port, s.user_name.c_str(),
                                      s.password.c_str())
                          : 5;
    if (login != 1) {
      NoteLoginProblem(login);
      return 0;
    }
    if (api.lock_card && api.lock_card(s.device_id.c_str()) != 0) return 1;
    NoteLockProblem();
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
    if (link_.lost || !ok || !link_.relay.send_comm_packet) return 0;
    int status = link_.relay.send_comm_packet(id.c_str(), route_, envelope_.data(),
                                              static_cast<int>(envelope_.size()));
    NoteForwardingProblem(status);
    // The server forwarded nothing and will forward nothing more under this
    // lock: no reply can come, so no later call waits out the library's
    // receive time-out for one.
    if (CardOutOfReach(status)) {
      link_.lost = true;
      return 0;
    }
    return 1;
  }

  size_t ReceivePacket(uint8_t* destination, size_t capacity) override {
    if (link_.lost || !link_.relay.recv_comm_packet) return 0;
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
  std::string Server() const {
    return link_.settings.relay_address + ":" + std::to_string(link_.settings.relay_port);
  }

  void NoteLoginProblem(int result) {
    const std::string& user = link_.settings.user_name;
    switch (result) {
      case 2:
        link_.NoteProblem("login-refused", "the relay server knows no user " + user);
        break;
      case 3:
        link_.NoteProblem("login-refused", "user " + user + " is already logged in");
        break;
      case 4:
        link_.NoteProblem("login-refused", "wrong password for user " + user);
        break;
      case 5:
        link_.NoteProblem("link-failed", "cannot connect to the relay server at " + Server());
        break;
      case -2:
        link_.NoteProblem("link-failed", "no valid login answer from " + Server() +
                                             " (is it the relay server's user port?)");
        break;
      default:
        link_.NoteProblem("login-refused", "the relay server refused the login (result " +
                                               std::to_string(result) + ")");
    }
  }

  // A refused lock: the card's status says whether it is unknown, offline
  // or held by another user.
  void NoteLockProblem() {
    const std::string& id = link_.settings.device_id;
    char status[512] = {};
    int n = link_.relay.query_card_status
                ? link_.relay.query_card_status(id.c_str(), status, sizeof status)
                : -1;
    std::string entries(status);
    if (n == 0) {
      link_.NoteProblem("not-found", "the relay server has no card " + id + " for this user");
    } else if (entries.find(id + "=0;") != std::string::npos) {
      link_.NoteProblem("card-offline", "card " + id + " is offline");
    } else if (entries.find(id + "=1;") != std::string::npos) {
      link_.NoteProblem("card-locked", "card " + id + " is locked by another user");
    } else {
      link_.NoteProblem("card-locked", "the relay server refused to lock card " + id);
    }
  }

  // Forwarding statuses after which the card cannot be reached on this link:
  // 2 not connected (its lock went with it), 3 locked by another user, 4 of
  // another organization, 5 no longer locked for this user. 0 (no status)
  // and 1 (sent) are not.
  static bool CardOutOfReach(int status) { return status >= 2 && status <= 5; }

  void NoteForwardingProblem(int status) {
    const std::string& id = link_.settings.device_id;
    switch (status) {
      case 2:
        link_.NoteProblem("card-offline", "card " + id + " went offline");
        break;
      case 3:
        link_.NoteProblem("card-locked", "card " + id + " is locked by another user");
        break;
      case 4:
        link_.NoteProblem("not-found", "card " + id + " belongs to another organization");
        break;
      case 5:
        link_.NoteProblem("card-locked", "card " + id + " is no longer locked for this user");
        break;
      default:
        break;
    }
  }

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
