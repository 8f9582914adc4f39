#include "relay/server/account_db.hpp"

#include <sqlite3.h>

#include <atomic>
#include <cctype>
#include <climits>
#include <filesystem>
#include <mutex>

#include "relay/messages/log_record.hpp"
#include "relay/server/database_path.hpp"
#include "relay/server/diagnostic_trace.hpp"
#include "relay/server/server_texts.hpp"
#include "relay/server/sqlite_recordset.hpp"

namespace zv {
namespace {

// Concurrent handlers each hold a connection; a writer waits this long for
// another one instead of failing at once.
std::atomic<int> g_busy_timeout_ms{5000};

std::mutex g_watcher_mutex;
DbOpenWatcher g_watcher;
std::atomic<bool> g_open_failing{false};

// Tells the watcher when opening starts failing or works again.
void NoteOpen(const std::string& path, bool opened) {
  // Most opens change nothing: only a change takes the exchange and the lock.
  if (g_open_failing.load(std::memory_order_relaxed) == !opened) return;
  if (g_open_failing.exchange(!opened) == !opened) return;
  DbOpenWatcher watcher;
  {
    std::lock_guard<std::mutex> lock(g_watcher_mutex);
    watcher = g_watcher;
  }
  if (watcher) watcher(path, opened);
}

const char* const kSchema[] = {
    "PRAGMA journal_mode = WAL",
    "CREATE TABLE IF NOT EXISTS [Organization] ("
    " ID INTEGER PRIMARY KEY AUTOINCREMENT,"
    " OrganizationName TEXT NOT NULL UNIQUE COLLATE NOCASE,"
    " Password TEXT,"
    " CardNum INTEGER NOT NULL DEFAULT 0,"
    " MaxCardNum INTEGER NOT NULL DEFAULT 100,"
    " UserNum INTEGER NOT NULL DEFAULT 0,"
    " MaxUserNum INTEGER NOT NULL DEFAULT 10)",
    "CREATE TABLE IF NOT EXISTS [User] ("
    " ID INTEGER PRIMARY KEY AUTOINCREMENT,"
    " Name TEXT NOT NULL UNIQUE COLLATE NOCASE,"
    " Password TEXT,"
    " Type INTEGER NOT NULL DEFAULT 0,"
    " OrganizationName TEXT COLLATE NOCASE,"
    " OnLine INTEGER NOT NULL DEFAULT 0,"
    " RegTime REAL,"
    " LastLoginTime REAL)",
    "CREATE TABLE IF NOT EXISTS [Card] ("
    " ID INTEGER PRIMARY KEY AUTOINCREMENT,"
    " DeviceID TEXT NOT NULL UNIQUE COLLATE NOCASE,"
    " OrganizationName TEXT COLLATE NOCASE,"
    " OnLine INTEGER NOT NULL DEFAULT 0,"
    " RegTime REAL)",
    // time defaults to the local time as a date value: julian day minus the
    // julian day of 1899-12-30.
    "CREATE TABLE IF NOT EXISTS [Log] ("
    " ID INTEGER PRIMARY KEY AUTOINCREMENT,"
    " time REAL NOT NULL DEFAULT (julianday('now', 'localtime') - 2415018.5),"
    " MsgType INTEGER NOT NULL DEFAULT 0,"
    " NodeType INTEGER NOT NULL DEFAULT 0,"
    " NodeID TEXT,"
    " MsgDescribe TEXT,"
    " OrganizationName TEXT COLLATE NOCASE)",
};

sqlite3* OpenDatabase(const std::string& path) {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr) !=
      SQLITE_OK) {
    sqlite3_close(db);
    return nullptr;
  }
  sqlite3_busy_timeout(db, g_busy_timeout_ms.load());
  // A file that exists but is no database counts as not open.
  if (sqlite3_exec(db, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr) !=
      SQLITE_OK) {
    sqlite3_close(db);
    return nullptr;
  }
  return db;
}

sqlite3* OpenExisting(const std::string& path) {
  sqlite3* db = OpenDatabase(path);
  NoteOpen(path, db != nullptr);
  return db;
}

}  // namespace

void SetDbBusyTimeoutMs(int ms) {
  g_busy_timeout_ms = ms;
}

int DbBusyTimeoutMs() {
  return g_busy_timeout_ms.load();
}

void SetDbOpenWatcher(DbOpenWatcher watcher) {
  std::lock_guard<std::mutex> lock(g_watcher_mutex);
  g_watcher = std::move(watcher);
}

long ParseLogId(const std::string& key) {
  size_t i = 0;
  while (i < key.size() && std::isspace(static_cast<unsigned char>(key[i]))) ++i;
  bool negative = false;
  if (i < key.size() && (key[i] == '+' || key[i] == '-')) negative = key[i++] == '-';
  long long v = 0;
  for (; i < key.size() && std::isdigit(static_cast<unsigned char>(key[i])); ++i) {
    v = v * 10 + (key[i] - '0');
    if (v > INT_MAX) v = static_cast<long long>(INT_MAX) + 1;  // saturate, no overflow
  }
  v = negative ? -v : v;
  if (v > INT_MAX) return INT_MAX;
  if (v < INT_MIN) return INT_MIN;
  return static_cast<long>(v);
}

CAccountDb::CAccountDb() : CAccountDb(DatabasePath()) {}

CAccountDb::CAccountDb(const std::string& path) : db_(OpenExisting(path)) {}

CAccountDb::~CAccountDb() {
  if (db_) sqlite3_close_v2(db_);
}

std::unique_ptr<CRecordset> CAccountDb::OpenRecordset(const CSqlStatement& sql) {
  if (!db_) return nullptr;
  auto rs = std::make_unique<CSqliteRecordset>(db_, StatementTable(sql.sql));
  try {
    rs->Open(sql);
  } catch (const CDbError&) {
    return nullptr;
  }
  return rs;
}

int CAccountDb::ExecuteSql(const CSqlStatement& sql, int* changes) {
  if (changes) *changes = 0;
  if (!db_) return 0;
  try {
    ExecuteStatement(db_, sql, changes);
  } catch (const CDbError&) {
    DiagnosticTrace("%s%s", texts::kSqlErrorPrefix, sql.Describe().c_str());
    return 0;
  }
  return 1;
}

int CAccountDb::InsertRecord(CRecord* record) {
  if (!record || !db_) return 0;
  std::string table = GetTableName(record->GetKind());
  if (table.empty()) return 0;
  try {
    // Only the column names are needed, so no existing row is read.
    CSqliteRecordset rs(db_, table);
    rs.Open(CSqlStatement{"SELECT * FROM " + table + " WHERE 0", {}});
    rs.AddNew();
    record->WriteTo(rs);  // reports its own errors
    if (rs.LastUpdateFailed()) return 0;
    if (record->GetKind() == kLogKind) {
      int32_t id = 0;
      if (rs.GetInt("ID", id)) static_cast<CLogRecord*>(record)->SetID(id);
    }
    rs.Close();
  } catch (const CDbError& e) {
    ReportDbError(DbErrorText(e.code, e.description));
    return 0;
  }
  return 1;
}

int CAccountDb::UpdateRecord(const CRecord& record) {
  std::unique_ptr<CRecordset> rs = OpenRecordset(record.GetSelectSql());
  if (!rs) {
    CDbError e;
    e.code = SQLITE_MISUSE;
    e.description = "invalid pointer: the row statement could not be opened";
    throw e;
  }
  if (rs->IsBOF() || rs->IsEOF()) {
    rs->Close();
    return 0;
  }
  record.WriteTo(*rs);
  bool failed = static_cast<CSqliteRecordset&>(*rs).LastUpdateFailed();
  rs->Close();
  return failed ? 0 : 1;
}

int CAccountDb::DeleteRecord(int kind, const std::string& key, int* changes) {
  if (changes) *changes = 0;
  static const char* const kKeyColumn[] = {"", "[OrganizationName]", "[Name]", "[DeviceID]"};
  std::string table = GetTableName(kind);
  if (table.empty()) return 0;
  if (kind == kLogKind) {
    return ExecuteSql(
        CSqlStatement{"Delete From " + table + " Where [ID] = " + std::to_string(ParseLogId(key)),
                      {}},
        changes);
  }
  return ExecuteSql(
      CSqlStatement{"Delete From " + table + " Where " + kKeyColumn[kind] + " = ?", {key}},
      changes);
}

std::string DatabaseProblem(const std::string& path) {
  std::error_code ec;
  if (!std::filesystem::exists(path, ec) && !ec) return "no such file (create it with --init-db)";
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr) !=
      SQLITE_OK) {
    std::string problem = db ? sqlite3_errmsg(db) : "cannot open it";
    sqlite3_close(db);
    return problem;
  }
  sqlite3_busy_timeout(db, g_busy_timeout_ms.load());
  std::string problem;
  if (sqlite3_db_readonly(db, "main") == 1) {
    // SQLite opens a file it may not write for reading only; the server
    // writes on every login.
    problem = "it is read-only (the server writes to it: check the permissions of the file)";
  } else if (sqlite3_exec(db, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr) !=
             SQLITE_OK) {
    problem = sqlite3_errmsg(db);
    // The write-ahead log beside the file could not be made.
    if (sqlite3_errcode(db) == SQLITE_CANTOPEN)
      problem += " (the server writes beside it: check the permissions of its folder)";
  }
  sqlite3_close(db);
  return problem;
}

CWriteTransaction::CWriteTransaction(CAccountDb& db) : db_(db) {
  open_ = db_.ExecuteSql(CSqlStatement{"BEGIN IMMEDIATE", {}}) == 1;
}

CWriteTransaction::~CWriteTransaction() {
  if (open_) db_.ExecuteSql(CSqlStatement{"ROLLBACK", {}});
}

int CWriteTransaction::Commit() {
  if (!open_) return 0;
  if (db_.ExecuteSql(CSqlStatement{"COMMIT", {}}) == 1) {
    open_ = false;
    return 1;
  }
  return 0;  // still open: the destructor rolls it back
}

int CreateAccountDatabase(const std::string& path, std::string* error) {
  sqlite3* db = nullptr;
  int rc = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
  if (rc == SQLITE_OK) {
    sqlite3_busy_timeout(db, g_busy_timeout_ms.load());
    for (const char* sql : kSchema) {
      char* message = nullptr;
      rc = sqlite3_exec(db, sql, nullptr, nullptr, &message);
      if (rc != SQLITE_OK) {
        if (error) *error = message ? message : "schema failed";
        sqlite3_free(message);
        sqlite3_close(db);
        return 0;
      }
    }
    sqlite3_close(db);
    return 1;
  }
  if (error) *error = db ? sqlite3_errmsg(db) : "cannot open";
  sqlite3_close(db);
  return 0;
}

}  // namespace zv
