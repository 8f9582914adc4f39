// zvrelayd: the relay server. Users log in on the user port, cards connect to
// the card port (TCP and UDP), and controller packets are forwarded between
// a user and the card it has locked. Its modes (serving and the account
// commands) are listed in the help footer below.
#include <CLI/CLI.hpp>
#include <filesystem>
#include <iostream>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <algorithm>

#include "common/version.hpp"
#include "platform/process.hpp"
#include "platform/resource_limits.hpp"
#include "relay/daemon/admin_commands.hpp"
#include "relay/daemon/admin_password.hpp"
#include "relay/daemon/node_registry.hpp"
#include "relay/daemon/relay_server.hpp"
#include "relay/server/account_db.hpp"
#include "relay/server/database_path.hpp"
#include "relay/server/diagnostic_trace.hpp"

namespace {
constexpr long kWantedOpenFiles = 1L << 20;
constexpr long kFewOpenFiles = 4096;

// Why lines could not be written to `log_file` (empty: they can, or there is
// no log). The writer loses lines it cannot write without a word, so a
// mistyped folder is caught here, before the first line is lost.
std::string LogFolderProblem(const std::string& log_file) {
  if (log_file.empty()) return "";
  std::filesystem::path folder = std::filesystem::path(log_file).parent_path();
  if (folder.empty()) folder = ".";
  std::error_code ec;
  if (!std::filesystem::is_directory(folder, ec))
    return "the folder " + folder.string() + " does not exist";
  if (!tarvo::platform::IsDirectoryWritable(folder.string()))
    return "the folder " + folder.string() + " is not writable";
  return "";
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"zvrelayd - relay server for controller cards"};
  zv::daemon::ServerSettings settings;
  std::string db_path, org, user, add_user, add_card, secret, list, delete_user, delete_card,
      set_password;
  zv::daemon::PasswordSources password;
  bool init_db = false, trace = false;
  int type = 2;
  settings.node_name = zv::daemon::ThisNode("").host;
  app.set_version_flag("--version", std::string("zvrelayd ") + tarvo::kSuiteVersion);
  app.set_config("--config", "",
                 "read serving options from this file: one 'name = value' line per option, the "
                 "long option name without its dashes (INI or TOML)");
  // A mistyped key would otherwise be dropped without a word.
  app.allow_config_extras(false);
  app.add_option("--db", db_path, "account database file (default: ZvServer.mdb beside zvrelayd)");
  // Account commands: one per run, never from the configuration file.
  app.add_flag("--init-db", init_db, "create the database with a first organization and user")
      ->configurable(false);
  app.add_option("--org", org, "organization name")->configurable(false);
  app.add_option("--user", user, "first user's name (with --init-db; gets type 1)")
      ->configurable(false);
  app.add_option("--password", password.password,
                 "password of the user (visible to every user of the machine in ps: prefer "
                 "--password-file, ZVRELAYD_PASSWORD or the prompt)")
      ->configurable(false);
  app.add_option("--password-file", password.file,
                 "read the password from the first line of this file")
      ->configurable(false);
  app.add_option("--add-user", add_user, "add a user to --org")->configurable(false);
  app.add_option("--type", type, "user type: 1 all organizations, 2/3 own organization")
      ->check(CLI::Range(1, 3))
      ->configurable(false);
  app.add_option("--add-card", add_card,
                 "add a card to --org: six characters (TCP card) or 1-30 digits (UDP card)")
      ->configurable(false);
  app.add_option("--secret", secret,
                 "with --add-card: the card must prove this secret when it registers over TCP")
      ->configurable(false);
  app.add_option("--delete-user", delete_user, "delete a user")->configurable(false);
  app.add_option("--delete-card", delete_card, "delete a card")->configurable(false);
  app.add_option("--set-password", set_password, "set a user's password")->configurable(false);
  app.add_option("--list", list,
                 "list the users, the cards, or who is online (cards with the node holding them)")
      ->check(CLI::IsMember({"users", "cards", "online"}))
      ->configurable(false);
  // Serving.
  app.add_option("--bind", settings.bind_address, "IPv4 address to listen on")
      ->capture_default_str();
  app.add_option("--user-port", settings.user_port, "user port (0: any free port)")
      ->capture_default_str();
  app.add_option("--card-port", settings.card_port, "card TCP and UDP port (0: any free port)")
      ->capture_default_str();
  app.add_option("--log", settings.log_file,
                 "log file (its folder must exist; reopened on SIGHUP after a rotation)");
  // No default shown: it would be the name of the machine that built the man page.
  app.add_option("--node", settings.node_name,
                 "this server's name among those sharing the database (default: the host name)");
  int lease_s = settings.node_stale_ms / 1000;
  app.add_option("--lease", lease_s,
                 "seconds without a heartbeat after which a server sharing the database is "
                 "taken for dead: its users, locks and cards are released")
      ->check(CLI::Range(2, 3600))
      ->capture_default_str();
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
      "  zvrelayd --db PATH --init-db --org NAME --user NAME [PASSWORD]\n"
      "  zvrelayd --db PATH --add-user NAME --org NAME --type N [PASSWORD]\n"
      "  zvrelayd --db PATH --add-card DEVICEID --org NAME [--secret S]\n"
      "  zvrelayd --db PATH --set-password NAME [PASSWORD]\n"
      "  zvrelayd --db PATH --delete-user NAME | --delete-card DEVICEID\n"
      "  zvrelayd --db PATH --list users|cards|online\n"
      "  zvrelayd [--config FILE] --db PATH [--bind ADDR] [--user-port N] [--card-port N]\n"
      "           [--log FILE] [--node NAME] [--lease S] [--threads N] [--db-threads N]\n"
      "           [--max-connections N] [--max-per-address N]\n"
      "PASSWORD is --password-file FILE, else the environment variable ZVRELAYD_PASSWORD,\n"
      "else a prompt on the terminal; --password PW also works but shows it in ps.\n"
      "Serving prints 'users <port>' and 'cards <port>', then runs until SIGINT or SIGTERM;\n"
      "SIGHUP writes 'log reopened (SIGHUP)' to the log (send it after rotating the log).\n"
      "Exit codes: 0 done, 1 failed (reason on stderr), 2 bad or contradictory options (a\n"
      "PostgreSQL URI that is wrong or unreachable included).");
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    // Help and version exit 0; every option error exits 2, like the other tools.
    return app.exit(e) == 0 ? 0 : 2;
  }
  password.given = app.count("--password") > 0;

  if (!db_path.empty()) zv::SetDatabasePath(db_path);
  const std::string path = zv::DatabasePath();
  if (init_db + !add_user.empty() + !add_card.empty() + !list.empty() + !delete_user.empty() +
          !delete_card.empty() + !set_password.empty() >
      1) {
    std::cerr << "--init-db, --add-user, --add-card, --set-password, --delete-user, --delete-card "
                 "and --list exclude each other\n";
    return 2;
  }
  if (!secret.empty() && add_card.empty()) {
    std::cerr << "--secret needs --add-card\n";
    return 2;
  }
  if (!list.empty()) return zv::daemon::ListAccounts(path, list, std::cout, std::cerr);
  if (!delete_user.empty()) return zv::daemon::DeleteUser(path, delete_user, std::cerr);
  if (!delete_card.empty()) return zv::daemon::DeleteCard(path, delete_card, std::cerr);
  if (init_db || !add_user.empty() || !set_password.empty()) {
    if (init_db && (org.empty() || user.empty())) {
      std::cerr << "--init-db needs --org and --user\n";
      return 2;
    }
    if (!add_user.empty() && org.empty()) {
      std::cerr << "--add-user needs --org\n";
      return 2;
    }
    std::string pw;
    if (const int got = zv::daemon::ResolvePassword(password, &pw, std::cerr); got != 0) return got;
    if (pw.empty()) {
      std::cerr << "the password must not be empty\n";
      return 2;
    }
    if (init_db) return zv::daemon::InitDatabase(path, org, user, pw, std::cerr);
    if (!add_user.empty()) return zv::daemon::AddUser(path, add_user, pw, org, type, std::cerr);
    return zv::daemon::SetPassword(path, set_password, pw, std::cerr);
  }
  if (!add_card.empty()) {
    if (org.empty()) {
      std::cerr << "--add-card needs --org\n";
      return 2;
    }
    if (!zv::daemon::ValidDeviceId(add_card)) {
      std::cerr << "device ID " << add_card
                << " cannot register: a TCP card sends six characters, a UDP card 1 to 30 "
                   "digits\n";
      return 2;
    }
    return zv::daemon::AddCard(path, add_card, org, secret, std::cerr);
  }

  if (const std::string problem = zv::DatabaseProblem(path); !problem.empty()) {
    std::cerr << "cannot open the account database " << zv::DatabaseDisplayName(path) << ": "
              << problem << "\n";
    // A URI that is wrong or names a server that is not there is the
    // operator's to correct, like a bad option; a file is a failure to serve.
    return zv::IsPostgresUri(path) ? 2 : 1;
  }
  if (const std::string problem = LogFolderProblem(settings.log_file); !problem.empty()) {
    std::cerr << "cannot write the log " << settings.log_file << ": " << problem << "\n";
    return 1;
  }
  // The heartbeat beats several times a lease, so one slow statement does
  // not make a live server look dead.
  settings.node_stale_ms = lease_s * 1000;
  settings.node_heartbeat_ms = std::min(settings.node_heartbeat_ms, settings.node_stale_ms / 4);
  if (settings.node_name.empty() || settings.node_name.size() > 254) {
    std::cerr << "--node must have 1 to 254 characters\n";
    return 2;
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
