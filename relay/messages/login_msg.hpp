// Login request (0x0001) and its answer (0x0F01).
#pragma once

#include "relay/messages/relay_msg.hpp"
#include "relay/messages/user_record.hpp"

namespace zv {

class CLoginMsg : public CRelayMsg {
 public:
  CLoginMsg() : CRelayMsg(kLoginMsgType) {}
  int Decode(const uint8_t* body, int length) override;
  void Encode(uint8_t* out) const override;
  int GetBodySize() const override;
  int Check() const override { return 1; }

  const std::string& GetUserName() const { return user_name_; }
  void SetUserName(const std::string& v) { user_name_ = v; }
  const std::string& GetPassword() const { return password_; }
  void SetPassword(const std::string& v) { password_ = v; }

 private:
  std::string user_name_;
  std::string password_;
};

// Login results.
inline constexpr uint8_t kLoginOk = 1;
inline constexpr uint8_t kLoginNoSuchUser = 2;
inline constexpr uint8_t kLoginAlreadyOnline = 3;
inline constexpr uint8_t kLoginWrongPassword = 4;

class CLoginAckMsg : public CRelayMsg {
 public:
  CLoginAckMsg() : CRelayMsg(kLoginAckMsgType) {}
  void Process(CRelayMsg& request, CUserRecord& connectionUser) override;
  // The user record travels (as a 32-bit size and its body) only with result 1.
  int Decode(const uint8_t* body, int length) override;
  void Encode(uint8_t* out) const override;
  int GetBodySize() const override;

  uint8_t GetResult() const { return result_; }
  void SetResult(uint8_t v) { result_ = v; }
  CUserRecord& GetUser() { return user_; }
  const CUserRecord& GetUser() const { return user_; }

 private:
  uint8_t result_ = 0;
  CUserRecord user_;
};

}  // namespace zv
