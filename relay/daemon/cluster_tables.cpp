#include "relay/daemon/cluster_tables.hpp"

#include "relay/daemon/node_registry.hpp"
#include "relay/messages/recordset.hpp"
#include "relay/server/database_path.hpp"

namespace zv::daemon {
namespace {

using Rows = std::vector<std::vector<std::string>>;

// The text columns of every row: 1 read, -1 failed.
int ReadRows(CAccountDb& db, const CSqlStatement& sql, std::initializer_list<const char*> columns,
             Rows* rows, CAccountDb::RowLock lock = CAccountDb::RowLock::kNone) {
  std::unique_ptr<CRecordset> rs = db.OpenRecordset(sql, lock);
  if (!rs) return -1;
  int result = 1;
  try {
    for (bool more = !rs->IsBOF(); more && !rs->IsEOF(); rs->MoveNext()) {
      std::vector<std::string>& row = rows->emplace_back();
      for (const char* c : columns) rs->GetText(c, row.emplace_back());
    }
  } catch (const CDbError&) {
    result = -1;
  }
  rs->Close();
  return result;
}

// The first row's text columns: 1 a row, 0 none, -1 failed.
int FirstRow(CAccountDb& db, const CSqlStatement& sql, std::initializer_list<const char*> columns,
             std::vector<std::string>* values,
             CAccountDb::RowLock lock = CAccountDb::RowLock::kNone) {
  Rows rows;
  if (ReadRows(db, sql, columns, &rows, lock) < 0) return -1;
  if (rows.empty()) return 0;
  *values = std::move(rows.front());
  return 1;
}

// Every row's one text column.
int AllRows(CAccountDb& db, const CSqlStatement& sql, const char* column,
            std::vector<std::string>* values,
            CAccountDb::RowLock lock = CAccountDb::RowLock::kNone) {
  Rows rows;
  const int result = ReadRows(db, sql, {column}, &rows, lock);
  for (auto& row : rows) values->push_back(std::move(row.front()));
  return result;
}

std::string Now() {
  return std::to_string(WallClockMs());
}

}  // namespace

std::string LowerName(const std::string& name) {
  std::string lower = name;
  for (char& c : lower)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return lower;
}

bool EnsureClusterTables(CAccountDb& db) {
  return db.ExecuteSql(
             CSqlStatement{"CREATE TABLE IF NOT EXISTS CardLock (DeviceID VARCHAR(254) PRIMARY KEY,"
                           " UserName VARCHAR(254), Node VARCHAR(254), Since BIGINT)",
                           {}}) &&
         db.ExecuteSql(CSqlStatement{"CREATE TABLE IF NOT EXISTS UserNode (Name VARCHAR(254) "
                                     "PRIMARY KEY, Node VARCHAR(254), Since BIGINT)",
                                     {}});
}

int TakeCardLock(const std::string& device, const std::string& user, const std::string& node) {
  CAccountDb db;
  int changes = 0;
  // The key decides between two servers taking the same lock at once.
  if (!db.ExecuteSql(CSqlStatement{"INSERT INTO CardLock (DeviceID, UserName, Node, Since) "
                                   "VALUES (?, ?, ?, ?) ON CONFLICT (DeviceID) DO NOTHING",
                                   {device, user, node, Now()}},
                     &changes))
    return -1;
  if (changes > 0) return 1;
  std::vector<std::string> row;
  const int found =
      FirstRow(db, CSqlStatement{"SELECT UserName FROM CardLock WHERE DeviceID = ?", {device}},
               {"UserName"}, &row);
  if (found < 0) return -1;
  // Gone again in between: the owner gave it up, so nobody held it.
  if (found == 0) return TakeCardLock(device, user, node);
  return row[0] == user ? 1 : 0;
}

int GiveCardLockUp(const std::string& device, const std::string& user) {
  CAccountDb db;
  int changes = 0;
  if (!db.ExecuteSql(
          CSqlStatement{"DELETE FROM CardLock WHERE DeviceID = ? AND UserName = ?", {device, user}},
          &changes))
    return -1;
  if (changes > 0) return 1;
  std::vector<std::string> row;
  const int found =
      FirstRow(db, CSqlStatement{"SELECT UserName FROM CardLock WHERE DeviceID = ?", {device}},
               {"UserName"}, &row);
  return found < 0 ? -1 : found == 0 ? 1 : 0;
}

int ReadCardLock(const std::string& device, CardLockRow* row) {
  CAccountDb db;
  std::vector<std::string> v;
  const int found = FirstRow(
      db, CSqlStatement{"SELECT UserName, Node FROM CardLock WHERE DeviceID = ?", {device}},
      {"UserName", "Node"}, &v);
  if (found == 1) *row = CardLockRow{v[0], v[1]};
  return found;
}

int DropCardLock(const std::string& device, CardLockRow* row) {
  CAccountDb db;
  CWriteTransaction transaction(db);
  std::vector<std::string> v;
  const int found = FirstRow(
      db, CSqlStatement{"SELECT UserName, Node FROM CardLock WHERE DeviceID = ?", {device}},
      {"UserName", "Node"}, &v, CAccountDb::RowLock::kForUpdate);
  if (found != 1) return found;
  *row = CardLockRow{v[0], v[1]};
  if (!db.ExecuteSql(CSqlStatement{"DELETE FROM CardLock WHERE DeviceID = ?", {device}}) ||
      !transaction.Commit())
    return -1;
  return 1;
}

int FindCard(const std::string& device, CardPlace* place) {
  CAccountDb db;
  std::vector<std::string> v;
  int found =
      FirstRow(db,
               CSqlStatement{"SELECT DeviceID, Node FROM CardNode WHERE lower(DeviceID) = lower(?)",
                             {device}},
               {"DeviceID", "Node"}, &v);
  if (found != 1) return found;
  place->device = v[0];
  place->node = v[1];
  found = FirstRow(db,
                   CSqlStatement{"SELECT OrganizationName FROM " + GetTableName(kCardKind) +
                                     " WHERE DeviceID = ?",
                                 {place->device}},
                   {"OrganizationName"}, &v);
  if (found != 1) return found;
  place->organization = v[0];
  return 1;
}

int ReadArrivals(CAccountDb& db, const std::vector<std::string>& ids, const std::string& me,
                 std::vector<ArrivingCard>* former, std::vector<ArrivingCard>* locked) {
  int result = 1;
  InSlices(ids, [&](size_t at, size_t n) {
    const auto first = ids.begin() + static_cast<long>(at);
    const std::vector<std::string> params(first, first + static_cast<long>(n));
    Rows held, locks;
    if (ReadRows(db,
                 CSqlStatement{"SELECT DeviceID, Node FROM CardNode WHERE DeviceID IN " + Marks(n),
                               params},
                 {"DeviceID", "Node"}, &held) < 0 ||
        ReadRows(db,
                 CSqlStatement{"SELECT DeviceID, UserName, Node FROM CardLock WHERE "
                               "DeviceID IN " +
                                   Marks(n),
                               params},
                 {"DeviceID", "UserName", "Node"}, &locks) < 0)
      result = -1;
    for (const auto& row : held)
      if (row[1] != me) former->push_back(ArrivingCard{row[0], row[1], {}});
    for (const auto& row : locks) locked->push_back(ArrivingCard{row[0], {}, {row[1], row[2]}});
  });
  return result;
}

int ClaimUserSession(const std::string& name, const std::string& node) {
  CAccountDb db;
  int changes = 0;
  if (!db.ExecuteSql(CSqlStatement{"INSERT INTO UserNode (Name, Node, Since) VALUES (?, ?, ?) "
                                   "ON CONFLICT (Name) DO NOTHING",
                                   {LowerName(name), node, Now()}},
                     &changes))
    return -1;
  if (changes > 0) return 1;
  std::vector<std::string> row;
  const int found =
      FirstRow(db, CSqlStatement{"SELECT Node FROM UserNode WHERE Name = ?", {LowerName(name)}},
               {"Node"}, &row);
  if (found < 0) return -1;
  if (found == 0) return ClaimUserSession(name, node);
  return row[0] == node ? 1 : 0;
}

int UserOnOtherNode(const std::string& name, const std::string& node) {
  CAccountDb db;
  std::vector<std::string> row;
  return FirstRow(db,
                  CSqlStatement{"SELECT Node FROM UserNode WHERE Name = ? AND Node <> ?",
                                {LowerName(name), node}},
                  {"Node"}, &row);
}

int EndUserSession(const std::string& name, const std::string& node,
                   std::vector<std::string>* devices) {
  CAccountDb db;
  CWriteTransaction transaction(db);
  if (AllRows(db,
              CSqlStatement{"SELECT DeviceID FROM CardLock WHERE UserName = ? AND Node = ?",
                            {name, node}},
              "DeviceID", devices, CAccountDb::RowLock::kForUpdate) < 0 ||
      !db.ExecuteSql(
          CSqlStatement{"DELETE FROM CardLock WHERE UserName = ? AND Node = ?", {name, node}}) ||
      !db.ExecuteSql(CSqlStatement{"DELETE FROM UserNode WHERE Name = ? AND Node = ?",
                                   {LowerName(name), node}}) ||
      !transaction.Commit())
    return -1;
  return 1;
}

void ReleaseNodeRows(CAccountDb& db, const std::string& node) {
  const std::string users = GetTableName(kUserKind), cards = GetTableName(kCardKind);
  db.ExecuteSql(CSqlStatement{"UPDATE " + users +
                                  " SET OnLine = 0 WHERE lower(Name) IN"
                                  " (SELECT Name FROM UserNode WHERE Node = ?)",
                              {node}});
  db.ExecuteSql(CSqlStatement{"DELETE FROM UserNode WHERE Node = ?", {node}});
  db.ExecuteSql(CSqlStatement{"DELETE FROM CardLock WHERE Node = ?", {node}});
  // A card that moved to another server stays online there.
  db.ExecuteSql(CSqlStatement{"UPDATE " + cards +
                                  " SET OnLine = 0 WHERE DeviceID IN"
                                  " (SELECT DeviceID FROM CardNode WHERE Node = ?)"
                                  " AND DeviceID NOT IN (SELECT DeviceID FROM CardNode WHERE "
                                  "Node <> ?)",
                              {node, node}});
  db.ExecuteSql(CSqlStatement{"DELETE FROM CardNode WHERE Node = ?", {node}});
}

int ExpireDeadNodes(const std::string& me, int64_t now_ms, int stale_ms,
                    std::vector<std::string>* dead) {
  CAccountDb db;
  CWriteTransaction transaction(db);
  if (!transaction.IsOpen()) return -1;
  if (AllRows(db,
              CSqlStatement{"SELECT Name FROM ServerNode WHERE Name <> ? AND Heartbeat <= ?",
                            {me, std::to_string(now_ms - stale_ms)}},
              "Name", dead, CAccountDb::RowLock::kForUpdate) < 0)
    return -1;
  if (dead->empty()) return 1;
  for (const std::string& node : *dead) {
    ReleaseNodeRows(db, node);
    db.ExecuteSql(CSqlStatement{"DELETE FROM ServerNode WHERE Name = ?", {node}});
  }
  return transaction.Commit() ? 1 : -1;
}

int LiveNodes(int64_t now_ms, int stale_ms, std::vector<std::string>* names) {
  CAccountDb db;
  return AllRows(db,
                 CSqlStatement{"SELECT Name FROM ServerNode WHERE Heartbeat > ?",
                               {std::to_string(now_ms - stale_ms)}},
                 "Name", names);
}

}  // namespace zv::daemon
