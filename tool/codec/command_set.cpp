#include "tool/codec/command_set.hpp"

namespace tarvo {

const char* ControllerModelName(uint8_t model) {
  switch (model) {
    case 0x12:
      return "Tarvo-A";
    case 0x21:
      return "Tarvo-B";
    case 0x22:
      return "Tarvo-C";
    case 0x31:
      return "Tarvo-D";
    case 0x32:
      return "Tarvo-E/D";
    default:
      return "Unknown";
  }
}

}  // namespace tarvo
