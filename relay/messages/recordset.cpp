#include "relay/messages/recordset.hpp"

#include <cstdio>
#include <mutex>

namespace zv {
namespace {

std::mutex g_reporter_mutex;
DbErrorReporter g_reporter;

}  // namespace

std::string CSqlStatement::Describe() const {
  std::string text;
  size_t next = 0;
  for (char c : sql) {
    if (c == '?' && next < params.size()) {
      text += '\'';
      text += params[next++];
      text += '\'';
    } else {
      text += c;
    }
  }
  return text;
}

std::string DbErrorText(int32_t code, const std::string& description) {
  const uint32_t c = static_cast<uint32_t>(code);
  char buf[64];
  if (c >= 0x80040200u && c <= 0x8004FFFFu) {
    std::snprintf(buf, sizeof buf, "IDispatch error #%d", static_cast<int>(c - 0x80040200u));
    return buf;
  }
  if (!description.empty()) return description;
  std::snprintf(buf, sizeof buf, "Unknown error 0x%0lX", static_cast<unsigned long>(c));
  return buf;
}

void SetDbErrorReporter(DbErrorReporter reporter) {
  std::lock_guard<std::mutex> lock(g_reporter_mutex);
  g_reporter = std::move(reporter);
}

void ReportDbError(const std::string& text) {
  DbErrorReporter reporter;
  {
    std::lock_guard<std::mutex> lock(g_reporter_mutex);
    reporter = g_reporter;
  }
  if (reporter) {
    reporter(text);
  } else {
    std::fprintf(stderr, "%s\n", text.c_str());
  }
}

}  // namespace zv
