#include "relay/server/connection.hpp"

#include <cctype>

namespace zv {

uint8_t CConnection::SetLock(const std::string& user_name, uint8_t lock) {
  std::lock_guard<std::mutex> guard(lock_guard_);
  if (lock != 0) {
    if (locked_ == 0) {
      locked_ = lock;
      lock_owner_ = user_name;
      return kLockGranted;
    }
    return lock_owner_ == user_name ? kLockGranted : kLockRefused;
  }
  if (locked_ == 0) {
    lock_owner_.clear();
    return kLockGranted;
  }
  if (lock_owner_ != user_name) return kLockRefused;
  locked_ = 0;
  lock_owner_.clear();
  return kLockGranted;
}

bool CConnection::IsLocked() {
  std::lock_guard<std::mutex> guard(lock_guard_);
  return locked_ != 0;
}

std::string CConnection::LockOwner() {
  std::lock_guard<std::mutex> guard(lock_guard_);
  return lock_owner_;
}

bool CConnection::LockState(std::string& owner) {
  std::lock_guard<std::mutex> guard(lock_guard_);
  owner = lock_owner_;
  return locked_ != 0;
}

void CConnection::ClearLock() {
  std::lock_guard<std::mutex> guard(lock_guard_);
  locked_ = 0;
  lock_owner_.clear();
}

bool EqualsIgnoreCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

}  // namespace zv
