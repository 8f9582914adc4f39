#include "relay/daemon/card_delivery.hpp"

#include <cstring>

#include "relay/messages/comm_packet_msg.hpp"
#include "relay/messages/relay_packet.hpp"
#include "relay/server/connection_registry.hpp"

namespace zv::daemon {

void BuildCardPacketFrame(const uint8_t* data, size_t length, std::vector<uint8_t>& frame) {
  // The body is the status byte and the card's bytes, as CCommPacketAckMsg
  // encodes it; built in place because every card answer passes here.
  frame.resize(static_cast<size_t>(kRelayHeaderSize) + 1 + length);
  PutRelayHeader(frame.data(), kCommPacketAckMsgType, static_cast<int32_t>(1 + length));
  frame[kRelayHeaderSize] = kCardPacketStatus;
  std::memcpy(frame.data() + kRelayHeaderSize + 1, data, length);
}

int DeliverToLockOwner(const std::string& owner, const uint8_t* data, size_t length) {
  const int here = DeliverToUserHere(owner, data, length);
  if (here != -1 || owner.empty()) return here;
  auto remote = CConnectionRegistry::Instance().RemotePeers();
  return remote ? remote->DeliverToUser(owner, data, length) : -1;
}

int DeliverToUserHere(const std::string& owner, const uint8_t* data, size_t length) {
  // A card frame is at most 65,537 bytes, far below the largest relay body.
  if (owner.empty() || length == 0 || length >= static_cast<size_t>(kMaxRelayBody)) return -1;
  auto users = CConnectionRegistry::Instance().UserTable();
  if (!users) return -1;
  thread_local std::vector<uint8_t> frame;
  BuildCardPacketFrame(data, length, frame);
  return users->DeliverToId(owner, frame.data(), frame.size());
}

}  // namespace zv::daemon
