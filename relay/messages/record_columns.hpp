// Helpers shared by the four record classes for reading and writing rows.
// Internal to relay/messages.
#pragma once

#include <cstdint>
#include <string>

#include "relay/messages/recordset.hpp"

namespace zv {

// Byte columns keep the low byte of the stored value; NULL leaves the field.
inline void ReadByteColumn(CRecordset& rs, const char* column, uint8_t& field) {
  int32_t v = 0;
  if (rs.GetInt(column, v)) field = static_cast<uint8_t>(v);
}

// Runs `write` (which sets the columns) and then updates the row. A database
// error is reported to the operator instead of thrown; the row then stays
// without the update.
template <class WriteColumns>
void WriteRowReporting(CRecordset& rs, WriteColumns&& write) {
  try {
    write();
    rs.Update();
  } catch (const CDbError& e) {
    ReportDbError(DbErrorText(e.code, e.description));
  }
}

// "<verb> From <table> Where [<column>] = ?" with the key bound.
inline CSqlStatement KeyStatement(const char* verb, const std::string& table, const char* column,
                                  const std::string& key) {
  return CSqlStatement{std::string(verb) + " From " + table + " Where [" + column + "] = ?", {key}};
}

}  // namespace zv
