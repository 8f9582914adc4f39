// The command names the simulator's fault options accept beside the codes
// ("--silent ListFiles" as well as "--silent 0x28").
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace tarvo::sim {

// Every command with its code, in code order.
const std::vector<std::pair<std::string, uint8_t>>& CommandNames();
// The code of a command name (case ignored); false for unknown names.
bool CommandByName(const std::string& name, uint8_t* code);

}  // namespace tarvo::sim
