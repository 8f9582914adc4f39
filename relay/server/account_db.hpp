// CAccountDb: one connection to the account database, opened by the
// constructor and closed by the destructor. Handlers open one per call and
// share nothing between calls, so several threads may each hold their own.
//
// Failures never escape these operations except where the callers expect the
// database error: UpdateRecord without a row statement, and the recordset
// operations that a caller performs itself (CDbError).
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "relay/messages/record.hpp"
#include "relay/messages/recordset.hpp"
#include "relay/server/db_session.hpp"

namespace zv {

class CAccountDb {
 public:
  // Opens DatabasePath(): an SQLite file, or a PostgreSQL database when the
  // path is a postgresql:// URI. A missing file is not created and an
  // unreachable server is not waited for: the object is then not open and
  // every operation fails quietly.
  CAccountDb();
  explicit CAccountDb(const std::string& path);
  ~CAccountDb();
  CAccountDb(const CAccountDb&) = delete;
  CAccountDb& operator=(const CAccountDb&) = delete;

  bool IsOpen() const { return session_ != nullptr; }
  // The engine behind an open connection (SQLite when not open).
  DbEngine Engine() const;

  // Whether a read inside a CWriteTransaction holds the rows it finds until
  // the transaction ends: a read that a later write of the same transaction
  // depends on must, or another server could change the rows in between.
  enum class RowLock { kNone, kForUpdate };

  // An updatable recordset on the statement, or none when not open or when
  // the statement fails.
  std::unique_ptr<CRecordset> OpenRecordset(const CSqlStatement& sql,
                                            RowLock lock = RowLock::kNone);

  // Runs the statement; 1 done, 0 not open or failed (the failure goes to the
  // diagnostic trace). `changes`, when given, receives the rows changed.
  int ExecuteSql(const CSqlStatement& sql, int* changes = nullptr);

  // Appends the record to its table; a log record learns the ID the database
  // gave it. 1 stored, 0 not stored (the error is reported through
  // ReportDbError).
  int InsertRecord(CRecord* record);

  // Overwrites the record's stored row. 1 stored; 0 when there is no such row
  // or storing it failed. Throws CDbError when its statement cannot be opened.
  int UpdateRecord(const CRecord& record);

  // Deletes the row of kind 1-4 with this key (the log ID read as a decimal
  // number, 0 without digits). 1 ran, 0 not run; `changes` as in ExecuteSql.
  int DeleteRecord(int kind, const std::string& key, int* changes = nullptr);

  // Whether the database has a table of this name: 1 yes, 0 no, -1 failed.
  int HasTable(const std::string& name);

 private:
  friend class CWriteTransaction;
  std::unique_ptr<CDbSession> session_;
};

// One write transaction on a connection. On SQLite it takes the write lock
// at once (BEGIN IMMEDIATE), so what it reads stays true until it commits;
// on PostgreSQL the reads it depends on lock their rows (RowLock). It
// rolls back unless committed (a connection closed mid-way, or a process
// killed mid-way, does the same). Steps that must all happen or none, such
// as a row and the organization counter that counts it, run inside one.
class CWriteTransaction {
 public:
  explicit CWriteTransaction(CAccountDb& db);
  ~CWriteTransaction();
  CWriteTransaction(const CWriteTransaction&) = delete;
  CWriteTransaction& operator=(const CWriteTransaction&) = delete;

  // Whether it began; statements run without it would commit one by one.
  bool IsOpen() const { return open_; }
  // 1 committed; 0 when it never began or the commit failed (rolled back).
  int Commit();

 private:
  CAccountDb& db_;
  bool open_ = false;
};

// Creates the database file, or the tables in a PostgreSQL database, with
// its four tables (nothing happens to tables that exist already). 1 done, 0
// failed with the reason in *error.
int CreateAccountDatabase(const std::string& path, std::string* error);

// What keeps the database at `path` from serving, for the operator: empty
// when it opens for reading and writing, else the reason on one line ("no
// such file (create it with --init-db)", "it is read-only ...", SQLite's or
// libpq's text; never a password).
std::string DatabaseProblem(const std::string& path);

// How long a statement waits for a lock another connection holds before it
// fails (5000 ms unless changed; tests shorten it). On PostgreSQL it is the
// connection's lock_timeout.
void SetDbBusyTimeoutMs(int ms);
int DbBusyTimeoutMs();

// Told when the database stops opening (`opens` false: the file is missing,
// unreadable or no database; the server is down or refuses the connection)
// and when it opens again, once per change, so a server can log it. `path`
// is DatabaseDisplayName's (no password). The operations themselves stay
// quiet either way.
using DbOpenWatcher = std::function<void(const std::string& path, bool opens)>;
void SetDbOpenWatcher(DbOpenWatcher watcher);

// The key of a log record read as the database does: leading blanks, an
// optional sign, then digits up to the first other character; 0 without any.
long ParseLogId(const std::string& key);

}  // namespace zv
