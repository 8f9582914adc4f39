#include "sim/remote_name.hpp"

#include <cstring>

namespace tarvo::sim {

bool ParseStoredName(const std::string& joined, uint8_t disk, RemoteName* out) {
  if (joined.empty()) return false;
  for (unsigned char c : joined) {
    if (c < 0x20 || c == 0x7F || c == '/' || c == '\\' || c == ':') return false;
  }
  if (joined.find_first_not_of('.') == std::string::npos) return false;
  RemoteName r;
  r.disk = disk;
  size_t dot = joined.rfind('.');
  if (dot == std::string::npos) {
    r.name = joined;
  } else {
    r.name = joined.substr(0, dot);
    r.type = joined.substr(dot + 1);
    r.has_dot = true;
  }
  if (r.name.empty() || r.name.find_first_not_of('.') == std::string::npos) return false;
  if (r.name.size() >= kNameField || r.type.size() >= kTypeField) return false;
  *out = r;
  return true;
}

bool ParseRemoteName(const std::string& text, RemoteName* out) {
  if (text.size() >= 2 && (text[0] == 'S' || text[0] == 's') && text[1] == ':') {
    return ParseStoredName(text.substr(2), 0, out);
  }
  return ParseStoredName(text, 1, out);
}

bool ReadTerminatedText(const uint8_t* p, size_t size, std::string* out) {
  const void* zero = size ? std::memchr(p, 0, size) : nullptr;
  if (zero == nullptr) return false;
  size_t n = static_cast<size_t>(static_cast<const uint8_t*>(zero) - p);
  out->assign(reinterpret_cast<const char*>(p), n);
  return true;
}

}  // namespace tarvo::sim
