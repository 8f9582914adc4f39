#include "relay/server/account_db.hpp"

#include <atomic>
#include <cctype>
#include <climits>
#include <mutex>

#include "relay/messages/log_record.hpp"
#include "relay/server/database_path.hpp"
#include "relay/server/diagnostic_trace.hpp"
#include "relay/server/pg_session.hpp"
#include "relay/server/row_recordset.hpp"
#include "relay/server/server_texts.hpp"
#include "relay/server/sqlite_session.hpp"

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
  if (watcher) watcher(DatabaseDisplayName(path), opened);
}

std::unique_ptr<CDbSession> OpenSession(const std::string& path) {
  std::unique_ptr<CDbSession> session = IsPostgresUri(path)
                                            ? OpenPgSession(path, g_busy_timeout_ms.load())
                                            : OpenSqliteSession(path, g_busy_timeout_ms.load());
  NoteOpen(path, session != nullptr);
  return session;
}

CDbError Misuse(const char* what) {
  CDbError e;
  e.code = 21;
  e.description = what;
  return e;
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

CAccountDb::CAccountDb(const std::string& path) : session_(OpenSession(path)) {}

CAccountDb::~CAccountDb() = default;

DbEngine CAccountDb::Engine() const {
  return session_ ? session_->Engine() : DbEngine::kSqlite;
}

std::unique_ptr<CRecordset> CAccountDb::OpenRecordset(const CSqlStatement& sql, RowLock lock) {
  if (!session_) return nullptr;
  auto rs = std::make_unique<CRowRecordset>(*session_, StatementTable(sql.sql));
  try {
    rs->Open(sql, lock == RowLock::kForUpdate ? session_->RowLockSuffix() : "");
  } catch (const CDbError&) {
    return nullptr;
  }
  return rs;
}

int CAccountDb::ExecuteSql(const CSqlStatement& sql, int* changes) {
  if (changes) *changes = 0;
  if (!session_) return 0;
  try {
    const int64_t n = session_->Execute(sql.sql, TextParams(sql.params));
    if (changes) *changes = static_cast<int>(n);
  } catch (const CDbError&) {
    DiagnosticTrace("%s%s", texts::kSqlErrorPrefix, sql.Describe().c_str());
    return 0;
  }
  return 1;
}

int CAccountDb::InsertRecord(CRecord* record) {
  if (!record || !session_) return 0;
  std::string table = GetTableName(record->GetKind());
  if (table.empty()) return 0;
  try {
    // Only the column names are needed, so no existing row is read.
    CRowRecordset rs(*session_, table);
    rs.Open(CSqlStatement{"SELECT * FROM " + table + " WHERE 1 = 0", {}});
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
  if (!rs) throw Misuse("invalid pointer: the row statement could not be opened");
  if (rs->IsBOF() || rs->IsEOF()) {
    rs->Close();
    return 0;
  }
  record.WriteTo(*rs);
  bool failed = static_cast<CRowRecordset&>(*rs).LastUpdateFailed();
  rs->Close();
  return failed ? 0 : 1;
}

int CAccountDb::DeleteRecord(int kind, const std::string& key, int* changes) {
  if (changes) *changes = 0;
  static const char* const kKeyColumn[] = {"", "[OrganizationName]", "[Name]", "[DeviceID]",
                                           "[ID]"};
  std::string table = GetTableName(kind);
  if (table.empty()) return 0;
  const std::string value = kind == kLogKind ? std::to_string(ParseLogId(key)) : key;
  return ExecuteSql(
      CSqlStatement{"Delete From " + table + " Where " + kKeyColumn[kind] + " = ?", {value}},
      changes);
}

int CAccountDb::HasTable(const std::string& name) {
  if (!session_) return -1;
  try {
    return session_->HasTable(name) ? 1 : 0;
  } catch (const CDbError&) {
    return -1;
  }
}

std::string DatabaseProblem(const std::string& path) {
  return IsPostgresUri(path) ? PgDatabaseProblem(path, g_busy_timeout_ms.load())
                             : SqliteDatabaseProblem(path, g_busy_timeout_ms.load());
}

CWriteTransaction::CWriteTransaction(CAccountDb& db) : db_(db) {
  if (!db_.session_) return;
  try {
    db_.session_->BeginWrite();
    open_ = true;
  } catch (const CDbError&) {
    DiagnosticTrace("%s%s", texts::kSqlErrorPrefix, "BEGIN");
  }
}

CWriteTransaction::~CWriteTransaction() {
  if (!open_) return;
  try {
    db_.session_->Rollback();
  } catch (const CDbError&) {
    // A connection that is gone has rolled back by itself.
  }
}

int CWriteTransaction::Commit() {
  if (!open_) return 0;
  try {
    db_.session_->Commit();
  } catch (const CDbError&) {
    DiagnosticTrace("%s%s", texts::kSqlErrorPrefix, "COMMIT");
    return 0;  // still open: the destructor rolls it back
  }
  open_ = false;
  return 1;
}

int CreateAccountDatabase(const std::string& path, std::string* error) {
  return IsPostgresUri(path) ? CreatePgDatabase(path, g_busy_timeout_ms.load(), error)
                             : CreateSqliteDatabase(path, g_busy_timeout_ms.load(), error);
}

}  // namespace zv
