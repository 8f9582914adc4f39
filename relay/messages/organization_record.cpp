#include "relay/messages/organization_record.hpp"

#include "common/wire.hpp"
#include "relay/messages/counted_string.hpp"
#include "relay/messages/record_columns.hpp"

namespace zv {

using tarvo::wire::GetLe32;
using tarvo::wire::PutLe32;

// Body: counted name, counted password, then the counters in the order
// MaxCardNum, MaxUserNum, CardNum, UserNum (18 fixed bytes around the texts).
int COrganizationRecord::GetBodySize() const {
  return static_cast<int>(CountedSize(GetOrganizationName()) + CountedSize(password_) + 16);
}

void COrganizationRecord::Encode(uint8_t* out) const {
  size_t pos = PutCounted(out, GetOrganizationName());
  pos += PutCounted(out + pos, password_);
  PutLe32(out + pos, static_cast<uint32_t>(max_card_num_));
  PutLe32(out + pos + 4, static_cast<uint32_t>(max_user_num_));
  PutLe32(out + pos + 8, static_cast<uint32_t>(card_num_));
  PutLe32(out + pos + 12, static_cast<uint32_t>(user_num_));
}

int COrganizationRecord::Decode(const uint8_t* body, int length) {
  if (length <= 18) return 0;
  const size_t size = static_cast<size_t>(length);
  const size_t l1 = body[0];
  if (size < l1 + 18) return 0;
  std::string name;
  size_t pos = 0;
  TakeCounted(body, size, 0, name, &pos);
  SetOrganizationName(name);
  const size_t l2 = body[pos];
  if (size < l1 + l2 + 18) return 0;
  TakeCounted(body, size, pos, password_, &pos);
  max_card_num_ = static_cast<int32_t>(GetLe32(body + pos));
  max_user_num_ = static_cast<int32_t>(GetLe32(body + pos + 4));
  card_num_ = static_cast<int32_t>(GetLe32(body + pos + 8));
  user_num_ = static_cast<int32_t>(GetLe32(body + pos + 12));
  return 1;
}

CSqlStatement COrganizationRecord::GetSelectSql() const {
  return KeyStatement("Select *", RecordTableName(GetKind()), "OrganizationName", GetKey());
}

CSqlStatement COrganizationRecord::GetDeleteSql() const {
  return KeyStatement("Delete", RecordTableName(GetKind()), "OrganizationName", GetKey());
}

void COrganizationRecord::ReadFrom(CRecordset& rs) {
  std::string name = GetOrganizationName();
  if (rs.GetText("OrganizationName", name)) SetOrganizationName(name);
  rs.GetText("Password", password_);
  rs.GetInt("CardNum", card_num_);
  rs.GetInt("MaxCardNum", max_card_num_);
  rs.GetInt("UserNum", user_num_);
  rs.GetInt("MaxUserNum", max_user_num_);
}

void COrganizationRecord::WriteTo(CRecordset& rs) const {
  WriteRowReporting(rs, [&] {
    rs.SetText("OrganizationName", GetOrganizationName());
    rs.SetText("Password", password_);
    rs.SetInt32("CardNum", card_num_);
    rs.SetInt32("MaxCardNum", max_card_num_);
    rs.SetInt32("UserNum", user_num_);
    rs.SetInt32("MaxUserNum", max_user_num_);
  });
}

}  // namespace zv
