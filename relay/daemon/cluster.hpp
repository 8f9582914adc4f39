// One server's part in a fleet that several servers on one PostgreSQL
// database share. Cards and users may connect to any of them; the lock of a
// card lives in the database (CardLock), so two users on two servers never
// hold the same card, and the card's server is told who holds it. A user's
// packets for a card held elsewhere go to that card's server through the
// database's notifications, and the card's answers come back the same way.
//
// What each server keeps in memory:
// - on the user's server, for each lock its users hold on a card held
//   elsewhere, which server holds the card (packets go there without a
//   look at the database);
// - on the card's server, for each of its cards locked by a user elsewhere,
//   the user's server (answers go there), with the card's lock set in its
//   table as for a user of its own.
// Both are corrected by messages when a lock changes, a card moves or a
// card leaves, and by the database when a packet finds no entry.
//
// A server that stops beating its heartbeat is dead after the lease: the
// others release its users' sessions and locks and its cards' entries.
#pragma once

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <unordered_set>

#include "relay/daemon/db_workers.hpp"
#include "relay/daemon/node_channel.hpp"
#include "relay/daemon/server_ops.hpp"
#include "relay/daemon/server_settings.hpp"
#include "relay/server/connection_registry.hpp"
#include "relay/server/tcp_connection_table.hpp"

namespace zv::daemon {

class CCluster : public CRemotePeers, public std::enable_shared_from_this<CCluster> {
 public:
  using LogFn = std::function<void(const std::string&)>;

  CCluster(const ServerSettings& settings, std::string uri, CDbWorkers& workers,
           std::shared_ptr<CTcpConnectionTable> users, std::shared_ptr<CTcpConnectionTable> cards,
           CServerStats& stats, LogFn log);
  ~CCluster() override;

  // Listens on this server's channel: 1, or 0 with the reason.
  int Start(std::string* error);
  void Stop();

  uint8_t LockCard(const CUserRecord& user, const std::string& device_id, uint8_t lock) override;
  uint8_t ForwardToCard(const CUserRecord& user, const std::string& device_id, const uint8_t* data,
                        size_t length) override;
  bool IsUserOnline(const std::string& name) override;
  int ClaimUser(const std::string& name) override;
  int DeliverToUser(const std::string& owner, const uint8_t* frame, size_t length) override;
  void DisconnectElsewhere(Disconnect what, const std::string& key) override;

  // Whether a packet for this Device ID goes out without the database: the
  // card is here, or a user here holds its lock elsewhere. Otherwise the
  // request is handled on a database worker.
  bool ForwardsFromMemory(const std::string& device_id) const;
  // A TCP card registers here: this server's users reach it through the
  // table from now on. Returns the user of this server who held its lock
  // while it was elsewhere ("" for none).
  std::string CardArrived(const std::string& device_id);
  // In the transaction that writes a batch of OnLine flags, before them:
  // the servers that held the cards arriving here drop them (the later
  // registration wins), and their locks come with them.
  void CardsArriving(CAccountDb& db, const std::vector<CardOnLineFlag>& flags);
  // A TCP card left this server: its lock goes with it, unless another
  // server took the card over.
  void CardLeft(const std::string& device_id);
  // A user left this server for good: its session and locks go.
  void UserLeft(const std::string& name);
  // After each heartbeat, on the heartbeat's thread, with its result:
  // servers dead for the lease are released. Only once this server's own
  // heartbeat has gone through for a whole lease: after the database was
  // away, every server's heartbeat is old, and none is dead for that.
  void ExpireDeadNodes(int beat);

 private:
  struct LockHeldElsewhere {
    std::string device;  // as registered
    std::string user;
    std::string node;  // the card's server
  };
  struct OwnerElsewhere {
    std::string device;  // as registered
    std::string user;
    std::string node;  // the user's server
  };

  void OnMessage(NodeMessage&& message);
  // False when the message cannot go (the database is away).
  bool Send(const std::string& node, NodeMessageKind kind, const std::string& device,
            const std::string& user, const uint8_t* data = nullptr, size_t length = 0);
  // Tells the card's server of a lock change and waits (at most
  // kLockChangeWaitMs) until its table has it, so the lock's answer to the
  // user comes after the card's server knows: a user there who asks next
  // gets what the database says. Its answer: 1 done, 0 it has no such TCP
  // card; -1 none came.
  int ChangeLockAt(const std::string& node, NodeMessageKind kind, const std::string& device,
                   const std::string& user);
  // Clears the table's lock of a card held here for an owner on another
  // server: true when there was one to clear.
  bool DropOwnerElsewhere(const std::string& device_id);
  // Sets or clears a card's lock in this server's table for `user`.
  uint8_t SetTableLock(const std::string& device, const std::string& user, uint8_t lock);

  const ServerSettings& settings_;
  const std::string me_;
  CDbWorkers& workers_;
  std::shared_ptr<CTcpConnectionTable> users_;
  std::shared_ptr<CTcpConnectionTable> cards_;
  CServerStats& stats_;
  LogFn log_;
  std::unique_ptr<CNodeChannel> channel_;
  int64_t beating_since_ = 0;  // heartbeat thread only; 0: the last beat failed

  mutable std::mutex lock_;
  // Keyed by the Device ID in lower case (packets find cards without case).
  std::unordered_map<std::string, LockHeldElsewhere> held_elsewhere_;
  std::unordered_map<std::string, OwnerElsewhere> owners_elsewhere_;
  // Cards whose connection closes because another server took them.
  std::unordered_set<std::string> handed_over_;
  // Lock changes told to other servers whose answer has come.
  std::condition_variable lock_changed_;
  std::unordered_set<uint64_t> lock_changes_waiting_;
  std::unordered_map<uint64_t, uint8_t> lock_changes_done_;  // token -> result
  uint64_t next_lock_change_ = 0;
};

}  // namespace zv::daemon
