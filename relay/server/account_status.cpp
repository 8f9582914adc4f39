#include "relay/server/account_status.hpp"

#include "relay/server/account_db.hpp"
#include "relay/server/database_path.hpp"

namespace zv {

bool LookupCard(const std::string& device_id, CCardRecord* out) {
  CAccountDb db;
  std::unique_ptr<CRecordset> rs = db.OpenRecordset(CSqlStatement{
      "SELECT * FROM " + GetTableName(kCardKind) + " WHERE DeviceID = ?", {device_id}});
  if (!rs) return false;
  bool found = false;
  try {
    if (!rs->IsBOF() && !rs->IsEOF()) {
      out->ReadFrom(*rs);
      found = true;
    }
  } catch (const CDbError&) {
    found = false;
  }
  rs->Close();
  return found;
}

int SetCardOnLine(const std::string& device_id, uint8_t online) {
  CAccountDb db;
  return db.ExecuteSql(CSqlStatement{"UPDATE " + GetTableName(kCardKind) + " SET OnLine = " +
                                         std::to_string(online) + " WHERE DeviceID = ?",
                                     {device_id}});
}

int SetUserOnLine(const std::string& name, uint8_t online) {
  CAccountDb db;
  return db.ExecuteSql(CSqlStatement{"UPDATE " + GetTableName(kUserKind) + " SET OnLine = " +
                                         std::to_string(online) + " WHERE Name = ?",
                                     {name}});
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
