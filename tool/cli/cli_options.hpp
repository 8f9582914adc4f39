// The command line of tarvo-cli: link options that override the settings
// file, output switches and one subcommand with its arguments.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tarvo::cli {

struct LinkOverrides {
  std::optional<int> comm_type;       // --medium
  std::optional<std::string> port;    // --port COMn or a device path
  std::optional<int> baud;            // --baud
  std::optional<int> controller_id;   // --id (255 = any)
  std::optional<uint32_t> ip;         // --ip
  std::optional<int> ip_port;         // --ip-port
  std::optional<uint32_t> id_code;    // --id-code
  std::optional<uint32_t> server_ip;  // --server-ip
  std::optional<int> server_port;     // --server-port
  std::optional<std::string> imei;    // --imei
  std::optional<uint32_t> relay_ip;   // --relay-ip
  std::optional<int> relay_port;      // --relay-port
  std::optional<std::string> device_id, user, password;
};

struct CliOptions {
  LinkOverrides link;
  std::string settings_path;
  bool json = false;
  bool yes = false;
  bool quiet = false;       // -q: errors and asked-for data only
  bool verbose = false;     // -v: every packet in hex on standard error
  bool no_save = false;     // --no-save: the settings file is left alone
  bool force = false;       // read --force: replace an existing local file
  bool verify = false;      // write --verify: read the file back and compare
  std::string verify_copy;  // where --verify reads the file back to (chosen by main)
  // Short waits instead of the production pacing: for test fixtures and
  // demos against the simulator only (not listed in --help).
  bool fast_pacing = false;
  std::optional<std::string> access_code;
  // The subcommand ("list", "free", "read", "delete", "format", "write",
  // "upgrade", "version", "reset", "config") and its words.
  std::string command;
  std::string disk;           // "user" / "system"
  std::string target;         // NAME.TYPE, FILE or IMAGE
  std::string output;         // read -o ("-" = standard output)
  std::string upgrade_kind;   // app / bios / net / scan / boot
  std::string config_action;  // read / set
  std::vector<std::string> items;
};

// True when `--json` is among the arguments (even when they do not parse,
// so that a usage error is reported as a JSON object too).
bool JsonAsked(int argc, const char* const* argv);

// Parses the arguments. Returns -1 when the command should run; otherwise
// the exit status (0 after --help, 2 on a usage error) with the text to
// print in `message` (`to_stderr` tells where).
int ParseCliArguments(int argc, const char* const* argv, CliOptions* out, std::string* message,
                      bool* to_stderr);

}  // namespace tarvo::cli
