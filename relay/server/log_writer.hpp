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

  // Appends one line with the current local time. The file is opened and
  // closed for every line, so an outside rotation or removal is harmless.
  // A file that cannot be opened loses the line silently.
  void WriteLog(const std::string& message);
  // "函数<function>发送错误,错误代码<code>." in GBK.
  void LogSendError(const std::string& function, long code);
  // "<message> at line:<line>, errorCode: <code>."
  void LogException(const CSrvException& e);

 private:
  std::mutex lock_;
  std::string path_;
  std::string switch_;
};

}  // namespace zv
