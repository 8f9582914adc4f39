#include "sim/number_text.hpp"

#include <cctype>
#include <cerrno>
#include <cstdlib>

namespace tarvo::sim {

bool ParseNumber(const std::string& text, unsigned long max, unsigned long* out) {
  // strtoul would accept a sign, blanks and a leading-zero octal form.
  if (text.empty() || !(text[0] >= '0' && text[0] <= '9')) return false;
  const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  if (hex && !std::isxdigit(static_cast<unsigned char>(text[2]))) return false;
  errno = 0;
  char* end = nullptr;
  unsigned long v = std::strtoul(hex ? text.c_str() + 2 : text.c_str(), &end, hex ? 16 : 10);
  if (errno != 0 || *end != 0 || v > max) return false;
  *out = v;
  return true;
}

}  // namespace tarvo::sim
