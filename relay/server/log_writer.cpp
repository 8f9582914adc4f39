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

namespace {
// Distinct lines followed at once; more are written as they come. A flood of
// distinct lines is not what repeats are for, and the table stays small.
constexpr size_t kRepeatsFollowed = 256;
}  // namespace

void CLogWriter::SetRepeatInterval(int interval_ms) {
  std::lock_guard<std::mutex> guard(lock_);
  repeat_ms_ = interval_ms > 0 ? interval_ms : 0;
  if (repeat_ms_ == 0) repeats_.clear();
}

void CLogWriter::WriteLog(const std::string& message) {
  WriteLog(message, message);
}

void CLogWriter::WriteLog(const std::string& message, const std::string& repeat_key) {
  std::lock_guard<std::mutex> guard(lock_);
  if (switch_.empty() || path_.empty()) return;
  if (repeat_ms_ == 0) {
    Append(message);
    return;
  }
  const int64_t now = tarvo::platform::MonotonicMs();
  FlushLocked(now, false);
  auto it = repeats_.find(repeat_key);
  if (it != repeats_.end()) {
    ++it->second.more;
    it->second.last_ms = now;
    return;
  }
  Append(message);
  if (repeats_.size() < kRepeatsFollowed)
    repeats_.emplace(repeat_key, Repeat{message, now, now, 0});
}

void CLogWriter::Flush(bool all) {
  std::lock_guard<std::mutex> guard(lock_);
  FlushLocked(tarvo::platform::MonotonicMs(), all);
}

void CLogWriter::FlushLocked(int64_t now_ms, bool all) {
  for (auto it = repeats_.begin(); it != repeats_.end();) {
    const Repeat& r = it->second;
    if (!all && now_ms - r.first_ms < repeat_ms_) {
      ++it;
      continue;
    }
    if (r.more > 0 && !switch_.empty() && !path_.empty())
      Append(r.message + " (and " + std::to_string(r.more) + " more like it in " +
             std::to_string((r.last_ms - r.first_ms + 999) / 1000) + " s)");
    it = repeats_.erase(it);
  }
}

void CLogWriter::Append(const std::string& message) {
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
