#include "relay/server/sqlite_session.hpp"

#include <sqlite3.h>
#include <sys/stat.h>

#include <cstdint>
#include <filesystem>
#include <mutex>
#include <unordered_map>
#include <vector>

namespace zv {
namespace {

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

CDbError ErrorOf(sqlite3* db, const std::string& what) {
  CDbError e;
  e.code = db ? sqlite3_extended_errcode(db) : SQLITE_MISUSE;
  e.description = what;
  if (db) {
    e.description += ": ";
    e.description += sqlite3_errmsg(db);
  }
  return e;
}

// A prepared statement that finalizes itself.
struct Statement {
  sqlite3_stmt* stmt = nullptr;
  ~Statement() { sqlite3_finalize(stmt); }
};

void Prepare(sqlite3* db, const std::string& sql, Statement& s) {
  if (sqlite3_prepare_v2(db, sql.c_str(), static_cast<int>(sql.size()), &s.stmt, nullptr) !=
          SQLITE_OK ||
      !s.stmt)
    throw ErrorOf(db, "prepare");
}

void BindValue(sqlite3* db, sqlite3_stmt* stmt, int index, const DbValue& v) {
  int rc = SQLITE_OK;
  if (std::holds_alternative<int64_t>(v)) {
    rc = sqlite3_bind_int64(stmt, index, std::get<int64_t>(v));
  } else if (std::holds_alternative<double>(v)) {
    rc = sqlite3_bind_double(stmt, index, std::get<double>(v));
  } else if (std::holds_alternative<std::string>(v)) {
    const std::string& s = std::get<std::string>(v);
    rc = sqlite3_bind_text(stmt, index, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
  } else {
    rc = sqlite3_bind_null(stmt, index);
  }
  if (rc != SQLITE_OK) throw ErrorOf(db, "bind");
}

// The count must match the placeholders, so a value can never end up in the
// wrong place.
void BindAll(sqlite3* db, sqlite3_stmt* stmt, const std::vector<DbValue>& params) {
  if (sqlite3_bind_parameter_count(stmt) != static_cast<int>(params.size())) {
    CDbError e;
    e.code = SQLITE_RANGE;
    e.description = "statement placeholders and values differ in number";
    throw e;
  }
  for (size_t i = 0; i < params.size(); ++i)
    BindValue(db, stmt, static_cast<int>(i) + 1, params[i]);
}

DbValue ReadColumn(sqlite3_stmt* stmt, int i) {
  switch (sqlite3_column_type(stmt, i)) {
    case SQLITE_INTEGER:
      return DbValue(static_cast<int64_t>(sqlite3_column_int64(stmt, i)));
    case SQLITE_FLOAT:
      return DbValue(sqlite3_column_double(stmt, i));
    case SQLITE_NULL:
      return DbValue();
    default: {
      const void* p = sqlite3_column_blob(stmt, i);
      int n = sqlite3_column_bytes(stmt, i);
      return DbValue(std::string(p ? static_cast<const char*>(p) : "", static_cast<size_t>(n)));
    }
  }
}

void ReadRows(sqlite3* db, sqlite3_stmt* stmt, DbRows* out) {
  const int count = sqlite3_column_count(stmt);
  out->columns.clear();
  out->rows.clear();
  for (int i = 0; i < count; ++i) {
    const char* name = sqlite3_column_name(stmt, i);
    out->columns.push_back(name ? name : "");
  }
  int rc;
  while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
    std::vector<DbValue> row;
    row.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) row.push_back(ReadColumn(stmt, i));
    out->rows.push_back(std::move(row));
  }
  if (rc != SQLITE_DONE) throw ErrorOf(db, "open");
}

sqlite3* OpenFile(const std::string& path, int busy_timeout_ms) {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr) !=
      SQLITE_OK) {
    sqlite3_close(db);
    return nullptr;
  }
  sqlite3_busy_timeout(db, busy_timeout_ms);
  return db;
}

// Connections kept open between handler calls, per file. Opening a file
// costs system calls, locks and a schema read each time; a fleet of cards
// registering at once opens it twice per card. A pooled connection is used
// again only while its path still names the same file: a database moved
// away or replaced is opened anew (or found missing) as before.
class CSqlitePool {
 public:
  CSqlitePool() = default;
  CSqlitePool(const CSqlitePool&) = delete;
  CSqlitePool& operator=(const CSqlitePool&) = delete;
  ~CSqlitePool() {
    for (auto& [path, idle] : idle_)
      for (sqlite3* db : idle.connections) sqlite3_close_v2(db);
  }

  struct FileId {
    uint64_t device = 0;
    uint64_t inode = 0;
    bool operator==(const FileId&) const = default;
  };

  // An open connection for `path` whose file is `id`, or null.
  sqlite3* Take(const std::string& path, const FileId& id) {
    std::lock_guard<std::mutex> guard(lock_);
    auto it = idle_.find(path);
    if (it == idle_.end()) return nullptr;
    Idle& idle = it->second;
    if (!(idle.id == id)) {
      for (sqlite3* db : idle.connections) sqlite3_close_v2(db);
      idle_.erase(it);
      return nullptr;
    }
    if (idle.connections.empty()) return nullptr;
    sqlite3* db = idle.connections.back();
    idle.connections.pop_back();
    return db;
  }
  // Keeps `db` for the next call on `path`, or closes it when enough wait.
  void Give(const std::string& path, const FileId& id, sqlite3* db) {
    {
      std::lock_guard<std::mutex> guard(lock_);
      Idle& idle = idle_[path];
      if (!(idle.id == id)) {
        for (sqlite3* old : idle.connections) sqlite3_close_v2(old);
        idle.connections.clear();
        idle.id = id;
      }
      if (idle.connections.size() < kKept) {
        idle.connections.push_back(db);
        return;
      }
    }
    sqlite3_close_v2(db);
  }

 private:
  // More than the database workers, so that each keeps its connection.
  static constexpr size_t kKept = 16;
  struct Idle {
    FileId id;
    std::vector<sqlite3*> connections;
  };
  std::mutex lock_;
  std::unordered_map<std::string, Idle> idle_;
};

CSqlitePool& Pool() {
  static CSqlitePool pool;
  return pool;
}

bool FileIdOf(const std::string& path, CSqlitePool::FileId* id) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return false;
  id->device = static_cast<uint64_t>(st.st_dev);
  id->inode = static_cast<uint64_t>(st.st_ino);
  return true;
}

class CSqliteSession : public CDbSession {
 public:
  CSqliteSession(sqlite3* db, std::string path, CSqlitePool::FileId id)
      : db_(db), path_(std::move(path)), id_(id) {}
  ~CSqliteSession() override {
    // A connection left inside a transaction (an error mid-way) is closed,
    // which rolls the transaction back, rather than handed on.
    if (sqlite3_get_autocommit(db_) != 0)
      Pool().Give(path_, id_, db_);
    else
      sqlite3_close_v2(db_);
  }

  DbEngine Engine() const override { return DbEngine::kSqlite; }

  void Query(const std::string& sql, const std::vector<DbValue>& params, DbRows* out) override {
    Statement s;
    Prepare(db_, sql, s);
    BindAll(db_, s.stmt, params);
    ReadRows(db_, s.stmt, out);
  }

  int64_t Execute(const std::string& sql, const std::vector<DbValue>& params) override {
    Statement s;
    Prepare(db_, sql, s);
    BindAll(db_, s.stmt, params);
    int rc;
    while ((rc = sqlite3_step(s.stmt)) == SQLITE_ROW) {
    }
    if (rc != SQLITE_DONE) throw ErrorOf(db_, "execute");
    return sqlite3_changes(db_);
  }

  void Insert(const std::string& table, const std::vector<std::string>& columns,
              const std::vector<DbValue>& values, DbRows* out) override {
    std::string sql;
    if (columns.empty()) {
      sql = "INSERT INTO " + table + " DEFAULT VALUES";
    } else {
      std::string names, marks;
      for (const std::string& name : columns) {
        names += (names.empty() ? "[" : ", [") + name + "]";
        marks += marks.empty() ? "?" : ", ?";
      }
      sql = "INSERT INTO " + table + " (" + names + ") VALUES (" + marks + ")";
    }
    Execute(sql, values);
    Query("SELECT * FROM " + table + " WHERE ID = ?",
          {DbValue(static_cast<int64_t>(sqlite3_last_insert_rowid(db_)))}, out);
    if (out->rows.empty()) throw ErrorOf(db_, "read back");
  }

  // The write lock at once, so what the transaction reads stays true.
  void BeginWrite() override { Execute("BEGIN IMMEDIATE", {}); }
  void Commit() override { Execute("COMMIT", {}); }
  void Rollback() override { Execute("ROLLBACK", {}); }
  const char* RowLockSuffix() const override { return ""; }

  bool HasTable(const std::string& name) override {
    DbRows rows;
    Query("SELECT name FROM sqlite_master WHERE type = 'table' AND name = ? COLLATE NOCASE",
          {DbValue(name)}, &rows);
    return !rows.rows.empty();
  }

 private:
  sqlite3* db_;
  const std::string path_;
  const CSqlitePool::FileId id_;
};

}  // namespace

std::unique_ptr<CDbSession> OpenSqliteSession(const std::string& path, int busy_timeout_ms) {
  // A missing file is not created: no session.
  CSqlitePool::FileId id;
  if (!FileIdOf(path, &id)) return nullptr;
  if (sqlite3* pooled = Pool().Take(path, id)) {
    sqlite3_busy_timeout(pooled, busy_timeout_ms);
    return std::make_unique<CSqliteSession>(pooled, path, id);
  }
  sqlite3* db = OpenFile(path, busy_timeout_ms);
  if (!db) return nullptr;
  // A file that exists but is no database counts as not open.
  if (sqlite3_exec(db, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr) !=
      SQLITE_OK) {
    sqlite3_close(db);
    return nullptr;
  }
  return std::make_unique<CSqliteSession>(db, path, id);
}

int CreateSqliteDatabase(const std::string& path, int busy_timeout_ms, std::string* error) {
  sqlite3* db = nullptr;
  int rc = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
  if (rc == SQLITE_OK) {
    sqlite3_busy_timeout(db, busy_timeout_ms);
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

std::string SqliteDatabaseProblem(const std::string& path, int busy_timeout_ms) {
  std::error_code ec;
  if (!std::filesystem::exists(path, ec) && !ec) return "no such file (create it with --init-db)";
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr) !=
      SQLITE_OK) {
    std::string problem = db ? sqlite3_errmsg(db) : "cannot open it";
    sqlite3_close(db);
    return problem;
  }
  sqlite3_busy_timeout(db, busy_timeout_ms);
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

}  // namespace zv
