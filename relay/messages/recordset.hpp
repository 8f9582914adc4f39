// The database side that account records need, kept abstract so that no
// database engine code lives beside the wire encoding: a row cursor with
// by-name column access, a statement with bound text values, and the error
// text and reporter used when storing a row fails.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace zv {

// A database failure: the engine's error code and its description. Recordset
// operations throw it; inside the server domain database errors travel as
// this exception (the server's Process callers catch it).
struct CDbError {
  int32_t code = 0;
  std::string description;
};

// An updatable cursor over the rows of one statement. Implemented by the
// server on its database engine; tests use an in-memory fake.
class CRecordset {
 public:
  virtual ~CRecordset() = default;

  virtual bool IsBOF() = 0;
  virtual bool IsEOF() = 0;
  virtual void MoveNext() = 0;
  virtual void Close() = 0;

  // Column readers of the current row. A NULL value returns false and leaves
  // `out` untouched; a column that does not exist throws CDbError.
  virtual bool GetText(const char* column, std::string& out) = 0;
  virtual bool GetInt(const char* column, int32_t& out) = 0;
  virtual bool GetDate(const char* column, double& out) = 0;

  // Column writers of the current row; they take effect with Update().
  virtual void SetText(const char* column, const std::string& value) = 0;
  virtual void SetByte(const char* column, uint8_t value) = 0;
  virtual void SetInt32(const char* column, int32_t value) = 0;
  virtual void SetInt(const char* column, int value) = 0;
  virtual void SetDate(const char* column, double value) = 0;
  virtual void Update() = 0;
};

// Statement text with '?' placeholders and the text values bound to them in
// order. Texts that come from requests or records are always bound, never
// pasted into the text; table names and integers are formatted into it.
struct CSqlStatement {
  std::string sql;
  std::vector<std::string> params;

  // The statement with every '?' replaced by its value between single quotes,
  // for log lines only (never executed).
  std::string Describe() const;
};

// Operator-facing text of a database error: "IDispatch error #%d" (code minus
// 0x80040200) for codes 0x80040200..0x8004FFFF, otherwise the description
// when it is not empty, otherwise "Unknown error 0x%0lX".
std::string DbErrorText(int32_t code, const std::string& description);

// Where record writes report their database errors (the server routes them to
// its log). Without a reporter the text goes to the standard error stream.
// Safe to call from several threads.
using DbErrorReporter = std::function<void(const std::string& text)>;
void SetDbErrorReporter(DbErrorReporter reporter);
void ReportDbError(const std::string& text);

}  // namespace zv
