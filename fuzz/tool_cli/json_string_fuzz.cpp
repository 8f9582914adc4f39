// JsonString gets names and texts straight from a controller: whatever the
// bytes, the result must be one JSON string of well-formed UTF-8 with no raw
// control character, and plain ASCII must come back unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "tool/cli/json_writer.hpp"

namespace {

bool WellFormedUtf8(const std::string& s) {
  for (size_t i = 0; i < s.size();) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    size_t n = c < 0x80 ? 1 : c >= 0xF0 && c <= 0xF4 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 ? 2 : 0;
    if (n == 0 || i + n > s.size()) return false;
    for (size_t k = 1; k < n; ++k)
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    i += n;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  std::string json = tarvo::cli::JsonString(text);
  if (json.size() < 2 || json.front() != '"' || json.back() != '"') std::abort();
  if (!WellFormedUtf8(json)) std::abort();
  bool ascii = true;
  for (size_t i = 0; i < json.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(json[i]);
    if (c < 0x20 || c == 0x7F) std::abort();
    if (c == '"' && i != 0 && i + 1 != json.size() && json[i - 1] != '\\') std::abort();
  }
  for (unsigned char c : text) ascii = ascii && c >= 0x20 && c < 0x7F && c != '"' && c != '\\';
  if (ascii && json != "\"" + text + "\"") std::abort();
  return 0;
}
