#include "relay/daemon/backoff_table.hpp"

#include <algorithm>

namespace zv::daemon {
namespace {
// A key whose last failure is this many caps old has nothing left to wait.
constexpr int64_t kForgetAfterCaps = 8;
}  // namespace

CBackoffTable::CBackoffTable(int base_ms, int cap_ms, size_t max_keys)
    : base_ms_(std::max(base_ms, 0)),
      cap_ms_(std::max(cap_ms, base_ms)),
      max_keys_(std::max<size_t>(max_keys, 1)) {}

int64_t CBackoffTable::StepOf(int failures) const {
  if (failures <= 0 || base_ms_ == 0) return 0;
  int64_t step = base_ms_;
  for (int i = 1; i < failures && step < cap_ms_; ++i) step *= 2;
  return std::min(step, cap_ms_);
}

int64_t CBackoffTable::Reserve(const std::string& key, int64_t now_ms) {
  std::lock_guard<std::mutex> guard(lock_);
  auto it = entries_.find(key);
  if (it == entries_.end() || it->second.failures == 0) return 0;
  Entry& e = it->second;
  // Turns queue up one step apart, but no attempt waits longer than the cap.
  const int64_t start = std::clamp(e.next_free_ms, now_ms, now_ms + cap_ms_);
  e.next_free_ms = start + StepOf(e.failures);
  return start - now_ms;
}

void CBackoffTable::Failed(const std::string& key, int64_t now_ms) {
  std::lock_guard<std::mutex> guard(lock_);
  auto it = entries_.find(key);
  if (it == entries_.end()) {
    MakeRoom(now_ms);
    it = entries_.emplace(key, Entry{}).first;
  }
  Entry& e = it->second;
  if (e.failures < 64) ++e.failures;
  e.last_ms = now_ms;
  e.next_free_ms = std::max(e.next_free_ms, now_ms + StepOf(e.failures));
}

void CBackoffTable::Succeeded(const std::string& key) {
  std::lock_guard<std::mutex> guard(lock_);
  entries_.erase(key);
}

int CBackoffTable::Failures(const std::string& key) const {
  std::lock_guard<std::mutex> guard(lock_);
  auto it = entries_.find(key);
  return it == entries_.end() ? 0 : it->second.failures;
}

size_t CBackoffTable::Size() const {
  std::lock_guard<std::mutex> guard(lock_);
  return entries_.size();
}

void CBackoffTable::MakeRoom(int64_t now_ms) {
  if (entries_.size() < max_keys_) return;
  const int64_t forget_ms = cap_ms_ * kForgetAfterCaps;
  std::erase_if(entries_, [&](const auto& kv) { return now_ms - kv.second.last_ms > forget_ms; });
  if (entries_.size() < max_keys_) return;
  // Still full of recent failures: the oldest one goes, so a flood of new
  // keys cannot grow the table, only push out its stalest entries.
  auto oldest = std::min_element(
      entries_.begin(), entries_.end(),
      [](const auto& a, const auto& b) { return a.second.last_ms < b.second.last_ms; });
  entries_.erase(oldest);
}

}  // namespace zv::daemon
