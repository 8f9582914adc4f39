#include "relay/messages/log_record.hpp"

#include "common/wire.hpp"
#include "relay/messages/counted_string.hpp"
#include "relay/messages/ole_date.hpp"
#include "relay/messages/record_columns.hpp"

namespace zv {

using tarvo::wire::GetLe16;
using tarvo::wire::GetLe32;
using tarvo::wire::PutLe16;
using tarvo::wire::PutLe32;

CLogRecord::CLogRecord() : CRecord(kLogKind), time_(OleDateNow()) {}

std::string CLogRecord::GetKey() const {
  return id_ == 0 ? std::string() : std::to_string(id_);
}

// Body: ID, time, counted organization, NodeType, counted NodeID, MsgType,
// counted MsgDescribe (13 fixed bytes around the texts).
int CLogRecord::GetBodySize() const {
  return static_cast<int>(4 + kDateWireSize + CountedSize(GetOrganizationName()) + 1 +
                          CountedSize(node_id_) + 2 + CountedSize(msg_describe_));
}

void CLogRecord::Encode(uint8_t* out) const {
  PutLe32(out, static_cast<uint32_t>(id_));
  PutDate6(out + 4, time_);
  size_t pos = 4 + kDateWireSize;
  pos += PutCounted(out + pos, GetOrganizationName());
  out[pos++] = node_type_;
  pos += PutCounted(out + pos, node_id_);
  PutLe16(out + pos, msg_type_);
  pos += 2;
  PutCounted(out + pos, msg_describe_);
}

int CLogRecord::Decode(const uint8_t* body, int length) {
  if (length <= 16) return 0;
  const size_t size = static_cast<size_t>(length);
  id_ = static_cast<int32_t>(GetLe32(body));
  time_ = GetDate6(body + 4);
  const size_t l1 = body[10];
  if (size < l1 + 16) return 0;
  size_t pos = 10;
  std::string organization;
  TakeCounted(body, size, pos, organization, &pos);
  SetOrganizationName(organization);
  node_type_ = body[pos++];
  const size_t l2 = body[pos];
  if (size < l1 + l2 + 16) return 0;
  TakeCounted(body, size, pos, node_id_, &pos);
  msg_type_ = GetLe16(body + pos);
  pos += 2;
  const size_t l3 = body[pos];
  if (size < l1 + l2 + l3 + 16) return 0;
  TakeCounted(body, size, pos, msg_describe_, &pos);
  return 1;
}

CSqlStatement CLogRecord::GetSelectSql() const {
  return CSqlStatement{"Select * From " + RecordTableName(GetKind()) + " Where [ID] = ?",
                       {std::to_string(id_)}};
}

CSqlStatement CLogRecord::GetDeleteSql() const {
  return CSqlStatement{"Delete From " + RecordTableName(GetKind()) + " Where [ID] = ?",
                       {std::to_string(id_)}};
}

void CLogRecord::ReadFrom(CRecordset& rs) {
  rs.GetInt("ID", id_);
  rs.GetDate("time", time_);
  int32_t msg_type = 0;
  if (rs.GetInt("MsgType", msg_type)) msg_type_ = static_cast<uint16_t>(msg_type);
  ReadByteColumn(rs, "NodeType", node_type_);
  rs.GetText("NodeID", node_id_);
  rs.GetText("MsgDescribe", msg_describe_);
  std::string organization = GetOrganizationName();
  if (rs.GetText("OrganizationName", organization)) SetOrganizationName(organization);
}

// ID is numbered and time is stamped by the database; neither is written.
void CLogRecord::WriteTo(CRecordset& rs) const {
  WriteRowReporting(rs, [&] {
    rs.SetInt("MsgType", msg_type_);
    rs.SetText("MsgDescribe", msg_describe_);
    rs.SetInt("NodeType", node_type_);
    rs.SetText("NodeID", node_id_);
    rs.SetText("OrganizationName", GetOrganizationName());
  });
}

}  // namespace zv
