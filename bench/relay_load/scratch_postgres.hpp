// A PostgreSQL server of a benchmark's own, for runs that are not given one:
// initdb and pg_ctl in a temporary folder, listening only on a Unix socket in
// that folder, stopped and removed with the object (or, when the benchmark is
// killed, by a watcher once the process is gone). Commits reach the disk as
// on a production server: the figures include that wait.
#pragma once

#include <string>

namespace zv::bench {

class ScratchPostgres {
 public:
  ScratchPostgres() = default;
  ~ScratchPostgres();
  ScratchPostgres(const ScratchPostgres&) = delete;
  ScratchPostgres& operator=(const ScratchPostgres&) = delete;

  // Makes and starts the server and an empty database named `database`; its
  // URI, or "" with the reason in *problem.
  std::string Start(const std::string& database, std::string* problem);
  // The server's main process (its backends are its children); -1 when it
  // does not run.
  int ServerPid() const;

 private:
  bool Run(const std::string& command, const char* log);
  std::string bindir_;
  std::string folder_;
  std::string prefix_;  // runs a command as the cluster's owner
  bool running_ = false;
};

}  // namespace zv::bench
