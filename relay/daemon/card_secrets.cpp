#include "relay/daemon/card_secrets.hpp"

#include "relay/messages/recordset.hpp"

namespace zv::daemon {
namespace {

// DeviceID compares as [Card]'s does (without case). The trigger keeps a
// deleted card's secret from passing to a card added later under its ID,
// whoever deletes it (a record operation, an organization's deletion,
// another program).
const char* const kSqliteSecretSchema[] = {
    "CREATE TABLE IF NOT EXISTS CardSecret ("
    " DeviceID TEXT NOT NULL PRIMARY KEY COLLATE NOCASE,"
    " Secret TEXT NOT NULL)",
    "CREATE TRIGGER IF NOT EXISTS CardSecretLeavesWithItsCard AFTER DELETE ON [Card]"
    " BEGIN DELETE FROM CardSecret WHERE DeviceID = old.DeviceID; END",
};

// On PostgreSQL the secret refers to its card's row, and the reference does
// the trigger's work.
const char* const kPostgresSecretSchema[] = {
    "CREATE TABLE IF NOT EXISTS CardSecret ("
    " DeviceID citext NOT NULL PRIMARY KEY REFERENCES [Card] (DeviceID) ON DELETE CASCADE,"
    " Secret text NOT NULL)",
};

}  // namespace

int EnsureCardSecretTable(CAccountDb& db) {
  if (db.Engine() == DbEngine::kPostgres) {
    for (const char* sql : kPostgresSecretSchema)
      if (!db.ExecuteSql(CSqlStatement{sql, {}})) return 0;
  } else {
    for (const char* sql : kSqliteSecretSchema)
      if (!db.ExecuteSql(CSqlStatement{sql, {}})) return 0;
  }
  return 1;
}

int StoreCardSecret(CAccountDb& db, const std::string& device_id, const std::string& secret) {
  if (!EnsureCardSecretTable(db)) return 0;
  return db.ExecuteSql(
      CSqlStatement{"INSERT INTO CardSecret (DeviceID, Secret) VALUES (?, ?) "
                    "ON CONFLICT (DeviceID) DO UPDATE SET Secret = excluded.Secret",
                    {device_id, secret}});
}

int ReadCardSecret(const std::string& device_id, std::string* secret) {
  secret->clear();
  CAccountDb db;
  if (!db.IsOpen()) return -1;
  std::unique_ptr<CRecordset> rs = db.OpenRecordset(
      CSqlStatement{"SELECT Secret FROM CardSecret WHERE DeviceID = ?", {device_id}});
  // The statement fails on a database that never had a secret: no table.
  if (!rs) return db.HasTable("CardSecret") == 0 ? 0 : -1;
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
