#include "relay/daemon/cluster.hpp"

#include <vector>

#include "common/wire.hpp"
#include "relay/daemon/card_delivery.hpp"
#include "relay/daemon/cluster_tables.hpp"
#include "relay/daemon/node_registry.hpp"
#include "relay/daemon/stream_frames.hpp"
#include "relay/messages/comm_packet_msg.hpp"
#include "relay/server/card_rules.hpp"

namespace zv::daemon {
namespace {

// How long a lock change waits for the card's server to confirm it.
constexpr int kLockChangeWaitMs = 2000;

// The token of a lock change (kLock, kUnlock; kDone adds the card's
// server's result after it).
uint64_t TokenOf(const std::vector<uint8_t>& data) {
  if (data.size() < 8) return 0;
  return tarvo::wire::GetLe32(data.data()) |
         (uint64_t{tarvo::wire::GetLe32(data.data() + 4)} << 32);
}

// Who a message from another server speaks for: a user that server has
// checked already, acting with the lock it holds.
struct Acting : CUserRecord {
  explicit Acting(const std::string& name) {
    SetName(name);
    SetType(kUserTypeAll);
  }
};

}  // namespace

CCluster::CCluster(const ServerSettings& settings, std::string uri, CDbWorkers& workers,
                   std::shared_ptr<CTcpConnectionTable> users,
                   std::shared_ptr<CTcpConnectionTable> cards, CServerStats& stats, LogFn log)
    : settings_(settings),
      me_(settings.node_name),
      workers_(workers),
      users_(std::move(users)),
      cards_(std::move(cards)),
      stats_(stats),
      log_(std::move(log)) {
  channel_ = std::make_unique<CNodeChannel>(
      std::move(uri), me_, [this](NodeMessage&& m) { OnMessage(std::move(m)); }, log_);
}

CCluster::~CCluster() {
  Stop();
}

int CCluster::Start(std::string* error) {
  return channel_->Start(error);
}

void CCluster::Stop() {
  channel_->Stop();
}

bool CCluster::Send(const std::string& node, NodeMessageKind kind, const std::string& device,
                    const std::string& user, const uint8_t* data, size_t length) {
  NodeMessage m;
  m.kind = kind;
  m.device = device;
  m.user = user;
  if (data) m.data.assign(data, data + length);
  return channel_->Send(node, std::move(m));
}

int CCluster::ChangeLockAt(const std::string& node, NodeMessageKind kind, const std::string& device,
                           const std::string& user) {
  uint64_t token = 0;
  {
    std::lock_guard<std::mutex> guard(lock_);
    token = ++next_lock_change_;
    lock_changes_waiting_.insert(token);
  }
  uint8_t bytes[8];
  tarvo::wire::PutLe32(bytes, static_cast<uint32_t>(token));
  tarvo::wire::PutLe32(bytes + 4, static_cast<uint32_t>(token >> 32));
  const bool sent = Send(node, kind, device, user, bytes, sizeof bytes);
  // A server that does not answer (dead, or the database away) costs the
  // wait; the database has decided the lock anyway.
  std::unique_lock<std::mutex> guard(lock_);
  if (sent)
    lock_changed_.wait_for(guard, std::chrono::milliseconds(kLockChangeWaitMs),
                           [&] { return lock_changes_done_.count(token) > 0; });
  auto done = lock_changes_done_.find(token);
  const int result = done == lock_changes_done_.end() ? -1 : done->second;
  lock_changes_waiting_.erase(token);
  if (done != lock_changes_done_.end()) lock_changes_done_.erase(done);
  return result;
}

uint8_t CCluster::SetTableLock(const std::string& device, const std::string& user, uint8_t lock) {
  uint8_t result = kLockRefused;
  cards_->LockCard(Acting(user), device, lock, &result);
  return result;
}

uint8_t CCluster::LockCard(const CUserRecord& user, const std::string& device_id, uint8_t lock) {
  const std::string& name = user.GetName();
  if (cards_->HasLockableCard(user, device_id)) {
    // The card is here: the database decides between this server's users
    // and the others', then the table follows.
    uint8_t result = kLockRefused;
    if (lock) {
      if (TakeCardLock(device_id, name, me_) != 1) return kLockRefused;
      cards_->LockCard(user, device_id, lock, &result);
      if (result != kLockGranted && DropOwnerElsewhere(device_id))
        cards_->LockCard(user, device_id, lock, &result);
      if (result != kLockGranted) GiveCardLockUp(device_id, name);
    } else {
      cards_->LockCard(user, device_id, 0, &result);
      if (result == kLockGranted && GiveCardLockUp(device_id, name) < 0) result = kLockRefused;
    }
    return result;
  }
  CardPlace place;
  if (FindCard(device_id, &place) != 1 || place.device != device_id || place.node == me_ ||
      !MayLockCardOf(user, place.organization)) {
    // Not a TCP card of another server this user may lock: a UDP card here,
    // or nothing (as one server answers).
    uint8_t result = kLockRefused;
    if (auto udp = CConnectionRegistry::Instance().UdpCardTable())
      udp->LockCard(user, device_id, lock, &result);
    return result;
  }
  const std::string key = LowerName(device_id);
  if (lock) {
    if (TakeCardLock(device_id, name, me_) != 1) return kLockRefused;
    {
      std::lock_guard<std::mutex> guard(lock_);
      held_elsewhere_[key] = LockHeldElsewhere{device_id, name, place.node};
    }
    // The card's server has no TCP card to lock (a UDP card, which is
    // reached only through its own server, or one that left meanwhile).
    if (ChangeLockAt(place.node, NodeMessageKind::kLock, device_id, name) == 0) {
      {
        std::lock_guard<std::mutex> guard(lock_);
        held_elsewhere_.erase(key);
      }
      GiveCardLockUp(device_id, name);
      return kLockRefused;
    }
    return kLockGranted;
  }
  if (GiveCardLockUp(device_id, name) != 1) return kLockRefused;
  {
    std::lock_guard<std::mutex> guard(lock_);
    auto it = held_elsewhere_.find(key);
    if (it != held_elsewhere_.end() && it->second.user == name) held_elsewhere_.erase(it);
  }
  ChangeLockAt(place.node, NodeMessageKind::kUnlock, device_id, name);
  return kLockGranted;
}

bool CCluster::DropOwnerElsewhere(const std::string& device_id) {
  // The database gave the lock to this server's user, so an owner on
  // another server in the table has given it up (its news is on its way)
  // or was released with its dead server.
  std::string owner;
  {
    std::lock_guard<std::mutex> guard(lock_);
    auto it = owners_elsewhere_.find(LowerName(device_id));
    if (it == owners_elsewhere_.end()) return false;
    owner = it->second.user;
    owners_elsewhere_.erase(it);
  }
  return SetTableLock(device_id, owner, 0) == kLockGranted;
}

bool CCluster::ForwardsFromMemory(const std::string& device_id) const {
  if (cards_->IsOnline(device_id)) return true;
  std::lock_guard<std::mutex> guard(lock_);
  return held_elsewhere_.count(LowerName(device_id)) > 0;
}

uint8_t CCluster::ForwardToCard(const CUserRecord& user, const std::string& device_id,
                                const uint8_t* data, size_t length) {
  if (!data || length == 0) return kForwardSendFailed;
  const std::string key = LowerName(device_id);
  std::string node, device;
  {
    std::lock_guard<std::mutex> guard(lock_);
    auto it = held_elsewhere_.find(key);
    if (it != held_elsewhere_.end() && it->second.user == user.GetName()) {
      node = it->second.node;
      device = it->second.device;
    }
  }
  if (node.empty()) {
    // What one server would answer, from the database: no card, not
    // locked, locked by another, another organization, in that order.
    CardPlace place;
    const int found = FindCard(device_id, &place);
    if (found < 0) return kForwardSendFailed;
    if (found == 0 || place.node == me_) return kForwardCardOffline;
    CardLockRow row;
    const int locked = ReadCardLock(place.device, &row);
    if (locked < 0) return kForwardSendFailed;
    if (locked == 0) return kForwardNotLocked;
    if (row.user != user.GetName()) return kForwardLockedByOther;
    if (user.GetType() != kUserTypeAll && place.organization != user.GetOrganizationName())
      return kForwardOtherOrganization;
    node = place.node;
    device = place.device;
    std::lock_guard<std::mutex> guard(lock_);
    held_elsewhere_[key] = LockHeldElsewhere{device, user.GetName(), node};
  }
  return Send(node, NodeMessageKind::kPacket, device, user.GetName(), data, length)
             ? kForwardSent
             : kForwardSendFailed;
}

bool CCluster::IsUserOnline(const std::string& name) {
  return UserOnOtherNode(name, me_) == 1;
}

int CCluster::ClaimUser(const std::string& name) {
  return ClaimUserSession(name, me_);
}

int CCluster::DeliverToUser(const std::string& owner, const uint8_t* frame, size_t length) {
  if (length < kCardIdLength + 2) return -1;
  const std::string device = CardFrameId(frame);
  std::string node;
  {
    std::lock_guard<std::mutex> guard(lock_);
    auto it = owners_elsewhere_.find(LowerName(device));
    if (it == owners_elsewhere_.end() || it->second.user != owner) return -1;
    node = it->second.node;
  }
  Send(node, NodeMessageKind::kAnswer, device, owner, frame, length);
  return 1;
}

void CCluster::DisconnectElsewhere(Disconnect what, const std::string& key) {
  std::vector<std::string> live;
  if (LiveNodes(WallClockMs(), settings_.node_stale_ms, &live) != 1) return;
  const uint8_t code = static_cast<uint8_t>(what);
  for (const std::string& node : live)
    if (node != me_) Send(node, NodeMessageKind::kDisconnect, key, std::string(), &code, 1);
}

std::string CCluster::CardArrived(const std::string& device_id) {
  std::lock_guard<std::mutex> guard(lock_);
  auto it = held_elsewhere_.find(LowerName(device_id));
  if (it == held_elsewhere_.end()) return std::string();
  std::string owner = it->second.device == device_id ? it->second.user : std::string();
  held_elsewhere_.erase(it);
  return owner;
}

void CCluster::CardsArriving(CAccountDb& db, const std::vector<CardOnLineFlag>& flags) {
  std::vector<std::string> ids;
  for (const CardOnLineFlag& f : flags)
    if (f.online && f.node == me_) ids.push_back(f.device_id);
  if (ids.empty()) return;
  std::vector<ArrivingCard> former, locked;
  ReadArrivals(db, ids, me_, &former, &locked);
  for (const ArrivingCard& card : former) {
    log_("card " + card.device + " taken over from node " + card.node);
    Send(card.node, NodeMessageKind::kDrop, card.device, std::string());
  }
  for (const ArrivingCard& card : locked) {
    SetTableLock(card.device, card.lock.user, 1);
    if (card.lock.node == me_) continue;
    {
      std::lock_guard<std::mutex> guard(lock_);
      owners_elsewhere_[LowerName(card.device)] =
          OwnerElsewhere{card.device, card.lock.user, card.lock.node};
    }
    Send(card.lock.node, NodeMessageKind::kMoved, card.device, card.lock.user);
  }
}

void CCluster::CardLeft(const std::string& device_id) {
  const std::string key = LowerName(device_id);
  {
    std::lock_guard<std::mutex> guard(lock_);
    owners_elsewhere_.erase(key);
    // Taken over: the lock stays for the server that has the card now.
    if (handed_over_.erase(key)) return;
  }
  workers_.RunInOrder([self = shared_from_this(), device_id] {
    CardLockRow row;
    if (DropCardLock(device_id, &row) == 1 && row.node != self->me_)
      self->Send(row.node, NodeMessageKind::kGone, device_id, row.user);
  });
}

void CCluster::UserLeft(const std::string& name) {
  workers_.RunInOrder([self = shared_from_this(), name] {
    std::vector<std::string> devices;
    EndUserSession(name, self->me_, &devices);
    for (const std::string& device : devices) {
      std::string node;
      {
        std::lock_guard<std::mutex> guard(self->lock_);
        auto it = self->held_elsewhere_.find(LowerName(device));
        if (it == self->held_elsewhere_.end() || it->second.user != name) continue;
        node = it->second.node;
        self->held_elsewhere_.erase(it);
      }
      self->Send(node, NodeMessageKind::kUnlock, device, name);
    }
  });
}

void CCluster::ExpireDeadNodes(int beat) {
  const int64_t now = WallClockMs();
  if (beat != 1) {
    beating_since_ = 0;
    return;
  }
  if (beating_since_ == 0) beating_since_ = now;
  if (now - beating_since_ < settings_.node_stale_ms) return;
  std::vector<std::string> dead;
  if (daemon::ExpireDeadNodes(me_, now, settings_.node_stale_ms, &dead) == 1)
    for (const std::string& node : dead)
      log_("node " + node + " has sent no heartbeat for " +
           std::to_string(settings_.node_stale_ms / 1000) +
           " s: its users' sessions and locks and its cards are released");
  // Locks held by users of servers that are gone, whoever released the rows.
  std::vector<std::string> live;
  if (LiveNodes(now, settings_.node_stale_ms, &live) != 1) return;
  const std::unordered_set<std::string> alive(live.begin(), live.end());
  std::vector<std::pair<std::string, std::string>> release;  // (device, user)
  {
    std::lock_guard<std::mutex> guard(lock_);
    for (auto it = owners_elsewhere_.begin(); it != owners_elsewhere_.end();) {
      if (alive.count(it->second.node)) {
        ++it;
        continue;
      }
      release.emplace_back(it->second.device, it->second.user);
      it = owners_elsewhere_.erase(it);
    }
  }
  for (const auto& entry : release) SetTableLock(entry.first, entry.second, 0);
}

void CCluster::OnMessage(NodeMessage&& m) {
  const std::string key = LowerName(m.device);
  switch (m.kind) {
    case NodeMessageKind::kPacket:
      // The user's server checked the lock; the table checks it again, so a
      // packet that crossed an unlock goes nowhere.
      if (cards_->ForwardToCard(Acting(m.user), m.device, m.data.data(), m.data.size()) ==
          kForwardSent)
        stats_.PacketToCard(m.data.size());
      break;
    case NodeMessageKind::kAnswer:
      if (DeliverToUserHere(m.user, m.data.data(), m.data.size()) == 1)
        stats_.AnswerToUser(m.data.size());
      break;
    case NodeMessageKind::kLock: {
      // The database gave the lock to that user: an owner the table still
      // shows from elsewhere gave it up (or its server died) meanwhile.
      const bool locked =
          SetTableLock(m.device, m.user, 1) == kLockGranted ||
          (DropOwnerElsewhere(m.device) && SetTableLock(m.device, m.user, 1) == kLockGranted);
      if (locked) {
        std::lock_guard<std::mutex> guard(lock_);
        owners_elsewhere_[key] = OwnerElsewhere{m.device, m.user, m.from};
      }
      m.data.resize(8);
      m.data.push_back(locked ? kLockGranted : kLockRefused);
      Send(m.from, NodeMessageKind::kDone, m.device, m.user, m.data.data(), m.data.size());
      break;
    }
    case NodeMessageKind::kUnlock: {
      SetTableLock(m.device, m.user, 0);
      {
        std::lock_guard<std::mutex> guard(lock_);
        auto it = owners_elsewhere_.find(key);
        if (it != owners_elsewhere_.end() && it->second.user == m.user) owners_elsewhere_.erase(it);
      }
      m.data.resize(8);
      m.data.push_back(kLockGranted);
      Send(m.from, NodeMessageKind::kDone, m.device, m.user, m.data.data(), m.data.size());
      break;
    }
    case NodeMessageKind::kDisconnect: {
      if (m.data.size() != 1) break;
      auto udp = CConnectionRegistry::Instance().UdpCardTable();
      switch (static_cast<Disconnect>(m.data[0])) {
        case Disconnect::kUser:
          users_->DisconnectById(m.device);
          break;
        case Disconnect::kCard:
          if (!cards_->DisconnectById(m.device) && udp) udp->DisconnectById(m.device);
          break;
        case Disconnect::kOrganizationCards:
          cards_->DisconnectOrganization(m.device);
          if (udp) udp->DisconnectOrganization(m.device);
          break;
        case Disconnect::kOrganizationUsers:
          users_->DisconnectOrganization(m.device);
          break;
      }
      break;
    }
    case NodeMessageKind::kDone: {
      std::lock_guard<std::mutex> guard(lock_);
      // One that comes after its wait ended is dropped.
      if (m.data.size() == 9 && lock_changes_waiting_.count(TokenOf(m.data))) {
        lock_changes_done_[TokenOf(m.data)] = m.data[8];
        lock_changed_.notify_all();
      }
      break;
    }
    case NodeMessageKind::kDrop: {
      {
        std::lock_guard<std::mutex> guard(lock_);
        handed_over_.insert(key);
      }
      if (cards_->DisconnectById(m.device)) {
        log_("card " + m.device + " registered on node " + m.from + ": its connection here closes");
      } else {
        std::lock_guard<std::mutex> guard(lock_);
        handed_over_.erase(key);
      }
      break;
    }
    case NodeMessageKind::kMoved: {
      const bool here = users_->IsOnline(m.user);
      std::lock_guard<std::mutex> guard(lock_);
      auto it = held_elsewhere_.find(key);
      if (it != held_elsewhere_.end() && it->second.user == m.user)
        it->second.node = m.from;
      else if (here)
        held_elsewhere_[key] = LockHeldElsewhere{m.device, m.user, m.from};
      break;
    }
    case NodeMessageKind::kGone: {
      std::lock_guard<std::mutex> guard(lock_);
      auto it = held_elsewhere_.find(key);
      if (it != held_elsewhere_.end() && it->second.user == m.user) held_elsewhere_.erase(it);
      break;
    }
  }
}

}  // namespace zv::daemon
