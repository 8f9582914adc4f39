// Where the account database lies: "ZvServer.mdb" in the folder of the
// program that hosts the server domain (not of the library), unless the
// server program names another file before the first database call.
#pragma once

#include <string>

namespace zv {

inline constexpr char kDatabaseFileName[] = "ZvServer.mdb";

// The path every CAccountDb opens.
std::string DatabasePath();
// Replaces the path (zvrelayd --db); an empty text restores the default.
void SetDatabasePath(const std::string& path);

// "[Organization]", "[User]", "[Card]", "[Log]" for 1-4; empty otherwise.
std::string GetTableName(int n);

}  // namespace zv
