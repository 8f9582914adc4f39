// Record operation (0x0004: add, modify or delete one record) and its answer
// (0x0F04).
#pragma once

#include <memory>

#include "relay/messages/record.hpp"
#include "relay/messages/relay_msg.hpp"

namespace zv {

inline constexpr uint8_t kRecordAdd = 1;
inline constexpr uint8_t kRecordModify = 2;
inline constexpr uint8_t kRecordDelete = 3;

class CRecordOpMsg : public CRelayMsg {
 public:
  CRecordOpMsg() : CRelayMsg(kRecordOpMsgType) {}
  // Body: operation, then the record's envelope.
  int Decode(const uint8_t* body, int length) override;
  void Encode(uint8_t* out) const override;
  int GetBodySize() const override;
  std::string Describe() const override;  // "operation,kind,key,"
  // 0 without a record and for deleting a log record, else 1.
  int Check() const override;

  uint8_t GetOperation() const { return operation_; }
  void SetOperation(uint8_t v) { operation_ = v; }
  // The record, or none.
  CRecord* GetRecord() const { return record_.get(); }
  // Replaces (and destroys) the record held so far.
  void SetRecord(std::unique_ptr<CRecord> record) { record_ = std::move(record); }

 private:
  uint8_t operation_ = 0;
  std::unique_ptr<CRecord> record_;
};

class CRecordOpAckMsg : public CRelayMsg {
 public:
  CRecordOpAckMsg() : CRelayMsg(kRecordOpAckMsgType) {}
  void Process(CRelayMsg& request, CUserRecord& connectionUser) override;
  int Decode(const uint8_t* body, int length) override;
  void Encode(uint8_t* out) const override;
  int GetBodySize() const override;

  uint8_t GetOperation() const { return operation_; }
  void SetOperation(uint8_t v) { operation_ = v; }
  uint8_t GetKind() const { return kind_; }
  void SetKind(uint8_t v) { kind_ = v; }
  const std::string& GetKey() const { return key_; }
  void SetKey(const std::string& v) { key_ = v; }
  // 0 done, 1 not done.
  uint8_t GetResult() const { return result_; }
  void SetResult(uint8_t v) { result_ = v; }

 private:
  uint8_t operation_ = 0;
  uint8_t kind_ = 0;
  std::string key_;
  uint8_t result_ = 1;
};

}  // namespace zv
