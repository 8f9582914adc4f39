// An in-memory recordset over one row for the record database tests: columns
// hold text, integers or dates, or NULL; missing columns throw like a real
// engine; every call is logged so the tests can check orders and kinds.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "relay/messages/recordset.hpp"

namespace zv::test {

class FakeRecordset : public CRecordset {
 public:
  using Value = std::variant<std::monostate, std::string, int32_t, double>;  // monostate = NULL

  std::map<std::string, Value> row;
  std::vector<std::string> calls;  // "get:Name", "set-text:Name", "update", ...
  int updates = 0;
  // When set, writing this column throws the given error.
  std::optional<std::string> fail_on_write;
  CDbError write_error{static_cast<int32_t>(0x80040E21), "Multiple-step operation"};

  bool IsBOF() override { return false; }
  bool IsEOF() override { return false; }
  void MoveNext() override {}
  void Close() override {}

  bool GetText(const char* column, std::string& out) override {
    return Get<std::string>("get-text", column, out);
  }
  bool GetInt(const char* column, int32_t& out) override {
    return Get<int32_t>("get-int", column, out);
  }
  bool GetDate(const char* column, double& out) override {
    return Get<double>("get-date", column, out);
  }

  void SetText(const char* c, const std::string& v) override { Set("set-text", c, v); }
  void SetByte(const char* c, uint8_t v) override { Set("set-byte", c, int32_t{v}); }
  void SetInt32(const char* c, int32_t v) override { Set("set-int32", c, v); }
  void SetInt(const char* c, int v) override { Set("set-int", c, int32_t{v}); }
  void SetDate(const char* c, double v) override { Set("set-date", c, v); }
  void Update() override {
    calls.push_back("update");
    ++updates;
    committed = pending;
  }

  // Values written and then committed by Update.
  std::map<std::string, Value> pending;
  std::map<std::string, Value> committed;

 private:
  template <class T, class Out>
  bool Get(const char* what, const char* column, Out& out) {
    calls.push_back(std::string(what) + ":" + column);
    auto it = row.find(column);
    if (it == row.end()) throw CDbError{-2146825023, std::string("Item not found: ") + column};
    if (std::holds_alternative<std::monostate>(it->second)) return false;
    out = static_cast<Out>(std::get<T>(it->second));
    return true;
  }
  void Set(const char* what, const char* column, Value v) {
    calls.push_back(std::string(what) + ":" + column);
    if (fail_on_write && *fail_on_write == column) throw write_error;
    pending[column] = std::move(v);
  }
};

}  // namespace zv::test
