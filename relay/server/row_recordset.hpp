// CRecordset over a database session: the rows of one statement, read when it
// is opened and addressed by their ID (the numbered column of every account
// table), so a row changed with Set* and Update() is written back to exactly
// that row. AddNew() starts a new row that Update() inserts; the new row's
// ID and the database's defaults are read back afterwards. Nothing here
// depends on the engine: the session runs the statements.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "relay/messages/recordset.hpp"
#include "relay/server/db_session.hpp"

namespace zv {

class CRowRecordset : public CRecordset {
 public:
  // `table` is the table that Update() writes to (empty: read only).
  CRowRecordset(CDbSession& session, std::string table);

  // Runs the statement (with `suffix` appended to its text) and keeps its
  // rows; throws CDbError on failure.
  void Open(const CSqlStatement& statement, const char* suffix = "");

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
  const DbValue& Column(const char* column);
  int ColumnIndex(const char* column) const;
  void Set(const char* column, DbValue value);
  [[noreturn]] void Throw(const std::string& what) const;

  CDbSession& session_;
  std::string table_;
  std::vector<std::string> columns_;
  std::vector<std::vector<DbValue>> rows_;
  long position_ = 0;
  bool open_ = false;
  bool adding_ = false;
  bool last_update_failed_ = false;
  std::map<std::string, DbValue> pending_;
};

// The table a "... FROM <table> ..." statement reads (brackets kept), or "".
std::string StatementTable(const std::string& sql);

// Whether two names are equal ignoring ASCII case (column names).
bool SameColumnName(const char* a, const std::string& b);

}  // namespace zv
