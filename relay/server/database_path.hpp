// Where the account database lies: "ZvServer.mdb" in the folder of the
// program that hosts the server domain (not of the library), unless the
// server program names another file, or a PostgreSQL server by its libpq
// URI (postgresql://... or postgres://...), before the first database call.
#pragma once

#include <string>

namespace zv {

inline constexpr char kDatabaseFileName[] = "ZvServer.mdb";

// The path every CAccountDb opens.
std::string DatabasePath();
// Replaces the path (zvrelayd --db); an empty text restores the default.
void SetDatabasePath(const std::string& path);

// Whether the path names a PostgreSQL database rather than a file.
bool IsPostgresUri(const std::string& path);
// The path as it may be shown: a URI's password (in its user part or as a
// password= parameter) replaced by "***". A file path is shown as it is.
std::string DatabaseDisplayName(const std::string& path);

// "[Organization]", "[User]", "[Card]", "[Log]" for 1-4; empty otherwise.
std::string GetTableName(int n);

}  // namespace zv
