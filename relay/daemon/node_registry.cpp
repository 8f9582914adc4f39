#include "relay/daemon/node_registry.hpp"

#include <algorithm>
#include <asio/ip/host_name.hpp>
#include <chrono>
#include <filesystem>
#include <thread>

#include "relay/daemon/cluster_tables.hpp"
#include "relay/messages/recordset.hpp"
#include "relay/server/database_path.hpp"

namespace zv::daemon {
namespace {

// VARCHAR and BIGINT mean the same to SQLite and to PostgreSQL.
const char* const kCreateServerNode =
    "CREATE TABLE IF NOT EXISTS ServerNode (Name VARCHAR(254) PRIMARY KEY, Host VARCHAR(254),"
    " Pid INTEGER, Started BIGINT, Heartbeat BIGINT)";
const char* const kCreateCardNode =
    "CREATE TABLE IF NOT EXISTS CardNode (DeviceID VARCHAR(254) PRIMARY KEY,"
    " Node VARCHAR(254), Since BIGINT)";

int EnsureTables(CAccountDb& db) {
  // Two servers starting together may both find a table missing; on
  // PostgreSQL the slower CREATE then fails on the catalog's key, and a
  // second try finds the table there.
  for (int attempt = 0; attempt < 3; ++attempt) {
    if (db.ExecuteSql(CSqlStatement{kCreateServerNode, {}}) &&
        db.ExecuteSql(CSqlStatement{kCreateCardNode, {}}) && EnsureClusterTables(db))
      return 1;
    std::this_thread::sleep_for(std::chrono::milliseconds(50 * (attempt + 1)));
  }
  return 0;
}

// The process id from /proc where there is one (0 elsewhere): the row names
// its process for the operator, and on the same host says whether it lives.
int32_t ProcessId() {
  std::error_code ec;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self", ec);
  if (ec) return 0;
  try {
    return static_cast<int32_t>(std::stol(self.filename().string()));
  } catch (...) {
    return 0;
  }
}

// Whether the process of a row written on this host is certainly gone: a
// server killed a moment ago is taken over at once instead of after the
// heartbeat's stale time. Without /proc nobody can tell: the row waits.
bool CertainlyGone(int32_t pid) {
  std::error_code ec;
  if (pid <= 0 || !std::filesystem::exists("/proc/self", ec)) return false;
  return !std::filesystem::exists("/proc/" + std::to_string(pid), ec) && !ec;
}

}  // namespace

NodeIdentity ThisNode(const std::string& name) {
  std::error_code ec;
  std::string host = asio::ip::host_name(ec);
  return NodeIdentity{name, ec ? std::string("?") : host, ProcessId()};
}

int64_t WallClockMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

int ClaimNode(const NodeIdentity& me, int64_t now_ms, int stale_ms, std::string* why) {
  CAccountDb db;
  if (!EnsureTables(db)) {
    *why = "cannot make the node tables in the account database";
    return -1;
  }
  // Read, judge and write as one step: two servers starting together under
  // one name cannot both find the name free.
  CWriteTransaction transaction(db);
  if (!transaction.IsOpen()) {
    *why = "cannot write to the account database";
    return -1;
  }
  std::unique_ptr<CRecordset> rs =
      db.OpenRecordset(CSqlStatement{"SELECT Host, Pid FROM ServerNode WHERE Name = ? AND "
                                     "Heartbeat > ?",
                                     {me.name, std::to_string(now_ms - stale_ms)}},
                       CAccountDb::RowLock::kForUpdate);
  if (!rs) {
    *why = "cannot read the node table";
    return -1;
  }
  std::string host;
  int32_t pid = 0;
  bool live = false;
  try {
    live = !rs->IsBOF() && !rs->IsEOF();
    if (live) {
      rs->GetText("Host", host);
      rs->GetInt("Pid", pid);
    }
  } catch (const CDbError& e) {
    rs->Close();
    *why = "cannot read the node table: " + DbErrorText(e.code, e.description);
    return -1;
  }
  rs->Close();
  if (live && !(host == me.host && CertainlyGone(pid))) {
    *why = "node name " + me.name + " is in use by the server on " + host + " (process " +
           std::to_string(pid) +
           "); give this server another --node, or stop that one (a server killed elsewhere "
           "gives its name up " +
           std::to_string((stale_ms + 999) / 1000) + " s after its last heartbeat)";
    return 0;
  }
  const std::string now = std::to_string(now_ms);
  // What a dead server of this name held is no longer held by anyone.
  ReleaseNodeRows(db, me.name);
  if (!db.ExecuteSql(CSqlStatement{"DELETE FROM ServerNode WHERE Name = ?", {me.name}}) ||
      !db.ExecuteSql(CSqlStatement{"INSERT INTO ServerNode (Name, Host, Pid, Started, Heartbeat) "
                                   "VALUES (?, ?, ?, ?, ?)",
                                   {me.name, me.host, std::to_string(me.pid), now, now}}) ||
      !transaction.Commit()) {
    *why = "cannot write the node table";
    return -1;
  }
  return 1;
}

int OtherLiveNodes(const NodeIdentity& me, int64_t now_ms, int stale_ms) {
  CAccountDb db;
  std::unique_ptr<CRecordset> rs = db.OpenRecordset(
      CSqlStatement{"SELECT Name FROM ServerNode WHERE Name <> ? AND Heartbeat > ?",
                    {me.name, std::to_string(now_ms - stale_ms)}});
  if (!rs) return -1;
  int count = 0;
  try {
    for (bool more = !rs->IsBOF(); more && !rs->IsEOF(); rs->MoveNext()) ++count;
  } catch (const CDbError&) {
    count = -1;
  }
  rs->Close();
  return count;
}

int BeatNode(const NodeIdentity& me, int64_t now_ms) {
  CAccountDb db;
  int changes = 0;
  if (!db.ExecuteSql(
          CSqlStatement{"UPDATE ServerNode SET Heartbeat = ? WHERE Name = ? AND Host = ? AND "
                        "Pid = ?",
                        {std::to_string(now_ms), me.name, me.host, std::to_string(me.pid)}},
          &changes))
    return -1;
  return changes > 0 ? 1 : 0;
}

void ReleaseNode(const NodeIdentity& me) {
  CAccountDb db;
  CWriteTransaction transaction(db);
  ReleaseNodeRows(db, me.name);
  db.ExecuteSql(CSqlStatement{"DELETE FROM ServerNode WHERE Name = ? AND Host = ? AND Pid = ?",
                              {me.name, me.host, std::to_string(me.pid)}});
  transaction.Commit();
}

std::string Marks(size_t n) {
  std::string marks = "(";
  for (size_t i = 0; i < n; ++i) marks += i ? ", ?" : "?";
  return marks + ")";
}

void WriteCardOnLineFlags(CAccountDb& db, const std::vector<CardOnLineFlag>& flags) {
  // Per card, in the order given: its last flag, and whether any flag made
  // it online here (which took its directory entry from any other node).
  struct Outcome {
    const CardOnLineFlag* last = nullptr;
    bool came_online = false;
  };
  std::map<std::string, Outcome> outcome;
  for (const CardOnLineFlag& f : flags) {
    Outcome& o = outcome[f.device_id];
    o.last = &f;
    o.came_online = o.came_online || f.online;
  }
  // Grouped by what is written: (online, node) -> ids.
  std::map<std::pair<uint8_t, std::string>, std::vector<std::string>> groups;
  std::vector<std::string> taken;  // entries of any node to drop first
  for (const auto& [id, o] : outcome) {
    groups[{o.last->online, o.last->node}].push_back(id);
    if (o.came_online && !o.last->node.empty()) taken.push_back(id);
  }
  const std::string card_table = GetTableName(kCardKind);
  InSlices(taken, [&](size_t at, size_t n) {
    db.ExecuteSql(CSqlStatement{
        "DELETE FROM CardNode WHERE DeviceID IN " + Marks(n),
        {taken.begin() + static_cast<long>(at), taken.begin() + static_cast<long>(at + n)}});
  });
  const std::string since = std::to_string(WallClockMs());
  for (const auto& group : groups) {
    // Plain names: lambdas of the compilers we build with cannot capture
    // structured bindings.
    const uint8_t online = group.first.first;
    const std::string& node = group.first.second;
    const std::vector<std::string>& ids = group.second;
    InSlices(ids, [&](size_t at, size_t n) {
      std::vector<std::string> params = {std::to_string(online)};
      params.insert(params.end(), ids.begin() + static_cast<long>(at),
                    ids.begin() + static_cast<long>(at + n));
      const std::string update =
          "UPDATE " + card_table + " SET OnLine = ? WHERE DeviceID IN " + Marks(n);
      if (node.empty() || online) db.ExecuteSql(CSqlStatement{update, params});
      if (node.empty()) return;
      if (online) {
        std::string values;
        std::vector<std::string> row_params;
        for (size_t i = at; i < at + n; ++i) {
          values += (i == at ? "" : ", ") + std::string("(?, ?, ?)");
          row_params.insert(row_params.end(), {ids[i], node, since});
        }
        db.ExecuteSql(CSqlStatement{"INSERT INTO CardNode (DeviceID, Node, Since) VALUES " + values,
                                    row_params});
      } else {
        params[0] = node;
        db.ExecuteSql(CSqlStatement{
            "DELETE FROM CardNode WHERE Node = ? AND DeviceID IN " + Marks(n), params});
        // A card online on another server is online.
        params[0] = "0";
        db.ExecuteSql(
            CSqlStatement{update + " AND DeviceID NOT IN (SELECT DeviceID FROM CardNode)", params});
      }
    });
  }
}

std::map<std::string, std::string> ReadCardNodes(CAccountDb& db) {
  std::map<std::string, std::string> nodes;
  // A database no server with a node name has served has no directory.
  std::unique_ptr<CRecordset> rs =
      db.OpenRecordset(CSqlStatement{"SELECT DeviceID, Node FROM CardNode", {}});
  if (!rs) return nodes;
  try {
    for (bool more = !rs->IsBOF(); more && !rs->IsEOF(); rs->MoveNext()) {
      std::string id, node;
      rs->GetText("DeviceID", id);
      rs->GetText("Node", node);
      nodes[id] = node;
    }
  } catch (const CDbError&) {
  }
  rs->Close();
  return nodes;
}

}  // namespace zv::daemon
