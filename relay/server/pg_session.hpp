// The account database on a PostgreSQL server, named by a libpq URI.
#pragma once

#include <memory>
#include <string>

#include "relay/server/db_session.hpp"

namespace zv {

// A session on a connection from the pool (or a new one); none when the
// server cannot be reached or refuses the connection.
std::unique_ptr<CDbSession> OpenPgSession(const std::string& uri, int busy_timeout_ms);
// Makes the four tables (tables that exist stay as they are).
int CreatePgDatabase(const std::string& uri, int busy_timeout_ms, std::string* error);
// Empty when the server takes the connection and the tables are there for
// reading and writing, else the reason on one line (never the password).
std::string PgDatabaseProblem(const std::string& uri, int busy_timeout_ms);
// A libpq message on one line: its lines joined with "; ", indents dropped.
std::string PgMessageLine(const char* message);
// Closes the connections the pool keeps (a database about to be dropped).
void ClosePooledPgConnections();

}  // namespace zv
