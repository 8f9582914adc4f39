#include "relay/messages/heartbeat_msg.hpp"

namespace zv {

void CHeartbeatMsg::Encode(uint8_t* out) const {
  out[0] = alive_;
}

int CHeartbeatMsg::Decode(const uint8_t* body, int length) {
  if (length < 1) return 0;
  alive_ = body[0];
  return 1;
}

}  // namespace zv
