// Builds without libpq (the Windows parts) know PostgreSQL URIs only to say
// that they cannot serve them.
#include "relay/server/pg_session.hpp"

namespace zv {
namespace {
constexpr char kNoPostgres[] = "this build of zvrelayd has no PostgreSQL support";
}

std::unique_ptr<CDbSession> OpenPgSession(const std::string&, int) {
  return nullptr;
}

int CreatePgDatabase(const std::string&, int, std::string* error) {
  if (error) *error = kNoPostgres;
  return 0;
}

std::string PgDatabaseProblem(const std::string&, int) {
  return kNoPostgres;
}

void ClosePooledPgConnections() {}

}  // namespace zv
