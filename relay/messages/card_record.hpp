// Card record (kind 3, table [Card]): device ID, owning organization, online
// flag and registration time.
#pragma once

#include "relay/messages/record.hpp"

namespace zv {

class CCardRecord : public CRecord {
 public:
  // RegTime starts as the local time of construction.
  CCardRecord();

  std::string GetKey() const override { return device_id_; }
  CSqlStatement GetSelectSql() const override;
  CSqlStatement GetDeleteSql() const override;
  void ReadFrom(CRecordset& rs) override;
  void WriteTo(CRecordset& rs) const override;

  int Decode(const uint8_t* body, int length) override;
  int GetBodySize() const override;
  void Encode(uint8_t* out) const override;

  const std::string& GetDeviceID() const { return device_id_; }
  void SetDeviceID(const std::string& v) { device_id_ = v; }
  uint8_t GetOnLine() const { return online_; }
  void SetOnLine(uint8_t v) { online_ = v; }
  double GetRegTime() const { return reg_time_; }
  void SetRegTime(double v) { reg_time_ = v; }

 private:
  std::string device_id_;
  uint8_t online_ = 0;
  double reg_time_;
};

}  // namespace zv
