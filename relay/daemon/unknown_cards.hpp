// Device IDs that [Card] lacked a moment ago. A registration for one of them
// is refused again without a database lookup or a log line until its entry
// expires, so a peer repeating a wrong ID costs next to nothing. A card
// added meanwhile registers once the entry has expired.
//
// Safe to use from several threads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <unordered_map>

namespace zv::daemon {

class CUnknownCards {
 public:
  explicit CUnknownCards(int ttl_ms, size_t max_ids = 16384);
  bool Contains(const std::string& device_id, int64_t now_ms);
  void Add(const std::string& device_id, int64_t now_ms);
  size_t Size() const;

 private:
  const int64_t ttl_ms_;
  const size_t max_ids_;
  mutable std::mutex lock_;
  std::unordered_map<std::string, int64_t> expiry_;
};

}  // namespace zv::daemon
