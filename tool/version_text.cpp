#include "tool/version_text.hpp"

#include <cstdio>

#include "tool/protocol/commands.hpp"

namespace tarvo {
namespace {
// Major in bits 8-15, minor in bits 0-7.
unsigned Major(uint32_t w) {
  return (w >> 8) & 0xFF;
}
unsigned Minor(uint32_t w) {
  return w & 0xFF;
}
// The logic word keeps its version in bits 12-15 and 8-11.
unsigned LogicMajor(uint32_t w) {
  return (w >> 12) & 0xF;
}
unsigned LogicMinor(uint32_t w) {
  return (w >> 8) & 0xF;
}
}  // namespace

std::string VersionField(const uint32_t words[7], int index) {
  const uint32_t w = words[index];
  const bool logic = index == 1;
  return std::to_string(logic ? LogicMajor(w) : Major(w)) + "." +
         std::to_string(logic ? LogicMinor(w) : Minor(w));
}

std::string FormatVersionText(uint8_t model_code, const uint32_t words[7]) {
  const uint32_t boot = words[0], logic = words[1], bios = words[2], app = words[3],
                 scan = words[4], net = words[5];
  char buf[512];
  std::snprintf(buf, sizeof buf,
                "%s\r\n\r\nVersion: %u.%u - %u.%u - %u.%u\r\n\r\n LOGIC= %u.%u\r\n SCAN = "
                "%u.%u\r\n BOOT = %u.%u\r\n BIOS = %u.%u\r\n APP  = %u.%u\r\n NET  = %u.%u",
                ControllerModelName(model_code), LogicMajor(logic), LogicMinor(logic), Major(bios),
                Minor(bios), Major(app), Minor(app), LogicMajor(logic), LogicMinor(logic),
                Major(scan), Minor(scan), Major(boot), Minor(boot), Major(bios), Minor(bios),
                Major(app), Minor(app), Major(net), Minor(net));
  return buf;
}

}  // namespace tarvo
