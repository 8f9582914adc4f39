// The diagnostic trace: informational lines of the database layer and of the
// UDP forwarding. It is off by default and never reaches the log file; a
// server program may route it to a debugging channel (zvrelayd --trace sends
// it to the standard error stream).
#pragma once

#include <functional>
#include <string>

namespace zv {

using TraceSink = std::function<void(const std::string&)>;

// Installs the channel; an empty function turns the trace off again.
void SetDiagnosticTrace(TraceSink sink);
bool DiagnosticTraceEnabled();
// printf-style; formats only when a channel is installed.
void DiagnosticTrace(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace zv
