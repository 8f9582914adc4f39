#include "relay/messages/record_op_msg.hpp"

#include "common/wire.hpp"
#include "relay/messages/counted_string.hpp"

namespace zv {

// Body: operation, then the record's envelope. Without a record the single
// byte stays zero.
int CRecordOpMsg::GetBodySize() const {
  return 1 + (record_ ? EnvelopeSize(*record_) : 0);
}

void CRecordOpMsg::Encode(uint8_t* out) const {
  if (!record_) return;
  out[0] = operation_;
  PutEnvelope(out + 1, *record_);
}

int CRecordOpMsg::Decode(const uint8_t* body, int length) {
  if (length <= 5) return 0;
  record_.reset();
  operation_ = body[0];
  record_ = CreateRecord(body[1]);
  const int64_t n = static_cast<int32_t>(tarvo::wire::GetLe32(body + 2));
  if (!record_ || n <= 0 || length < n + 6) return 0;
  return record_->Decode(body + 6, static_cast<int>(n)) ? 1 : 0;
}

std::string CRecordOpMsg::Describe() const {
  const int kind = record_ ? record_->GetKind() : 0;
  const std::string key = record_ ? record_->GetKey() : std::string();
  return std::to_string(operation_) + "," + std::to_string(kind) + "," + key + ",";
}

int CRecordOpMsg::Check() const {
  if (!record_) return 0;
  // Log entries are never deleted by request.
  if (operation_ == kRecordDelete && record_->GetKind() == kLogKind) return 0;
  return 1;
}

// Body: operation, kind, counted key, result.
int CRecordOpAckMsg::GetBodySize() const {
  return static_cast<int>(CountedSize(key_) + 3);
}

void CRecordOpAckMsg::Encode(uint8_t* out) const {
  out[0] = operation_;
  out[1] = kind_;
  const size_t pos = 2 + PutCounted(out + 2, key_);
  out[pos] = result_;
}

int CRecordOpAckMsg::Decode(const uint8_t* body, int length) {
  if (length <= 3) return 0;
  const size_t size = static_cast<size_t>(length);
  operation_ = body[0];
  kind_ = body[1];
  const size_t l = body[2];
  if (size < l + 4) return 0;
  size_t pos = 2;
  TakeCounted(body, size, pos, key_, &pos);
  result_ = body[pos];
  return 1;
}

}  // namespace zv
