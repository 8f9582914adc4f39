// Log record (kind 4, table [Log]): one message log entry. ID is numbered by
// the database and time is set by it; the record never writes either.
#pragma once

#include "relay/messages/record.hpp"

namespace zv {

class CLogRecord : public CRecord {
 public:
  // time starts as the local time of construction.
  CLogRecord();

  // ID as a decimal number, or empty text while ID is 0.
  std::string GetKey() const override;
  CSqlStatement GetSelectSql() const override;
  CSqlStatement GetDeleteSql() const override;
  void ReadFrom(CRecordset& rs) override;
  void WriteTo(CRecordset& rs) const override;

  int Decode(const uint8_t* body, int length) override;
  int GetBodySize() const override;
  void Encode(uint8_t* out) const override;

  int32_t GetID() const { return id_; }
  void SetID(int32_t v) { id_ = v; }
  double GetTime() const { return time_; }
  void SetTime(double v) { time_ = v; }
  uint8_t GetNodeType() const { return node_type_; }
  void SetNodeType(uint8_t v) { node_type_ = v; }
  const std::string& GetNodeID() const { return node_id_; }
  void SetNodeID(const std::string& v) { node_id_ = v; }
  uint16_t GetMsgType() const { return msg_type_; }
  void SetMsgType(uint16_t v) { msg_type_ = v; }
  const std::string& GetMsgDescribe() const { return msg_describe_; }
  void SetMsgDescribe(const std::string& v) { msg_describe_ = v; }

 private:
  int32_t id_ = 0;
  double time_;
  uint8_t node_type_ = 0;
  std::string node_id_;
  uint16_t msg_type_ = 0;
  std::string msg_describe_;
};

}  // namespace zv
