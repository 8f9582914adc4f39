// The settings file reader on arbitrary bytes: parsing, every key the tool
// reads, the integer reader and a write must neither crash nor lose what the
// file held.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "tool/ini_profile.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  tarvo::IniDocument doc = tarvo::IniDocument::Parse(text);
  static const char* const kKeys[] = {
      "CommType", "Card ID",  "Portidx",    "Buadidx",      "IP Addr",    "IP Port",
      "ID Code",  "ServerIP", "ServerPort", "IMEI",         "ZvServerIP", "ZvServerPort",
      "UserName", "Password", "DeviceID",   "Upgrade scan", "Read file",  "Format sysdisk"};
  std::string value;
  for (const char* key : kKeys) {
    if (doc.Find("COMM", key, &value)) tarvo::ParseProfileInt(value);
    if (doc.Find("OPTION", key, &value)) tarvo::ParseProfileInt(value);
  }
  // Serialising is stable: what was written reads back as the same lines.
  std::string once = doc.Serialize();
  if (tarvo::IniDocument::Parse(once).Serialize() != once) std::abort();
  // A write of one key leaves a document in which that key reads back.
  doc.Set("COMM", "CommType", "3");
  if (!doc.Find("COMM", "CommType", &value) || value != "3") std::abort();
  return 0;
}
