// Load tool for zvrelayd with many peers at once, driven by Asio coroutines,
// against the real program on loopback. With C cards connected and U users
// each holding the locks of C/U cards it measures, each on a fresh server:
//   1. one packet outstanding per user (how the maintenance tool talks):
//      request/answer pairs per second and the round-trip latency;
//   2. a window of W packets outstanding per user, each to another of its
//      cards: the most pairs per second the server forwards;
//   3. an offered rate of R pairs per second spread over every user, sent on
//      a schedule whatever the answers do (latency counts from the scheduled
//      time, so a stalled server cannot hide its queue): the latency at a
//      known load;
// and then, on a fresh server, I idle cards connected and registered with the
// server's VmRSS before and after.
//
// With --nodes N several zvrelayd processes serve one PostgreSQL database as
// one fleet: the cards connect to node 1, the --cross fraction of the users to
// node 2 and the rest to node 1, and each run reports the users that reach
// their cards on the same node apart from those that reach them across nodes.
// --only failover kills a node under its cards and users (failover.cpp).
//
//   relay_load [--cards C] [--users U] [--seconds S] [--window W] [--rate R]
//              [--idle-cards I] [--idle-parallel P] [--threads T (server event-loop threads)]
//              [--db postgresql://... (an empty database) | postgresql (a PostgreSQL
//                server of this tool's own; the default with several nodes; with one a
//                fresh SQLite file)]
//              [--nodes N] [--cross F (the fraction of users on node 2)]
//              [--lease S (zvrelayd's --lease)]
//              [--load-threads N (this tool's threads)]
//              [--only one|window|rate|idle|failover]
//              [--server zvrelayd_floor (the bare forwarder, for comparison)]
#include <unistd.h>

#include <algorithm>
#include <asio.hpp>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "common/wire.hpp"
#include "load_setup.hpp"
#include "platform/clock.hpp"
#include "platform/resource_limits.hpp"
#include "relay/server/account_db.hpp"
#include "relay_peers.hpp"
#include "scratch_postgres.hpp"

namespace {

using namespace relay_load;

// How the users send: a window of outstanding packets, or on a schedule.
struct LoadShape {
  int window = 1;
  double rate = 0;  // pairs per second over all users; 0: as fast as answers come
  int users = 1;
};

// A card that answers every forwarded packet with the same bytes.
awaitable<void> EchoCard(uint16_t port, std::string id, Shared& shared) {
  tcp::socket s(co_await asio::this_coro::executor);
  if (!co_await ConnectCard(s, port, id)) {
    ++shared.failures;
    co_return;
  }
  ++shared.cards_registered;
  if (!co_await EchoPackets(s, id, shared.stop)) ++shared.failures;
}

// One user's connection, its cards and what it has in flight. The reader
// and the writer coroutine share it on one thread.
struct UserState {
  explicit UserState(const asio::any_io_executor& executor) : socket(executor), wake(executor) {}
  tcp::socket socket;
  asio::steady_timer wake;  // the writer waits here for a slot or its next time
  std::vector<std::string> cards;
  std::vector<Bytes> frames;             // the packet frame of each card
  std::vector<Clock::time_point> since;  // when each card's packet counts from
  std::deque<size_t> free_cards;         // cards without a packet in flight
  int outstanding = 0;
  int statuses_due = 0;  // status answers still expected
  bool writer_waiting = false;
  bool second_node = false;  // connected to node 2 (its cards are on node 1)
  std::vector<double> latencies_us;
};

// Connects, logs in and locks the user's cards.
awaitable<bool> Setup(UserState& u, uint16_t port, int index) {
  std::error_code ec;
  auto token = asio::redirect_error(asio::use_awaitable, ec);
  co_await u.socket.async_connect(Loopback(port), token);
  if (ec) co_return false;
  u.socket.set_option(tcp::no_delay(true), ec);
  Bytes header, body;
  uint16_t type = 0;
  const Bytes login = LoginFrame(index);
  co_await asio::async_write(u.socket, asio::buffer(login), token);
  if (ec || !co_await ReadFrame(u.socket, header, body, &type) || type != kLoginAckType ||
      body.empty() || body[0] != 1) {
    std::fprintf(stderr, "user %d: login refused (%d)\n", index, body.empty() ? -1 : body[0]);
    co_return false;
  }
  asio::steady_timer timer(u.socket.get_executor());
  for (const std::string& id : u.cards) {
    bool locked = false;
    for (int tries = 0; tries < 1000 && !locked; ++tries) {  // until the card has registered
      const Bytes lock = LockFrame(id);
      co_await asio::async_write(u.socket, asio::buffer(lock), token);
      if (ec || !co_await ReadFrame(u.socket, header, body, &type)) break;
      locked = IsOne(body.data(), body.size());
      if (!locked) {
        timer.expires_after(std::chrono::milliseconds(20));
        co_await timer.async_wait(token);
      }
    }
    if (!locked) {
      std::fprintf(stderr, "user %d: cannot lock %s\n", index, id.c_str());
      co_return false;
    }
  }
  co_return true;
}

// Takes every whole frame the user has received: status answers are checked,
// card answers end a round trip and free their card for the writer.
awaitable<void> UserReader(UserState& u, int index, Shared& shared) {
  std::error_code ec;
  auto token = asio::redirect_error(asio::use_awaitable, ec);
  StreamBuffer in;
  while (!shared.stop) {
    const size_t n =
        co_await u.socket.async_read_some(asio::buffer(in.Space(), in.SpaceSize()), token);
    if (ec) break;
    in.Added(n);
    bool freed = false;
    const Clock::time_point now = Clock::now();
    while (in.Size() >= kFrameHeader) {
      const uint8_t* frame = in.Front();
      const uint16_t type = tarvo::wire::GetLe16(frame + 8);
      const uint32_t length = tarvo::wire::GetLe32(frame + 10);
      if (length > (1u << 20)) {
        ec = asio::error::message_size;
        break;
      }
      if (in.Size() < kFrameHeader + length) break;
      const uint8_t* body = frame + kFrameHeader;
      if (type != kCommPacketAckType || length < 1) {
        ec = asio::error::invalid_argument;
        break;
      }
      if (body[0] == 5 && length >= 3 + kIdLength) {
        // The card's frame: [length][DeviceID][packet].
        size_t k = 0;
        while (k < u.cards.size() && std::memcmp(u.cards[k].data(), body + 3, kIdLength) != 0) ++k;
        if (k == u.cards.size()) {
          ec = asio::error::invalid_argument;
          break;
        }
        if (shared.measuring)
          u.latencies_us.push_back(
              std::chrono::duration<double, std::micro>(now - u.since[k]).count());
        u.free_cards.push_back(k);
        --u.outstanding;
        freed = true;
      } else if (IsOne(body, length) && u.statuses_due > 0) {
        --u.statuses_due;
      } else {
        std::fprintf(stderr, "user %d: status %d (%u bytes) instead of 1\n", index, body[0],
                     length);
        ec = asio::error::invalid_argument;
        break;
      }
      in.Consume(kFrameHeader + length);
    }
    if (ec) break;
    if (freed && u.writer_waiting) u.wake.cancel();
  }
  if (!shared.stop) {
    std::fprintf(stderr, "user %d: connection failed: %s\n", index, ec.message().c_str());
    ++shared.failures;
  }
}

// Sends packets while the window has room (and, on a schedule, when they are
// due), every packet that can go at one moment in one write.
awaitable<void> UserWriter(UserState& u, LoadShape shape, int index, Shared& shared) {
  std::error_code ec;
  auto token = asio::redirect_error(asio::use_awaitable, ec);
  const auto interval = shape.rate > 0
                            ? std::chrono::duration_cast<Clock::duration>(
                                  std::chrono::duration<double>(shape.users / shape.rate))
                            : Clock::duration::zero();
  // Users start spread over one interval so that their packets do not bunch.
  Clock::time_point next = Clock::now() + interval * index / shape.users;
  std::deque<Clock::time_point> due;
  Bytes out;
  while (!shared.stop) {
    const Clock::time_point now = Clock::now();
    if (shape.rate > 0) {
      for (; next <= now; next += interval) due.push_back(next);
    }
    out.clear();
    while (u.outstanding < shape.window && !u.free_cards.empty() &&
           (shape.rate == 0 || !due.empty())) {
      const size_t k = u.free_cards.front();
      u.free_cards.pop_front();
      if (shape.rate > 0) {
        u.since[k] = due.front();
        due.pop_front();
      } else {
        u.since[k] = now;
      }
      out.insert(out.end(), u.frames[k].begin(), u.frames[k].end());
      ++u.outstanding;
      ++u.statuses_due;
    }
    if (!out.empty()) {
      co_await asio::async_write(u.socket, asio::buffer(out), token);
      if (ec) co_return;
      continue;  // answers may have freed cards meanwhile
    }
    u.wake.expires_at(shape.rate > 0 && due.empty() ? next : Clock::time_point::max());
    u.writer_waiting = true;
    co_await u.wake.async_wait(token);
    u.writer_waiting = false;
  }
}

awaitable<void> User(std::shared_ptr<UserState> u, uint16_t port, int index, LoadShape shape,
                     Shared& shared) {
  if (!co_await Setup(*u, port, index)) {
    ++shared.failures;
    co_return;
  }
  for (size_t k = 0; k < u->cards.size(); ++k) {
    u->frames.push_back(PacketFrame(u->cards[k]));
    u->free_cards.push_back(k);
  }
  u->since.resize(u->cards.size());
  ++shared.users_ready;
  auto executor = co_await asio::this_coro::executor;
  asio::co_spawn(executor, UserReader(*u, index, shared), asio::detached);
  co_await UserWriter(*u, shape, index, shared);
}

// Idle cards: connect and register `count` cards, `parallel` at a time so
// that the server's accept backlog is not flooded, and keep them open.
awaitable<void> IdleCards(uint16_t port, int first, int count, int step,
                          std::vector<std::unique_ptr<tcp::socket>>& keep, Shared& shared) {
  auto executor = co_await asio::this_coro::executor;
  for (int i = first; i < count; i += step) {
    auto s = std::make_unique<tcp::socket>(executor);
    if (!co_await ConnectCard(*s, port, zv::bench::LoadCardId(i))) {
      ++shared.failures;
      continue;
    }
    ++shared.cards_registered;
    keep.push_back(std::move(s));
  }
}

// Pairs per second and latency of a group of users.
void PrintGroup(const char* name, const std::vector<std::shared_ptr<UserState>>& users,
                bool second_node, double elapsed) {
  std::vector<double> all;
  int count = 0;
  for (const auto& u : users) {
    if (u->second_node != second_node) continue;
    ++count;
    all.insert(all.end(), u->latencies_us.begin(), u->latencies_us.end());
  }
  if (count == 0) return;
  const double pairs = static_cast<double>(all.size()) / elapsed;
  const double median = Percentile(all, 0.5), p99 = Percentile(all, 0.99);
  std::printf(
      "  %s: %d users, %.0f pairs per second (%.0f per user), median %.0f us, p99 %.0f us\n", name,
      count, pairs, pairs / count, median, p99);
}

// One forwarding run on fresh servers; prints its figures.
int Forwarding(const RunConfig& run, const char* title, LoadShape shape) {
  std::vector<std::unique_ptr<Node>> nodes;
  for (int i = 0; i < run.nodes; ++i) {
    nodes.push_back(std::make_unique<Node>());
    if (!StartNode(run, i, nodes.back().get())) return 1;
  }
  std::vector<std::unique_ptr<asio::io_context>> loops;
  for (int i = 0; i < run.load_threads; ++i) loops.push_back(std::make_unique<asio::io_context>(1));
  Shared shared;
  for (int i = 0; i < run.cards; ++i)
    asio::co_spawn(*loops[static_cast<size_t>(i % run.load_threads)],
                   EchoCard(nodes[0]->card_port, zv::bench::LoadCardId(i), shared), asio::detached);
  std::vector<std::shared_ptr<UserState>> users;
  for (int u = 0; u < run.users; ++u) {
    asio::io_context& loop = *loops[static_cast<size_t>(u % run.load_threads)];
    auto state = std::make_shared<UserState>(loop.get_executor());
    for (int c = u; c < run.cards; c += run.users) state->cards.push_back(zv::bench::LoadCardId(c));
    state->second_node = run.nodes > 1 && OnSecondNode(u, run.cross);
    users.push_back(state);
    const uint16_t port = nodes[state->second_node ? 1 : 0]->user_port;
    asio::co_spawn(loop, User(state, port, u, shape, shared), asio::detached);
  }
  std::vector<asio::executor_work_guard<asio::io_context::executor_type>> guards;
  std::vector<std::thread> runners;
  for (auto& loop : loops) {
    guards.push_back(asio::make_work_guard(*loop));
    runners.emplace_back([&loop] { loop->run(); });
  }
  const bool ready =
      WaitFor([&] { return shared.users_ready == run.users || shared.failures > 0; }, 60000);
  double elapsed = 0, server_cpu = 0, own_cpu = 0, db_cpu = 0;
  if (ready && shared.failures == 0) {
    tarvo::platform::SleepMs(500);  // warm up
    auto servers_cpu = [&] {
      double sum = 0;
      for (const auto& n : nodes) sum += zv::bench::ProcessCpuSeconds(n->process.Pid());
      return sum;
    };
    const double cpu0 = servers_cpu();
    const double own0 = zv::bench::ProcessCpuSeconds(getpid());
    const double db0 = run.db_pid > 0 ? TreeCpuSeconds(run.db_pid) : 0;
    const auto t0 = Clock::now();
    shared.measuring = true;
    tarvo::platform::SleepMs(run.seconds * 1000);
    shared.measuring = false;
    elapsed = std::chrono::duration<double>(Clock::now() - t0).count();
    server_cpu = servers_cpu() - cpu0;
    own_cpu = zv::bench::ProcessCpuSeconds(getpid()) - own0;
    if (run.db_pid > 0) db_cpu = TreeCpuSeconds(run.db_pid) - db0;
  }
  shared.stop = true;
  long rss = 0;
  for (const auto& n : nodes) rss += RssKiB(n->process.Pid());
  for (auto& loop : loops) loop->stop();
  for (std::thread& t : runners) t.join();
  for (const auto& n : nodes) n->process.Terminate();
  for (const auto& n : nodes) n->process.Wait(10000);
  if (!ready || shared.failures > 0) {
    std::fprintf(stderr, "%s: failed (%d cards registered, %d users ready, %d failures)\n", title,
                 shared.cards_registered.load(), shared.users_ready.load(), shared.failures.load());
    return 1;
  }
  std::vector<double> all;
  for (auto& u : users) all.insert(all.end(), u->latencies_us.begin(), u->latencies_us.end());
  const double pairs = static_cast<double>(all.size()) / elapsed;
  std::printf("%s\n", title);
  // The bare forwarder always runs one loop, whatever --threads says.
  const int server_loops = run.server == "zvrelayd" ? run.threads : 1;
  std::printf(
      "  %s, %d node(s), %d cards, %d users, %d server loops, %d load threads: %zu round trips in "
      "%.1f s\n",
      run.server.c_str(), run.nodes, run.cards, run.users, server_loops, run.load_threads,
      all.size(), elapsed);
  if (shape.rate > 0)
    std::printf("  offered %.0f, answered %.0f request/answer pairs per second\n", shape.rate,
                pairs);
  else
    std::printf("  %.0f request/answer pairs per second\n", pairs);
  const double median = Percentile(all, 0.5), p90 = Percentile(all, 0.9),
               p99 = Percentile(all, 0.99), p999 = Percentile(all, 0.999);
  std::printf("  latency median %.0f us, p99 %.0f us (p90 %.0f us, p99.9 %.0f us)\n", median, p99,
              p90, p999);
  if (run.nodes > 1) {
    PrintGroup("same node (users and cards on n1)", users, false, elapsed);
    PrintGroup("across nodes (users on n2, cards on n1)", users, true, elapsed);
  }
  if (pairs > 0) {
    std::printf("  CPU per pair: servers %.1f us, this tool %.1f us",
                server_cpu * 1e6 / (pairs * elapsed), own_cpu * 1e6 / (pairs * elapsed));
    if (run.db_pid > 0) std::printf(", PostgreSQL %.1f us", db_cpu * 1e6 / (pairs * elapsed));
    std::printf("; servers' RSS %.1f MiB\n", static_cast<double>(rss) / 1024.0);
  }
  return 0;
}

// Cards the account database shows online (-1 when it cannot be read).
long CardsOnline(const std::string& db) {
  zv::CAccountDb accounts(db);
  std::unique_ptr<zv::CRecordset> rs = accounts.OpenRecordset(
      zv::CSqlStatement{"SELECT count(*) AS v FROM [Card] WHERE OnLine = 1", {}});
  int32_t v = -1;
  if (!rs || rs->IsEOF() || !rs->GetInt("v", v)) return -1;
  return v;
}

// The kernel's count of connections dropped because a listen queue was full.
long ListenOverflows() {
  std::ifstream in("/proc/net/netstat");
  std::string names, values;
  while (std::getline(in, names) && std::getline(in, values)) {
    if (names.rfind("TcpExt:", 0) != 0) continue;
    std::istringstream n(names), v(values);
    std::string name, value;
    while (n >> name && v >> value)
      if (name == "ListenOverflows") return std::atol(value.c_str());
  }
  return -1;
}

int IdleMemory(const RunConfig& run, int idle) {
  zv::bench::LoadServer server;
  if (!zv::bench::StartLoadServer(run.db, run.threads, &server)) return 1;
  tarvo::platform::SleepMs(300);
  const long before = zv::bench::ServerRssKiB(run.db);
  asio::io_context io(1);
  Shared shared;
  const int parallel = std::max(1, std::min(run.idle_parallel, idle));
  std::vector<std::vector<std::unique_ptr<tcp::socket>>> keep(static_cast<size_t>(parallel));
  const long overflows_before = ListenOverflows();
  for (int p = 0; p < parallel; ++p)
    asio::co_spawn(
        io, IdleCards(server.card_port, p, idle, parallel, keep[static_cast<size_t>(p)], shared),
        asio::detached);
  auto guard = asio::make_work_guard(io);
  std::thread runner([&] { io.run(); });
  const int64_t t0 = tarvo::platform::MonotonicMs();
  WaitFor([&] { return shared.cards_registered + shared.failures >= idle; }, 120000);
  const int64_t connected_ms = tarvo::platform::MonotonicMs() - t0;
  // Registered means online in the account database, as a user sees it.
  WaitFor([&] { return CardsOnline(run.db) >= shared.cards_registered; }, 120000);
  const int64_t online_ms = tarvo::platform::MonotonicMs() - t0;
  const long overflows = ListenOverflows() - overflows_before;
  // Registration looks every card up in the database; let the server finish.
  long after = 0;
  for (int i = 0; i < 20; ++i) {
    tarvo::platform::SleepMs(500);
    const long now = zv::bench::ServerRssKiB(run.db);
    if (now == after) break;
    after = now;
  }
  io.stop();
  runner.join();
  server.process.Terminate();
  server.process.Wait(10000);
  std::printf(
      "idle cards: %d connected in %.1f s, %d at a time (%d failed), all online in the account "
      "database after %.1f s, %ld listen queue overflows; server VmRSS %.1f MiB before, "
      "%.1f MiB after (%.1f KiB per card)\n",
      shared.cards_registered.load(), static_cast<double>(connected_ms) / 1000.0, parallel,
      shared.failures.load(), static_cast<double>(online_ms) / 1000.0, overflows,
      static_cast<double>(before) / 1024.0, static_cast<double>(after) / 1024.0,
      shared.cards_registered > 0 ? static_cast<double>(after - before) / shared.cards_registered
                                  : 0.0);
  return shared.failures > 0 ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  // Each figure shows as its run ends, also through a pipe.
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  RunConfig run;
  int idle = 10000, window = 0;
  double rate = 10000;
  std::string only, db_uri;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string a = argv[i];
    const int v = std::atoi(argv[i + 1]);
    if (a == "--cards")
      run.cards = v;
    else if (a == "--users")
      run.users = v;
    else if (a == "--seconds")
      run.seconds = v;
    else if (a == "--idle-cards")
      idle = v;
    else if (a == "--idle-parallel")
      run.idle_parallel = v;
    else if (a == "--threads")
      run.threads = v;
    else if (a == "--load-threads")
      run.load_threads = v;
    else if (a == "--window")
      window = v;
    else if (a == "--rate")
      rate = std::atof(argv[i + 1]);
    else if (a == "--only")
      only = argv[i + 1];
    else if (a == "--server")
      run.server = argv[i + 1];
    else if (a == "--db")
      db_uri = argv[i + 1];
    else if (a == "--nodes")
      run.nodes = v;
    else if (a == "--cross")
      run.cross = std::atof(argv[i + 1]);
    else if (a == "--lease")
      run.lease = v;
    else {
      std::fprintf(stderr, "unknown option %s\n", a.c_str());
      return 2;
    }
  }
  if (run.users < 1 || run.cards < run.users || run.seconds < 1 || idle < 0 || run.threads < 1 ||
      run.load_threads < 1 || window < 0 || rate < 0 || run.nodes < 1 || run.cross < 0 ||
      run.cross > 1 || run.lease < 0) {
    std::fprintf(stderr,
                 "need 1 <= users <= cards, seconds >= 1, threads >= 1, window >= 0, rate >= 0, "
                 "nodes >= 1, 0 <= cross <= 1, lease >= 0\n");
    return 2;
  }
  if (!only.empty() && only != "one" && only != "window" && only != "rate" && only != "idle" &&
      only != "failover") {
    std::fprintf(stderr, "--only takes one, window, rate, idle or failover\n");
    return 2;
  }
  // A node dies under the other: there are two.
  if (only == "failover") run.nodes = 2;
  if (run.nodes > 1 && run.server != "zvrelayd") {
    std::fprintf(stderr, "only zvrelayd forms a fleet of several nodes\n");
    return 2;
  }
  const bool all = only.empty();
  if (!all && only != "idle") idle = 0;
  // Every user's cards may all be in flight at once.
  const int per_user = run.cards / run.users;
  if (window == 0 || window > per_user) window = per_user;
  // Both this program and zvrelayd (which inherits the limit) hold one
  // descriptor per card, plus a few hundred of their own.
  const long wanted = std::max(run.cards + run.users, idle) + 512;
  const long limit = tarvo::platform::RaiseOpenFileLimit(wanted);
  if (limit < wanted) {
    std::fprintf(stderr, "open-file limit %ld is below the %ld needed\n", limit, wanted);
    return 1;
  }
  std::filesystem::path folder = std::filesystem::temp_directory_path() /
                                 ("relay-load-" + std::to_string(tarvo::platform::MonotonicMs()));
  std::filesystem::create_directories(folder);
  // An empty PostgreSQL database when given (a URI); else a fresh SQLite file
  // for one node, and for a fleet (or "--db postgresql") a PostgreSQL server
  // of this run's own.
  zv::bench::ScratchPostgres scratch;
  run.db = db_uri == "postgresql" ? std::string() : db_uri;
  if (db_uri.empty() && run.nodes == 1) run.db = (folder / "ZvServer.mdb").string();
  if (run.db.empty()) {
    std::string problem;
    run.db = scratch.Start("zv_load", &problem);
    if (run.db.empty()) {
      std::fprintf(stderr, "cannot start PostgreSQL: %s\n", problem.c_str());
      return 1;
    }
    run.db_pid = scratch.ServerPid();
  }
  int rc = 1;
  if (zv::bench::SeedLoadDatabase(run.db, run.users, std::max(run.cards, idle))) {
    rc = 0;
    if (all || only == "one")
      rc |= Forwarding(run, "forwarding, one packet outstanding per user", {1, 0, run.users});
    if (all || only == "window") {
      const std::string title =
          "forwarding, up to " + std::to_string(window) + " packets outstanding per user";
      rc |= Forwarding(run, title.c_str(), {window, 0, run.users});
    }
    if ((all || only == "rate") && rate > 0) {
      const std::string title = "forwarding at an offered rate of " +
                                std::to_string(static_cast<long>(rate)) + " pairs per second";
      rc |= Forwarding(run, title.c_str(), {per_user, rate, run.users});
    }
    if ((all || only == "idle") && idle > 0) rc |= IdleMemory(run, idle);
    if (only == "failover") rc |= Failover(run);
  } else {
    std::fprintf(stderr, "cannot create %s\n", run.db.c_str());
  }
  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
  return rc;
}
