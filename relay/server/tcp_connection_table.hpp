// CTcpConnectionTable: the live TCP peers of one kind (users, or cards that
// connect over TCP), keyed by the server's connection number. The server's
// connection handling adds and removes entries and owns the connections.
//
// Peers are found by id through an index of their ids folded to lower case,
// so forwarding to one of thousands of cards does not compare every entry.
// A peer whose id changes (a user connection that logs in) calls Reindex.
//
// Locks: the table lock guards the map for a whole search, including the send
// or the close it leads to; inside it at most one of a card's lock guard, the
// pool lock and the log lock is taken, never another table lock.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "relay/messages/card_record.hpp"
#include "relay/messages/user_record.hpp"
#include "relay/server/connection.hpp"
#include "relay/server/context_pool.hpp"
#include "relay/server/log_writer.hpp"

namespace zv {

class CTcpConnectionTable {
 public:
  explicit CTcpConnectionTable(size_t pool_capacity = CContextPool::kDefaultCapacity);
  CTcpConnectionTable(const CTcpConnectionTable&) = delete;
  CTcpConnectionTable& operator=(const CTcpConnectionTable&) = delete;

  // Entries (the server's connection handling).
  void Add(uint64_t key, CConnection* connection);
  // True when the entry was still there (a disconnect may have removed it).
  bool Remove(uint64_t key);
  // Reads the entry's id again after it changed; false when there is no entry.
  bool Reindex(uint64_t key);
  size_t Size() const;

  // An entry whose id equals `name`, ignoring case.
  bool IsOnline(const std::string& name) const;
  // Copies of the card records of the entries whose card is online, in map
  // order. Copies, so nothing refers into an entry after the lock is released.
  void ListOnlineCards(std::vector<std::unique_ptr<CCardRecord>>& out) const;
  // The first entry whose id equals the DeviceID (case matters) and that the
  // user may lock decides: *result = its SetLock; answers true. Else false.
  bool LockCard(const CUserRecord& user, const std::string& device_id, uint8_t lock,
                uint8_t* result);
  // Forwarding results 0-5 (see comm_packet_msg.hpp).
  // Whether an entry of this Device ID (compared with case) is one the user
  // may lock, as LockCard finds it, without changing its lock.
  bool HasLockableCard(const CUserRecord& user, const std::string& device_id) const;
  uint8_t ForwardToCard(const CUserRecord& user, const std::string& device_id, const uint8_t* data,
                        size_t length);
  // Closes the first peer whose id equals `id` ignoring case.
  bool DisconnectById(const std::string& id);
  // Closes every peer whose organization equals `name` ignoring case.
  void DisconnectOrganization(const std::string& name);
  // Unlocks every card whose lock `user_name` holds (case matters), for a
  // user who left; returns how many were unlocked.
  int ReleaseLocksOf(const std::string& user_name);
  // Sends to the first peer whose id equals `id` ignoring case: 1 queued,
  // 0 failed (logged), -1 no such peer.
  int SendToId(const std::string& id, const uint8_t* data, size_t length);

  // Hands a frame to the first peer whose id equals `id` ignoring case
  // (CConnection::Deliver): 1 handed over, 0 refused, -1 no such peer.
  int DeliverToId(const std::string& id, const uint8_t* data, size_t length);
  // Sends on one peer's stream through this table's pool and log (1 or 0).
  int IssueSendOperation(CTcpSendTarget& target, const uint8_t* data, size_t length);

  CLogWriter& Log() { return log_; }
  CContextPool& Pool() { return pool_; }

 private:
  struct Entry {
    CConnection* connection;
    std::string folded_id;  // the id in lower case as indexed; empty: not indexed
  };
  using EntryMap = std::map<uint64_t, Entry>;

  // The entry with the lowest key whose id equals `id` ignoring case (the first
  // one a search in key order would meet), or map_.end().
  EntryMap::iterator FindById(const std::string& id);
  EntryMap::const_iterator FindById(const std::string& id) const;
  void Index(uint64_t key, Entry& entry);
  void Unindex(uint64_t key, const Entry& entry);
  EntryMap::iterator Erase(EntryMap::iterator it);
  void CloseEntry(EntryMap::iterator it);

  mutable std::mutex lock_;
  EntryMap map_;
  // Folded id -> the entries carrying it, by key (map iterators stay valid
  // until their entry is erased, which unindexes it first).
  std::unordered_map<std::string, std::map<uint64_t, EntryMap::iterator>> by_id_;
  CContextPool pool_;
  CLogWriter log_;
};

}  // namespace zv
