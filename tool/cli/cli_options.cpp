#include "tool/cli/cli_options.hpp"

#include <CLI/CLI.hpp>
#include <sstream>

#include "common/version.hpp"
#include "platform/socket.hpp"

namespace tarvo::cli {
namespace {

// Dotted IPv4 text into the 32-bit form (first octet most significant).
struct AddressOption {
  std::optional<uint32_t>* target;
  std::string text;
};

const char* kFooter = R"(
Link options override the settings file (tarvo-cli.ini beside the program,
~/.config/tarvo/ when that folder is not writable, or --settings FILE); the
values an operation used are saved back to it, as the dialog does.

Exit status: 0 success, 1 the controller refused or did not answer,
2 bad usage or a local file problem. Ctrl-C during write or upgrade
stops the transfer at its next piece or block (status 1).

Examples:
  tarvo-cli --medium network --ip 192.168.1.100 list user
  tarvo-cli --medium serial --port /dev/ttyUSB0 --baud 115200 free system
  tarvo-cli write user logo.bmp
  tarvo-cli read system FONT.HZK -o font.hzk
  tarvo-cli upgrade app firmware.bin      (asks for the access code on a terminal)
  tarvo-cli upgrade bios os.bin --access-code CODE
  tarvo-cli config set temperature=-5F speed=fast
  tarvo-cli --json version)";

}  // namespace

bool JsonAsked(int argc, const char* const* argv) {
  for (int i = 1; i < argc; ++i)
    if (std::string(argv[i]) == "--json") return true;
  return false;
}

int ParseCliArguments(int argc, const char* const* argv, CliOptions* o, std::string* message,
                      bool* to_stderr) {
  CLI::App app{"tarvo-cli: maintenance of Tarvo LED display controllers"};
  app.footer(kFooter);
  app.set_version_flag("--version", std::string("tarvo-cli ") + kSuiteVersion);
  app.require_subcommand(1);
  // Options of the program may follow the subcommand's words.
  app.fallthrough(true);

  std::string medium;
  app.add_option("--medium", medium, "Link medium")
      ->check(CLI::IsMember({"serial", "network", "gprs", "zv-server", "zv-gprs"}))
      ->group("Link");
  std::string port, id, ip, id_code, server_ip, relay_ip;
  int baud = 0, ip_port = 0, server_port = 0, relay_port = 0;
  std::string imei, device_id, user, password;
  auto* port_opt =
      app.add_option("--port", port, "Serial port: COM1..COM99 or a device path")->group("Link");
  auto* baud_opt = app.add_option("--baud", baud, "Baud rate")
                       ->check(CLI::IsMember({115200, 57600, 38400, 19200, 9600, 4800, 2400}))
                       ->group("Link");
  auto* id_opt = app.add_option("--id", id, "Controller ID 1..254 or 'any'")->group("Link");
  auto* ip_opt = app.add_option("--ip", ip, "Controller address (network)")->group("Link");
  auto* ip_port_opt = app.add_option("--ip-port", ip_port, "Controller TCP port")
                          ->check(CLI::Range(1, 65535))
                          ->group("Link");
  auto* id_code_opt =
      app.add_option("--id-code", id_code, "Network ID code, dotted like an address")
          ->group("Link");
  auto* server_ip_opt =
      app.add_option("--server-ip", server_ip, "GPRS gateway server address")->group("Link");
  auto* server_port_opt = app.add_option("--server-port", server_port, "GPRS gateway server port")
                              ->check(CLI::Range(1, 65535))
                              ->group("Link");
  auto* imei_opt = app.add_option("--imei", imei, "IMEI of the controller's modem")->group("Link");
  auto* relay_ip_opt =
      app.add_option("--relay-ip", relay_ip, "Relay server address")->group("Link");
  auto* relay_port_opt = app.add_option("--relay-port", relay_port, "Relay server port")
                             ->check(CLI::Range(1, 65535))
                             ->group("Link");
  auto* device_opt =
      app.add_option("--device-id", device_id, "Card's Device ID on the relay server")
          ->group("Link");
  auto* user_opt = app.add_option("--user", user, "Relay server user name")->group("Link");
  auto* password_opt =
      app.add_option("--password", password, "Relay server password")->group("Link");
  app.add_option("--settings", o->settings_path, "Settings file to use");
  app.add_flag("--json", o->json, "Print one JSON object instead of texts (docs/cli-json.md)");
  app.add_flag("-q,--quiet", o->quiet, "Print only errors and the data asked for");
  app.add_flag("-v,--verbose", o->verbose,
               "Print every packet sent and received, in hex, on stderr");
  app.add_flag("--no-save", o->no_save, "Leave the settings file as it is");
  app.add_flag("--yes,-y", o->yes, "Answer yes to questions (format)");
  app.add_flag("--fast-pacing", o->fast_pacing)->group("");
  std::string access_code;
  auto* code_opt =
      app.add_option("--access-code", access_code, "Access code of an upgrade (else asked)");

  auto disk_check = CLI::IsMember({"user", "system"});
  auto* list = app.add_subcommand("list", "List the files of a disk");
  list->add_option("disk", o->disk, "user | system")->required()->check(disk_check);
  auto* free = app.add_subcommand("free", "Free space of a disk");
  free->add_option("disk", o->disk, "user | system")->required()->check(disk_check);
  auto* read = app.add_subcommand("read", "Read a file from a disk");
  read->add_option("disk", o->disk, "user | system")->required()->check(disk_check);
  read->add_option("name", o->target, "NAME.TYPE on the controller")->required();
  read->add_option("-o,--output", o->output, "Local file (default: NAME.TYPE here; - for stdout)");
  read->add_flag("--force", o->force, "Replace the local file if it exists");
  auto* del = app.add_subcommand("delete", "Delete a file from a disk");
  del->add_option("disk", o->disk, "user | system")->required()->check(disk_check);
  del->add_option("name", o->target, "NAME.TYPE on the controller")->required();
  auto* format = app.add_subcommand("format", "Format a disk (asks first unless --yes)");
  format->add_option("disk", o->disk, "user | system")->required()->check(disk_check);
  format->add_flag("--yes,-y", o->yes, "Do not ask");
  auto* write = app.add_subcommand("write", "Write a local file to a disk");
  write->add_option("disk", o->disk, "user | system")->required()->check(disk_check);
  write->add_option("file", o->target, "Local file")->required()->check(CLI::ExistingFile);
  write->add_flag("--verify", o->verify, "Read the file back afterwards and compare it");
  auto* upgrade = app.add_subcommand("upgrade", "Upgrade a firmware image");
  upgrade->add_option("kind", o->upgrade_kind, "app | bios | net | scan | boot")
      ->required()
      ->check(CLI::IsMember({"app", "bios", "net", "scan", "boot"}));
  upgrade
      ->add_option("image", o->target,
                   "Image file (.bin); its kind is checked by the tag it starts with "
                   "(ZVAPP ver, ZVOS ver, ZVNET ver, ZVSCAN ver, ZVSBOOT ve)")
      ->required()
      ->check(CLI::ExistingFile);
  app.add_subcommand("version", "Show the controller model and firmware versions");
  app.add_subcommand("ports", "List this machine's serial devices and their COMn names");
  app.add_subcommand("reset", "Restart the controller");
  auto* config = app.add_subcommand("config", "Read or set the screen configuration");
  auto* config_read = config->add_subcommand("read",
                                             "Read items: font temperature humidity "
                                             "screen speed refresh");
  config_read->add_option("items", o->items, "Items to read")->required();
  auto* config_set = config->add_subcommand(
      "set",
      "Set items: font=GB2312 temperature=-5F humidity=+3 screen=Tarvo-E,Full color,128x32 "
      "speed=fast refresh=2,3");
  config_set->add_option("items", o->items, "ITEM=VALUE ...")->required();
  config->require_subcommand(1);

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    std::ostringstream out, err;
    int code = app.exit(e, out, err);
    *message = out.str() + err.str();
    *to_stderr = code != 0;
    return code == 0 ? 0 : 2;
  }

  for (CLI::App* sub : app.get_subcommands()) o->command = sub->get_name();
  if (o->command == "config") o->config_action = config_read->parsed() ? "read" : "set";

  auto fail = [&](const std::string& text) {
    *message = text + "\nRun with --help for more information.\n";
    *to_stderr = true;
    return 2;
  };
  auto address = [&](CLI::Option* opt, const std::string& text, const char* name,
                     std::optional<uint32_t>* target) {
    if (opt->count() == 0) return true;
    uint32_t v = 0;
    if (!platform::ParseIpv4(text, &v)) return false;
    *target = v;
    (void)name;
    return true;
  };
  LinkOverrides& l = o->link;
  if (!medium.empty()) {
    const char* names[] = {"serial", "network", "gprs", "zv-server", "zv-gprs"};
    for (int i = 0; i < 5; ++i)
      if (medium == names[i]) l.comm_type = i + 1;
  }
  if (port_opt->count()) l.port = port;
  if (baud_opt->count()) l.baud = baud;
  if (id_opt->count()) {
    if (id == "any" || id == "Any ID") {
      l.controller_id = 255;
    } else {
      char* end = nullptr;
      long v = std::strtol(id.c_str(), &end, 10);
      if (id.empty() || *end != 0 || v < 1 || v > 255) return fail("--id: 1..254 or 'any'");
      l.controller_id = static_cast<int>(v);
    }
  }
  if (!address(ip_opt, ip, "--ip", &l.ip)) return fail("--ip: not an IPv4 address: " + ip);
  if (!address(id_code_opt, id_code, "--id-code", &l.id_code))
    return fail("--id-code: not in dotted form: " + id_code);
  if (!address(server_ip_opt, server_ip, "--server-ip", &l.server_ip))
    return fail("--server-ip: not an IPv4 address: " + server_ip);
  if (!address(relay_ip_opt, relay_ip, "--relay-ip", &l.relay_ip))
    return fail("--relay-ip: not an IPv4 address: " + relay_ip);
  if (ip_port_opt->count()) l.ip_port = ip_port;
  if (server_port_opt->count()) l.server_port = server_port;
  if (relay_port_opt->count()) l.relay_port = relay_port;
  if (imei_opt->count()) {
    bool digits = imei.size() == 15;
    for (char c : imei) digits = digits && c >= '0' && c <= '9';
    if (!digits) return fail("--imei: a modem's IMEI is 15 digits: " + imei);
    l.imei = imei;
  }
  if (device_opt->count()) l.device_id = device_id;
  if (user_opt->count()) l.user = user;
  if (password_opt->count()) l.password = password;
  if (code_opt->count()) o->access_code = access_code;
  return -1;
}

}  // namespace tarvo::cli
