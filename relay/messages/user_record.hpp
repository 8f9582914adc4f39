// User record (kind 2, table [User]): login name and password, user type,
// organization, online flag, registration and last login times.
#pragma once

#include "relay/messages/record.hpp"

namespace zv {

class CUserRecord : public CRecord {
 public:
  // RegTime starts as the local time of construction, LastLoginTime as 0.
  CUserRecord();

  std::string GetKey() const override { return name_; }
  CSqlStatement GetSelectSql() const override;
  CSqlStatement GetDeleteSql() const override;
  void ReadFrom(CRecordset& rs) override;
  void WriteTo(CRecordset& rs) const override;

  int Decode(const uint8_t* body, int length) override;
  int GetBodySize() const override;
  void Encode(uint8_t* out) const override;

  const std::string& GetName() const { return name_; }
  void SetName(const std::string& v) { name_ = v; }
  const std::string& GetPassword() const { return password_; }
  void SetPassword(const std::string& v) { password_ = v; }
  // 1 all organizations; 2 and 3 own organization only.
  uint8_t GetType() const { return type_; }
  void SetType(uint8_t v) { type_ = v; }
  uint8_t GetOnLine() const { return online_; }
  void SetOnLine(uint8_t v) { online_ = v; }
  double GetRegTime() const { return reg_time_; }
  void SetRegTime(double v) { reg_time_ = v; }
  // 0 means the user never logged in.
  double GetLastLoginTime() const { return last_login_time_; }
  void SetLastLoginTime(double v) { last_login_time_ = v; }

 private:
  std::string name_;
  std::string password_;
  uint8_t type_ = 0;
  uint8_t online_ = 0;
  double reg_time_;
  double last_login_time_ = 0;
};

}  // namespace zv
