#include "relay/server/database_path.hpp"

#include <mutex>

#include "platform/process.hpp"
#include "relay/messages/record.hpp"

namespace zv {
namespace {

std::mutex& PathLock() {
  static std::mutex m;
  return m;
}
std::string& OverridePath() {
  static std::string p;
  return p;
}

}  // namespace

std::string DatabasePath() {
  // The default is computed once: the executable does not move while it runs.
  static const std::string default_path = tarvo::platform::ExecutableDir() + kDatabaseFileName;
  std::lock_guard<std::mutex> guard(PathLock());
  return OverridePath().empty() ? default_path : OverridePath();
}

void SetDatabasePath(const std::string& path) {
  std::lock_guard<std::mutex> guard(PathLock());
  OverridePath() = path;
}

bool IsPostgresUri(const std::string& path) {
  return path.rfind("postgresql://", 0) == 0 || path.rfind("postgres://", 0) == 0;
}

std::string DatabaseDisplayName(const std::string& path) {
  if (!IsPostgresUri(path)) return path;
  std::string shown = path;
  const size_t start = shown.find("://") + 3;
  // user:password@host: the user part ends at the last '@' before the path.
  const size_t authority_end = shown.find_first_of("/?", start);
  const size_t at =
      shown.rfind('@', authority_end == std::string::npos ? shown.size() - 1 : authority_end - 1);
  if (at != std::string::npos && at >= start) {
    const size_t colon = shown.find(':', start);
    if (colon != std::string::npos && colon < at) shown.replace(colon + 1, at - colon - 1, "***");
  }
  // ...?password=secret&...
  for (size_t p = shown.find('?'); p != std::string::npos; p = shown.find('&', p + 1)) {
    if (shown.compare(p + 1, 9, "password=") != 0) continue;
    const size_t value = p + 10;
    const size_t end = shown.find('&', value);
    shown.replace(value, (end == std::string::npos ? shown.size() : end) - value, "***");
  }
  return shown;
}

std::string GetTableName(int n) {
  return RecordTableName(n);
}

}  // namespace zv
