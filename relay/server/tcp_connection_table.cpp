#include "relay/server/tcp_connection_table.hpp"

#include "relay/messages/comm_packet_msg.hpp"
#include "relay/server/card_rules.hpp"
#include "relay/server/send_operation.hpp"

namespace zv {
namespace {

// Ids are compared without regard to case; an empty id (a user connection
// that has not logged in) never matches anything.
bool IdMatches(const CConnection& c, const std::string& id) {
  return !id.empty() && EqualsIgnoreCase(c.GetId(), id);
}

}  // namespace

CTcpConnectionTable::CTcpConnectionTable(size_t pool_capacity)
    : pool_(kTcpSendContextKind, pool_capacity) {}

void CTcpConnectionTable::Add(uint64_t key, CConnection* connection) {
  std::lock_guard<std::mutex> guard(lock_);
  map_[key] = connection;
}

bool CTcpConnectionTable::Remove(uint64_t key) {
  std::lock_guard<std::mutex> guard(lock_);
  return map_.erase(key) != 0;
}

size_t CTcpConnectionTable::Size() const {
  std::lock_guard<std::mutex> guard(lock_);
  return map_.size();
}

bool CTcpConnectionTable::IsOnline(const std::string& name) const {
  std::lock_guard<std::mutex> guard(lock_);
  for (const auto& [key, c] : map_)
    if (IdMatches(*c, name)) return true;
  return false;
}

void CTcpConnectionTable::ListOnlineCards(std::vector<std::unique_ptr<CCardRecord>>& out) const {
  std::lock_guard<std::mutex> guard(lock_);
  for (const auto& [key, c] : map_) {
    if (c->card.GetOnLine() == 0) continue;
    auto copy = std::make_unique<CCardRecord>();
    copy->SetDeviceID(c->card.GetDeviceID());
    copy->SetOrganizationName(c->card.GetOrganizationName());
    copy->SetOnLine(c->card.GetOnLine());
    copy->SetRegTime(c->card.GetRegTime());
    out.push_back(std::move(copy));
  }
}

bool CTcpConnectionTable::LockCard(const CUserRecord& user, const std::string& device_id,
                                   uint8_t lock, uint8_t* result) {
  std::lock_guard<std::mutex> guard(lock_);
  for (const auto& [key, c] : map_) {
    if (c->GetId() != device_id || !MayLockCard(user, *c)) continue;
    *result = c->SetLock(user.GetName(), lock);
    return true;
  }
  return false;
}

uint8_t CTcpConnectionTable::ForwardToCard(const CUserRecord& user, const std::string& device_id,
                                           const uint8_t* data, size_t length) {
  std::lock_guard<std::mutex> guard(lock_);
  for (const auto& [key, c] : map_) {
    if (!IdMatches(*c, device_id)) continue;
    uint8_t verdict = CheckForward(user, *c);
    if (verdict != kForwardSent) return verdict;
    CTcpSendTarget* target = c->GetSendTarget();
    if (!target || !target->CanSend() || !data || length == 0) return kForwardSendFailed;
    return zv::IssueSendOperation(pool_, log_, *target, data, length) == 1 ? kForwardSent
                                                                           : kForwardSendFailed;
  }
  return kForwardCardOffline;
}

void CTcpConnectionTable::CloseEntry(std::map<uint64_t, CConnection*>::iterator it) {
  CConnection* c = it->second;
  c->OnClose();
  if (CTcpSendTarget* target = c->GetSendTarget()) target->Close();
  map_.erase(it);
}

bool CTcpConnectionTable::DisconnectById(const std::string& id) {
  std::lock_guard<std::mutex> guard(lock_);
  for (auto it = map_.begin(); it != map_.end(); ++it) {
    if (IdMatches(*it->second, id)) {
      CloseEntry(it);
      return true;
    }
  }
  return false;
}

void CTcpConnectionTable::DisconnectOrganization(const std::string& name) {
  if (name.empty()) return;  // connections that have not logged in belong to none
  std::lock_guard<std::mutex> guard(lock_);
  for (auto it = map_.begin(); it != map_.end();) {
    auto next = std::next(it);
    if (EqualsIgnoreCase(it->second->GetOrganization(), name)) CloseEntry(it);
    it = next;
  }
}

int CTcpConnectionTable::ReleaseLocksOf(const std::string& user_name) {
  std::lock_guard<std::mutex> guard(lock_);
  int n = 0;
  for (const auto& [key, c] : map_) {
    std::string owner;
    if (c->LockState(owner) && owner == user_name && c->SetLock(user_name, 0) == kLockGranted) ++n;
  }
  return n;
}

int CTcpConnectionTable::SendToId(const std::string& id, const uint8_t* data, size_t length) {
  std::lock_guard<std::mutex> guard(lock_);
  for (const auto& [key, c] : map_) {
    if (!IdMatches(*c, id)) continue;
    CTcpSendTarget* target = c->GetSendTarget();
    if (!target) return 0;
    return zv::IssueSendOperation(pool_, log_, *target, data, length);
  }
  return -1;
}

int CTcpConnectionTable::DeliverToId(const std::string& id, const uint8_t* data, size_t length) {
  std::lock_guard<std::mutex> guard(lock_);
  for (const auto& [key, c] : map_) {
    if (IdMatches(*c, id)) return c->Deliver(data, length) ? 1 : 0;
  }
  return -1;
}

int CTcpConnectionTable::IssueSendOperation(CTcpSendTarget& target, const uint8_t* data,
                                            size_t length) {
  return zv::IssueSendOperation(pool_, log_, target, data, length);
}

}  // namespace zv
