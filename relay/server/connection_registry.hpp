// CConnectionRegistry: the process-wide registry of live connections with its
// three tables (user connections, TCP cards, UDP cards). The server program
// installs the tables; without them every operation answers "nothing found".
//
// Operations never hold two table locks at once: a fallback from the TCP card
// table to the UDP card table releases the first before taking the second.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "relay/messages/card_record.hpp"
#include "relay/messages/user_record.hpp"
#include "relay/server/tcp_connection_table.hpp"
#include "relay/server/udp_card_table.hpp"

namespace zv {

// The cards and users that other servers sharing the account database
// carry. A server program that shares its database installs one; its
// answers follow the rules of the tables, so a user sees the same results
// whichever server holds the card. Its calls may use the database.
class CRemotePeers {
 public:
  virtual ~CRemotePeers() = default;
  // Replaces the tables' LockCard: the lock is taken where all servers see it.
  virtual uint8_t LockCard(const CUserRecord& user, const std::string& device_id, uint8_t lock) = 0;
  // A packet for a TCP card that this server's table does not hold.
  virtual uint8_t ForwardToCard(const CUserRecord& user, const std::string& device_id,
                                const uint8_t* data, size_t length) = 0;
  // Whether another server carries the user.
  virtual bool IsUserOnline(const std::string& name) = 0;
  // Claims the user's session for this server as it logs in: 1 claimed, 0
  // another server carries it (a login that raced one elsewhere), -1 the
  // database failed.
  virtual int ClaimUser(const std::string& name) = 0;
  // A card's frame for its lock owner, who is not on this server: 1 on its
  // way, -1 no server carries the owner.
  virtual int DeliverToUser(const std::string& owner, const uint8_t* frame, size_t length) = 0;
  // What a deleted user, card or organization had connected to the other
  // servers is closed there too.
  enum class Disconnect : uint8_t { kUser, kCard, kOrganizationCards, kOrganizationUsers };
  virtual void DisconnectElsewhere(Disconnect what, const std::string& key) = 0;
};

class CConnectionRegistry {
 public:
  static CConnectionRegistry& Instance();

  // Installing replaces a table; an empty pointer removes it. Tables are
  // shared so that an operation running during a removal keeps its table.
  void InstallUserTable(std::shared_ptr<CTcpConnectionTable> table);
  void InstallTcpCardTable(std::shared_ptr<CTcpConnectionTable> table);
  void InstallUdpCardTable(std::shared_ptr<CUdpCardTable> table);
  // Removes the three tables, in the order users, TCP cards, UDP cards.
  void RemoveTables();
  // Installs (or with an empty pointer removes) the other servers' side.
  void InstallRemotePeers(std::shared_ptr<CRemotePeers> remote);
  std::shared_ptr<CRemotePeers> RemotePeers() const;

  std::shared_ptr<CTcpConnectionTable> UserTable() const;
  std::shared_ptr<CTcpConnectionTable> TcpCardTable() const;
  std::shared_ptr<CUdpCardTable> UdpCardTable() const;

  // On this server or, with remote peers installed, on another.
  bool IsUserOnline(const std::string& name) const;
  // A login takes the user's session: 1 taken, 0 another server has it, -1
  // the database failed. Always 1 without remote peers.
  int ClaimUser(const std::string& name) const;
  // Copies of the online TCP cards' records, appended in table order.
  void ListOnlineCards(std::vector<std::unique_ptr<CCardRecord>>& out) const;
  uint8_t LockCard(const CUserRecord& user, const std::string& device_id, uint8_t lock) const;
  // Route 1 TCP cards, route 2 UDP cards; any other route, or an absent
  // table, answers 0.
  uint8_t ForwardToCard(const CUserRecord& user, uint8_t route, const std::string& device_id,
                        const uint8_t* data, size_t length) const;
  bool DisconnectUser(const std::string& name) const;
  // The card's TCP connection, or when there is none its UDP entry.
  bool DisconnectCard(const std::string& device_id) const;
  void DisconnectOrganizationCards(const std::string& name) const;
  void DisconnectOrganizationUsers(const std::string& name) const;
  // Unlocks the cards (TCP, then UDP) whose lock a departed user held.
  int ReleaseLocksOf(const std::string& user_name) const;

 private:
  CConnectionRegistry() = default;
  mutable std::mutex lock_;  // guards the three pointers only
  std::shared_ptr<CTcpConnectionTable> users_;
  std::shared_ptr<CTcpConnectionTable> tcp_cards_;
  std::shared_ptr<CUdpCardTable> udp_cards_;
  std::shared_ptr<CRemotePeers> remote_;
};

}  // namespace zv
