// The text that "Check Version" shows: model name and firmware versions.
#pragma once

#include <cstdint>
#include <string>

namespace tarvo {

// `words` are the seven version words in reply order (boot, logic, BIOS,
// application, scan, network, spare). Lines end in CR LF.
std::string FormatVersionText(uint8_t model_code, const uint32_t words[7]);

// One firmware's version as the text shows it ("4.16"); index 0-5 in reply
// order (boot, logic, BIOS, application, scan, network).
std::string VersionField(const uint32_t words[7], int index);

}  // namespace tarvo
