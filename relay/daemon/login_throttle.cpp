#include "relay/daemon/login_throttle.hpp"

#include <algorithm>
#include <cctype>

namespace zv::daemon {
namespace {

// Addresses remembered per name, and names remembered in all: enough for a
// user who logs in from a few places, bounded against a flood of names.
constexpr size_t kAddressesPerName = 8;
constexpr size_t kNamesKept = 65536;

// Names are compared without case, as the account database does.
std::string NameKey(const std::string& name) {
  std::string key = name;
  std::transform(key.begin(), key.end(), key.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return key;
}

}  // namespace

CLoginThrottle::CLoginThrottle(int base_ms, int cap_ms)
    : by_address_(base_ms, cap_ms), by_name_(base_ms, cap_ms) {}

bool CLoginThrottle::KnownAddress(const std::string& name_key, const std::string& address) const {
  std::lock_guard<std::mutex> guard(lock_);
  auto it = known_.find(name_key);
  return it != known_.end() &&
         std::find(it->second.begin(), it->second.end(), address) != it->second.end();
}

int64_t CLoginThrottle::Reserve(const std::string& address, const std::string& name,
                                int64_t now_ms) {
  const std::string key = NameKey(name);
  const int64_t by_address = by_address_.Reserve(address, now_ms);
  const int64_t by_name = KnownAddress(key, address) ? 0 : by_name_.Reserve(key, now_ms);
  return std::max(by_address, by_name);
}

void CLoginThrottle::Refused(const std::string& address, const std::string& name, int64_t now_ms) {
  by_address_.Failed(address, now_ms);
  by_name_.Failed(NameKey(name), now_ms);
}

void CLoginThrottle::Accepted(const std::string& address, const std::string& name) {
  const std::string key = NameKey(name);
  by_address_.Succeeded(address);
  by_name_.Succeeded(key);
  std::lock_guard<std::mutex> guard(lock_);
  if (known_.size() >= kNamesKept && known_.find(key) == known_.end()) known_.clear();
  std::vector<std::string>& addresses = known_[key];
  auto it = std::find(addresses.begin(), addresses.end(), address);
  if (it != addresses.end()) addresses.erase(it);
  if (addresses.size() >= kAddressesPerName) addresses.erase(addresses.begin());
  addresses.push_back(address);  // the newest last
}

std::string LogSafe(const std::string& text, size_t limit) {
  std::string out;
  for (unsigned char c : text) {
    if (out.size() >= limit) {
      out += "...";
      break;
    }
    out += (c < 0x20 || c == 0x7F) ? '?' : static_cast<char>(c);
  }
  return out;
}

}  // namespace zv::daemon
