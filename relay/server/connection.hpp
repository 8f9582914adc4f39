// CConnection: the server's object for one connected peer (a user or a
// card), as the connection tables see it. The server program derives from it
// and owns it; for a card it also carries the card's record and lock.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>

#include "relay/messages/card_record.hpp"
#include "relay/server/send_target.hpp"

namespace zv {

// Lock results of SetLock / LockCard.
inline constexpr uint8_t kLockRefused = 0;
inline constexpr uint8_t kLockGranted = 1;

class CConnection {
 public:
  CConnection() = default;
  virtual ~CConnection() = default;
  CConnection(const CConnection&) = delete;
  CConnection& operator=(const CConnection&) = delete;

  // The user's login name or the card's DeviceID.
  virtual std::string GetId() const = 0;
  virtual std::string GetOrganization() const = 0;
  // Called by a table just before it closes the peer or drops its entry,
  // with the table lock held: it must not take another table lock.
  virtual void OnClose() {}
  // The peer's outgoing stream (TCP peers), or none.
  virtual CTcpSendTarget* GetSendTarget() { return nullptr; }
  // Hands a frame from elsewhere (a card's answer) to this peer, after
  // whatever the peer's own request is producing right now; false when the
  // peer takes no deliveries.
  virtual bool Deliver(const uint8_t* data, size_t length) { return false; }

  // Lock changes of this card, serialised by its lock guard:
  // lock by a new owner, relock or unlock by the owner, and unlock of a free
  // card answer 1; anything tried against another user's lock answers 0.
  // The owner is compared with case.
  uint8_t SetLock(const std::string& user_name, uint8_t lock);
  // Current lock state, read under the lock guard.
  bool IsLocked();
  std::string LockOwner();
  // Both at once: whether the card is locked, and by whom.
  bool LockState(std::string& owner);
  // Drops any lock (the card left).
  void ClearLock();

  // The card's record; OnLine is not 0 while the card is connected.
  CCardRecord card;

 private:
  std::mutex lock_guard_;
  uint8_t locked_ = 0;
  std::string lock_owner_;
};

// Text comparison of ids and organizations without regard to ASCII case.
bool EqualsIgnoreCase(const std::string& a, const std::string& b);

}  // namespace zv
