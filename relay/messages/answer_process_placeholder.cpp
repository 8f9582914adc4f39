// Placeholder server handling of the six answers: each leaves the answer with
// its initial values. The server domain replaces this file with the real
// handlers.
#include "relay/messages/relay_messages.hpp"

namespace zv {

void CLoginAckMsg::Process(CRelayMsg& request, CUserRecord& connectionUser) {}
void CQueryAckMsg::Process(CRelayMsg& request, CUserRecord& connectionUser) {}
void CRecordOpAckMsg::Process(CRelayMsg& request, CUserRecord& connectionUser) {}
void CCommPacketAckMsg::Process(CRelayMsg& request, CUserRecord& connectionUser) {}
void CLockCardAckMsg::Process(CRelayMsg& request, CUserRecord& connectionUser) {}
void CCheckNameAckMsg::Process(CRelayMsg& request, CUserRecord& connectionUser) {}

}  // namespace zv
