// Packets to cards and card locks: the registry decides, the answer carries
// its result.
#include "relay/messages/comm_packet_msg.hpp"
#include "relay/messages/lock_card_msg.hpp"
#include "relay/messages/user_record.hpp"
#include "relay/server/connection_registry.hpp"

namespace zv {

void CCommPacketAckMsg::Process(CRelayMsg& request, CUserRecord& connectionUser) {
  SetStatus(kForwardSendFailed);
  if (request.GetType() != kCommPacketMsgType) return;
  const auto& packet = static_cast<const CCommPacketMsg&>(request);
  const std::vector<uint8_t>& data = packet.GetData();
  if (data.empty()) return;
  SetStatus(CConnectionRegistry::Instance().ForwardToCard(
      connectionUser, packet.GetRoute(), packet.GetDeviceID(), data.data(), data.size()));
}

void CLockCardAckMsg::Process(CRelayMsg& request, CUserRecord& connectionUser) {
  if (request.GetType() != kLockCardMsgType) return;
  const auto& lock = static_cast<const CLockCardMsg&>(request);
  SetResult(
      CConnectionRegistry::Instance().LockCard(connectionUser, lock.GetDeviceID(), lock.GetLock()));
}

}  // namespace zv
