#include "relay/server/connection_registry.hpp"

#include "relay/messages/comm_packet_msg.hpp"

namespace zv {

CConnectionRegistry& CConnectionRegistry::Instance() {
  static CConnectionRegistry registry;
  return registry;
}

void CConnectionRegistry::InstallUserTable(std::shared_ptr<CTcpConnectionTable> table) {
  std::lock_guard<std::mutex> guard(lock_);
  users_ = std::move(table);
}
void CConnectionRegistry::InstallTcpCardTable(std::shared_ptr<CTcpConnectionTable> table) {
  std::lock_guard<std::mutex> guard(lock_);
  tcp_cards_ = std::move(table);
}
void CConnectionRegistry::InstallUdpCardTable(std::shared_ptr<CUdpCardTable> table) {
  std::lock_guard<std::mutex> guard(lock_);
  udp_cards_ = std::move(table);
}

void CConnectionRegistry::RemoveTables() {
  std::lock_guard<std::mutex> guard(lock_);
  users_.reset();
  tcp_cards_.reset();
  udp_cards_.reset();
  remote_.reset();
}

std::shared_ptr<CTcpConnectionTable> CConnectionRegistry::UserTable() const {
  std::lock_guard<std::mutex> guard(lock_);
  return users_;
}
std::shared_ptr<CTcpConnectionTable> CConnectionRegistry::TcpCardTable() const {
  std::lock_guard<std::mutex> guard(lock_);
  return tcp_cards_;
}
std::shared_ptr<CUdpCardTable> CConnectionRegistry::UdpCardTable() const {
  std::lock_guard<std::mutex> guard(lock_);
  return udp_cards_;
}

void CConnectionRegistry::InstallRemotePeers(std::shared_ptr<CRemotePeers> remote) {
  std::lock_guard<std::mutex> guard(lock_);
  remote_ = std::move(remote);
}

std::shared_ptr<CRemotePeers> CConnectionRegistry::RemotePeers() const {
  std::lock_guard<std::mutex> guard(lock_);
  return remote_;
}

bool CConnectionRegistry::IsUserOnline(const std::string& name) const {
  auto users = UserTable();
  if (users && users->IsOnline(name)) return true;
  auto remote = RemotePeers();
  return remote && remote->IsUserOnline(name);
}

int CConnectionRegistry::ClaimUser(const std::string& name) const {
  auto remote = RemotePeers();
  return remote ? remote->ClaimUser(name) : 1;
}

void CConnectionRegistry::ListOnlineCards(std::vector<std::unique_ptr<CCardRecord>>& out) const {
  if (auto cards = TcpCardTable()) cards->ListOnlineCards(out);
}

uint8_t CConnectionRegistry::LockCard(const CUserRecord& user, const std::string& device_id,
                                      uint8_t lock) const {
  uint8_t result = kLockRefused;
  if (auto remote = RemotePeers()) return remote->LockCard(user, device_id, lock);
  if (auto tcp = TcpCardTable()) {
    if (tcp->LockCard(user, device_id, lock, &result)) return result;
  }
  if (auto udp = UdpCardTable()) udp->LockCard(user, device_id, lock, &result);
  return result;
}

uint8_t CConnectionRegistry::ForwardToCard(const CUserRecord& user, uint8_t route,
                                           const std::string& device_id, const uint8_t* data,
                                           size_t length) const {
  if (route == kRouteTcp) {
    auto tcp = TcpCardTable();
    const uint8_t result =
        tcp ? tcp->ForwardToCard(user, device_id, data, length) : kForwardSendFailed;
    if (tcp && result == kForwardCardOffline) {
      if (auto remote = RemotePeers()) return remote->ForwardToCard(user, device_id, data, length);
    }
    return result;
  } else if (route == kRouteUdp) {
    if (auto udp = UdpCardTable()) return udp->ForwardToCard(user, device_id, data, length);
  }
  return kForwardSendFailed;
}

bool CConnectionRegistry::DisconnectUser(const std::string& name) const {
  if (auto remote = RemotePeers())
    remote->DisconnectElsewhere(CRemotePeers::Disconnect::kUser, name);
  auto users = UserTable();
  return users && users->DisconnectById(name);
}

bool CConnectionRegistry::DisconnectCard(const std::string& device_id) const {
  if (auto remote = RemotePeers())
    remote->DisconnectElsewhere(CRemotePeers::Disconnect::kCard, device_id);
  if (auto tcp = TcpCardTable()) {
    if (tcp->DisconnectById(device_id)) return true;
  }
  auto udp = UdpCardTable();
  return udp && udp->DisconnectById(device_id);
}

void CConnectionRegistry::DisconnectOrganizationCards(const std::string& name) const {
  if (auto remote = RemotePeers())
    remote->DisconnectElsewhere(CRemotePeers::Disconnect::kOrganizationCards, name);
  if (auto tcp = TcpCardTable()) tcp->DisconnectOrganization(name);
  if (auto udp = UdpCardTable()) udp->DisconnectOrganization(name);
}

void CConnectionRegistry::DisconnectOrganizationUsers(const std::string& name) const {
  if (auto remote = RemotePeers())
    remote->DisconnectElsewhere(CRemotePeers::Disconnect::kOrganizationUsers, name);
  if (auto users = UserTable()) users->DisconnectOrganization(name);
}

int CConnectionRegistry::ReleaseLocksOf(const std::string& user_name) const {
  int n = 0;
  if (auto tcp = TcpCardTable()) n += tcp->ReleaseLocksOf(user_name);
  if (auto udp = UdpCardTable()) n += udp->ReleaseLocksOf(user_name);
  return n;
}

}  // namespace zv
