// CRecordset on SQLite: the rows of one statement, read when it is opened
// and addressed by their rowid (the ID column of every account table), so a
// row changed with Set* and Update() is written back to exactly that row.
// AddNew() starts a new row that Update() inserts; the new row's ID and the
// database's defaults are read back afterwards.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "relay/messages/recordset.hpp"

struct sqlite3;

namespace zv {

using DbValue = std::variant<std::monostate, int64_t, double, std::string>;

class CSqliteRecordset : public CRecordset {
 public:
  // `table` is the table that Update() writes to (empty: read only).
  CSqliteRecordset(sqlite3* db, std::string table);

  // Runs the statement and keeps its rows; throws CDbError on failure.
  void Open(const CSqlStatement& statement);

  bool IsBOF() override;
  bool IsEOF() override;
  void MoveNext() override;
  void Close() override;

  bool GetText(const char* column, std::string& out) override;
  bool GetInt(const char* column, int32_t& out) override;
  bool GetDate(const char* column, double& out) override;

  void SetText(const char* column, const std::string& value) override;
  void SetByte(const char* column, uint8_t value) override;
  void SetInt32(const char* column, int32_t value) override;
  void SetInt(const char* column, int value) override;
  void SetDate(const char* column, double value) override;
  void Update() override;

  // Starts a new row at the end; the next Update() inserts it.
  void AddNew();
  // Whether the last Update() failed (the record writers swallow the error).
  bool LastUpdateFailed() const { return last_update_failed_; }
  size_t RowCount() const { return rows_.size(); }

 private:
  struct Row {
    std::vector<DbValue> values;
  };
  const DbValue& Column(const char* column);
  int ColumnIndex(const char* column) const;
  void Set(const char* column, DbValue value);
  void ReloadRow(int64_t rowid);
  [[noreturn]] void Throw(const std::string& what) const;

  sqlite3* db_;
  std::string table_;
  std::vector<std::string> columns_;
  std::vector<Row> rows_;
  long position_ = 0;
  bool open_ = false;
  bool adding_ = false;
  bool last_update_failed_ = false;
  std::map<std::string, DbValue> pending_;
};

// Runs a statement with its text values bound; fills *changes with the number
// of rows it changed. Throws CDbError on failure.
void ExecuteStatement(sqlite3* db, const CSqlStatement& statement, int* changes);

// The table a "... FROM <table> ..." statement reads (brackets kept), or "".
std::string StatementTable(const std::string& sql);

}  // namespace zv
