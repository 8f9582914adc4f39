#include "relay/server/diagnostic_trace.hpp"

#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <vector>

namespace zv {
namespace {

std::mutex& TraceLock() {
  static std::mutex m;
  return m;
}
TraceSink& Sink() {
  static TraceSink s;
  return s;
}

}  // namespace

void SetDiagnosticTrace(TraceSink sink) {
  std::lock_guard<std::mutex> guard(TraceLock());
  Sink() = std::move(sink);
}

bool DiagnosticTraceEnabled() {
  std::lock_guard<std::mutex> guard(TraceLock());
  return static_cast<bool>(Sink());
}

void DiagnosticTrace(const char* format, ...) {
  std::lock_guard<std::mutex> guard(TraceLock());
  if (!Sink()) return;
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  int n = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  std::string text;
  if (n > 0) {
    std::vector<char> buf(static_cast<size_t>(n) + 1);
    std::vsnprintf(buf.data(), buf.size(), format, args);
    text.assign(buf.data(), static_cast<size_t>(n));
  }
  va_end(args);
  Sink()(text);
}

}  // namespace zv
