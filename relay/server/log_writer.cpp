#include "relay/server/log_writer.hpp"

#include <cstdio>

#include "relay/server/server_texts.hpp"
#include "relay/server/srv_exception.hpp"

namespace zv {

std::string FormatLogLine(const tarvo::platform::CalendarTime& t, const std::string& message) {
  char stamp[64];
  std::snprintf(stamp, sizeof stamp, "[%04d-%02d-%02d %02d:%02d:%02d:%03d]  ", t.year, t.month,
                t.day, t.hour, t.minute, t.second, t.millisecond);
  std::string line = stamp;
  line += message;
  line += '\n';
  return line;
}

void CLogWriter::SetPath(const std::string& path) {
  std::lock_guard<std::mutex> guard(lock_);
  path_ = path;
}

void CLogWriter::SetSwitch(const std::string& on_text) {
  std::lock_guard<std::mutex> guard(lock_);
  switch_ = on_text;
}

void CLogWriter::WriteLog(const std::string& message) {
  std::lock_guard<std::mutex> guard(lock_);
  if (switch_.empty() || path_.empty()) return;
  std::string line = FormatLogLine(tarvo::platform::LocalNow(), message);
  std::FILE* f = std::fopen(path_.c_str(), "ab");
  if (!f) return;
  std::fwrite(line.data(), 1, line.size(), f);
  std::fclose(f);
}

void CLogWriter::LogSendError(const std::string& function, long code) {
  char text[600];
  std::snprintf(text, sizeof text, texts::kSendErrorFormat, function.c_str(), code);
  WriteLog(text);
}

void CLogWriter::LogException(const CSrvException& e) {
  char text[CSrvException::kMessageSize + 64];
  std::snprintf(text, sizeof text, "%s at line:%d, errorCode: %d.", e.Message(),
                static_cast<int>(e.Line()), static_cast<int>(e.ErrorCode()));
  WriteLog(text);
}

}  // namespace zv
