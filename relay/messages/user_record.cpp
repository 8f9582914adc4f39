#include "relay/messages/user_record.hpp"

#include "relay/messages/counted_string.hpp"
#include "relay/messages/ole_date.hpp"
#include "relay/messages/record_columns.hpp"

namespace zv {

CUserRecord::CUserRecord() : CRecord(kUserKind), reg_time_(OleDateNow()) {}

// Body: counted name, counted password, Type, counted organization, OnLine,
// RegTime, LastLoginTime (17 fixed bytes around the texts). The second date
// is always counted; it stays zero while the user never logged in.
int CUserRecord::GetBodySize() const {
  return static_cast<int>(CountedSize(name_) + CountedSize(password_) +
                          CountedSize(GetOrganizationName()) + 2 + 2 * kDateWireSize);
}

void CUserRecord::Encode(uint8_t* out) const {
  size_t pos = PutCounted(out, name_);
  pos += PutCounted(out + pos, password_);
  out[pos++] = type_;
  pos += PutCounted(out + pos, GetOrganizationName());
  out[pos++] = online_;
  PutDate6(out + pos, reg_time_);
  pos += kDateWireSize;
  if (last_login_time_ > 0) PutDate6(out + pos, last_login_time_);
}

int CUserRecord::Decode(const uint8_t* body, int length) {
  if (length <= 17) return 0;
  const size_t size = static_cast<size_t>(length);
  const size_t l1 = body[0];
  if (size < l1 + 17) return 0;
  size_t pos = 0;
  TakeCounted(body, size, pos, name_, &pos);
  const size_t l2 = body[pos];
  if (size < l1 + l2 + 17) return 0;
  TakeCounted(body, size, pos, password_, &pos);
  type_ = body[pos++];
  const size_t l3 = body[pos];
  if (size < l1 + l2 + l3 + 17) return 0;
  std::string organization;
  TakeCounted(body, size, pos, organization, &pos);
  SetOrganizationName(organization);
  online_ = body[pos++];
  reg_time_ = GetDate6(body + pos);
  pos += kDateWireSize;
  if (body[pos] != 0) last_login_time_ = GetDate6(body + pos);
  return 1;
}

CSqlStatement CUserRecord::GetSelectSql() const {
  return KeyStatement("Select *", RecordTableName(GetKind()), "Name", GetKey());
}

CSqlStatement CUserRecord::GetDeleteSql() const {
  return KeyStatement("Delete", RecordTableName(GetKind()), "Name", GetKey());
}

void CUserRecord::ReadFrom(CRecordset& rs) {
  rs.GetText("Name", name_);
  ReadByteColumn(rs, "Type", type_);
  rs.GetDate("RegTime", reg_time_);
  ReadByteColumn(rs, "OnLine", online_);
  rs.GetText("Password", password_);
  std::string organization = GetOrganizationName();
  if (rs.GetText("OrganizationName", organization)) SetOrganizationName(organization);
  rs.GetDate("LastLoginTime", last_login_time_);
}

void CUserRecord::WriteTo(CRecordset& rs) const {
  WriteRowReporting(rs, [&] {
    rs.SetText("Name", name_);
    rs.SetText("Password", password_);
    rs.SetByte("Type", type_);
    rs.SetText("OrganizationName", GetOrganizationName());
    rs.SetByte("OnLine", online_);
    rs.SetDate("RegTime", reg_time_);
    // A user who never logged in keeps the column's default.
    if (last_login_time_ > 0) rs.SetDate("LastLoginTime", last_login_time_);
  });
}

}  // namespace zv
