// A fresh account database file in a private temporary folder, made the
// database of every CAccountDb for the test's lifetime.
#pragma once

#include <filesystem>
#include <string>

namespace zv::test {

class TempDatabase {
 public:
  TempDatabase();
  ~TempDatabase();
  const std::string& Path() const { return path_; }
  std::string Folder() const { return folder_.string(); }

  // Seeding helpers; each fails the test when the row is not stored.
  void AddOrganization(const std::string& name, int max_users = 10, int max_cards = 100);
  void AddUser(const std::string& name, const std::string& password, int type,
               const std::string& organization);
  void AddCard(const std::string& device_id, const std::string& organization);
  // One integer of one row, read with a plain statement (-1 when absent).
  long Scalar(const std::string& sql, const std::string& param = "");

 private:
  std::filesystem::path folder_;
  std::string path_;
};

}  // namespace zv::test
