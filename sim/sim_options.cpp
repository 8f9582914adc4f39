#include "sim/sim_options.hpp"

#include <CLI/CLI.hpp>
#include <cstdlib>
#include <sstream>

#include "common/version.hpp"
#include "platform/socket.hpp"
#include "sim/command_names.hpp"
#include "sim/relay_card_codec.hpp"

namespace tarvo::sim {

namespace {

// Comma-separated numbers, each in 0..max.
bool ParseList(const std::string& text, unsigned long max, std::vector<unsigned long>* out) {
  std::stringstream in(text);
  std::string item;
  while (std::getline(in, item, ',')) {
    unsigned long v;
    if (!ParseNumber(item, max, &v)) return false;
    out->push_back(v);
  }
  return !out->empty();
}

const char* kDescription =
    "tarvo-sim: a simulated Tarvo-E LED display controller (model code 0x32).\n"
    "It keeps a system disk (0) and a user disk (1), a boot-loader flash, firmware\n"
    "versions and a screen configuration, and answers the maintenance tool's commands\n"
    "on a pseudo-terminal (--serial), a TCP port (--tcp) and a GPRS gateway port for\n"
    "libdcc.so (--gateway); it can also be a card of zvrelayd over TCP (--relay-card)\n"
    "or UDP (--relay-udp). At start it prints one line per medium, 'serial <device>',\n"
    "'tcp <port>', 'gateway <port>', 'relay-card <device-id>', 'relay-udp <device-id>',\n"
    "then serves until SIGINT or SIGTERM.\n"
    "Numbers may be given in decimal or as 0x hex.";

// "A.B.C.D:PORT" or "localhost:PORT", port 1-65535.
bool ParseHostPort(const std::string& text, uint32_t* address, int* port) {
  const size_t colon = text.rfind(':');
  if (colon == std::string::npos) return false;
  const std::string host = text.substr(0, colon);
  unsigned long v = 0;
  if (!ParseNumber(text.substr(colon + 1), 65535, &v) || v == 0) return false;
  if (host == "localhost")
    *address = kLoopback;
  else if (!platform::ParseIpv4(host, address))
    return false;
  *port = static_cast<int>(v);
  return true;
}

}  // namespace

int ParseSimulatorArguments(int argc, const char* const* argv, SimulatorOptions* out,
                            std::string* message) {
  CLI::App app(kDescription, "tarvo-sim");
  std::string id = "1", id_code = "255.255.255.255", bind = "127.0.0.1", capacity;
  std::string tcp, gateway, wrong_code, drop_blocks, drop_seed, not_ready, delay;
  std::vector<std::string> silent;
  std::string drop_fraction;
  std::string relay_card, relay_udp;
  SimulatorOptions o;

  app.set_version_flag("--version", std::string("tarvo-sim ") + kSuiteVersion);
  app.add_option("--id", id,
                 "Controller ID on the serial line, 1-254 (default 1); 255 in a "
                 "request always matches")
      ->type_name("N");
  app.add_option("--id-code", id_code,
                 "ID Code of the network medium, A.B.C.D (default 255.255.255.255: answer "
                 "every header; otherwise answer this code and 255.255.255.255)")
      ->type_name("A.B.C.D");
  app.add_flag("--serial", o.serial, "serve a pseudo-terminal; prints 'serial <device>'");
  app.add_option("--tcp", tcp,
                 "serve the network medium on this TCP port (0: a free one); "
                 "prints 'tcp <port>'")
      ->type_name("PORT");
  app.add_option("--gateway", gateway,
                 "serve libdcc.so on this TCP port (0: a free one); prints 'gateway <port>'")
      ->type_name("PORT");
  app.add_option("--bind", bind, "address the TCP and gateway ports listen on (default 127.0.0.1)")
      ->type_name("A.B.C.D");
  app.add_option("--disk-dir", o.disk_dir,
                 "keep both disks in this folder (sub-folders system/ and user/) instead of "
                 "in memory")
      ->type_name("DIR");
  app.add_option("--capacity", capacity, "size of each disk in bytes (default 8388608)")
      ->type_name("BYTES");
  app.add_option("--relay-card", relay_card,
                 "be a TCP card of the zvrelayd at this card port (needs --device-id, six "
                 "characters); with several nodes of one fleet, connect to the first that "
                 "answers and move on when its node goes; prints 'relay-card <device-id>'")
      ->type_name("HOST:PORT[,HOST:PORT...]");
  app.add_option("--relay-udp", relay_udp,
                 "be a UDP card of the zvrelayd at this card port (needs --device-id, digits); "
                 "prints 'relay-udp <device-id>'")
      ->type_name("HOST:PORT");
  app.add_option("--device-id", o.device_id, "DeviceID registered with zvrelayd")->type_name("ID");
  app.add_option("--card-secret", o.card_secret,
                 "the secret zvrelayd holds for this --relay-card (zvrelayd --add-card ... "
                 "--secret): answers its challenge")
      ->type_name("SECRET");
  auto* faults = "Faults (for tests)";
  app.add_option("--silent", silent,
                 "never answer this command, by code or name (ListFiles, GetVersions ...; "
                 "sim/README.md lists them); repeatable")
      ->type_name("COMMAND")
      ->group(faults);
  app.add_flag("--corrupt-checksums", o.faults.corrupt_checksums,
               "send every reply with a wrong checksum")
      ->group(faults);
  app.add_option("--wrong-reply-code", wrong_code,
                 "answer this command code with another code in byte 3")
      ->type_name("CODE")
      ->group(faults);
  app.add_option("--drop-blocks", drop_blocks,
                 "lose these unacknowledged blocks (comma list) on their first arrival")
      ->type_name("N,N,...")
      ->group(faults);
  app.add_flag("--drop-repeats", o.faults.drop_repeats,
               "lose the --drop-blocks blocks on every arrival")
      ->group(faults);
  app.add_option("--drop-fraction", drop_fraction,
                 "lose this share (0-1) of all unacknowledged blocks")
      ->type_name("SHARE")
      ->group(faults);
  app.add_option("--drop-seed", drop_seed, "seed of --drop-fraction (default 1)")
      ->type_name("N")
      ->group(faults);
  app.add_option("--not-ready", not_ready,
                 "answer the next N CreateStreamFile requests 253 (not ready)")
      ->type_name("N")
      ->group(faults);
  app.add_option("--reply-delay", delay, "wait this many ms before each reply")
      ->type_name("MS")
      ->group(faults);

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    *message = app.help();
    return 0;
  } catch (const CLI::CallForVersion& e) {
    *message = std::string(e.what()) + "\n";
    return 0;
  } catch (const CLI::ParseError& e) {
    *message = std::string(e.what()) + "\nRun with --help for more information.\n";
    return 2;
  }

  auto bad = [&](const std::string& what) {
    *message = "tarvo-sim: invalid " + what + "\nRun with --help for more information.\n";
    return 2;
  };
  unsigned long v = 0;
  if (!ParseNumber(id, 254, &v) || v == 0) return bad("--id (1-254): " + id);
  o.controller.controller_id = static_cast<uint8_t>(v);
  if (!platform::ParseIpv4(id_code, &o.id_code)) return bad("--id-code: " + id_code);
  if (!platform::ParseIpv4(bind, &o.bind_address)) return bad("--bind: " + bind);
  if (!tcp.empty()) {
    if (!ParseNumber(tcp, 65535, &v)) return bad("--tcp port: " + tcp);
    o.tcp_port = static_cast<int>(v);
  }
  if (!gateway.empty()) {
    if (!ParseNumber(gateway, 65535, &v)) return bad("--gateway port: " + gateway);
    o.gateway_port = static_cast<int>(v);
  }
  if (!capacity.empty()) {
    if (!ParseNumber(capacity, 0xFFFFFFFFul, &v)) return bad("--capacity: " + capacity);
    o.controller.disk_capacity = static_cast<uint32_t>(v);
  }
  uint8_t named = 0;
  for (const std::string& s : silent) {
    if (CommandByName(s, &named))
      v = named;
    else if (!ParseNumber(s, 255, &v))
      return bad("--silent: not a command code or name: " + s);
    o.faults.silent_commands.insert(static_cast<uint8_t>(v));
  }
  if (!wrong_code.empty()) {
    if (CommandByName(wrong_code, &named))
      v = named;
    else if (!ParseNumber(wrong_code, 255, &v))
      return bad("--wrong-reply-code: " + wrong_code);
    o.faults.wrong_reply_command = static_cast<int>(v);
  }
  if (!drop_blocks.empty()) {
    std::vector<unsigned long> list;
    if (!ParseList(drop_blocks, 65535, &list)) return bad("--drop-blocks: " + drop_blocks);
    for (unsigned long b : list) o.faults.drop_blocks.push_back(static_cast<uint16_t>(b));
  }
  if (!drop_fraction.empty()) {
    char* end = nullptr;
    const double share = std::strtod(drop_fraction.c_str(), &end);
    if (end == drop_fraction.c_str() || *end != 0 || !(share >= 0.0 && share <= 1.0))
      return bad("--drop-fraction (0-1): " + drop_fraction);
    o.faults.drop_fraction = share;
  }
  if (!drop_seed.empty()) {
    if (!ParseNumber(drop_seed, 0xFFFFFFFFul, &v)) return bad("--drop-seed: " + drop_seed);
    o.faults.drop_seed = static_cast<uint32_t>(v);
  }
  if (!not_ready.empty()) {
    if (!ParseNumber(not_ready, 1000000, &v)) return bad("--not-ready: " + not_ready);
    o.faults.not_ready_count = static_cast<int>(v);
  }
  if (!delay.empty()) {
    if (!ParseNumber(delay, 600000, &v)) return bad("--reply-delay: " + delay);
    o.faults.reply_delay_ms = static_cast<int>(v);
  }
  if (!relay_card.empty()) {
    // HOST:PORT[,HOST:PORT...]: the first node, then the others of its fleet.
    size_t start = 0;
    for (bool first = true;; first = false) {
      const size_t comma = relay_card.find(',', start);
      const std::string one = relay_card.substr(start, comma - start);
      uint32_t address = 0;
      int port = -1;
      if (!ParseHostPort(one, &address, &port))
        return bad("--relay-card (HOST:PORT[,HOST:PORT...]): " + relay_card);
      if (first) {
        o.relay_card_address = address;
        o.relay_card_port = port;
      } else {
        o.relay_card_fallbacks.push_back({address, static_cast<uint16_t>(port)});
      }
      if (comma == std::string::npos) break;
      start = comma + 1;
    }
    if (!IsTcpCardId(o.device_id))
      return bad("--device-id for --relay-card (six characters): " + o.device_id);
  }
  if (!relay_udp.empty()) {
    if (!ParseHostPort(relay_udp, &o.relay_udp_address, &o.relay_udp_port))
      return bad("--relay-udp (HOST:PORT): " + relay_udp);
    if (!IsUdpCardId(o.device_id))
      return bad("--device-id for --relay-udp (1-30 digits): " + o.device_id);
  }
  if (!o.card_secret.empty() && (relay_card.empty() || o.card_secret.size() > 254))
    return bad("--card-secret (1-254 characters, with --relay-card)");
  if (!o.device_id.empty() && relay_card.empty() && relay_udp.empty())
    return bad("--device-id without --relay-card or --relay-udp");
  if (!o.serial && o.tcp_port < 0 && o.gateway_port < 0 && o.relay_card_port < 0 &&
      o.relay_udp_port < 0) {
    *message =
        "tarvo-sim: nothing to serve: give --serial, --tcp PORT, --gateway PORT,\n"
        "--relay-card HOST:PORT and/or --relay-udp HOST:PORT\n"
        "Run with --help for more information.\n";
    return 2;
  }
  *out = o;
  return -1;
}

}  // namespace tarvo::sim
