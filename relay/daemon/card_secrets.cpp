#include "relay/daemon/card_secrets.hpp"

#include "relay/messages/recordset.hpp"

namespace zv::daemon {
namespace {

// DeviceID compares as [Card]'s does (without case). The trigger keeps a
// deleted card's secret from passing to a card added later under its ID,
// whoever deletes it (a record operation, an organization's deletion,
// another program).
const char* const kSecretSchema[] = {
    "CREATE TABLE IF NOT EXISTS CardSecret ("
    " DeviceID TEXT NOT NULL PRIMARY KEY COLLATE NOCASE,"
    " Secret TEXT NOT NULL)",
    "CREATE TRIGGER IF NOT EXISTS CardSecretLeavesWithItsCard AFTER DELETE ON [Card]"
    " BEGIN DELETE FROM CardSecret WHERE DeviceID = old.DeviceID; END",
};

// Whether the database has the secrets table at all: 1 yes, 0 no, -1 failed.
int HasSecretTable(CAccountDb& db) {
  std::unique_ptr<CRecordset> rs = db.OpenRecordset(CSqlStatement{
      "SELECT name FROM sqlite_master WHERE type = 'table' AND name = ?", {"CardSecret"}});
  if (!rs) return -1;
  int found = -1;
  try {
    found = !rs->IsBOF() && !rs->IsEOF() ? 1 : 0;
  } catch (const CDbError&) {
    found = -1;
  }
  rs->Close();
  return found;
}

}  // namespace

int StoreCardSecret(CAccountDb& db, const std::string& device_id, const std::string& secret) {
  for (const char* sql : kSecretSchema)
    if (!db.ExecuteSql(CSqlStatement{sql, {}})) return 0;
  return db.ExecuteSql(
      CSqlStatement{"INSERT OR REPLACE INTO CardSecret (DeviceID, Secret) "
                    "VALUES (?, ?)",
                    {device_id, secret}});
}

int ReadCardSecret(const std::string& device_id, std::string* secret) {
  secret->clear();
  CAccountDb db;
  if (!db.IsOpen()) return -1;
  std::unique_ptr<CRecordset> rs = db.OpenRecordset(
      CSqlStatement{"SELECT Secret FROM CardSecret WHERE DeviceID = ?", {device_id}});
  // The statement fails on a database that never had a secret: no table.
  if (!rs) return HasSecretTable(db) == 0 ? 0 : -1;
  int result = -1;
  try {
    result = 0;
    if (!rs->IsBOF() && !rs->IsEOF() && rs->GetText("Secret", *secret) && !secret->empty())
      result = 1;
  } catch (const CDbError&) {
    result = -1;
  }
  rs->Close();
  return result;
}

}  // namespace zv::daemon
