#include "relay/daemon/connection_limits.hpp"

namespace zv::daemon {

CConnectionSlot::CConnectionSlot(std::shared_ptr<CConnectionLimits> limits, std::string address)
    : limits_(std::move(limits)), address_(std::move(address)) {}

CConnectionSlot::~CConnectionSlot() {
  limits_->Release(address_, proved_);
}

void CConnectionSlot::Proved() {
  if (proved_) return;
  proved_ = true;
  limits_->ProvedOne(address_);
}

CConnectionLimits::CConnectionLimits(int max_total, int max_pending_per_address)
    : max_total_(max_total), max_pending_(max_pending_per_address) {}

std::unique_ptr<CConnectionSlot> CConnectionLimits::Admit(const std::string& address,
                                                          std::string* refusal) {
  {
    std::lock_guard<std::mutex> guard(lock_);
    if (total_ >= max_total_) {
      *refusal = "the server carries its most connections (" + std::to_string(max_total_) + ")";
      return nullptr;
    }
    int& pending = pending_[address];
    if (pending >= max_pending_) {
      *refusal = std::to_string(max_pending_) + " connections from " + address +
                 " have not logged in or registered yet";
      return nullptr;
    }
    ++pending;
    ++total_;
  }
  return std::make_unique<CConnectionSlot>(shared_from_this(), address);
}

void CConnectionLimits::ProvedOne(const std::string& address) {
  std::lock_guard<std::mutex> guard(lock_);
  auto it = pending_.find(address);
  if (it != pending_.end() && --it->second <= 0) pending_.erase(it);
}

void CConnectionLimits::Release(const std::string& address, bool proved) {
  std::lock_guard<std::mutex> guard(lock_);
  --total_;
  if (proved) return;
  auto it = pending_.find(address);
  if (it != pending_.end() && --it->second <= 0) pending_.erase(it);
}

int CConnectionLimits::Total() const {
  std::lock_guard<std::mutex> guard(lock_);
  return total_;
}

int CConnectionLimits::Pending(const std::string& address) const {
  std::lock_guard<std::mutex> guard(lock_);
  auto it = pending_.find(address);
  return it == pending_.end() ? 0 : it->second;
}

}  // namespace zv::daemon
