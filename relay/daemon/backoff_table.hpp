// Growing waits per key (an address, a user name): each failure doubles the
// key's wait from the base up to the cap, a success clears it. Attempts of
// one key that arrive together wait one after the other, so opening more
// connections does not buy more attempts. Keys without failures for a while
// are forgotten, and the table never holds more than its bound.
//
// Safe to use from several threads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <unordered_map>

namespace zv::daemon {

class CBackoffTable {
 public:
  CBackoffTable(int base_ms, int cap_ms, size_t max_keys = 65536);

  // The wait in ms before the key's next attempt may go on (0 when the key
  // has no failures), and reserves that attempt's turn. Never above the cap.
  int64_t Reserve(const std::string& key, int64_t now_ms);
  void Failed(const std::string& key, int64_t now_ms);
  void Succeeded(const std::string& key);
  int Failures(const std::string& key) const;
  size_t Size() const;

 private:
  struct Entry {
    int failures = 0;
    int64_t next_free_ms = 0;  // when the next attempt may go on
    int64_t last_ms = 0;       // the last failure
  };
  int64_t StepOf(int failures) const;
  // Called with the lock held, before a new key goes in.
  void MakeRoom(int64_t now_ms);

  const int64_t base_ms_;
  const int64_t cap_ms_;
  const size_t max_keys_;
  mutable std::mutex lock_;
  std::unordered_map<std::string, Entry> entries_;
};

}  // namespace zv::daemon
