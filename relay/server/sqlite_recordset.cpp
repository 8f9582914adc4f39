#include "relay/server/sqlite_recordset.hpp"

#include <sqlite3.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace zv {
namespace {

bool SameName(const char* a, const std::string& b) {
  size_t n = std::strlen(a);
  if (n != b.size()) return false;
  for (size_t i = 0; i < n; ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

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

// Binds the statement's texts; the count must match its placeholders, so a
// value can never end up in the wrong place.
void BindTexts(sqlite3* db, sqlite3_stmt* stmt, const std::vector<std::string>& params) {
  if (sqlite3_bind_parameter_count(stmt) != static_cast<int>(params.size())) {
    CDbError e;
    e.code = SQLITE_RANGE;
    e.description = "statement placeholders and values differ in number";
    throw e;
  }
  for (size_t i = 0; i < params.size(); ++i)
    BindValue(db, stmt, static_cast<int>(i) + 1, DbValue(params[i]));
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

}  // namespace

void ExecuteStatement(sqlite3* db, const CSqlStatement& statement, int* changes) {
  Statement s;
  Prepare(db, statement.sql, s);
  BindTexts(db, s.stmt, statement.params);
  int rc;
  while ((rc = sqlite3_step(s.stmt)) == SQLITE_ROW) {
  }
  if (rc != SQLITE_DONE) throw ErrorOf(db, "execute");
  if (changes) *changes = sqlite3_changes(db);
}

std::string StatementTable(const std::string& sql) {
  size_t n = sql.size();
  for (size_t i = 0; i + 4 <= n; ++i) {
    bool word_start = i == 0 || std::isspace(static_cast<unsigned char>(sql[i - 1]));
    if (!word_start || !SameName("from", sql.substr(i, 4))) continue;
    size_t p = i + 4;
    if (p >= n || !std::isspace(static_cast<unsigned char>(sql[p]))) continue;
    while (p < n && std::isspace(static_cast<unsigned char>(sql[p]))) ++p;
    size_t start = p;
    while (p < n && !std::isspace(static_cast<unsigned char>(sql[p])) && sql[p] != ';') ++p;
    return sql.substr(start, p - start);
  }
  return std::string();
}

CSqliteRecordset::CSqliteRecordset(sqlite3* db, std::string table)
    : db_(db), table_(std::move(table)) {}

void CSqliteRecordset::Throw(const std::string& what) const {
  CDbError e;
  e.code = SQLITE_MISUSE;
  e.description = what;
  throw e;
}

void CSqliteRecordset::Open(const CSqlStatement& statement) {
  Statement s;
  Prepare(db_, statement.sql, s);
  BindTexts(db_, s.stmt, statement.params);
  int count = sqlite3_column_count(s.stmt);
  columns_.clear();
  for (int i = 0; i < count; ++i) {
    const char* name = sqlite3_column_name(s.stmt, i);
    columns_.push_back(name ? name : "");
  }
  rows_.clear();
  int rc;
  while ((rc = sqlite3_step(s.stmt)) == SQLITE_ROW) {
    Row row;
    row.values.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) row.values.push_back(ReadColumn(s.stmt, i));
    rows_.push_back(std::move(row));
  }
  if (rc != SQLITE_DONE) throw ErrorOf(db_, "open");
  position_ = 0;
  open_ = true;
}

bool CSqliteRecordset::IsBOF() {
  return rows_.empty() || position_ < 0;
}
bool CSqliteRecordset::IsEOF() {
  return position_ >= static_cast<long>(rows_.size());
}

void CSqliteRecordset::MoveNext() {
  if (!open_) Throw("recordset is closed");
  if (IsEOF()) Throw("no current row");
  ++position_;
  pending_.clear();
}

void CSqliteRecordset::Close() {
  open_ = false;
  rows_.clear();
  pending_.clear();
}

int CSqliteRecordset::ColumnIndex(const char* column) const {
  for (size_t i = 0; i < columns_.size(); ++i)
    if (SameName(column, columns_[i])) return static_cast<int>(i);
  return -1;
}

const DbValue& CSqliteRecordset::Column(const char* column) {
  if (!open_) Throw("recordset is closed");
  if (IsBOF() || IsEOF()) Throw("no current row");
  int i = ColumnIndex(column);
  if (i < 0) Throw(std::string("no column ") + column);
  return rows_[static_cast<size_t>(position_)].values[static_cast<size_t>(i)];
}

bool CSqliteRecordset::GetText(const char* column, std::string& out) {
  const DbValue& v = Column(column);
  if (std::holds_alternative<std::monostate>(v)) return false;
  if (std::holds_alternative<std::string>(v)) {
    out = std::get<std::string>(v);
  } else if (std::holds_alternative<int64_t>(v)) {
    out = std::to_string(std::get<int64_t>(v));
  } else {
    char b[64];
    std::snprintf(b, sizeof b, "%.15g", std::get<double>(v));
    out = b;
  }
  return true;
}

bool CSqliteRecordset::GetInt(const char* column, int32_t& out) {
  const DbValue& v = Column(column);
  if (std::holds_alternative<std::monostate>(v)) return false;
  if (std::holds_alternative<int64_t>(v)) {
    out = static_cast<int32_t>(std::get<int64_t>(v));
  } else if (std::holds_alternative<double>(v)) {
    double d = std::get<double>(v);
    out = (d >= -2147483648.0 && d <= 2147483647.0) ? static_cast<int32_t>(d) : 0;
  } else {
    out = static_cast<int32_t>(std::strtol(std::get<std::string>(v).c_str(), nullptr, 10));
  }
  return true;
}

bool CSqliteRecordset::GetDate(const char* column, double& out) {
  const DbValue& v = Column(column);
  if (std::holds_alternative<std::monostate>(v)) return false;
  if (std::holds_alternative<double>(v)) {
    out = std::get<double>(v);
  } else if (std::holds_alternative<int64_t>(v)) {
    out = static_cast<double>(std::get<int64_t>(v));
  } else {
    out = std::strtod(std::get<std::string>(v).c_str(), nullptr);
  }
  return true;
}

void CSqliteRecordset::Set(const char* column, DbValue value) {
  if (!open_) Throw("recordset is closed");
  if (IsBOF() || IsEOF()) Throw("no current row");
  int i = ColumnIndex(column);
  if (i < 0) Throw(std::string("no column ") + column);
  pending_[columns_[static_cast<size_t>(i)]] = std::move(value);
}

void CSqliteRecordset::SetText(const char* column, const std::string& value) {
  Set(column, DbValue(value));
}
void CSqliteRecordset::SetByte(const char* column, uint8_t value) {
  Set(column, DbValue(static_cast<int64_t>(value)));
}
void CSqliteRecordset::SetInt32(const char* column, int32_t value) {
  Set(column, DbValue(static_cast<int64_t>(value)));
}
void CSqliteRecordset::SetInt(const char* column, int value) {
  Set(column, DbValue(static_cast<int64_t>(value)));
}
void CSqliteRecordset::SetDate(const char* column, double value) {
  Set(column, DbValue(value));
}

void CSqliteRecordset::AddNew() {
  if (!open_) Throw("recordset is closed");
  Row row;
  row.values.resize(columns_.size());
  rows_.push_back(std::move(row));
  position_ = static_cast<long>(rows_.size()) - 1;
  adding_ = true;
  pending_.clear();
}

void CSqliteRecordset::ReloadRow(int64_t rowid) {
  Statement s;
  Prepare(db_, "SELECT * FROM " + table_ + " WHERE ID = ?", s);
  BindValue(db_, s.stmt, 1, DbValue(rowid));
  if (sqlite3_step(s.stmt) != SQLITE_ROW) throw ErrorOf(db_, "read back");
  Row& row = rows_[static_cast<size_t>(position_)];
  for (int i = 0; i < sqlite3_column_count(s.stmt); ++i) {
    int at = ColumnIndex(sqlite3_column_name(s.stmt, i));
    if (at >= 0) row.values[static_cast<size_t>(at)] = ReadColumn(s.stmt, i);
  }
}

void CSqliteRecordset::Update() {
  last_update_failed_ = true;
  if (!open_) Throw("recordset is closed");
  if (IsBOF() || IsEOF()) Throw("no current row");
  if (table_.empty()) Throw("recordset is read only");
  std::map<std::string, DbValue> changes;
  changes.swap(pending_);
  std::string sql;
  std::vector<const DbValue*> values;
  if (adding_) {
    if (changes.empty()) {
      sql = "INSERT INTO " + table_ + " DEFAULT VALUES";
    } else {
      std::string names, marks;
      for (const auto& [name, value] : changes) {
        names += (names.empty() ? "[" : ", [") + name + "]";
        marks += marks.empty() ? "?" : ", ?";
        values.push_back(&value);
      }
      sql = "INSERT INTO " + table_ + " (" + names + ") VALUES (" + marks + ")";
    }
  } else {
    if (changes.empty()) {
      last_update_failed_ = false;
      return;
    }
    int id = ColumnIndex("ID");
    if (id < 0) Throw("row has no ID");
    std::string sets;
    for (const auto& [name, value] : changes) {
      sets += (sets.empty() ? "[" : ", [") + name + "] = ?";
      values.push_back(&value);
    }
    sql = "UPDATE " + table_ + " SET " + sets + " WHERE ID = ?";
    values.push_back(&rows_[static_cast<size_t>(position_)].values[static_cast<size_t>(id)]);
  }
  for (const auto& [name, value] : changes) {
    if (name.find(']') != std::string::npos) Throw("bad column name");
  }
  Statement s;
  Prepare(db_, sql, s);
  for (size_t i = 0; i < values.size(); ++i)
    BindValue(db_, s.stmt, static_cast<int>(i) + 1, *values[i]);
  if (sqlite3_step(s.stmt) != SQLITE_DONE) {
    CDbError e = ErrorOf(db_, "update");
    if (adding_) {
      rows_.erase(rows_.begin() + position_);
      adding_ = false;
    }
    throw e;
  }
  if (adding_) {
    adding_ = false;
    ReloadRow(sqlite3_last_insert_rowid(db_));
  } else {
    Row& row = rows_[static_cast<size_t>(position_)];
    for (auto& [name, value] : changes)
      row.values[static_cast<size_t>(ColumnIndex(name.c_str()))] = value;
  }
  last_update_failed_ = false;
}

}  // namespace zv
