// The server side of the answer messages in a build of the client alone
// (ZvServerAPI.dll): that library carries no account database and no
// connection registry, so it serves no requests, and an answer's Process
// leaves the answer as it was made, as the base class does. The client
// never calls Process; a relay server program links the server domain,
// whose files define these instead.
#include "relay/messages/relay_messages.hpp"

namespace zv {

void CLoginAckMsg::Process(CRelayMsg&, CUserRecord&) {}
void CQueryAckMsg::Process(CRelayMsg&, CUserRecord&) {}
void CRecordOpAckMsg::Process(CRelayMsg&, CUserRecord&) {}
void CCommPacketAckMsg::Process(CRelayMsg&, CUserRecord&) {}
void CLockCardAckMsg::Process(CRelayMsg&, CUserRecord&) {}
void CCheckNameAckMsg::Process(CRelayMsg&, CUserRecord&) {}

}  // namespace zv
