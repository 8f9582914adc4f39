// Command-line options of tarvo-sim.
#pragma once

#include <string>

#include "sim/number_text.hpp"
#include "sim/simulator.hpp"

namespace tarvo::sim {

// Fills `out` from the arguments. Returns -1 when the program should go on
// and serve; otherwise the exit code (0 after --help or --version, 2 on a usage error),
// with the text to print in `message`.
int ParseSimulatorArguments(int argc, const char* const* argv, SimulatorOptions* out,
                            std::string* message);

}  // namespace tarvo::sim
