// relay_load --only failover: two nodes on one database; every card knows
// both and connects to node 2 first, the --cross fraction of the users is on
// node 2 and the rest on node 1, each user holding the locks of its cards.
// Once every user has had an answer from each of its cards, node 2 is killed
// with SIGKILL, and the run measures from that moment
//   - for the users on node 1, whose connections and locks live on: until
//     each of their cards answers a packet again (the cards' failover);
//   - for the users of node 2, whose connections died with it: until they
//     are logged in on node 1, hold the locks of their cards again, and
//     each card answers (this waits for node 2's lease to run out).
// A user sends a packet to each card that has not answered yet, waits up to
// kAnswerWindowMs for the answers and tries again kPollMs later, so the
// times are good to about a third of a second.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <deque>
#include <memory>
#include <thread>
#include <utility>

#include "load_setup.hpp"
#include "platform/clock.hpp"
#include "relay_peers.hpp"

namespace relay_load {
namespace {

// A card's pause between a lost connection and its next attempt, as the
// simulator's relay card (sim/relay_card_tcp.hpp) and the real controllers
// wait.
constexpr int kRetryPauseMs = 1000;
constexpr int kPollMs = 50;            // between a user's attempts
constexpr int kAnswerWindowMs = 250;   // a pass waits this long for card answers
constexpr int kReplyTimeoutMs = 5000;  // the user's own node answers every request
constexpr int kDefaultLeaseS = 10;     // zvrelayd's default --lease

struct FailoverShared {
  std::atomic<bool> stop{false};
  std::atomic<bool> killed{false};
  Clock::time_point kill_time;  // written before `killed` is set
  std::atomic<int> cards_connected{0};
  std::atomic<int> users_ready{0};
  std::atomic<int> users_done{0};
  std::atomic<int> failures{0};
};

double MsSinceKill(const FailoverShared& f) {
  return std::chrono::duration<double, std::milli>(Clock::now() - f.kill_time).count();
}

awaitable<void> Pause(int ms) {
  asio::steady_timer timer(co_await asio::this_coro::executor);
  timer.expires_after(std::chrono::milliseconds(ms));
  std::error_code ec;
  co_await timer.async_wait(asio::redirect_error(asio::use_awaitable, ec));
}

// When a card connected again after the kill, in ms; -1: not yet.
struct CardLog {
  double back_ms = -1;
  size_t node = 0;  // the index in its list of nodes
};

// A card given several nodes of a fleet: it connects to the first that takes
// it, and when its connection ends it waits kRetryPauseMs and tries the node
// it had first, then the others in order.
awaitable<void> FallbackCard(std::vector<uint16_t> ports, std::string id, FailoverShared& f,
                             CardLog& log) {
  auto executor = co_await asio::this_coro::executor;
  size_t node = 0;
  bool first = true;
  while (!f.stop) {
    tcp::socket s(executor);
    size_t tried = 0;
    for (; tried < ports.size() && !f.stop; ++tried) {
      if (co_await ConnectCard(s, ports[node], id)) break;
      s = tcp::socket(executor);
      node = (node + 1) % ports.size();
    }
    if (tried < ports.size() && !f.stop) {
      if (first) {
        ++f.cards_connected;
        first = false;
      } else if (f.killed && log.back_ms < 0) {
        log.back_ms = MsSinceKill(f);
        log.node = node;
      }
      if (!co_await EchoPackets(s, id, f.stop)) ++f.failures;
    }
    if (!f.stop) co_await Pause(kRetryPauseMs);
  }
}

// A user's connection: a reader takes every frame into `frames` as it
// arrives, so the user can wait for an answer with a time limit.
struct Connection {
  explicit Connection(const asio::any_io_executor& executor) : socket(executor), signal(executor) {}
  tcp::socket socket;
  asio::steady_timer signal;  // cancelled when a frame arrives or the stream ends
  std::deque<std::pair<uint16_t, Bytes>> frames;
  bool closed = false;
};

awaitable<void> ReadInto(std::shared_ptr<Connection> c) {
  Bytes header, body;
  uint16_t type = 0;
  while (co_await ReadFrame(c->socket, header, body, &type)) {
    c->frames.emplace_back(type, body);
    c->signal.cancel();
  }
  c->closed = true;
  c->signal.cancel();
}

awaitable<std::shared_ptr<Connection>> Open(uint16_t port) {
  auto executor = co_await asio::this_coro::executor;
  auto c = std::make_shared<Connection>(executor);
  std::error_code ec;
  co_await c->socket.async_connect(Loopback(port), asio::redirect_error(asio::use_awaitable, ec));
  if (ec) co_return nullptr;
  c->socket.set_option(tcp::no_delay(true), ec);
  asio::co_spawn(executor, ReadInto(c), asio::detached);
  co_return c;
}

// The next frame within timeout_ms; false when none came in time or the
// connection ended (then `closed` is set).
awaitable<bool> NextFrame(Connection& c, int timeout_ms, uint16_t* type, Bytes* body) {
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  std::error_code ec;
  while (c.frames.empty() && !c.closed && Clock::now() < deadline) {
    c.signal.expires_at(deadline);
    co_await c.signal.async_wait(asio::redirect_error(asio::use_awaitable, ec));
  }
  if (c.frames.empty()) co_return false;
  *type = c.frames.front().first;
  *body = std::move(c.frames.front().second);
  c.frames.pop_front();
  co_return true;
}

awaitable<bool> Send(Connection& c, const Bytes& bytes) {
  std::error_code ec;
  co_await asio::async_write(c.socket, asio::buffer(bytes),
                             asio::redirect_error(asio::use_awaitable, ec));
  co_return !ec;
}

struct ProbeUser {
  int index = 0;
  bool on_dying_node = false;
  std::vector<std::string> cards;
  Bytes login;
  std::vector<Bytes> packets;  // one for each card
  std::vector<Bytes> locks;
  std::vector<bool> answered;  // since the last reset
  // Status answers other than 1 after the kill: how many, the last one,
  // the cards they came for, and when the first and the last came.
  int refused_packets = 0;
  int last_refusal = -1;
  std::vector<bool> refused_card;
  Clock::time_point first_refused, last_refused;
  int refused_logins = 0;
  int last_login_result = -1;
  // After the kill, in ms; -1: never.
  double login_ms = -1;
  double locked_ms = -1;
  double usable_ms = -1;
};

bool AllAnswered(const ProbeUser& u) {
  return std::find(u.answered.begin(), u.answered.end(), false) == u.answered.end();
}

// A card's answer marks its card.
void Note(ProbeUser& u, uint16_t type, const Bytes& body) {
  if (type != kCommPacketAckType || !IsCardAnswer(body.data(), body.size())) return;
  for (size_t k = 0; k < u.cards.size(); ++k)
    if (std::memcmp(u.cards[k].data(), body.data() + 3, kIdLength) == 0) u.answered[k] = true;
}

// Sends a request and returns the first byte of its answer of `type`; -1
// when none came in time. Card answers met on the way mark their cards.
awaitable<int> Ask(Connection& c, ProbeUser& u, const Bytes& request, uint16_t answer_type) {
  if (!co_await Send(c, request)) co_return -1;
  uint16_t type = 0;
  Bytes body;
  while (co_await NextFrame(c, kReplyTimeoutMs, &type, &body)) {
    if (type == kCommPacketAckType && IsCardAnswer(body.data(), body.size())) {
      Note(u, type, body);
    } else if (type == answer_type && !body.empty()) {
      co_return body[0];
    }
  }
  co_return -1;
}

// One pass over the cards that have not answered: a packet to each in one
// write, their status answers, and up to kAnswerWindowMs for the cards'
// answers. 1 every card has answered, 0 not yet, -1 the connection failed.
awaitable<int> ProbeCards(Connection& c, ProbeUser& u) {
  Bytes out;
  std::vector<size_t> sent;  // the cards in the order of their status answers
  for (size_t k = 0; k < u.cards.size(); ++k) {
    if (u.answered[k]) continue;
    out.insert(out.end(), u.packets[k].begin(), u.packets[k].end());
    sent.push_back(k);
  }
  if (sent.empty()) co_return 1;
  if (!co_await Send(c, out)) co_return -1;
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(kAnswerWindowMs);
  uint16_t type = 0;
  Bytes body;
  for (size_t statuses = 0; statuses < sent.size();) {
    if (!co_await NextFrame(c, kReplyTimeoutMs, &type, &body)) co_return -1;
    if (type != kCommPacketAckType) continue;
    if (IsCardAnswer(body.data(), body.size())) {
      Note(u, type, body);
    } else if (body.size() == 1) {
      const size_t k = sent[statuses++];
      if (body[0] != 1) {
        u.last_refusal = body[0];
        if (u.refused_packets++ == 0) u.first_refused = Clock::now();
        u.last_refused = Clock::now();
        u.refused_card[k] = true;
      }
    }
  }
  while (!AllAnswered(u)) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) break;
    if (!co_await NextFrame(c, static_cast<int>(left), &type, &body)) {
      if (c.closed) co_return -1;
      break;
    }
    Note(u, type, body);
  }
  co_return AllAnswered(u) ? 1 : 0;
}

// Passes until every card answered (true) or the deadline.
awaitable<bool> ProbeUntilAnswered(Connection& c, ProbeUser& u, Clock::time_point deadline) {
  std::fill(u.answered.begin(), u.answered.end(), false);
  while (Clock::now() < deadline) {
    const int r = co_await ProbeCards(c, u);
    if (r != 0) co_return r == 1;
    co_await Pause(kPollMs);
  }
  co_return false;
}

// Locks every card, trying again while a lock is refused (the card is not
// there yet, or its lock is still another's). False at the deadline or
// when the connection fails.
awaitable<bool> LockAll(Connection& c, ProbeUser& u, Clock::time_point deadline) {
  std::vector<bool> locked(u.cards.size(), false);
  while (Clock::now() < deadline) {
    bool all = true;
    for (size_t k = 0; k < u.cards.size(); ++k) {
      if (locked[k]) continue;
      const int r = co_await Ask(c, u, u.locks[k], kLockAckType);
      if (r < 0) co_return false;
      locked[k] = r == 1;
      all = all && locked[k];
    }
    if (all) co_return true;
    co_await Pause(kPollMs);
  }
  co_return false;
}

// Logs in on `port` until the login succeeds (a refusal is tried again on
// the same connection, a closed one on a new connection); the connection,
// or none at the deadline.
awaitable<std::shared_ptr<Connection>> LogIn(uint16_t port, ProbeUser& u, bool after_kill,
                                             Clock::time_point deadline) {
  std::shared_ptr<Connection> c;
  while (Clock::now() < deadline) {
    if (!c || c->closed) c = co_await Open(port);
    if (c) {
      const int r = co_await Ask(*c, u, u.login, kLoginAckType);
      if (r == 1) co_return c;
      u.last_login_result = r;
      if (after_kill) ++u.refused_logins;
    }
    co_await Pause(kPollMs);
  }
  co_return nullptr;
}

// After the kill: a user of node 2 logs in on node 1 and locks its cards
// again; then every user waits for an answer from each of its cards. The
// times it reaches go into `u`.
awaitable<void> Recover(std::shared_ptr<Connection>& c, ProbeUser& u, uint16_t other_port,
                        Clock::time_point deadline, const FailoverShared& f) {
  if (u.on_dying_node) {
    std::error_code ignored;
    c->socket.close(ignored);
    c = co_await LogIn(other_port, u, true, deadline);
    if (!c) co_return;
    u.login_ms = MsSinceKill(f);
    if (!co_await LockAll(*c, u, deadline)) co_return;
    u.locked_ms = MsSinceKill(f);
  }
  if (co_await ProbeUntilAnswered(*c, u, deadline)) u.usable_ms = MsSinceKill(f);
}

awaitable<void> FailoverUser(std::shared_ptr<ProbeUser> u, uint16_t home_port, uint16_t other_port,
                             int limit_ms, FailoverShared& f) {
  const auto setup_deadline = Clock::now() + std::chrono::seconds(60);
  std::shared_ptr<Connection> c = co_await LogIn(home_port, *u, false, setup_deadline);
  if (!c || !co_await LockAll(*c, *u, setup_deadline) ||
      !co_await ProbeUntilAnswered(*c, *u, setup_deadline)) {
    std::fprintf(stderr, "user %d: no answer from every card before the kill\n", u->index);
    ++f.failures;
    co_return;
  }
  ++f.users_ready;
  while (!f.killed && !f.stop) co_await Pause(5);
  if (f.stop) co_return;
  u->refused_packets = 0;
  u->refused_card.assign(u->cards.size(), false);
  co_await Recover(c, *u, other_port, f.kill_time + std::chrono::milliseconds(limit_ms), f);
  ++f.users_done;
  // The connection stays open (and its locks held) until the run ends.
  while (!f.stop) co_await Pause(50);
}

// "median M s, last L s" over the users of one kind; users without a time
// are counted apart.
std::string Spread(std::vector<double> ms) {
  const size_t total = ms.size();
  ms.erase(std::remove(ms.begin(), ms.end(), -1.0), ms.end());
  char text[160];
  if (ms.empty()) {
    std::snprintf(text, sizeof text, "never (all %zu)", total);
    return text;
  }
  const double median = Percentile(ms, 0.5) / 1000.0;
  const double last = *std::max_element(ms.begin(), ms.end()) / 1000.0;
  std::snprintf(text, sizeof text, "median %.2f s, last %.2f s", median, last);
  std::string s = text;
  if (ms.size() < total) s += " (" + std::to_string(total - ms.size()) + " never)";
  return s;
}

}  // namespace

int Failover(const RunConfig& run) {
  Node first, second;
  if (!StartNode(run, 0, &first) || !StartNode(run, 1, &second)) return 1;
  const int lease_s = run.lease > 0 ? run.lease : kDefaultLeaseS;
  const int limit_ms = lease_s * 1000 + 60000;
  std::vector<std::unique_ptr<asio::io_context>> loops;
  for (int i = 0; i < run.load_threads; ++i) loops.push_back(std::make_unique<asio::io_context>(1));
  FailoverShared f;
  std::vector<CardLog> logs(static_cast<size_t>(run.cards));
  const std::vector<uint16_t> ports = {second.card_port, first.card_port};
  for (int i = 0; i < run.cards; ++i)
    asio::co_spawn(*loops[static_cast<size_t>(i % run.load_threads)],
                   FallbackCard(ports, zv::bench::LoadCardId(i), f, logs[static_cast<size_t>(i)]),
                   asio::detached);
  std::vector<std::shared_ptr<ProbeUser>> users;
  for (int i = 0; i < run.users; ++i) {
    auto u = std::make_shared<ProbeUser>();
    u->index = i;
    u->on_dying_node = OnSecondNode(i, run.cross);
    u->login = LoginFrame(i);
    for (int c = i; c < run.cards; c += run.users) {
      u->cards.push_back(zv::bench::LoadCardId(c));
      u->packets.push_back(PacketFrame(u->cards.back()));
      u->locks.push_back(LockFrame(u->cards.back()));
    }
    u->answered.assign(u->cards.size(), false);
    u->refused_card.assign(u->cards.size(), false);
    users.push_back(u);
    const uint16_t home = u->on_dying_node ? second.user_port : first.user_port;
    asio::co_spawn(*loops[static_cast<size_t>(i % run.load_threads)],
                   FailoverUser(u, home, first.user_port, limit_ms, f), asio::detached);
  }
  std::vector<asio::executor_work_guard<asio::io_context::executor_type>> guards;
  std::vector<std::thread> runners;
  for (auto& loop : loops) {
    guards.push_back(asio::make_work_guard(*loop));
    runners.emplace_back([&loop] { loop->run(); });
  }
  const bool ready =
      WaitFor([&] { return f.users_ready == run.users || f.failures > 0; }, 120000) &&
      f.failures == 0;
  if (ready) {
    // Let the fleet settle (heartbeats, directory) before the node dies.
    tarvo::platform::SleepMs(1000);
    f.kill_time = Clock::now();
    KillNode(&second);
    f.killed = true;
    WaitFor([&] { return f.users_done == run.users; }, limit_ms + 5000);
  }
  f.stop = true;
  for (auto& loop : loops) loop->stop();
  for (std::thread& t : runners) t.join();
  first.process.Terminate();
  first.process.Wait(10000);
  if (!ready) {
    std::fprintf(stderr, "failover: failed before the kill (%d cards connected, %d users ready)\n",
                 f.cards_connected.load(), f.users_ready.load());
    return 1;
  }
  std::vector<double> back;
  int on_first = 0;
  for (const CardLog& l : logs) {
    back.push_back(l.back_ms);
    if (l.back_ms >= 0 && l.node == 1) ++on_first;
  }
  std::vector<double> kept_usable, moved_login, moved_locked, moved_usable;
  int refused_packets = 0, refused_cards = 0, refused_logins = 0, last_refusal = -1;
  int last_login_result = -1;
  double first_refused_ms = -1, last_refused_ms = -1;
  auto since_kill = [&](Clock::time_point t) {
    return std::chrono::duration<double, std::milli>(t - f.kill_time).count();
  };
  for (const auto& u : users) {
    refused_packets += u->refused_packets;
    refused_cards +=
        static_cast<int>(std::count(u->refused_card.begin(), u->refused_card.end(), true));
    if (u->refused_packets > 0) {
      last_refusal = u->last_refusal;
      const double first = since_kill(u->first_refused), last = since_kill(u->last_refused);
      if (first_refused_ms < 0 || first < first_refused_ms) first_refused_ms = first;
      last_refused_ms = std::max(last_refused_ms, last);
    }
    if (u->on_dying_node) {
      moved_login.push_back(u->login_ms);
      moved_locked.push_back(u->locked_ms);
      moved_usable.push_back(u->usable_ms);
      refused_logins += u->refused_logins;
      if (u->last_login_result >= 0) last_login_result = u->last_login_result;
    } else {
      kept_usable.push_back(u->usable_ms);
    }
  }
  std::printf(
      "failover: node n2 killed (SIGKILL) under %d cards and %zu of %d users; lease %d s%s\n",
      run.cards, moved_login.size(), run.users, lease_s,
      run.lease > 0 ? "" : " (zvrelayd's default)");
  std::printf("  cards connected again, %d of them to n1: %s\n", on_first, Spread(back).c_str());
  if (!kept_usable.empty())
    std::printf("  users on n1 (%zu): every card answers again after %s\n", kept_usable.size(),
                Spread(kept_usable).c_str());
  if (!moved_login.empty()) {
    std::printf("  users of n2 (%zu): logged in on n1 after %s\n", moved_login.size(),
                Spread(moved_login).c_str());
    std::printf("    every card locked again after %s\n", Spread(moved_locked).c_str());
    std::printf("    every card answers again after %s\n", Spread(moved_usable).c_str());
    std::printf("    %d logins refused meanwhile (the last answered %d)\n", refused_logins,
                last_login_result);
  }
  if (refused_packets == 0)
    std::printf("  no packet refused after the kill\n");
  else
    std::printf(
        "  %d packets for %d cards refused after the kill (the last with status %d), from %.2f s "
        "to %.2f s\n",
        refused_packets, refused_cards, last_refusal, first_refused_ms / 1000.0,
        last_refused_ms / 1000.0);
  return f.users_done == run.users ? 0 : 1;
}

}  // namespace relay_load
