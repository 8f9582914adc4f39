#include "relay/daemon/card_delivery.hpp"

#include "relay/messages/comm_packet_msg.hpp"
#include "relay/messages/relay_packet.hpp"
#include "relay/server/connection_registry.hpp"

namespace zv::daemon {

int DeliverToLockOwner(const std::string& owner, const uint8_t* data, size_t length) {
  if (owner.empty() || length == 0) return -1;
  auto users = CConnectionRegistry::Instance().UserTable();
  if (!users) return -1;
  auto ack = std::make_unique<CCommPacketAckMsg>();
  ack->SetData(data, static_cast<int>(length));
  CRelayPacket packet;
  packet.SetMessage(std::move(ack));
  int frame_length = 0;
  const uint8_t* frame = packet.Build(frame_length);
  if (!frame) return 0;
  return users->DeliverToId(owner, frame, static_cast<size_t>(frame_length));
}

}  // namespace zv::daemon
