#include "relay/server/tcp_connection_table.hpp"

#include <cctype>

#include "relay/messages/comm_packet_msg.hpp"
#include "relay/server/card_rules.hpp"
#include "relay/server/send_operation.hpp"

namespace zv {
namespace {

// Ids are compared without regard to ASCII case: the index holds them folded.
// ASCII only, as EqualsIgnoreCase compares, whatever the process locale.
std::string Fold(const std::string& id) {
  std::string out = id;
  for (char& ch : out)
    if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch - 'A' + 'a');
  return out;
}

}  // namespace

CTcpConnectionTable::CTcpConnectionTable(size_t pool_capacity)
    : pool_(kTcpSendContextKind, pool_capacity) {}

void CTcpConnectionTable::Index(uint64_t key, Entry& entry) {
  // An empty id (a user connection that has not logged in) matches nothing.
  entry.folded_id = Fold(entry.connection->GetId());
  if (!entry.folded_id.empty()) by_id_[entry.folded_id].emplace(key, map_.find(key));
}

void CTcpConnectionTable::Unindex(uint64_t key, const Entry& entry) {
  if (entry.folded_id.empty()) return;
  auto it = by_id_.find(entry.folded_id);
  if (it == by_id_.end()) return;
  it->second.erase(key);
  if (it->second.empty()) by_id_.erase(it);
}

CTcpConnectionTable::EntryMap::iterator CTcpConnectionTable::Erase(EntryMap::iterator it) {
  Unindex(it->first, it->second);
  return map_.erase(it);
}

CTcpConnectionTable::EntryMap::iterator CTcpConnectionTable::FindById(const std::string& id) {
  if (id.empty()) return map_.end();
  auto hit = by_id_.find(Fold(id));
  if (hit == by_id_.end() || hit->second.empty()) return map_.end();
  return hit->second.begin()->second;
}

CTcpConnectionTable::EntryMap::const_iterator CTcpConnectionTable::FindById(
    const std::string& id) const {
  return const_cast<CTcpConnectionTable*>(this)->FindById(id);
}

void CTcpConnectionTable::Add(uint64_t key, CConnection* connection) {
  std::lock_guard<std::mutex> guard(lock_);
  auto it = map_.find(key);
  if (it != map_.end()) Erase(it);
  Entry& entry = map_[key];
  entry.connection = connection;
  Index(key, entry);
}

bool CTcpConnectionTable::Remove(uint64_t key) {
  std::lock_guard<std::mutex> guard(lock_);
  auto it = map_.find(key);
  if (it == map_.end()) return false;
  Erase(it);
  return true;
}

bool CTcpConnectionTable::Reindex(uint64_t key) {
  std::lock_guard<std::mutex> guard(lock_);
  auto it = map_.find(key);
  if (it == map_.end()) return false;
  Unindex(key, it->second);
  Index(key, it->second);
  return true;
}

size_t CTcpConnectionTable::Size() const {
  std::lock_guard<std::mutex> guard(lock_);
  return map_.size();
}

bool CTcpConnectionTable::IsOnline(const std::string& name) const {
  std::lock_guard<std::mutex> guard(lock_);
  return FindById(name) != map_.end();
}

void CTcpConnectionTable::ListOnlineCards(std::vector<std::unique_ptr<CCardRecord>>& out) const {
  std::lock_guard<std::mutex> guard(lock_);
  for (const auto& [key, entry] : map_) {
    const CConnection* c = entry.connection;
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
  // Locking compares the DeviceID with case: only entries of the folded id can match.
  auto hit = by_id_.find(Fold(device_id));
  if (device_id.empty() || hit == by_id_.end()) return false;
  for (const auto& [key, it] : hit->second) {
    CConnection& c = *it->second.connection;
    if (c.GetId() != device_id || !MayLockCard(user, c)) continue;
    *result = c.SetLock(user.GetName(), lock);
    return true;
  }
  return false;
}

bool CTcpConnectionTable::HasLockableCard(const CUserRecord& user,
                                          const std::string& device_id) const {
  std::lock_guard<std::mutex> guard(lock_);
  auto hit = by_id_.find(Fold(device_id));
  if (device_id.empty() || hit == by_id_.end()) return false;
  for (const auto& [key, it] : hit->second) {
    const CConnection& c = *it->second.connection;
    if (c.GetId() == device_id && MayLockCard(user, c)) return true;
  }
  return false;
}

uint8_t CTcpConnectionTable::ForwardToCard(const CUserRecord& user, const std::string& device_id,
                                           const uint8_t* data, size_t length) {
  std::lock_guard<std::mutex> guard(lock_);
  auto it = FindById(device_id);
  if (it == map_.end()) return kForwardCardOffline;
  CConnection& c = *it->second.connection;
  uint8_t verdict = CheckForward(user, c);
  if (verdict != kForwardSent) return verdict;
  CTcpSendTarget* target = c.GetSendTarget();
  if (!target || !target->CanSend() || !data || length == 0) return kForwardSendFailed;
  return zv::IssueSendOperation(pool_, log_, *target, data, length) == 1 ? kForwardSent
                                                                         : kForwardSendFailed;
}

void CTcpConnectionTable::CloseEntry(EntryMap::iterator it) {
  CConnection* c = it->second.connection;
  c->OnClose();
  if (CTcpSendTarget* target = c->GetSendTarget()) target->Close();
  Erase(it);
}

bool CTcpConnectionTable::DisconnectById(const std::string& id) {
  std::lock_guard<std::mutex> guard(lock_);
  auto it = FindById(id);
  if (it == map_.end()) return false;
  CloseEntry(it);
  return true;
}

void CTcpConnectionTable::DisconnectOrganization(const std::string& name) {
  if (name.empty()) return;  // connections that have not logged in belong to none
  std::lock_guard<std::mutex> guard(lock_);
  for (auto it = map_.begin(); it != map_.end();) {
    auto next = std::next(it);
    if (EqualsIgnoreCase(it->second.connection->GetOrganization(), name)) CloseEntry(it);
    it = next;
  }
}

int CTcpConnectionTable::ReleaseLocksOf(const std::string& user_name) {
  std::lock_guard<std::mutex> guard(lock_);
  int n = 0;
  for (const auto& [key, entry] : map_) {
    CConnection* c = entry.connection;
    std::string owner;
    if (c->LockState(owner) && owner == user_name && c->SetLock(user_name, 0) == kLockGranted) ++n;
  }
  return n;
}

int CTcpConnectionTable::SendToId(const std::string& id, const uint8_t* data, size_t length) {
  std::lock_guard<std::mutex> guard(lock_);
  auto it = FindById(id);
  if (it == map_.end()) return -1;
  CTcpSendTarget* target = it->second.connection->GetSendTarget();
  if (!target) return 0;
  return zv::IssueSendOperation(pool_, log_, *target, data, length);
}

int CTcpConnectionTable::DeliverToId(const std::string& id, const uint8_t* data, size_t length) {
  std::lock_guard<std::mutex> guard(lock_);
  auto it = FindById(id);
  if (it == map_.end()) return -1;
  return it->second.connection->Deliver(data, length) ? 1 : 0;
}

int CTcpConnectionTable::IssueSendOperation(CTcpSendTarget& target, const uint8_t* data,
                                            size_t length) {
  return zv::IssueSendOperation(pool_, log_, target, data, length);
}

}  // namespace zv
