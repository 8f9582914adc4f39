// The tool's settings file: the COMM section (the communication panel, 15
// keys), the OPTION section (switches for optional buttons, read only) and a
// hand-written PORTS section that maps serial port names to device paths.
#pragma once

#include <cstdint>
#include <map>
#include <string>

namespace tarvo {

// 192.168.1.100 with the first octet in the most significant byte.
inline constexpr uint32_t kDefaultControllerIp = 0xC0A80164u;
// The relay server the tool offers until the user enters another: a relay
// daemon on this machine (127.0.0.1), which is where zvrelayd runs in a
// service workshop and in the demo; a public address would leak requests.
inline constexpr uint32_t kDefaultRelayServerIp = 0x7F000001u;

// Panel values with the defaults that a missing file gives.
struct CommSettings {
  int32_t comm_type = 1;
  int32_t card_id = 1;
  int32_t port_index = 0;
  int32_t baud_index = 0;
  uint32_t ip_addr = kDefaultControllerIp;
  int32_t ip_port = 5200;
  uint32_t id_code = 0xFFFFFFFFu;
  uint32_t server_ip = kDefaultControllerIp;
  int32_t server_port = 5200;
  std::string imei = "123456789012345";
  uint32_t relay_ip = kDefaultRelayServerIp;
  int32_t relay_port = 5202;
  std::string user_name = "user01";
  std::string password = "21963";
  std::string device_id = "100001";
};

// Non-zero shows the optional button.
struct OptionSettings {
  int32_t upgrade_scan = 0;
  int32_t delete_sysfile = 0;
  int32_t format_sysdisk = 0;
  int32_t read_file = 0;
  int32_t read_file2 = 0;
};

// "COM3" -> "/dev/ttyUSB0" as written by hand in the PORTS section.
using PortMap = std::map<std::string, std::string>;

// Reads both sections. An address key written by hand in dotted form
// ("IP Addr=127.0.0.1") is read as that address. `relay_defaults` supplies the defaults of the five
// relay keys (the dialog passes its constructor values); the other keys take
// the constants of CommSettings.
void LoadSettings(const std::string& path, const CommSettings& relay_defaults, CommSettings* comm,
                  OptionSettings* options);
// Writes the fifteen COMM keys in their fixed order; everything else in the
// file stays as it was. False when the file cannot be written.
bool SaveSettings(const std::string& path, const CommSettings& comm);
// Enters `port_name`=`device` in the PORTS section (everything else stays).
bool SavePortDevice(const std::string& path, const std::string& port_name,
                    const std::string& device);
// The PORTS section, entries COM1 ... COM99 only.
PortMap LoadPortMap(const std::string& path);

// An address as the file stores it: the 32-bit value as a signed decimal.
std::string AddressToProfileText(uint32_t address);

// Where the settings live: the executable's path with the extension ".ini"
// (case kept); when that folder is not writable, the same file name in
// `config_home`/tarvo/ (config_home being $XDG_CONFIG_HOME or ~/.config;
// %APPDATA% on Windows, where DefaultSettingsPath writes it in lower case).
std::string SettingsPathBeside(const std::string& executable_path);
std::string ChooseSettingsPath(const std::string& executable_path, bool folder_writable,
                               const std::string& config_home);
// The same decision on the running system (creates the fallback folder).
std::string DefaultSettingsPath();

}  // namespace tarvo
