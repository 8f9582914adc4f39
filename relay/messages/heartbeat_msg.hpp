// Heartbeat (0x0002) and its answer (0x0F02), which has an empty body and so
// can never be framed or accepted.
#pragma once

#include "relay/messages/relay_msg.hpp"

namespace zv {

class CHeartbeatMsg : public CRelayMsg {
 public:
  CHeartbeatMsg() : CRelayMsg(kHeartbeatMsgType) {}
  int Decode(const uint8_t* body, int length) override;
  void Encode(uint8_t* out) const override;
  int GetBodySize() const override { return 1; }

  uint8_t GetAlive() const { return alive_; }
  void SetAlive(uint8_t v) { alive_ = v; }

 private:
  uint8_t alive_ = 0;
};

class CHeartbeatAckMsg : public CRelayMsg {
 public:
  CHeartbeatAckMsg() : CRelayMsg(kHeartbeatAckMsgType) {}
  int Decode(const uint8_t* body, int length) override { return 0; }
  void Encode(uint8_t* out) const override {}
  int GetBodySize() const override { return 0; }
};

}  // namespace zv
