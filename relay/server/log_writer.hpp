// The server's log file: one time-stamped line per event, appended under the
// writer's own lock. Each connection table carries one writer; the owning
// server program sets its path and its switch (lines are written only while
// the switch text is not empty).
//
// The log lock is innermost: nothing else is locked while it is held.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <unordered_map>

#include "platform/clock.hpp"

namespace zv {

class CSrvException;

// "[YYYY-MM-DD hh:mm:ss:mmm]  message\n" - two blanks after the bracket and
// the milliseconds after a colon. The message is a value, never a format.
std::string FormatLogLine(const tarvo::platform::CalendarTime& t, const std::string& message);

class CLogWriter {
 public:
  CLogWriter() = default;
  CLogWriter(const CLogWriter&) = delete;
  CLogWriter& operator=(const CLogWriter&) = delete;

  void SetPath(const std::string& path);
  void SetSwitch(const std::string& on_text);
  // Identical lines within `interval_ms` of the first are written once; the
  // count of the others follows when the interval is over (with the next
  // line, or at Flush). 0, the default, writes every line.
  void SetRepeatInterval(int interval_ms);
  // Writes the counts of the intervals that are over (all of them when
  // `all`). A server calls it now and then, so a burst's count is not held
  // back until the next line.
  void Flush(bool all = false);

  // Appends one line with the current local time. The file is opened and
  // closed for every line, so an outside rotation or removal is harmless.
  // A file that cannot be opened loses the line silently.
  void WriteLog(const std::string& message);
  // The same, but lines are held back as repeats when their keys are equal
  // (a refusal per address, whatever ID it named).
  void WriteLog(const std::string& message, const std::string& repeat_key);
  // "函数<function>发送错误,错误代码<code>." in GBK.
  void LogSendError(const std::string& function, long code);
  // "<message> at line:<line>, errorCode: <code>."
  void LogException(const CSrvException& e);

 private:
  struct Repeat {
    std::string message;   // the line written
    int64_t first_ms = 0;  // when the line was written
    int64_t last_ms = 0;   // the last identical line held back
    uint64_t more = 0;     // identical lines held back since
  };
  // With the lock held.
  void Append(const std::string& message);
  void FlushLocked(int64_t now_ms, bool all);

  std::mutex lock_;
  std::string path_;
  std::string switch_;
  int64_t repeat_ms_ = 0;
  std::unordered_map<std::string, Repeat> repeats_;
};

}  // namespace zv
