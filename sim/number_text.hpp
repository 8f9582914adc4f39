// Numbers given as text on a command line or in an environment variable.
#pragma once

#include <string>

namespace tarvo::sim {

// "0x2D" or "45" -> 45 (decimal, or hex after 0x). False when the text is
// not entirely one such number, or it is above `max`.
bool ParseNumber(const std::string& text, unsigned long max, unsigned long* out);

}  // namespace tarvo::sim
