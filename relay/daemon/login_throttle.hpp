// Slows password guessing on zvrelayd's user port. A refused login (no such
// user, wrong password) makes the next logins from its address wait, and the
// next logins of its user name too, except from addresses where that name
// has logged in before: the user at their usual place logs in at once while
// someone guesses their password elsewhere. Each refusal doubles the wait up
// to the cap; a login that succeeds clears its address and name.
//
// Safe to use from several threads.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "relay/daemon/backoff_table.hpp"

namespace zv::daemon {

class CLoginThrottle {
 public:
  CLoginThrottle(int base_ms, int cap_ms);

  // The wait in ms before the login of `name` from `address` is checked;
  // reserves that login's turn.
  int64_t Reserve(const std::string& address, const std::string& name, int64_t now_ms);
  void Refused(const std::string& address, const std::string& name, int64_t now_ms);
  void Accepted(const std::string& address, const std::string& name);

 private:
  bool KnownAddress(const std::string& name_key, const std::string& address) const;

  CBackoffTable by_address_;
  CBackoffTable by_name_;
  mutable std::mutex lock_;
  // The addresses each name logged in from lately, a few per name.
  std::unordered_map<std::string, std::vector<std::string>> known_;
};

// A peer's text made safe for one log line: control characters shown as '?'
// (a name cannot start a line of its own), at most `limit` bytes kept.
std::string LogSafe(const std::string& text, size_t limit = 64);

}  // namespace zv::daemon
