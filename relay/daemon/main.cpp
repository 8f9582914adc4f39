// zvrelayd: the relay server. Users log in on the user port, cards connect to
// the card port (TCP and UDP), and controller packets are forwarded between
// a user and the card it has locked. Its four modes are listed in the help
// footer below.
#include <CLI/CLI.hpp>
#include <iostream>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "common/version.hpp"
#include "platform/resource_limits.hpp"
#include "relay/daemon/admin_commands.hpp"
#include "relay/daemon/relay_server.hpp"
#include "relay/server/account_db.hpp"
#include "relay/server/database_path.hpp"
#include "relay/server/diagnostic_trace.hpp"

namespace {
constexpr long kWantedOpenFiles = 1L << 20;
constexpr long kFewOpenFiles = 4096;
}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"zvrelayd - relay server for controller cards"};
  zv::daemon::ServerSettings settings;
  std::string db_path, org, user, password, add_user, add_card, secret;
  bool init_db = false, trace = false;
  int type = 2;
  app.set_version_flag("--version", std::string("zvrelayd ") + tarvo::kSuiteVersion);
  app.add_option("--db", db_path, "account database file (default: ZvServer.mdb beside zvrelayd)");
  app.add_flag("--init-db", init_db, "create the database with a first organization and user");
  app.add_option("--org", org, "organization name");
  app.add_option("--user", user, "first user's name (with --init-db; gets type 1)");
  app.add_option("--password", password, "password of the user");
  app.add_option("--add-user", add_user, "add a user to --org");
  app.add_option("--type", type, "user type: 1 all organizations, 2/3 own organization")
      ->check(CLI::Range(0, 255));
  app.add_option("--add-card", add_card, "add a card (device ID) to --org");
  app.add_option("--secret", secret,
                 "with --add-card: the card must prove this secret when it registers over TCP");
  app.add_option("--bind", settings.bind_address, "IPv4 address to listen on")
      ->capture_default_str();
  app.add_option("--user-port", settings.user_port, "user port (0: any free port)")
      ->capture_default_str();
  app.add_option("--card-port", settings.card_port, "card TCP and UDP port (0: any free port)")
      ->capture_default_str();
  app.add_option("--log", settings.log_file, "log file");
  app.add_option("--threads", settings.threads, "event loop threads")
      ->check(CLI::Range(1, 64))
      ->capture_default_str();
  app.add_option("--db-threads", settings.db_threads,
                 "database worker threads (logins, queries, record operations)")
      ->check(CLI::Range(1, 64))
      ->capture_default_str();
  app.add_option("--max-connections", settings.max_connections,
                 "TCP connections (users and cards) served at once")
      ->check(CLI::Range(1, 10000000))
      ->capture_default_str();
  app.add_option("--max-per-address", settings.max_pending_per_address,
                 "connections from one address not yet logged in or registered")
      ->check(CLI::Range(1, 1000000))
      ->capture_default_str();
  app.add_flag("--trace", trace, "diagnostic trace on the standard error stream");
  app.footer(
      "Modes:\n"
      "  zvrelayd --db PATH --init-db --org NAME --user NAME --password PW\n"
      "  zvrelayd --db PATH --add-user NAME --password PW --org NAME --type N\n"
      "  zvrelayd --db PATH --add-card DEVICEID --org NAME [--secret S]\n"
      "  zvrelayd --db PATH [--bind ADDR] [--user-port N] [--card-port N] [--log FILE]"
      " [--threads N] [--db-threads N]\n"
      "           [--max-connections N] [--max-per-address N]\n"
      "Serving prints 'users <port>' and 'cards <port>', then runs until SIGINT or SIGTERM.\n"
      "Exit codes: 0 done, 1 failed (reason on stderr), 2 bad or contradictory options.");
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    // Help and version exit 0; every option error exits 2, like the other tools.
    return app.exit(e) == 0 ? 0 : 2;
  }

  if (!db_path.empty()) zv::SetDatabasePath(db_path);
  const std::string path = zv::DatabasePath();
  if (init_db + !add_user.empty() + !add_card.empty() > 1) {
    std::cerr << "--init-db, --add-user and --add-card exclude each other\n";
    return 2;
  }
  if (!secret.empty() && add_card.empty()) {
    std::cerr << "--secret needs --add-card\n";
    return 2;
  }
  if (init_db) {
    if (org.empty() || user.empty()) {
      std::cerr << "--init-db needs --org and --user\n";
      return 2;
    }
    return zv::daemon::InitDatabase(path, org, user, password, std::cerr);
  }
  if (!add_user.empty()) {
    if (org.empty()) {
      std::cerr << "--add-user needs --org\n";
      return 2;
    }
    return zv::daemon::AddUser(path, add_user, password, org, type, std::cerr);
  }
  if (!add_card.empty()) {
    if (org.empty()) {
      std::cerr << "--add-card needs --org\n";
      return 2;
    }
    return zv::daemon::AddCard(path, add_card, org, secret, std::cerr);
  }

  if (const std::string problem = zv::DatabaseProblem(path); !problem.empty()) {
    std::cerr << "cannot open the account database " << path << ": " << problem << "\n";
    return 1;
  }
  // Every connection takes a descriptor, and the usual soft limit (1024) is
  // far below the cards one server carries: take what the hard limit allows.
  const long files = tarvo::platform::RaiseOpenFileLimit(kWantedOpenFiles);
  if (files >= 0 && files < kFewOpenFiles)
    std::cerr << "zvrelayd: warning: at most " << files
              << " open files allowed; each connection takes one\n";
#if defined(__GLIBC__)
  // glibc raises its mmap threshold each time a large block is freed, so after
  // a burst of large frames later ones come from the heap and stay resident
  // once freed. A fixed threshold keeps every large buffer in its own mapping,
  // returned to the system when the frame is done.
  mallopt(M_MMAP_THRESHOLD, 128 * 1024);
#endif
  if (trace) zv::SetDiagnosticTrace([](const std::string& line) { std::cerr << line << "\n"; });
  zv::daemon::CRelayServer server(settings);
  std::string error;
  if (!server.Start(&error)) {
    std::cerr << error << "\n";
    return 1;
  }
  std::cout << "users " << server.UserPort() << "\n"
            << "cards " << server.CardPort() << "\n"
            << std::flush;
  server.WaitForStopSignal();
  server.Stop();
  return 0;
}
