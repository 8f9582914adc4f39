#include "scratch_postgres.hpp"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "relay/server/account_db.hpp"
#include "relay/server/pg_session.hpp"
#include "tests/relay_server/pg_binaries.hpp"

namespace zv::bench {
namespace {

namespace fs = std::filesystem;

}  // namespace

bool ScratchPostgres::Run(const std::string& command, const char* log) {
  const std::string line =
      "cd '" + folder_ + "' && " + prefix_ + command + " >>'" + folder_ + "/" + log + "' 2>&1";
  return std::system(line.c_str()) == 0;
}

std::string ScratchPostgres::Start(const std::string& database, std::string* problem) {
  bindir_ = zv::test::FindPostgresBinDir();
  if (bindir_.empty()) {
    *problem = "no PostgreSQL binaries (install postgresql-15, or set TARVO_PG_BINDIR)";
    return std::string();
  }
  char pattern[] = "/tmp/zv-bench-pg-XXXXXX";
  if (!mkdtemp(pattern)) {
    *problem = "cannot make a temporary folder";
    return std::string();
  }
  folder_ = pattern;
  // PostgreSQL refuses to run as root: then the cluster belongs to nobody.
  if (getuid() == 0) {
    if (chown(folder_.c_str(), 65534, 65534) != 0) {
      *problem = "cannot hand " + folder_ + " to nobody";
      return std::string();
    }
    prefix_ = "setpriv --reuid=65534 --regid=65534 --clear-groups ";
  }
  if (!Run("'" + bindir_ + "/initdb' -D data -U postgres -A trust -E SQL_ASCII --locale=C -N",
           "initdb.log")) {
    *problem = "initdb failed: " + zv::test::FileTail(folder_ + "/initdb.log");
    return std::string();
  }
  // Several zvrelayd nodes each keep a pool of connections and a listener.
  running_ = Run("'" + bindir_ + "/pg_ctl' -D data -l server.log -w -t 60 -o \"-k '" + folder_ +
                     "' -c listen_addresses='' -c max_connections=300\" start",
                 "pg_ctl.log");
  if (!running_) {
    *problem = "pg_ctl start failed: " + zv::test::FileTail(folder_ + "/server.log");
    return std::string();
  }
  // A benchmark killed before its end would leave the server running.
  const std::string watcher =
      "(while kill -0 " + std::to_string(getpid()) + " 2>/dev/null; do sleep 1; done; cd /tmp; " +
      prefix_ + "'" + bindir_ + "/pg_ctl' -D '" + folder_ + "/data' -m immediate stop; rm -rf '" +
      folder_ + "') >/dev/null 2>&1 </dev/null &";
  std::system(watcher.c_str());
  const std::string base = "postgresql:///";
  const std::string where = "?host=" + folder_ + "&user=postgres";
  const int made = CAccountDb(base + "postgres" + where)
                       .ExecuteSql(CSqlStatement{"CREATE DATABASE " + database, {}});
  ClosePooledPgConnections();
  if (made != 1) {
    *problem = "cannot create the database " + database;
    return std::string();
  }
  return base + database + where;
}

int ScratchPostgres::ServerPid() const {
  if (!running_) return -1;
  std::ifstream in(folder_ + "/data/postmaster.pid");
  int pid = -1;
  return in >> pid ? pid : -1;
}

ScratchPostgres::~ScratchPostgres() {
  ClosePooledPgConnections();
  if (running_) Run("'" + bindir_ + "/pg_ctl' -D data -m fast -w -t 60 stop", "pg_ctl.log");
  if (!folder_.empty()) {
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
  }
}

}  // namespace zv::bench
