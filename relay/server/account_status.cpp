#include "relay/server/account_status.hpp"

#include "relay/server/account_db.hpp"
#include "relay/server/database_path.hpp"

namespace zv {

int FindCard(const std::string& device_id, CCardRecord* out) {
  CAccountDb db;
  std::unique_ptr<CRecordset> rs = db.OpenRecordset(CSqlStatement{
      "SELECT * FROM " + GetTableName(kCardKind) + " WHERE DeviceID = ?", {device_id}});
  if (!rs) return -1;
  int found = 0;
  try {
    if (!rs->IsBOF() && !rs->IsEOF()) {
      out->ReadFrom(*rs);
      found = 1;
    }
  } catch (const CDbError&) {
    found = -1;
  }
  rs->Close();
  return found;
}

bool LookupCard(const std::string& device_id, CCardRecord* out) {
  return FindCard(device_id, out) == 1;
}

int FindUser(const std::string& name) {
  CAccountDb db;
  std::unique_ptr<CRecordset> rs = db.OpenRecordset(
      CSqlStatement{"SELECT Name FROM " + GetTableName(kUserKind) + " WHERE Name = ?", {name}});
  if (!rs) return -1;
  int found = -1;
  try {
    found = (!rs->IsBOF() && !rs->IsEOF()) ? 1 : 0;
  } catch (const CDbError&) {
  }
  rs->Close();
  return found;
}

int SetCardOnLine(const std::string& device_id, uint8_t online) {
  CAccountDb db;
  return db.ExecuteSql(
      CSqlStatement{"UPDATE " + GetTableName(kCardKind) + " SET OnLine = ? WHERE DeviceID = ?",
                    {std::to_string(online), device_id}});
}

int SetUserOnLine(const std::string& name, uint8_t online) {
  CAccountDb db;
  return db.ExecuteSql(
      CSqlStatement{"UPDATE " + GetTableName(kUserKind) + " SET OnLine = ? WHERE Name = ?",
                    {std::to_string(online), name}});
}

int ResetAllOnLine() {
  CAccountDb db;
  int cards =
      db.ExecuteSql(CSqlStatement{"UPDATE " + GetTableName(kCardKind) + " SET OnLine = 0", {}});
  int users =
      db.ExecuteSql(CSqlStatement{"UPDATE " + GetTableName(kUserKind) + " SET OnLine = 0", {}});
  return cards && users ? 1 : 0;
}

}  // namespace zv
