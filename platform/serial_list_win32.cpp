// Windows implementation of platform/serial_list.hpp: the COM ports that the
// system names (QueryDosDevice knows every port a driver registered).
#include <windows.h>

#include "platform/serial.hpp"
#include "platform/serial_list.hpp"

namespace tarvo::platform {

std::vector<SerialDeviceInfo> ListSerialDevices() {
  std::vector<SerialDeviceInfo> out;
  char target[1024];
  for (int n = 1; n <= 99; ++n) {
    std::string name = "COM" + std::to_string(n);
    if (QueryDosDeviceA(name.c_str(), target, sizeof target) == 0) continue;
    SerialDeviceInfo info;
    info.path = NumberedSerialPortPath(n);
    info.by_id.push_back(target);
    out.push_back(info);
  }
  return out;
}

}  // namespace tarvo::platform
