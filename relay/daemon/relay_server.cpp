#include "relay/daemon/relay_server.hpp"

#include <csignal>
#include <future>

#include "relay/daemon/card_session.hpp"
#include "relay/daemon/user_session.hpp"
#include "relay/messages/recordset.hpp"
#include "relay/server/account_status.hpp"
#include "relay/server/connection_registry.hpp"

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
  for (int i = 0; i < (threads > 0 ? threads : 1); ++i)
    loops.push_back(std::make_unique<asio::io_context>(1));
  return loops;
}

}  // namespace

CRelayServer::CRelayServer(ServerSettings settings)
    : settings_(std::move(settings)),
      loops_(MakeLoops(settings_.threads)),
      user_acceptor_(*loops_[0]),
      card_acceptor_(*loops_[0]) {
  for (auto& loop : loops_) work_.push_back(asio::make_work_guard(*loop));
}

asio::io_context& CRelayServer::NextLoop(size_t& next) {
  asio::io_context& loop = *loops_[next];
  next = (next + 1) % loops_.size();
  return loop;
}

CRelayServer::~CRelayServer() {
  Stop();
  udp_.reset();
  std::error_code ignored;
  user_acceptor_.close(ignored);
  card_acceptor_.close(ignored);
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
  if (!Listen(user_acceptor_, {address, settings_.user_port}, error)) return 0;
  if (!Listen(card_acceptor_, {address, settings_.card_port}, error)) return 0;
  user_port_ = user_acceptor_.local_endpoint().port();
  card_port_ = card_acceptor_.local_endpoint().port();
  udp_ = std::make_unique<CUdpCardEndpoint>(*loops_[0],
                                            asio::ip::udp::endpoint(address, card_port_), &ec);
  if (ec) {
    *error = "cannot bind UDP port " + std::to_string(card_port_) + ": " + ec.message();
    return 0;
  }

  // Only now that the ports are ours: a second server that fails to bind must
  // not touch the rows of the one that serves. OnLine left at 1 by a server
  // that stopped without cleaning up would show cards and users that are gone.
  ResetAllOnLine();
  serving_ = true;

  users_ = std::make_shared<CTcpConnectionTable>();
  cards_ = std::make_shared<CTcpConnectionTable>();
  udp_cards_ = std::make_shared<CUdpCardTable>(udp_->Sender());
  if (!settings_.log_file.empty()) {
    for (CLogWriter* log : {&users_->Log(), &cards_->Log(), &udp_cards_->Log()}) {
      log->SetPath(settings_.log_file);
      log->SetSwitch("on");
    }
  }
  // Record writes report database errors to the log instead of a dialog.
  std::weak_ptr<CTcpConnectionTable> weak_users = users_;
  SetDbErrorReporter([weak_users](const std::string& text) {
    if (auto users = weak_users.lock()) users->Log().WriteLog(text);
  });
  CConnectionRegistry& registry = CConnectionRegistry::Instance();
  registry.InstallUserTable(users_);
  registry.InstallTcpCardTable(cards_);
  registry.InstallUdpCardTable(udp_cards_);

  udp_->Start(udp_cards_);
  AcceptUsers();
  AcceptCards();
  for (auto& loop : loops_) threads_.emplace_back([&loop] { loop->run(); });
  return 1;
}

void CRelayServer::AcceptUsers() {
  user_acceptor_.async_accept(NextLoop(next_user_loop_), [this](const std::error_code& ec,
                                                                asio::ip::tcp::socket socket) {
    if (ec == asio::error::operation_aborted || !user_acceptor_.is_open()) return;
    if (!ec) {
      std::error_code ignored;
      socket.set_option(asio::ip::tcp::no_delay(true), ignored);
      std::make_shared<CUserSession>(std::move(socket), next_key_++, users_, settings_)->Start();
    }
    AcceptUsers();
  });
}

void CRelayServer::AcceptCards() {
  card_acceptor_.async_accept(NextLoop(next_card_loop_), [this](const std::error_code& ec,
                                                                asio::ip::tcp::socket socket) {
    if (ec == asio::error::operation_aborted || !card_acceptor_.is_open()) return;
    if (!ec) {
      std::error_code ignored;
      socket.set_option(asio::ip::tcp::no_delay(true), ignored);
      std::make_shared<CCardSession>(std::move(socket), next_key_++, cards_, settings_)->Start();
    }
    AcceptCards();
  });
}

void CRelayServer::WaitForStopSignal() {
  asio::signal_set signals(*loops_[0], SIGINT, SIGTERM);
  std::promise<void> done;
  signals.async_wait([&done](const std::error_code&, int) { done.set_value(); });
  done.get_future().wait();
}

void CRelayServer::Stop() {
  if (stopped_.exchange(true)) return;
  asio::post(*loops_[0], [this] {
    std::error_code ignored;
    user_acceptor_.close(ignored);
    card_acceptor_.close(ignored);
    if (udp_) udp_->Close();
  });
  CConnectionRegistry& registry = CConnectionRegistry::Instance();
  if (registry.UserTable() == users_) registry.RemoveTables();
  work_.clear();
  for (auto& loop : loops_) loop->stop();
  for (std::thread& t : threads_) t.join();
  threads_.clear();
  SetDbErrorReporter(nullptr);
  // The connections still open are dropped with the process: none is online.
  if (serving_) ResetAllOnLine();
}

}  // namespace zv::daemon
