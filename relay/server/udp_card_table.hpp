// CUdpCardTable: the cards that talk to the server over UDP. Each entry owns
// its connection object and remembers the card's last address; every send
// goes out through the server's one UDP socket.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "relay/messages/user_record.hpp"
#include "relay/server/connection.hpp"
#include "relay/server/context_pool.hpp"
#include "relay/server/log_writer.hpp"
#include "relay/server/send_target.hpp"

namespace zv {

// A card known only by its datagrams: its id and organization are its record's.
class CUdpCardConnection : public CConnection {
 public:
  std::string GetId() const override { return card.GetDeviceID(); }
  std::string GetOrganization() const override { return card.GetOrganizationName(); }
};

class CUdpCardTable {
 public:
  explicit CUdpCardTable(CUdpSendTarget& socket,
                         size_t pool_capacity = CContextPool::kDefaultCapacity);
  CUdpCardTable(const CUdpCardTable&) = delete;
  CUdpCardTable& operator=(const CUdpCardTable&) = delete;

  // Enters a card, or, when a card with the same id (ignoring case) is
  // there, only moves it to the new address (its lock stays). True when new.
  bool Register(std::unique_ptr<CConnection> connection, const CUdpAddress& address);
  // Moves a known card to the address it last wrote from; false when unknown.
  bool UpdateAddress(const std::string& id, const CUdpAddress& address);
  // The user holding the card's lock ("" when unlocked); false when unknown.
  bool LockOwnerOf(const std::string& id, std::string* owner);
  size_t Size() const;

  bool LockCard(const CUserRecord& user, const std::string& device_id, uint8_t lock,
                uint8_t* result);
  uint8_t ForwardToCard(const CUserRecord& user, const std::string& device_id, const uint8_t* data,
                        size_t length);
  int ReleaseLocksOf(const std::string& user_name);
  // Calls the close notification, destroys the connection, drops the entry.
  bool DisconnectById(const std::string& id);
  void DisconnectOrganization(const std::string& name);

  CLogWriter& Log() { return log_; }
  CContextPool& Pool() { return pool_; }

 private:
  struct Entry {
    std::unique_ptr<CConnection> connection;
    CUdpAddress address;
  };
  using Map = std::map<uint64_t, Entry>;
  Map::iterator FindById(const std::string& id);

  mutable std::mutex lock_;
  Map map_;
  uint64_t next_key_ = 1;
  CUdpSendTarget& socket_;
  CContextPool pool_;
  CLogWriter log_;
};

}  // namespace zv
