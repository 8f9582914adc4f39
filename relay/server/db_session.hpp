// One open connection to an account database engine, the piece that differs
// between the embedded SQLite file and a PostgreSQL server. Statements are
// written once, with '?' placeholders and [bracketed] names, and each engine
// runs them in its own dialect; every value travels as a bound parameter.
// Every operation throws CDbError when the engine reports a failure.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "relay/messages/recordset.hpp"

namespace zv {

using DbValue = std::variant<std::monostate, int64_t, double, std::string>;

// The rows of one statement, read whole: column names and one value per
// column and row (NULL as monostate).
struct DbRows {
  std::vector<std::string> columns;
  std::vector<std::vector<DbValue>> rows;
};

enum class DbEngine { kSqlite, kPostgres };

class CDbSession {
 public:
  virtual ~CDbSession() = default;

  virtual DbEngine Engine() const = 0;
  // Runs a statement and keeps its rows.
  virtual void Query(const std::string& sql, const std::vector<DbValue>& params, DbRows* out) = 0;
  // Runs a statement; the number of rows it changed.
  virtual int64_t Execute(const std::string& sql, const std::vector<DbValue>& params) = 0;
  // Adds a row of `table` with these columns and gives it back as stored,
  // with the ID the database numbered and the defaults it filled in.
  virtual void Insert(const std::string& table, const std::vector<std::string>& columns,
                      const std::vector<DbValue>& values, DbRows* out) = 0;
  // A transaction whose reads, with RowLockSuffix(), stay true until it ends.
  virtual void BeginWrite() = 0;
  virtual void Commit() = 0;
  virtual void Rollback() = 0;
  // Appended to a read inside a write transaction to hold the rows it finds
  // until the transaction ends. SQLite's write transaction holds the whole
  // file already; a server lets other connections on, so the rows are locked.
  virtual const char* RowLockSuffix() const = 0;
  // Whether a table of this name exists (names compare without case).
  virtual bool HasTable(const std::string& name) = 0;
};

// Statement texts bound as they come.
std::vector<DbValue> TextParams(const std::vector<std::string>& texts);

}  // namespace zv
