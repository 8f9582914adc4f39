// The controller link: the selected medium, the connection parameters and
// the two address bytes of the open link.
//
// The application owns exactly one ConnectionManager (tests make their own).
// Each operation runs: fill `settings` (and ConfigureSerialPort(serial, ...)),
// OpenLink, commands (tool/protocol/commands.hpp), CloseLink. One thread at
// a time; nothing here locks. OpenLink and CloseLink return/record results
// only, they print nothing except the serial medium's "FAIL:" lines.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <memory>
#include <string>

#include "tool/link/gprs_gateway.hpp"
#include "tool/link/medium.hpp"
#include "tool/link/relay_api.hpp"
#include "tool/link/serial_port.hpp"
#include "tool/link/tcp_link.hpp"

namespace tarvo {

// The selected medium, as stored in the settings file under "CommType".
enum class CommType : int {
  kSerial = 1,    // "RS232/485"
  kNetwork = 2,   // "NetWork"
  kGateway = 3,   // "GPRS Server"
  kZvServer = 4,  // "Zv Server"
  kZvGprs = 5,    // "Zv GPRS"
};
// Any value other than 2..5 acts as the serial medium.
CommType EffectiveCommType(int comm_type);

// Connection parameters filled before every OpenLink. The serial port
// record lives in ConnectionManager::serial (it holds the open device).
struct LinkSettings {
  // Network: controller address (first octet most significant), TCP port,
  // ID Code (same byte order).
  uint32_t controller_address = 0;
  uint16_t controller_port = 0;
  uint32_t id_code = 0xFFFFFFFF;
  // GPRS gateway: server address as dotted text, port, the modem's IMEI.
  std::string gateway_address;
  uint16_t gateway_port = 0;
  std::string imei;
  // Relay: server address as dotted text, port, user, password, Device ID.
  std::string relay_address;
  int32_t relay_port = 0;
  std::string user_name;
  std::string password;
  std::string device_id;
};

// Waits inside commands. The defaults are the production values.
struct CommandTiming {
  int missing_blocks_file_wait_ms = 100;       // GetMissingBlocks for a file to a disk
  int missing_blocks_firmware_wait_ms = 1000;  // GetMissingBlocks for a firmware image
};

// What the last exchange brought back. Commands keep their own results
// (where "no reply" and "nothing" may read alike); callers that must tell a
// silent or garbled controller from an answer look here.
struct LastReply {
  uint8_t command = 0;  // command code of the request
  size_t length = 0;    // reply length, 0 for none
  // A reply packet to that command whose checksum holds.
  bool whole = false;
  // A whole reply of at least `needed` bytes (header, result and payload).
  bool Answered(size_t needed) const { return whole && length >= needed; }
};

// Why the last OpenLink failed, or what the relay server reported about a
// packet of the open link, in a technician's words. `code` is one of the
// stable codes of tarvo-cli's JSON output ("link-failed", "login-refused",
// "card-offline", "card-locked", "not-found"); empty when nothing went wrong.
struct LinkProblem {
  std::string code;
  std::string reason;
};

// Length limits of the Device ID per relay medium.
bool IsValidDeviceId(CommType medium, const std::string& device_id);

class ConnectionManager {
 public:
  ConnectionManager();
  ~ConnectionManager();
  ConnectionManager(const ConnectionManager&) = delete;
  ConnectionManager& operator=(const ConnectionManager&) = delete;

  int comm_type = 1;
  LinkSettings settings;
  SerialPort serial;
  TcpLink tcp;
  // The loaded gateway library, owned by the application; null acts as a
  // library that is not loaded.
  GprsGateway* gateway = nullptr;
  // Handle from the gateway's init, 0 when no gateway connection is open.
  int gateway_handle = 0;
  // The relay client library's functions; empty entries make calls fail.
  RelayApi relay;
  CommandTiming command_timing;
  // When set, every packet sent and every reply received is written here as
  // one line of hex bytes ("TX n: 68 32 ..." / "RX n: E8 ..."). Off by default.
  std::ostream* trace = nullptr;
  // Set by every command's exchange.
  LastReply last_reply;
  // Whole replies received since the program started: whether any run of it
  // reached a controller.
  int whole_replies = 0;
  // Cleared by OpenLink; the first problem noted stays.
  LinkProblem problem;
  void NoteProblem(const std::string& code, const std::string& reason) {
    if (problem.code.empty()) problem = LinkProblem{code, reason};
  }
  // Set by a medium that knows the open link can carry no more packets (the
  // relay server said the card is gone or not locked for this user); from
  // then on its SendPacket and ReceivePacket fail at once and the transfer
  // workers stop. Cleared by OpenLink and CloseLink.
  bool lost = false;

  // Opens the medium of `comm_type` and records the address bytes. On the
  // network, gateway and relay media the Controller ID becomes 255. 1 or 0.
  int OpenLink(uint8_t type_code, uint8_t controller_id);
  // Clears the address bytes, then closes the medium. Safe after a failed
  // OpenLink.
  void CloseLink();

  // Address bytes of the open link (both 0 while closed).
  uint8_t type_code() const { return type_code_; }
  uint8_t controller_id() const { return controller_id_; }

  // The medium of the current comm_type; SendPacket/ReceivePacket use it.
  Medium& CurrentMedium();

 private:
  uint8_t type_code_ = 0;
  uint8_t controller_id_ = 0;
  std::unique_ptr<Medium> serial_medium_;
  std::unique_ptr<Medium> network_medium_;
  std::unique_ptr<Medium> gateway_medium_;
  std::unique_ptr<Medium> zv_server_medium_;
  std::unique_ptr<Medium> zv_gprs_medium_;
};

}  // namespace tarvo
