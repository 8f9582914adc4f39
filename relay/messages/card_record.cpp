#include "relay/messages/card_record.hpp"

#include "relay/messages/counted_string.hpp"
#include "relay/messages/ole_date.hpp"
#include "relay/messages/record_columns.hpp"

namespace zv {

CCardRecord::CCardRecord() : CRecord(kCardKind), reg_time_(OleDateNow()) {}

// Body: counted device ID, counted organization, OnLine, RegTime (9 fixed
// bytes around the texts).
int CCardRecord::GetBodySize() const {
  return static_cast<int>(CountedSize(device_id_) + CountedSize(GetOrganizationName()) + 1 +
                          kDateWireSize);
}

void CCardRecord::Encode(uint8_t* out) const {
  size_t pos = PutCounted(out, device_id_);
  pos += PutCounted(out + pos, GetOrganizationName());
  out[pos++] = online_;
  PutDate6(out + pos, reg_time_);
}

int CCardRecord::Decode(const uint8_t* body, int length) {
  if (length <= 8) return 0;
  const size_t size = static_cast<size_t>(length);
  const size_t l1 = body[0];
  if (size < l1 + 9) return 0;
  size_t pos = 0;
  TakeCounted(body, size, pos, device_id_, &pos);
  const size_t l2 = body[pos];
  if (size < l1 + l2 + 9) return 0;
  std::string organization;
  TakeCounted(body, size, pos, organization, &pos);
  SetOrganizationName(organization);
  online_ = body[pos++];
  reg_time_ = GetDate6(body + pos);
  return 1;
}

CSqlStatement CCardRecord::GetSelectSql() const {
  return KeyStatement("Select *", RecordTableName(GetKind()), "DeviceID", GetKey());
}

CSqlStatement CCardRecord::GetDeleteSql() const {
  return KeyStatement("Delete", RecordTableName(GetKind()), "DeviceID", GetKey());
}

void CCardRecord::ReadFrom(CRecordset& rs) {
  rs.GetText("DeviceID", device_id_);
  std::string organization = GetOrganizationName();
  if (rs.GetText("OrganizationName", organization)) SetOrganizationName(organization);
  ReadByteColumn(rs, "OnLine", online_);
  rs.GetDate("RegTime", reg_time_);
}

void CCardRecord::WriteTo(CRecordset& rs) const {
  WriteRowReporting(rs, [&] {
    rs.SetText("DeviceID", device_id_);
    rs.SetText("OrganizationName", GetOrganizationName());
    rs.SetByte("OnLine", online_);
    rs.SetDate("RegTime", reg_time_);
  });
}

}  // namespace zv
