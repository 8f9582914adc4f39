#include "pg_cluster.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "relay/server/account_db.hpp"
#include "relay/server/pg_session.hpp"
#include "tests/relay_server/pg_binaries.hpp"

namespace zv::test {
namespace {

namespace fs = std::filesystem;

constexpr char kTemplate[] = "zv_template";

// Stops the cluster when the program's tests are done.
class PgClusterEnvironment : public ::testing::Environment {
 public:
  void TearDown() override { PgCluster::Get().Remove(); }
};
// gtest owns the environment from here on.
::testing::Environment* const g_environment =
    ::testing::AddGlobalTestEnvironment(new PgClusterEnvironment);

}  // namespace

PgCluster& PgCluster::Get() {
  static PgCluster cluster;
  return cluster;
}

int PgCluster::Run(const std::string& command, const char* log) {
  const std::string line =
      "cd '" + folder_ + "' && " + prefix_ + command + " >>'" + folder_ + "/" + log + "' 2>&1";
  return std::system(line.c_str()) == 0 ? 1 : 0;
}

PgCluster::PgCluster() {
  bindir_ = zv::test::FindPostgresBinDir();
  if (bindir_.empty()) {
    problem_ =
        "PostgreSQL's initdb and pg_ctl were not found (install postgresql-15: "
        "scripts/install-deps.sh, or set TARVO_PG_BINDIR)";
    return;
  }
  char pattern[] = "/tmp/zv-pg-XXXXXX";
  if (!mkdtemp(pattern)) {
    problem_ = "cannot make a temporary folder";
    return;
  }
  folder_ = pattern;
  // PostgreSQL refuses to run as root: then the cluster belongs to nobody.
  if (getuid() == 0) {
    if (chown(folder_.c_str(), 65534, 65534) != 0) {
      problem_ = "cannot hand " + folder_ + " to nobody";
      return;
    }
    prefix_ = "setpriv --reuid=65534 --regid=65534 --clear-groups ";
  }
  if (!Run("'" + bindir_ + "/initdb' -D data -U postgres -A trust -E SQL_ASCII --locale=C -N",
           "initdb.log")) {
    problem_ = "initdb failed: " + zv::test::FileTail(folder_ + "/initdb.log");
    return;
  }
  if (!Start()) {
    problem_ = "pg_ctl start failed: " + zv::test::FileTail(folder_ + "/server.log");
    return;
  }
  // A test program killed before its end (a time-out) would leave the server
  // running: a watcher stops it and removes the folder once this process is
  // gone. After a normal end it finds nothing left to do.
  const std::string watcher =
      "(while kill -0 " + std::to_string(getpid()) + " 2>/dev/null; do sleep 1; done; cd /tmp; " +
      prefix_ + "'" + bindir_ + "/pg_ctl' -D '" + folder_ + "/data' -m immediate stop; rm -rf '" +
      folder_ + "') >/dev/null 2>&1 </dev/null &";
  std::system(watcher.c_str());
  std::string error;
  if (CAccountDb(Uri("postgres"))
              .ExecuteSql(CSqlStatement{std::string("CREATE DATABASE ") + kTemplate, {}}) != 1 ||
      CreateAccountDatabase(Uri(kTemplate), &error) != 1) {
    problem_ = "cannot make the template database: " + error;
    return;
  }
  // A database is copied only while nobody is connected to it.
  ClosePooledPgConnections();
  ok_ = true;
}

int PgCluster::Start() {
  // Only the socket in the folder, and no waiting for the disk: the data
  // lives as long as the tests.
  running_ = Run("'" + bindir_ + "/pg_ctl' -D data -l server.log -w -t 60 -o \"-k '" + folder_ +
                     "' -c listen_addresses='' -c fsync=off -c synchronous_commit=off"
                     " -c full_page_writes=off -c max_connections=200\" start",
                 "pg_ctl.log");
  return running_ ? 1 : 0;
}

int PgCluster::Stop() {
  if (!running_) return 0;
  running_ = !Run("'" + bindir_ + "/pg_ctl' -D data -m fast -w -t 60 stop", "pg_ctl.log");
  return running_ ? 0 : 1;
}

void PgCluster::Remove() {
  ClosePooledPgConnections();
  Stop();
  if (!folder_.empty()) {
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
    folder_.clear();
  }
  ok_ = false;
  problem_ = "the cluster was removed";
}

std::string PgCluster::Uri(const std::string& database) const {
  return "postgresql:///" + database + "?host=" + folder_ + "&user=postgres";
}

std::string PgCluster::CreateDatabase(std::string* name) {
  *name = "zv_test_" + std::to_string(next_++);
  CAccountDb admin(Uri("postgres"));
  if (admin.ExecuteSql(CSqlStatement{"CREATE DATABASE " + *name + " TEMPLATE " + kTemplate, {}}) !=
      1)
    return std::string();
  return Uri(*name);
}

void PgCluster::DropDatabase(const std::string& name) {
  ClosePooledPgConnections();
  CAccountDb admin(Uri("postgres"));
  admin.ExecuteSql(CSqlStatement{"DROP DATABASE IF EXISTS " + name + " WITH (FORCE)", {}});
}

}  // namespace zv::test
