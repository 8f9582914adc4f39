#include "relay/server/row_recordset.hpp"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace zv {

bool SameColumnName(const char* a, const std::string& b) {
  size_t n = std::strlen(a);
  if (n != b.size()) return false;
  for (size_t i = 0; i < n; ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

std::vector<DbValue> TextParams(const std::vector<std::string>& texts) {
  std::vector<DbValue> values;
  values.reserve(texts.size());
  for (const std::string& t : texts) values.emplace_back(t);
  return values;
}

std::string StatementTable(const std::string& sql) {
  size_t n = sql.size();
  for (size_t i = 0; i + 4 <= n; ++i) {
    bool word_start = i == 0 || std::isspace(static_cast<unsigned char>(sql[i - 1]));
    if (!word_start || !SameColumnName("from", sql.substr(i, 4))) continue;
    size_t p = i + 4;
    if (p >= n || !std::isspace(static_cast<unsigned char>(sql[p]))) continue;
    while (p < n && std::isspace(static_cast<unsigned char>(sql[p]))) ++p;
    size_t start = p;
    while (p < n && !std::isspace(static_cast<unsigned char>(sql[p])) && sql[p] != ';') ++p;
    return sql.substr(start, p - start);
  }
  return std::string();
}

CRowRecordset::CRowRecordset(CDbSession& session, std::string table)
    : session_(session), table_(std::move(table)) {}

void CRowRecordset::Throw(const std::string& what) const {
  CDbError e;
  e.code = 21;  // misuse: a call the recordset's state does not allow
  e.description = what;
  throw e;
}

void CRowRecordset::Open(const CSqlStatement& statement, const char* suffix) {
  DbRows result;
  session_.Query(statement.sql + suffix, TextParams(statement.params), &result);
  columns_ = std::move(result.columns);
  rows_ = std::move(result.rows);
  position_ = 0;
  open_ = true;
}

bool CRowRecordset::IsBOF() {
  return rows_.empty() || position_ < 0;
}
bool CRowRecordset::IsEOF() {
  return position_ >= static_cast<long>(rows_.size());
}

void CRowRecordset::MoveNext() {
  if (!open_) Throw("recordset is closed");
  if (IsEOF()) Throw("no current row");
  ++position_;
  pending_.clear();
}

void CRowRecordset::Close() {
  open_ = false;
  rows_.clear();
  pending_.clear();
}

int CRowRecordset::ColumnIndex(const char* column) const {
  for (size_t i = 0; i < columns_.size(); ++i)
    if (SameColumnName(column, columns_[i])) return static_cast<int>(i);
  return -1;
}

const DbValue& CRowRecordset::Column(const char* column) {
  if (!open_) Throw("recordset is closed");
  if (IsBOF() || IsEOF()) Throw("no current row");
  int i = ColumnIndex(column);
  if (i < 0) Throw(std::string("no column ") + column);
  return rows_[static_cast<size_t>(position_)][static_cast<size_t>(i)];
}

bool CRowRecordset::GetText(const char* column, std::string& out) {
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

bool CRowRecordset::GetInt(const char* column, int32_t& out) {
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

bool CRowRecordset::GetDate(const char* column, double& out) {
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

void CRowRecordset::Set(const char* column, DbValue value) {
  if (!open_) Throw("recordset is closed");
  if (IsBOF() || IsEOF()) Throw("no current row");
  int i = ColumnIndex(column);
  if (i < 0) Throw(std::string("no column ") + column);
  pending_[columns_[static_cast<size_t>(i)]] = std::move(value);
}

void CRowRecordset::SetText(const char* column, const std::string& value) {
  Set(column, DbValue(value));
}
void CRowRecordset::SetByte(const char* column, uint8_t value) {
  Set(column, DbValue(static_cast<int64_t>(value)));
}
void CRowRecordset::SetInt32(const char* column, int32_t value) {
  Set(column, DbValue(static_cast<int64_t>(value)));
}
void CRowRecordset::SetInt(const char* column, int value) {
  Set(column, DbValue(static_cast<int64_t>(value)));
}
void CRowRecordset::SetDate(const char* column, double value) {
  Set(column, DbValue(value));
}

void CRowRecordset::AddNew() {
  if (!open_) Throw("recordset is closed");
  rows_.emplace_back(columns_.size());
  position_ = static_cast<long>(rows_.size()) - 1;
  adding_ = true;
  pending_.clear();
}

void CRowRecordset::Update() {
  last_update_failed_ = true;
  if (!open_) Throw("recordset is closed");
  if (IsBOF() || IsEOF()) Throw("no current row");
  if (table_.empty()) Throw("recordset is read only");
  std::map<std::string, DbValue> changes;
  changes.swap(pending_);
  for (const auto& [name, value] : changes) {
    if (name.find(']') != std::string::npos) Throw("bad column name");
  }
  std::vector<std::string> names;
  std::vector<DbValue> values;
  for (auto& [name, value] : changes) {
    names.push_back(name);
    values.push_back(value);
  }
  std::vector<DbValue>& row = rows_[static_cast<size_t>(position_)];
  if (adding_) {
    DbRows stored;
    try {
      session_.Insert(table_, names, values, &stored);
    } catch (const CDbError&) {
      rows_.erase(rows_.begin() + position_);
      adding_ = false;
      throw;
    }
    adding_ = false;
    if (stored.rows.empty()) Throw("read back");
    for (size_t i = 0; i < stored.columns.size(); ++i) {
      int at = ColumnIndex(stored.columns[i].c_str());
      if (at >= 0) row[static_cast<size_t>(at)] = stored.rows[0][i];
    }
    last_update_failed_ = false;
    return;
  }
  if (changes.empty()) {
    last_update_failed_ = false;
    return;
  }
  int id = ColumnIndex("ID");
  if (id < 0) Throw("row has no ID");
  std::string sets;
  for (const std::string& name : names) sets += (sets.empty() ? "[" : ", [") + name + "] = ?";
  values.push_back(row[static_cast<size_t>(id)]);
  session_.Execute("UPDATE " + table_ + " SET " + sets + " WHERE ID = ?", values);
  for (auto& [name, value] : changes) row[static_cast<size_t>(ColumnIndex(name.c_str()))] = value;
  last_update_failed_ = false;
}

}  // namespace zv
