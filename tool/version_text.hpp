// The text that "Check Version" shows: model name and firmware versions.
#pragma once

#include <cstdint>
#include <string>

namespace tarvo {

// `words` are the seven version words in reply order (boot, logic, BIOS,
// application, scan, network, spare). Lines end in CR LF.
std::string FormatVersionText(uint8_t model_code, const uint32_t words[7]);

}  // namespace tarvo
