#include "relay/server/udp_card_table.hpp"

#include "relay/messages/comm_packet_msg.hpp"
#include "relay/server/card_rules.hpp"
#include "relay/server/diagnostic_trace.hpp"
#include "relay/server/send_operation.hpp"
#include "relay/server/server_texts.hpp"

namespace zv {

CUdpCardTable::CUdpCardTable(CUdpSendTarget& socket, size_t pool_capacity)
    : socket_(socket), pool_(kUdpContextKind, pool_capacity) {}

CUdpCardTable::Map::iterator CUdpCardTable::FindById(const std::string& id) {
  for (auto it = map_.begin(); it != map_.end(); ++it)
    if (!id.empty() && EqualsIgnoreCase(it->second.connection->GetId(), id)) return it;
  return map_.end();
}

bool CUdpCardTable::Register(std::unique_ptr<CConnection> connection, const CUdpAddress& address) {
  if (!connection) return false;
  std::lock_guard<std::mutex> guard(lock_);
  auto it = FindById(connection->GetId());
  if (it != map_.end()) {
    it->second.address = address;
    return false;
  }
  map_[next_key_++] = Entry{std::move(connection), address};
  return true;
}

bool CUdpCardTable::UpdateAddress(const std::string& id, const CUdpAddress& address) {
  std::lock_guard<std::mutex> guard(lock_);
  auto it = FindById(id);
  if (it == map_.end()) return false;
  it->second.address = address;
  return true;
}

bool CUdpCardTable::LockOwnerOf(const std::string& id, std::string* owner) {
  std::lock_guard<std::mutex> guard(lock_);
  auto it = FindById(id);
  if (it == map_.end()) return false;
  std::string o;
  *owner = it->second.connection->LockState(o) ? o : std::string();
  return true;
}

size_t CUdpCardTable::Size() const {
  std::lock_guard<std::mutex> guard(lock_);
  return map_.size();
}

bool CUdpCardTable::LockCard(const CUserRecord& user, const std::string& device_id, uint8_t lock,
                             uint8_t* result) {
  std::lock_guard<std::mutex> guard(lock_);
  for (auto& [key, e] : map_) {
    if (e.connection->GetId() != device_id || !MayLockCard(user, *e.connection)) continue;
    *result = e.connection->SetLock(user.GetName(), lock);
    return true;
  }
  return false;
}

uint8_t CUdpCardTable::ForwardToCard(const CUserRecord& user, const std::string& device_id,
                                     const uint8_t* data, size_t length) {
  uint8_t result = kForwardCardOffline;
  {
    std::lock_guard<std::mutex> guard(lock_);
    auto it = FindById(device_id);
    if (it != map_.end()) {
      result = CheckForward(user, *it->second.connection);
      if (result == kForwardSent) {
        result = IssueSendOperation(pool_, log_, socket_, it->second.address, data, length) == 1
                     ? kForwardSent
                     : kForwardSendFailed;
      }
    }
  }
  DiagnosticTrace(texts::kUdpForwardFormat, user.GetName().c_str(), static_cast<int>(length),
                  device_id.c_str(), result == kForwardSent ? texts::kSuccess : texts::kFailure,
                  static_cast<int>(result));
  return result;
}

int CUdpCardTable::ReleaseLocksOf(const std::string& user_name) {
  std::lock_guard<std::mutex> guard(lock_);
  int n = 0;
  for (auto& [key, e] : map_) {
    std::string owner;
    if (e.connection->LockState(owner) && owner == user_name &&
        e.connection->SetLock(user_name, 0) == kLockGranted)
      ++n;
  }
  return n;
}

bool CUdpCardTable::DisconnectById(const std::string& id) {
  std::lock_guard<std::mutex> guard(lock_);
  auto it = FindById(id);
  if (it == map_.end()) return false;
  it->second.connection->OnClose();
  map_.erase(it);
  return true;
}

void CUdpCardTable::DisconnectOrganization(const std::string& name) {
  if (name.empty()) return;
  std::lock_guard<std::mutex> guard(lock_);
  for (auto it = map_.begin(); it != map_.end();) {
    if (EqualsIgnoreCase(it->second.connection->GetOrganization(), name)) {
      it->second.connection->OnClose();
      it = map_.erase(it);
    } else {
      ++it;
    }
  }
}

}  // namespace zv
