#include "relay/messages/relay_msg.hpp"

#include "relay/messages/relay_messages.hpp"

namespace zv {

void CRelayMsg::Process(CRelayMsg& request, CUserRecord& connectionUser) {}

std::string CRelayMsg::Describe() const {
  return std::string();
}

int CRelayMsg::Check() const {
  return 0;
}

std::unique_ptr<CRelayMsg> CreateRelayMsg(uint16_t type) {
  switch (type) {
    case kLoginMsgType:
      return std::make_unique<CLoginMsg>();
    case kHeartbeatMsgType:
      return std::make_unique<CHeartbeatMsg>();
    case kQueryMsgType:
      return std::make_unique<CQueryMsg>();
    case kRecordOpMsgType:
      return std::make_unique<CRecordOpMsg>();
    case kCommPacketMsgType:
      return std::make_unique<CCommPacketMsg>();
    case kLockCardMsgType:
      return std::make_unique<CLockCardMsg>();
    case kCheckNameMsgType:
      return std::make_unique<CCheckNameMsg>();
    case kLoginAckMsgType:
      return std::make_unique<CLoginAckMsg>();
    case kHeartbeatAckMsgType:
      return std::make_unique<CHeartbeatAckMsg>();
    case kQueryAckMsgType:
      return std::make_unique<CQueryAckMsg>();
    case kRecordOpAckMsgType:
      return std::make_unique<CRecordOpAckMsg>();
    case kCommPacketAckMsgType:
      return std::make_unique<CCommPacketAckMsg>();
    case kLockCardAckMsgType:
      return std::make_unique<CLockCardAckMsg>();
    case kCheckNameAckMsgType:
      return std::make_unique<CCheckNameAckMsg>();
    default:
      return nullptr;
  }
}

}  // namespace zv
