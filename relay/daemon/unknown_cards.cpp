#include "relay/daemon/unknown_cards.hpp"

namespace zv::daemon {

CUnknownCards::CUnknownCards(int ttl_ms, size_t max_ids)
    : ttl_ms_(ttl_ms > 0 ? ttl_ms : 0), max_ids_(max_ids > 0 ? max_ids : 1) {}

bool CUnknownCards::Contains(const std::string& device_id, int64_t now_ms) {
  std::lock_guard<std::mutex> guard(lock_);
  auto it = expiry_.find(device_id);
  if (it == expiry_.end()) return false;
  if (it->second > now_ms) return true;
  expiry_.erase(it);
  return false;
}

void CUnknownCards::Add(const std::string& device_id, int64_t now_ms) {
  if (ttl_ms_ == 0) return;
  std::lock_guard<std::mutex> guard(lock_);
  if (expiry_.size() >= max_ids_) {
    std::erase_if(expiry_, [&](const auto& kv) { return kv.second <= now_ms; });
    // Still full of live entries: start over rather than grow. The IDs
    // dropped cost one lookup each again.
    if (expiry_.size() >= max_ids_) expiry_.clear();
  }
  expiry_[device_id] = now_ms + ttl_ms_;
}

size_t CUnknownCards::Size() const {
  std::lock_guard<std::mutex> guard(lock_);
  return expiry_.size();
}

}  // namespace zv::daemon
