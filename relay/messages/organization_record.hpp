// Organization record (kind 1, table [Organization]): name, password and the
// card and user quotas.
#pragma once

#include "relay/messages/record.hpp"

namespace zv {

class COrganizationRecord : public CRecord {
 public:
  COrganizationRecord() : CRecord(kOrganizationKind) {}

  std::string GetKey() const override { return GetOrganizationName(); }
  CSqlStatement GetSelectSql() const override;
  CSqlStatement GetDeleteSql() const override;
  void ReadFrom(CRecordset& rs) override;
  void WriteTo(CRecordset& rs) const override;

  int Decode(const uint8_t* body, int length) override;
  int GetBodySize() const override;
  void Encode(uint8_t* out) const override;

  const std::string& GetPassword() const { return password_; }
  void SetPassword(const std::string& v) { password_ = v; }
  int32_t GetCardNum() const { return card_num_; }
  void SetCardNum(int32_t v) { card_num_ = v; }
  int32_t GetMaxCardNum() const { return max_card_num_; }
  void SetMaxCardNum(int32_t v) { max_card_num_ = v; }
  int32_t GetUserNum() const { return user_num_; }
  void SetUserNum(int32_t v) { user_num_ = v; }
  int32_t GetMaxUserNum() const { return max_user_num_; }
  void SetMaxUserNum(int32_t v) { max_user_num_ = v; }

 private:
  std::string password_;
  int32_t card_num_ = 0;
  int32_t max_card_num_ = 100;
  int32_t user_num_ = 0;
  int32_t max_user_num_ = 10;
};

}  // namespace zv
