// The serial devices of this machine, for listing them to a technician.
#pragma once

#include <string>
#include <vector>

namespace tarvo::platform {

struct SerialDeviceInfo {
  std::string path;                // "/dev/ttyUSB0"
  std::vector<std::string> by_id;  // stable names of the device ("usb-FTDI_..."), if any
};

// On-board ports (ttyS* backed by hardware), USB serial adapters (ttyUSB*)
// and USB modems (ttyACM*), sorted by kind and number.
std::vector<SerialDeviceInfo> ListSerialDevices();

}  // namespace tarvo::platform
