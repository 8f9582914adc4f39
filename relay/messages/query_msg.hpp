// Record query (0x0003) and its answer (0x0F03) carrying a record list.
#pragma once

#include <memory>

#include "relay/messages/record_list.hpp"
#include "relay/messages/relay_msg.hpp"

namespace zv {

class CQueryMsg : public CRelayMsg {
 public:
  CQueryMsg() : CRelayMsg(kQueryMsgType) {}
  // The filter travels only when it is not empty.
  int Decode(const uint8_t* body, int length) override;
  void Encode(uint8_t* out) const override;
  int GetBodySize() const override;
  std::string Describe() const override;  // "kind,"

  // Record kind (table number) asked for.
  uint8_t GetKind() const { return kind_; }
  void SetKind(uint8_t v) { kind_ = v; }
  const std::string& GetFilter() const { return filter_; }
  void SetFilter(const std::string& v) { filter_ = v; }

 private:
  uint8_t kind_ = 0;
  std::string filter_;
};

// Query statuses.
inline constexpr uint8_t kQueryOk = 0;
inline constexpr uint8_t kQueryRefused = 1;
inline constexpr uint8_t kQueryTableNotAllowed = 2;

class CQueryAckMsg : public CRelayMsg {
 public:
  CQueryAckMsg() : CRelayMsg(kQueryAckMsgType) {}
  void Process(CRelayMsg& request, CUserRecord& connectionUser) override;
  // Kind and list travel only with status 0.
  int Decode(const uint8_t* body, int length) override;
  void Encode(uint8_t* out) const override;
  int GetBodySize() const override;

  uint8_t GetStatus() const { return status_; }
  void SetStatus(uint8_t v) { status_ = v; }
  uint8_t GetKind() const { return kind_; }
  void SetKind(uint8_t v) { kind_ = v; }
  // The list, or none.
  CRecordList* GetRecords() const { return records_.get(); }
  // Replaces (and destroys) the list held so far.
  void SetRecords(std::unique_ptr<CRecordList> records) { records_ = std::move(records); }

 private:
  uint8_t status_ = kQueryRefused;
  uint8_t kind_ = 0;
  std::unique_ptr<CRecordList> records_;
};

}  // namespace zv
