// A fresh account database, made the database of every CAccountDb for the
// test's lifetime: an SQLite file in a private temporary folder, or a
// database of its own on the program's throwaway PostgreSQL server.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <ostream>
#include <string>

namespace zv::test {

enum class Backend { kSqlite, kPostgres };
// "Sqlite" / "Postgres", for the names of parameterised tests.
std::string BackendName(const ::testing::TestParamInfo<Backend>& info);
inline void PrintTo(Backend backend, std::ostream* os) {
  *os << (backend == Backend::kSqlite ? "SQLite" : "PostgreSQL");
}

class TempDatabase {
 public:
  // A PostgreSQL database that cannot be made fails the test, with the reason.
  explicit TempDatabase(Backend backend = Backend::kSqlite);
  ~TempDatabase();
  Backend backend() const { return backend_; }
  // The file path or the URI.
  const std::string& Path() const { return path_; }
  std::string Folder() const { return folder_.string(); }
  // A database of the same kind that does not exist.
  std::string AbsentPath() const;

  // Seeding helpers; each fails the test when the row is not stored.
  void AddOrganization(const std::string& name, int max_users = 10, int max_cards = 100);
  void AddUser(const std::string& name, const std::string& password, int type,
               const std::string& organization);
  void AddCard(const std::string& device_id, const std::string& organization);
  // One integer of one row, read with a plain statement (-1 when absent).
  long Scalar(const std::string& sql, const std::string& param = "");
  // Makes every later `event` ("UPDATE", "DELETE") on the table fail, as a
  // broken or full database would.
  void RefuseChanges(const std::string& table, const std::string& event);

 private:
  Backend backend_;
  std::filesystem::path folder_;
  std::string path_;
  std::string pg_name_;
};

}  // namespace zv::test
