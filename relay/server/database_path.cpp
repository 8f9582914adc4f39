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

std::string GetTableName(int n) {
  return RecordTableName(n);
}

}  // namespace zv
