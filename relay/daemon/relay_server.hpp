// zvrelayd's server: the user port, the card TCP and UDP port, the three
// connection tables installed in the registry, a small pool of threads,
// each running an Asio event loop of its own, and the database workers that
// do the account work off those loops. A connection stays on the loop
// it was accepted onto (connections are dealt to the loops in turn), so its
// handlers never wait for another thread and need no strand; only traffic
// between a user and a card on different loops crosses threads.
#pragma once

#include <asio.hpp>
#include <atomic>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "relay/daemon/connection_limits.hpp"
#include "relay/daemon/db_workers.hpp"
#include "relay/daemon/login_throttle.hpp"
#include "relay/daemon/node_heartbeat.hpp"
#include "relay/daemon/server_ops.hpp"
#include "relay/daemon/server_settings.hpp"
#include "relay/daemon/udp_card_endpoint.hpp"
#include "relay/server/tcp_connection_table.hpp"
#include "relay/server/udp_card_table.hpp"

namespace zv::daemon {

class CCluster;

class CRelayServer {
 public:
  explicit CRelayServer(ServerSettings settings);
  ~CRelayServer();
  CRelayServer(const CRelayServer&) = delete;
  CRelayServer& operator=(const CRelayServer&) = delete;

  // Binds the ports, claims the node name (refused while a live server holds
  // it), marks every card and user offline (nothing is connected yet; with
  // other live nodes on the database only the cards this node held), installs
  // the tables and starts the threads. From then on SIGHUP
  // says in the log that the log was reopened instead of ending the
  // process. 1 or 0 with the reason in *error.
  int Start(std::string* error);
  // Stops accepting, closes every connection, removes the tables, stops the
  // database workers and marks every card and user offline. Idempotent.
  void Stop();
  // Blocks until SIGINT or SIGTERM arrives (or Stop() is called).
  void WaitForStopSignal();

  // The event loops, destroyed first to last whatever the library's order.
  struct EventLoops : std::vector<std::unique_ptr<asio::io_context>> {
    EventLoops() = default;
    EventLoops(EventLoops&&) = default;
    EventLoops& operator=(EventLoops&&) = default;
    ~EventLoops();
  };

  uint16_t UserPort() const { return user_port_; }
  uint16_t CardPort() const { return card_port_; }

 private:
  // One listening TCP port and what its accepts need. Accept handlers run on
  // the first loop only.
  struct Listener {
    Listener(asio::io_context& loop, const char* kind) : acceptor(loop), retry(loop), kind(kind) {}
    asio::ip::tcp::acceptor acceptor;
    asio::steady_timer retry;  // waits out a failed accept
    const char* kind;          // "user" or "card", for the log
    // The loop the next connection goes to: users and cards are each dealt
    // in turn, so neither kind piles up on one loop.
    size_t next_loop = 0;
    uint64_t failures = 0;  // accepts failed in a row
  };

  void Accept(Listener& listener);
  // An accept that fails (the process is out of descriptors, the kernel out
  // of memory) fails again at once until something is freed: the listener
  // waits before its next try instead of spinning, and logs once per run of
  // failures.
  void AcceptFailed(Listener& listener, const std::error_code& ec);
  void StartSession(Listener& listener, asio::ip::tcp::socket socket);
  // Writes the counts of repeated log lines once their interval is over.
  void FlushLogRepeats();
  // One statistics line per interval.
  void WriteStatistics();
  // SIGHUP, sent after the log file was rotated: the next line goes to a new
  // file anyway (each line opens the file), so this only says so in it.
  void AwaitReopenSignal();
  CLogWriter& LogOf(const Listener& listener);

  ServerSettings settings_;
  EventLoops loops_;
  // Destroyed before the loops: the jobs it drops hold connections whose
  // sockets belong to the loops.
  std::unique_ptr<CDbWorkers> db_workers_;
  std::shared_ptr<CConnectionLimits> limits_;
  std::unique_ptr<CLoginThrottle> login_throttle_;
  std::shared_ptr<CServerOps> ops_;
  std::vector<asio::executor_work_guard<asio::io_context::executor_type>> work_;
  Listener users_listener_;
  Listener cards_listener_;
  std::unique_ptr<CUdpCardEndpoint> udp_;
  std::unique_ptr<asio::steady_timer> log_flush_;  // on the first loop
  std::unique_ptr<asio::steady_timer> stats_timer_;
  int64_t stats_since_ms_ = 0;
  std::unique_ptr<asio::signal_set> reopen_signal_;
  // SIGINT and SIGTERM, caught from Start on: one arriving before
  // WaitForStopSignal is called still stops the server cleanly.
  std::unique_ptr<asio::signal_set> stop_signals_;
  std::promise<void> stop_requested_;
  std::atomic<bool> stop_requested_set_{false};
  NodeIdentity node_;  // empty name: no node row
  std::unique_ptr<CNodeHeartbeat> heartbeat_;
  std::shared_ptr<CCluster> cluster_;  // null: this server serves alone
  std::shared_ptr<CTcpConnectionTable> users_;
  std::shared_ptr<CTcpConnectionTable> cards_;
  std::shared_ptr<CUdpCardTable> udp_cards_;
  std::vector<std::thread> threads_;
  std::atomic<uint64_t> next_key_{1};
  uint16_t user_port_ = 0;
  uint16_t card_port_ = 0;
  std::atomic<bool> stopped_{false};
  bool serving_ = false;  // Start bound the ports and reset the OnLine flags
};

}  // namespace zv::daemon
