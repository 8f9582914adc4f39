#include "relay/messages/record_list.hpp"

#include "common/wire.hpp"

namespace zv {

int CRecordList::Decode(const uint8_t* data, int length) {
  if (length < 4) return 0;
  const size_t size = static_cast<size_t>(length);
  // The count is taken as unsigned: a count larger than the records present
  // fails when the data runs out instead of passing as an empty list.
  const uint32_t count = tarvo::wire::GetLe32(data);
  size_t pos = 4;
  for (uint32_t i = 0; i < count; ++i) {
    if (size - pos < static_cast<size_t>(kEnvelopeHeaderSize)) return 0;
    const int kind = data[pos];
    const int32_t n = static_cast<int32_t>(tarvo::wire::GetLe32(data + pos + 1));
    // A negative size would move the position backwards; refuse it.
    if (n < 0) return 0;
    const size_t start = pos + kEnvelopeHeaderSize;
    if (size - start < static_cast<size_t>(n)) return 0;
    std::unique_ptr<CRecord> record = CreateRecord(kind);
    if (!record || !record->Decode(data + start, n)) return 0;
    records_.push_back(std::move(record));
    pos = start + static_cast<size_t>(n);
  }
  return 1;
}

int CRecordList::GetBodySize() const {
  int size = 4;
  for (const auto& record : records_) size += record->GetBodySize() + kEnvelopeHeaderSize;
  return size;
}

CRecord* CRecordList::Find(int kind, const std::string& key) const {
  for (const auto& record : records_) {
    if (record->GetKind() == kind && record->GetKey() == key) return record.get();
  }
  return nullptr;
}

void CRecordList::Append(std::unique_ptr<CRecord> record) {
  if (record) records_.push_back(std::move(record));
}

}  // namespace zv
