#include "relay/messages/record.hpp"

#include "common/wire.hpp"
#include "relay/messages/card_record.hpp"
#include "relay/messages/log_record.hpp"
#include "relay/messages/organization_record.hpp"
#include "relay/messages/user_record.hpp"

namespace zv {

std::string RecordTableName(int kind) {
  switch (kind) {
    case kOrganizationKind:
      return "[Organization]";
    case kUserKind:
      return "[User]";
    case kCardKind:
      return "[Card]";
    case kLogKind:
      return "[Log]";
    default:
      return std::string();
  }
}

int EnvelopeSize(const CRecord& record) {
  const int n = record.GetBodySize();
  return n > 0 ? n + kEnvelopeHeaderSize : 0;
}

int PutEnvelope(uint8_t* out, const CRecord& record) {
  const int n = record.GetBodySize();
  if (n <= 0) return 0;
  out[0] = static_cast<uint8_t>(record.GetKind());
  tarvo::wire::PutLe32(out + 1, static_cast<uint32_t>(n));
  record.Encode(out + kEnvelopeHeaderSize);
  return n + kEnvelopeHeaderSize;
}

const uint8_t* CRecord::MakeEnvelope(int& length) {
  const int n = GetBodySize();
  envelope_.assign(static_cast<size_t>(n > 0 ? n : 0) + kEnvelopeHeaderSize + 1, 0);
  length = PutEnvelope(envelope_.data(), *this);
  return envelope_.data();
}

int CRecord::CopyTo(CRecord& other) const {
  if (&other == this || other.GetKind() != kind_) return 0;
  const int n = GetBodySize();
  if (n <= 0) return 0;
  std::vector<uint8_t> body(static_cast<size_t>(n) + 1, 0);
  Encode(body.data());
  return other.Decode(body.data(), n);
}

std::unique_ptr<CRecord> CreateRecord(int kind) {
  switch (kind) {
    case kOrganizationKind:
      return std::make_unique<COrganizationRecord>();
    case kUserKind:
      return std::make_unique<CUserRecord>();
    case kCardKind:
      return std::make_unique<CCardRecord>();
    case kLogKind:
      return std::make_unique<CLogRecord>();
    default:
      return nullptr;
  }
}

}  // namespace zv
