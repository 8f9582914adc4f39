// Base of the fourteen relay messages, their type codes and the factory.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace zv {

class CUserRecord;

// Requests 0x0001-0x0007; the answer to request N is 0x0F00 + N.
inline constexpr uint16_t kLoginMsgType = 0x0001;
inline constexpr uint16_t kHeartbeatMsgType = 0x0002;
inline constexpr uint16_t kQueryMsgType = 0x0003;
inline constexpr uint16_t kRecordOpMsgType = 0x0004;
inline constexpr uint16_t kCommPacketMsgType = 0x0005;
inline constexpr uint16_t kLockCardMsgType = 0x0006;
inline constexpr uint16_t kCheckNameMsgType = 0x0007;
inline constexpr uint16_t kAnswerTypeBase = 0x0F00;
inline constexpr uint16_t kLoginAckMsgType = 0x0F01;
inline constexpr uint16_t kHeartbeatAckMsgType = 0x0F02;
inline constexpr uint16_t kQueryAckMsgType = 0x0F03;
inline constexpr uint16_t kRecordOpAckMsgType = 0x0F04;
inline constexpr uint16_t kCommPacketAckMsgType = 0x0F05;
inline constexpr uint16_t kLockCardAckMsgType = 0x0F06;
inline constexpr uint16_t kCheckNameAckMsgType = 0x0F07;

class CRelayMsg {
 public:
  explicit CRelayMsg(uint16_t type) : type_(type) {}
  virtual ~CRelayMsg() = default;
  CRelayMsg(const CRelayMsg&) = delete;
  CRelayMsg& operator=(const CRelayMsg&) = delete;

  // Server side: fills this answer from `request` for the connection's user.
  // Does nothing here; the answer classes override it.
  virtual void Process(CRelayMsg& request, CUserRecord& connectionUser);
  // Reads a body; non-zero when accepted. Never reads outside the body; a
  // negative length is rejected.
  virtual int Decode(const uint8_t* body, int length) = 0;
  // Writes the body at `out` (GetBodySize() zero-filled bytes); never more.
  virtual void Encode(uint8_t* out) const = 0;
  virtual int GetBodySize() const = 0;
  // Short text of the request's fields for log lines; empty by default.
  virtual std::string Describe() const;
  // Whether the request may be processed; 0 by default.
  virtual int Check() const;

  uint16_t GetType() const { return type_; }

 private:
  uint16_t type_;
};

// A default-initialised message of the class for `type`, or none for a code
// outside the table.
std::unique_ptr<CRelayMsg> CreateRelayMsg(uint16_t type);

}  // namespace zv
