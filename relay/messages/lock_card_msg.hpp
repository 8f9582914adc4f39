// Lock or unlock a card (0x0006) and its answer (0x0F06).
#pragma once

#include "relay/messages/relay_msg.hpp"

namespace zv {

class CLockCardMsg : public CRelayMsg {
 public:
  CLockCardMsg() : CRelayMsg(kLockCardMsgType) {}
  int Decode(const uint8_t* body, int length) override;
  void Encode(uint8_t* out) const override;
  int GetBodySize() const override;
  std::string Describe() const override;  // "deviceID,lock,"

  const std::string& GetDeviceID() const { return device_id_; }
  void SetDeviceID(const std::string& v) { device_id_ = v; }
  // 1 lock, 0 unlock.
  uint8_t GetLock() const { return lock_; }
  void SetLock(uint8_t v) { lock_ = v; }

 private:
  std::string device_id_;
  uint8_t lock_ = 0;
};

class CLockCardAckMsg : public CRelayMsg {
 public:
  CLockCardAckMsg() : CRelayMsg(kLockCardAckMsgType) {}
  void Process(CRelayMsg& request, CUserRecord& connectionUser) override;
  int Decode(const uint8_t* body, int length) override;
  void Encode(uint8_t* out) const override;
  int GetBodySize() const override { return 1; }

  // Non-zero: granted.
  uint8_t GetResult() const { return result_; }
  void SetResult(uint8_t v) { result_ = v; }

 private:
  uint8_t result_ = 0;
};

}  // namespace zv
