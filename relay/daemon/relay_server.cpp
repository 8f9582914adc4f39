#include "relay/daemon/relay_server.hpp"

#include <csignal>
#include <future>
#include <latch>

#include "platform/clock.hpp"
#include "relay/daemon/card_secrets.hpp"
#include "relay/daemon/card_session.hpp"
#include "relay/daemon/cluster.hpp"
#include "relay/daemon/user_session.hpp"
#include "relay/messages/recordset.hpp"
#include "relay/server/account_db.hpp"
#include "relay/server/account_status.hpp"
#include "relay/server/connection_registry.hpp"
#include "relay/server/database_path.hpp"

namespace zv::daemon {
namespace {

int Listen(asio::ip::tcp::acceptor& acceptor, const asio::ip::tcp::endpoint& at,
           std::string* error) {
  std::error_code ec;
  acceptor.open(at.protocol(), ec);
  if (!ec) acceptor.set_option(asio::ip::tcp::acceptor::reuse_address(true), ec);
  if (!ec) acceptor.bind(at, ec);
  if (!ec) acceptor.listen(asio::socket_base::max_listen_connections, ec);
  if (ec) {
    *error = "cannot listen on " + at.address().to_string() + ":" + std::to_string(at.port()) +
             ": " + ec.message();
    return 0;
  }
  return 1;
}

CRelayServer::EventLoops MakeLoops(int threads) {
  CRelayServer::EventLoops loops;
  // One thread runs each loop: the hint lets Asio skip work meant for several.
  for (int i = 0; i < (threads > 0 ? threads : 1); ++i) {
    loops.push_back(std::make_unique<asio::io_context>(1));
    // A loop's poller is made with its first socket and takes descriptors of
    // its own; made now, a loop's first connection cannot fail (and throw)
    // when the process is out of descriptors.
    asio::ip::tcp::socket first(*loops.back());
  }
  return loops;
}

}  // namespace

CRelayServer::CRelayServer(ServerSettings settings)
    : settings_(std::move(settings)),
      loops_(MakeLoops(settings_.threads)),
      users_listener_(*loops_[0], "user"),
      cards_listener_(*loops_[0], "card") {
  for (auto& loop : loops_) work_.push_back(asio::make_work_guard(*loop));
}

CRelayServer::~CRelayServer() {
  Stop();
  udp_.reset();
  std::error_code ignored;
  users_listener_.acceptor.close(ignored);
  cards_listener_.acceptor.close(ignored);
  // The loops themselves go last, first to last (EventLoops).
}

CRelayServer::EventLoops::~EventLoops() {
  // What is still queued goes with its loop. The first loop goes first: its
  // queue may hold an accept whose new socket belongs to another loop, which
  // must still exist when that socket is destroyed. The other loops' queues
  // hold only their own connections.
  for (auto& loop : *this) loop.reset();
}

int CRelayServer::Start(std::string* error) {
  std::error_code ec;
  asio::ip::address address = asio::ip::make_address(settings_.bind_address, ec);
  if (ec || !address.is_v4()) {
    *error = "bad bind address " + settings_.bind_address;
    return 0;
  }
  if (!Listen(users_listener_.acceptor, {address, settings_.user_port}, error)) return 0;
  if (!Listen(cards_listener_.acceptor, {address, settings_.card_port}, error)) return 0;
  user_port_ = users_listener_.acceptor.local_endpoint().port();
  card_port_ = cards_listener_.acceptor.local_endpoint().port();
  udp_ = std::make_unique<CUdpCardEndpoint>(*loops_[0],
                                            asio::ip::udp::endpoint(address, card_port_), &ec);
  if (ec) {
    *error = "cannot bind UDP port " + std::to_string(card_port_) + ": " + ec.message();
    return 0;
  }

  // Only now that the ports are ours: a second server that fails to bind must
  // not touch the rows of the one that serves, nor one of the same node name.
  // OnLine left at 1 by a server that stopped without cleaning up would show
  // cards and users that are gone; while other nodes serve the database, their
  // rows are theirs, and only what this node held is reset (by the claim).
  bool alone = true;
  if (!settings_.node_name.empty()) {
    node_ = ThisNode(settings_.node_name);
    if (ClaimNode(node_, WallClockMs(), settings_.node_stale_ms, error) != 1) {
      node_.name.clear();
      return 0;
    }
    alone = OtherLiveNodes(node_, WallClockMs(), settings_.node_stale_ms) == 0;
  }
  if (alone) ResetAllOnLine();
  {
    // Without it each registration costs a failing statement and a second
    // look; a database that refuses it still serves (secrets read as none
    // until a secret is stored, which makes the table).
    CAccountDb db;
    EnsureCardSecretTable(db);
  }
  serving_ = true;

  users_ = std::make_shared<CTcpConnectionTable>();
  cards_ = std::make_shared<CTcpConnectionTable>();
  udp_cards_ = std::make_shared<CUdpCardTable>(udp_->Sender());
  if (!settings_.log_file.empty()) {
    for (CLogWriter* log : {&users_->Log(), &cards_->Log(), &udp_cards_->Log()}) {
      log->SetPath(settings_.log_file);
      log->SetSwitch("on");
      log->SetRepeatInterval(settings_.log_repeat_interval_ms);
    }
  }
  // Record writes report database errors to the log instead of a dialog.
  std::weak_ptr<CTcpConnectionTable> weak_users = users_;
  SetDbErrorReporter([weak_users](const std::string& text) {
    if (auto users = weak_users.lock()) users->Log().WriteLog(text);
  });
  // A database that cannot be opened fails each request quietly: the log
  // says so once, and once more when it is back.
  SetDbOpenWatcher([weak_users](const std::string& path, bool opens) {
    if (auto users = weak_users.lock())
      users->Log().WriteLog(opens ? "the account database " + path + " opens again"
                                  : "cannot open the account database " + path +
                                        ": requests that need it fail until it opens again");
  });
  CConnectionRegistry& registry = CConnectionRegistry::Instance();
  registry.InstallUserTable(users_);
  registry.InstallTcpCardTable(cards_);
  registry.InstallUdpCardTable(udp_cards_);

  db_workers_ = std::make_unique<CDbWorkers>(settings_.db_threads);
  limits_ = std::make_shared<CConnectionLimits>(settings_.max_connections,
                                                settings_.max_pending_per_address);
  login_throttle_ =
      std::make_unique<CLoginThrottle>(settings_.login_delay_base_ms, settings_.login_delay_cap_ms);
  ops_ = std::make_shared<CServerOps>(settings_);
  std::weak_ptr<CTcpConnectionTable> log_to = users_;
  auto log_line = [log_to](const std::string& line) {
    if (auto users = log_to.lock()) users->Log().WriteLog(line);
  };
  // Servers with node names on one PostgreSQL database share the fleet: the
  // database carries their locks and, through its notifications, the
  // packets between them.
  if (!node_.name.empty() && IsPostgresUri(DatabasePath())) {
    cluster_ = std::make_shared<CCluster>(settings_, DatabasePath(), *db_workers_, users_, cards_,
                                          ops_->Stats(), log_line);
    if (!cluster_->Start(error)) {
      cluster_.reset();
      Stop();
      return 0;
    }
    ops_->SetCluster(cluster_);
    CCluster* cluster = cluster_.get();
    db_workers_->SetFlagObserver(
        [cluster](CAccountDb& db, const std::vector<CardOnLineFlag>& flags) {
          cluster->CardsArriving(db, flags);
        });
    registry.InstallRemotePeers(cluster_);
  }
  udp_->Start(udp_cards_, *db_workers_, ops_, settings_.node_name);
  if (!node_.name.empty()) {
    std::weak_ptr<CCluster> cluster = cluster_;
    heartbeat_ = std::make_unique<CNodeHeartbeat>(node_, settings_.node_heartbeat_ms, log_line,
                                                  [cluster](int beat) {
                                                    if (auto c = cluster.lock())
                                                      c->ExpireDeadNodes(beat);
                                                  });
  }
  users_->Log().WriteLog("serving users on port " + std::to_string(user_port_) +
                         ", cards on port " + std::to_string(card_port_) + " (TCP and UDP), " +
                         std::to_string(loops_.size()) + " event loops, " +
                         std::to_string(settings_.db_threads) + " database workers" +
                         (settings_.node_name.empty() ? "" : ", node " + settings_.node_name));
  Accept(users_listener_);
  Accept(cards_listener_);
  log_flush_ = std::make_unique<asio::steady_timer>(*loops_[0]);
  FlushLogRepeats();
  stats_timer_ = std::make_unique<asio::steady_timer>(*loops_[0]);
  stats_since_ms_ = tarvo::platform::MonotonicMs();
  WriteStatistics();
  reopen_signal_ = std::make_unique<asio::signal_set>(*loops_[0], SIGHUP);
  AwaitReopenSignal();
  stop_signals_ = std::make_unique<asio::signal_set>(*loops_[0], SIGINT, SIGTERM);
  stop_signals_->async_wait([this](const std::error_code&, int) {
    if (!stop_requested_set_.exchange(true)) stop_requested_.set_value();
  });
  // Start returns once every loop's thread runs, so what a thread needs to
  // begin is never asked for later, when descriptors or memory may be short.
  std::latch running(static_cast<std::ptrdiff_t>(loops_.size()));
  for (auto& loop : loops_)
    threads_.emplace_back([&loop, &running] {
      running.count_down();
      loop->run();
    });
  running.wait();
  return 1;
}

CLogWriter& CRelayServer::LogOf(const Listener& listener) {
  return &listener == &users_listener_ ? users_->Log() : cards_->Log();
}

void CRelayServer::Accept(Listener& listener) {
  asio::io_context& loop = *loops_[listener.next_loop];
  listener.next_loop = (listener.next_loop + 1) % loops_.size();
  listener.acceptor.async_accept(
      loop, [this, &listener](const std::error_code& ec, asio::ip::tcp::socket socket) {
        if (ec == asio::error::operation_aborted || !listener.acceptor.is_open()) return;
        if (ec) {
          AcceptFailed(listener, ec);
          return;
        }
        if (listener.failures > 0) {
          LogOf(listener).WriteLog(std::string("accepting ") + listener.kind +
                                   " connections again after " + std::to_string(listener.failures) +
                                   " failed tries");
          listener.failures = 0;
        }
        StartSession(listener, std::move(socket));
        Accept(listener);
      });
}

void CRelayServer::AcceptFailed(Listener& listener, const std::error_code& ec) {
  // The line may itself be lost when the log file cannot be opened for want
  // of a descriptor; the line that ends the run counts every failure.
  if (listener.failures++ == 0)
    LogOf(listener).WriteLog(std::string("cannot accept a ") + listener.kind +
                             " connection: " + ec.message() + "; trying again every " +
                             std::to_string(settings_.accept_retry_ms) + " ms");
  listener.retry.expires_after(std::chrono::milliseconds(settings_.accept_retry_ms));
  listener.retry.async_wait([this, &listener](const std::error_code& waited) {
    if (!waited && listener.acceptor.is_open()) Accept(listener);
  });
}

void CRelayServer::StartSession(Listener& listener, asio::ip::tcp::socket socket) {
  std::error_code ec;
  const asio::ip::tcp::endpoint peer = socket.remote_endpoint(ec);
  if (ec) return;  // gone before it was looked at
  std::string refusal;
  std::unique_ptr<CConnectionSlot> slot = limits_->Admit(peer.address().to_string(), &refusal);
  if (!slot) {
    // Identical lines of a flood are counted by the log, not repeated.
    LogOf(listener).WriteLog(std::string(listener.kind) + " connection refused: " + refusal);
    ops_->Stats().Dropped();
    socket.close(ec);
    return;
  }
  socket.set_option(asio::ip::tcp::no_delay(true), ec);
  if (&listener == &users_listener_)
    std::make_shared<CUserSession>(std::move(socket), next_key_++, users_, settings_, *db_workers_,
                                   std::move(slot), login_throttle_.get(), ops_)
        ->Start();
  else
    std::make_shared<CCardSession>(std::move(socket), next_key_++, cards_, settings_, *db_workers_,
                                   std::move(slot), ops_)
        ->Start();
}

void CRelayServer::FlushLogRepeats() {
  if (settings_.log_repeat_interval_ms <= 0) return;
  for (CLogWriter* log : {&users_->Log(), &cards_->Log(), &udp_cards_->Log()}) log->Flush();
  ops_->FlushLog(false);
  log_flush_->expires_after(std::chrono::milliseconds(settings_.log_repeat_interval_ms));
  log_flush_->async_wait([this](const std::error_code& ec) {
    if (!ec && !stopped_) FlushLogRepeats();
  });
}

void CRelayServer::WriteStatistics() {
  if (settings_.stats_interval_ms <= 0) return;
  stats_timer_->expires_after(std::chrono::milliseconds(settings_.stats_interval_ms));
  stats_timer_->async_wait([this](const std::error_code& ec) {
    if (ec || stopped_) return;
    const int64_t now = tarvo::platform::MonotonicMs();
    const CServerCounts c = ops_->Stats().Take();
    const size_t tcp = cards_->Size(), udp = udp_cards_->Size();
    users_->Log().WriteLog(
        "statistics: " + std::to_string(tcp + udp) + " cards online (" + std::to_string(tcp) +
        " TCP, " + std::to_string(udp) + " UDP), " + std::to_string(ops_->Stats().Users()) +
        " users online; in the last " + std::to_string((now - stats_since_ms_ + 500) / 1000) +
        " s: " + std::to_string(c.packets_to_cards) + " packets to cards, " +
        std::to_string(c.answers_to_users) + " answers to users, " + std::to_string(c.bytes) +
        " bytes, " + std::to_string(c.dropped) + " connections dropped");
    stats_since_ms_ = now;
    WriteStatistics();
  });
}

void CRelayServer::AwaitReopenSignal() {
  reopen_signal_->async_wait([this](const std::error_code& ec, int) {
    if (ec || stopped_) return;
    // The counts held back belong to the old file's lines.
    for (CLogWriter* log : {&users_->Log(), &cards_->Log(), &udp_cards_->Log()}) log->Flush(true);
    ops_->FlushLog(true);
    users_->Log().WriteLog("log reopened (SIGHUP)");
    AwaitReopenSignal();
  });
}

void CRelayServer::WaitForStopSignal() {
  if (!stop_signals_) return;  // never started
  stop_requested_.get_future().wait();
}

void CRelayServer::Stop() {
  if (stopped_.exchange(true)) return;
  asio::post(*loops_[0], [this] {
    std::error_code ignored;
    for (Listener* listener : {&users_listener_, &cards_listener_}) {
      listener->acceptor.close(ignored);
      listener->retry.cancel();
    }
    if (udp_) udp_->Close();
    if (log_flush_) log_flush_->cancel();
    if (stats_timer_) stats_timer_->cancel();
    if (reopen_signal_) reopen_signal_->cancel();
    if (stop_signals_) stop_signals_->cancel();
  });
  CConnectionRegistry& registry = CConnectionRegistry::Instance();
  if (registry.UserTable() == users_) registry.RemoveTables();
  work_.clear();
  for (auto& loop : loops_) loop->stop();
  for (std::thread& t : threads_) t.join();
  threads_.clear();
  // SIGHUP is the system's again: after the stop it ends the process.
  reopen_signal_.reset();
  stop_signals_.reset();
  if (!stop_requested_set_.exchange(true)) stop_requested_.set_value();
  // A job that runs ends (within the busy time); the OnLine flags still
  // waiting are dropped, since every flag is reset below.
  if (db_workers_) db_workers_->Stop();
  if (cluster_) cluster_->Stop();
  SetDbErrorReporter(nullptr);
  SetDbOpenWatcher(nullptr);
  if (serving_) {
    for (CLogWriter* log : {&users_->Log(), &cards_->Log(), &udp_cards_->Log()}) log->Flush(true);
    if (ops_) ops_->FlushLog(true);
    users_->Log().WriteLog("stopped serving");
  }
  // The connections still open are dropped with the process: none is online
  // (of this node's, when other nodes serve the database).
  heartbeat_.reset();
  cluster_.reset();
  if (serving_) {
    const bool alone =
        node_.name.empty() || OtherLiveNodes(node_, WallClockMs(), settings_.node_stale_ms) == 0;
    if (!node_.name.empty()) ReleaseNode(node_);
    if (alone) ResetAllOnLine();
  }
}

}  // namespace zv::daemon
