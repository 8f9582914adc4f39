// Who holds each Device ID among a server's TCP cards, and from which
// address, so that a second registration of a live Device ID from another
// address can ask the holder whether it is still there (a probe) before
// taking it over; and the growing waits of addresses whose takeovers or
// secret answers were refused.
//
// One per server, shared by its card sessions; safe from several threads.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

#include "relay/daemon/backoff_table.hpp"
#include "relay/daemon/server_settings.hpp"
#include "relay/server/tcp_connection_table.hpp"

namespace zv::daemon {

class CCardSession;

class CCardIdentity {
 public:
  explicit CCardIdentity(const ServerSettings& settings);

  // The one of the server whose TCP card table this is: made with its first
  // card session and kept as long as the table lives, so the waits of an
  // address outlast its connections.
  static std::shared_ptr<CCardIdentity> Of(const std::shared_ptr<CTcpConnectionTable>& cards,
                                           const ServerSettings& settings);

  struct Holder {
    std::shared_ptr<CCardSession> session;  // null: nobody holds the Device ID
    std::string address;
  };
  // The card registered under `id` (case ignored) now holds it.
  void Enter(const std::string& id, const std::shared_ptr<CCardSession>& session,
             const std::string& address);
  // The card left; a newer holder of the same Device ID stays.
  void Leave(const std::string& id, const CCardSession* session);
  Holder Find(const std::string& id) const;

  // Per address: refused takeovers and wrong or missing secret answers.
  CBackoffTable& Refusals() { return refusals_; }

 private:
  struct Entry {
    std::weak_ptr<CCardSession> session;
    std::string address;
  };
  mutable std::mutex lock_;
  std::unordered_map<std::string, Entry> holders_;  // by Device ID in lower case
  CBackoffTable refusals_;
};

}  // namespace zv::daemon
