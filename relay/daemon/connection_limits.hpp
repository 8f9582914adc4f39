// How many TCP connections zvrelayd carries, in total and, among those that
// have proved nothing yet (no login, no card registration), per address.
// Every accepted connection takes a slot; a connection that cannot have one
// is closed at once, before anything is read or allocated for it.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

namespace zv::daemon {

class CConnectionLimits;

// One connection's place in the counts, given back when it is destroyed.
class CConnectionSlot {
 public:
  CConnectionSlot(std::shared_ptr<CConnectionLimits> limits, std::string address);
  ~CConnectionSlot();
  CConnectionSlot(const CConnectionSlot&) = delete;
  CConnectionSlot& operator=(const CConnectionSlot&) = delete;

  // The user logged in or the card registered: its address's count of
  // unproved connections no longer includes it. Idempotent.
  void Proved();
  const std::string& Address() const { return address_; }

 private:
  std::shared_ptr<CConnectionLimits> limits_;
  const std::string address_;
  bool proved_ = false;
};

class CConnectionLimits : public std::enable_shared_from_this<CConnectionLimits> {
 public:
  CConnectionLimits(int max_total, int max_pending_per_address);

  // A slot for a connection from `address`, or null with the reason in
  // *refusal when the total or the address's unproved count is reached.
  std::unique_ptr<CConnectionSlot> Admit(const std::string& address, std::string* refusal);
  int Total() const;
  int Pending(const std::string& address) const;

 private:
  friend class CConnectionSlot;
  void ProvedOne(const std::string& address);
  void Release(const std::string& address, bool proved);

  const int max_total_;
  const int max_pending_;
  mutable std::mutex lock_;
  int total_ = 0;
  std::unordered_map<std::string, int> pending_;
};

}  // namespace zv::daemon
