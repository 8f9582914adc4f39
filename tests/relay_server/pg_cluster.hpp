// A throwaway PostgreSQL server for the tests of one program: initdb and
// pg_ctl in a temporary folder, listening only on a Unix socket in that
// folder, started on first use and stopped and removed when the program's
// tests end. Each test takes a fresh database of its own, made from a
// template that already holds the account tables.
#pragma once

#include <string>

namespace zv::test {

class PgCluster {
 public:
  // The program's cluster, started on first use. Not started: ok() is false
  // and problem() says why (no PostgreSQL binaries, initdb failed...).
  static PgCluster& Get();

  bool ok() const { return ok_; }
  const std::string& problem() const { return problem_; }

  // A new database with the account tables; its URI, or "" on failure.
  std::string CreateDatabase(std::string* name);
  void DropDatabase(const std::string& name);
  // The URI of a database of this name (which need not exist).
  std::string Uri(const std::string& database) const;

  // Stops and starts the server under whoever is connected (1 done, 0 not).
  int Stop();
  int Start();
  // Stops the server and removes its folder (the program's tests ended).
  void Remove();

 private:
  PgCluster();
  int Run(const std::string& command, const char* log);
  std::string bindir_;
  std::string folder_;
  std::string prefix_;  // runs a command as the cluster's owner
  bool ok_ = false;
  bool running_ = false;
  std::string problem_;
  int next_ = 0;
};

}  // namespace zv::test
