#include "relay/messages/query_msg.hpp"

#include "common/wire.hpp"
#include "relay/messages/counted_string.hpp"

namespace zv {

// Body: kind, then the counted filter when there is one.
int CQueryMsg::GetBodySize() const {
  return filter_.empty() ? 1 : static_cast<int>(CountedSize(filter_) + 1);
}

void CQueryMsg::Encode(uint8_t* out) const {
  out[0] = kind_;
  if (!filter_.empty()) PutCounted(out + 1, filter_);
}

int CQueryMsg::Decode(const uint8_t* body, int length) {
  if (length < 1) return 0;
  const size_t size = static_cast<size_t>(length);
  kind_ = body[0];
  filter_.clear();
  // A filter whose counted length runs past the body is ignored, not an error.
  if (size > 2 && size >= static_cast<size_t>(body[1]) + 2) TakeCounted(body, size, 1, filter_);
  return 1;
}

std::string CQueryMsg::Describe() const {
  return std::to_string(kind_) + ",";
}

// Body: status; with status 0 the kind and the record list (32-bit count, then
// one envelope per record).
int CQueryAckMsg::GetBodySize() const {
  if (status_ != kQueryOk) return 1;
  return 2 + (records_ ? records_->GetBodySize() : 0);
}

void CQueryAckMsg::Encode(uint8_t* out) const {
  out[0] = status_;
  if (status_ != kQueryOk) return;
  out[1] = kind_;
  if (!records_) return;
  uint32_t written = 0;
  size_t pos = 6;
  for (const auto& record : records_->Records()) {
    // Records without a body cannot travel; the count covers only those sent.
    if (EnvelopeSize(*record) <= kEnvelopeHeaderSize) continue;
    pos += static_cast<size_t>(PutEnvelope(out + pos, *record));
    ++written;
  }
  tarvo::wire::PutLe32(out + 2, written);
}

int CQueryAckMsg::Decode(const uint8_t* body, int length) {
  records_.reset();
  if (length < 1) return 0;
  status_ = body[0];
  if (status_ != kQueryOk) return 1;
  if (length <= 5) return 0;
  kind_ = body[1];
  records_ = std::make_unique<CRecordList>();
  return records_->Decode(body + 2, length - 2);
}

}  // namespace zv
