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

  std::shared_ptr<CTcpConnectionTable> UserTable() const;
  std::shared_ptr<CTcpConnectionTable> TcpCardTable() const;
  std::shared_ptr<CUdpCardTable> UdpCardTable() const;

  bool IsUserOnline(const std::string& name) const;
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
};

}  // namespace zv
