// What the operator sees of one server's sessions: the counters behind the
// statistics line, and the cards that try Device IDs [Card] lacks (one cache
// for TCP and UDP, and a log that names each address once per interval).
//
// One per server, shared by its sessions; safe from several threads. The
// counters are plain atomics bumped where the forwarding happens, so the
// forwarding takes no lock for them.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "relay/daemon/server_settings.hpp"
#include "relay/daemon/unknown_cards.hpp"
#include "relay/server/log_writer.hpp"

namespace zv::daemon {

struct CServerCounts {
  uint64_t packets_to_cards = 0;
  uint64_t answers_to_users = 0;
  uint64_t bytes = 0;    // of both
  uint64_t dropped = 0;  // connections the server closed
};

class CServerStats {
 public:
  void PacketToCard(size_t bytes) {
    packets_to_cards_.fetch_add(1, std::memory_order_relaxed);
    bytes_.fetch_add(bytes, std::memory_order_relaxed);
  }
  void AnswerToUser(size_t bytes) {
    answers_to_users_.fetch_add(1, std::memory_order_relaxed);
    bytes_.fetch_add(bytes, std::memory_order_relaxed);
  }
  // A connection the server closed: timed out, misbehaved, refused, or
  // unable to keep up. Peers that close their own connections do not count.
  void Dropped() { dropped_.fetch_add(1, std::memory_order_relaxed); }
  // Connections carrying a logged-in user.
  void UserIn() { users_.fetch_add(1, std::memory_order_relaxed); }
  void UserOut() { users_.fetch_sub(1, std::memory_order_relaxed); }
  int64_t Users() const { return users_.load(std::memory_order_relaxed); }

  // The counts since the last call (each is taken and reset on its own, so a
  // packet counted meanwhile lands in one line or the next, never in none).
  CServerCounts Take();

 private:
  std::atomic<uint64_t> packets_to_cards_{0};
  std::atomic<uint64_t> answers_to_users_{0};
  std::atomic<uint64_t> bytes_{0};
  std::atomic<uint64_t> dropped_{0};
  std::atomic<int64_t> users_{0};
};

class CCluster;

class CServerOps {
 public:
  explicit CServerOps(const ServerSettings& settings);

  // The server's part in a fleet of servers sharing the database; null when
  // it serves alone. Set before the first session starts.
  void SetCluster(std::shared_ptr<CCluster> cluster) { cluster_ = std::move(cluster); }
  CCluster* Cluster() const { return cluster_.get(); }

  CServerStats& Stats() { return stats_; }
  const std::shared_ptr<CUnknownCards>& UnknownCards() const { return unknown_cards_; }
  // Refusals of Device IDs [Card] lacks, repeated per address at most once
  // per unknown_card_log_interval_ms.
  void LogUnknownCard(const std::string& line, const std::string& address);
  void FlushLog(bool all);

 private:
  CServerStats stats_;
  std::shared_ptr<CCluster> cluster_;
  std::shared_ptr<CUnknownCards> unknown_cards_;
  // A writer of its own on the server's log file, for its own interval.
  CLogWriter unknown_log_;
};

}  // namespace zv::daemon
