#include "tool/settings_file.hpp"

#include <cctype>
#include <cstdio>

#include "platform/process.hpp"
#include "platform/socket.hpp"
#include "tool/ini_profile.hpp"

namespace tarvo {
namespace {
constexpr const char* kComm = "COMM";
constexpr const char* kOption = "OPTION";
constexpr const char* kPorts = "PORTS";

int32_t GetInt(const IniDocument& doc, const char* section, const char* key, int32_t fallback) {
  std::string v;
  if (!doc.Find(section, key, &v) || v.empty()) return fallback;
  return ParseProfileInt(v);
}

// An address key: the signed decimal the file keeps, or a dotted address
// written by hand (read as that address; the next save writes the decimal).
uint32_t GetAddress(const IniDocument& doc, const char* key, uint32_t fallback) {
  std::string v;
  uint32_t dotted = 0;
  if (doc.Find(kComm, key, &v) && v.find('.') != std::string::npos &&
      platform::ParseIpv4(v, &dotted))
    return dotted;
  return static_cast<uint32_t>(GetInt(doc, kComm, key, static_cast<int32_t>(fallback)));
}

std::string GetString(const IniDocument& doc, const char* section, const char* key,
                      const std::string& fallback) {
  std::string v;
  if (!doc.Find(section, key, &v)) v = fallback;
  if (v.size() > kProfileStringMax) v.resize(kProfileStringMax);
  return v;
}

std::string IntText(int32_t v) {
  return std::to_string(v);
}

std::string FileName(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string Folder(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1);
}
}  // namespace

std::string AddressToProfileText(uint32_t address) {
  return IntText(static_cast<int32_t>(address));
}

void LoadSettings(const std::string& path, const CommSettings& relay_defaults, CommSettings* c,
                  OptionSettings* o) {
  std::string text;
  ReadTextFile(path, &text);
  IniDocument doc = IniDocument::Parse(text);
  const CommSettings d;
  c->comm_type = GetInt(doc, kComm, "CommType", d.comm_type);
  c->card_id = GetInt(doc, kComm, "Card ID", d.card_id);
  c->port_index = GetInt(doc, kComm, "Portidx", d.port_index);
  c->baud_index = GetInt(doc, kComm, "Buadidx", d.baud_index);
  c->ip_addr = GetAddress(doc, "IP Addr", d.ip_addr);
  c->ip_port = GetInt(doc, kComm, "IP Port", d.ip_port);
  c->id_code = GetAddress(doc, "ID Code", d.id_code);
  c->server_ip = GetAddress(doc, "ServerIP", d.server_ip);
  c->server_port = GetInt(doc, kComm, "ServerPort", d.server_port);
  c->imei = GetString(doc, kComm, "IMEI", d.imei);
  c->relay_ip = GetAddress(doc, "ZvServerIP", relay_defaults.relay_ip);
  c->relay_port = GetInt(doc, kComm, "ZvServerPort", relay_defaults.relay_port);
  c->user_name = GetString(doc, kComm, "UserName", relay_defaults.user_name);
  c->password = GetString(doc, kComm, "Password", relay_defaults.password);
  c->device_id = GetString(doc, kComm, "DeviceID", relay_defaults.device_id);
  o->upgrade_scan = GetInt(doc, kOption, "Upgrade scan", 0);
  o->delete_sysfile = GetInt(doc, kOption, "Delete sysfile", 0);
  o->format_sysdisk = GetInt(doc, kOption, "Format sysdisk", 0);
  o->read_file = GetInt(doc, kOption, "Read file", 0);
  o->read_file2 = GetInt(doc, kOption, "Read file2", 0);
}

bool SaveSettings(const std::string& path, const CommSettings& c) {
  std::string text;
  ReadTextFile(path, &text);
  IniDocument doc = IniDocument::Parse(text);
  doc.Set(kComm, "CommType", IntText(c.comm_type));
  doc.Set(kComm, "Card ID", IntText(c.card_id));
  doc.Set(kComm, "Portidx", IntText(c.port_index));
  doc.Set(kComm, "Buadidx", IntText(c.baud_index));
  doc.Set(kComm, "IP Addr", AddressToProfileText(c.ip_addr));
  doc.Set(kComm, "IP Port", IntText(c.ip_port));
  doc.Set(kComm, "ID Code", AddressToProfileText(c.id_code));
  doc.Set(kComm, "ServerIP", AddressToProfileText(c.server_ip));
  doc.Set(kComm, "ServerPort", IntText(c.server_port));
  doc.Set(kComm, "IMEI", c.imei);
  doc.Set(kComm, "ZvServerIP", AddressToProfileText(c.relay_ip));
  doc.Set(kComm, "ZvServerPort", IntText(c.relay_port));
  doc.Set(kComm, "UserName", c.user_name);
  doc.Set(kComm, "Password", c.password);
  doc.Set(kComm, "DeviceID", c.device_id);
  return WriteTextFile(path, doc.Serialize());
}

bool SavePortDevice(const std::string& path, const std::string& port_name,
                    const std::string& device) {
  std::string text;
  ReadTextFile(path, &text);
  IniDocument doc = IniDocument::Parse(text);
  doc.Set(kPorts, port_name, device);
  return WriteTextFile(path, doc.Serialize());
}

PortMap LoadPortMap(const std::string& path) {
  std::string text;
  ReadTextFile(path, &text);
  IniDocument doc = IniDocument::Parse(text);
  PortMap map;
  for (int n = 1; n <= 99; ++n) {
    std::string name = "COM" + std::to_string(n), device;
    if (doc.Find(kPorts, name, &device) && !device.empty()) map[name] = device;
  }
  return map;
}

std::string SettingsPathBeside(const std::string& executable_path) {
  std::string name = FileName(executable_path);
  size_t dot = name.rfind('.');
  std::string base = (dot == std::string::npos || dot == 0) ? name : name.substr(0, dot);
  return Folder(executable_path) + base + ".ini";
}

std::string ChooseSettingsPath(const std::string& executable_path, bool folder_writable,
                               const std::string& config_home) {
  std::string beside = SettingsPathBeside(executable_path);
  if (folder_writable) return beside;
  std::string home = config_home;
  if (!home.empty() && home.back() != '/') home.push_back('/');
  return home + "tarvo/" + FileName(beside);
}

std::string DefaultSettingsPath() {
  std::string exe = platform::ExecutablePath();
  if (exe.empty()) exe = "./tarvo-tool";
  std::string folder = Folder(exe);
  bool writable = platform::IsDirectoryWritable(folder);
  std::string path = ChooseSettingsPath(exe, writable, platform::UserConfigDir());
  // Where names ignore case the whole path is written in lower case, as
  // Windows programs have always named their settings file.
  if (platform::PathsIgnoreCase())
    for (char& c : path) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (!writable) platform::MakeDirectories(Folder(path));
  return path;
}

}  // namespace tarvo
