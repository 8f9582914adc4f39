// The account database in an SQLite file, the embedded default.
#pragma once

#include <memory>
#include <string>

#include "relay/server/db_session.hpp"

namespace zv {

// Opens the existing file for reading and writing; none when it is missing,
// unreadable or no database (it is never created here).
std::unique_ptr<CDbSession> OpenSqliteSession(const std::string& path, int busy_timeout_ms);
// Creates the file with the four tables (tables that exist stay as they are).
int CreateSqliteDatabase(const std::string& path, int busy_timeout_ms, std::string* error);
// Empty when the file opens for reading and writing, else the reason.
std::string SqliteDatabaseProblem(const std::string& path, int busy_timeout_ms);

}  // namespace zv
