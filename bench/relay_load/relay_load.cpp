// Load tool for zvrelayd with many peers at once, all driven by one Asio
// thread (coroutines), against the real program on loopback:
//   1. forwarding: C cards connected, U users each holding the locks of C/U
//      cards and sending route-1 packets to them in turn, one at a time
//      (send, status answer, card's answer); prints the request/answer
//      pairs per second over S seconds and the median and p99 latency of
//      one user -> card -> user round trip;
//   2. idle memory: a fresh server, I idle cards connected and registered;
//      prints the server's VmRSS before and after.
//
//   relay_load [--cards C] [--users U] [--seconds S] [--idle-cards I]
//              [--threads T (server event-loop threads)]
#include <algorithm>
#include <asio.hpp>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "common/wire.hpp"
#include "load_setup.hpp"
#include "platform/clock.hpp"
#include "platform/resource_limits.hpp"
#include "raw_peers.hpp"

namespace {

using asio::awaitable;
using asio::ip::tcp;
using zv::test::Bytes;
using zv::test::Concat;
using zv::test::Counted;
using zv::test::RelayFrame;
using Clock = std::chrono::steady_clock;

constexpr size_t kFrameHeader = 14;  // "ZVMSGPUB", type LE16, body length LE32

struct Shared {
  std::atomic<int> cards_registered{0};
  std::atomic<int> users_ready{0};
  std::atomic<int> failures{0};
  std::atomic<bool> measuring{false};
  std::atomic<bool> stop{false};
};

// Frames are built outside the coroutines: GCC 12 mishandles braced
// initializer lists inside coroutine bodies.
Bytes CardRegistration(const std::string& id) {
  return Concat({Bytes{6, 0}, Bytes(id.begin(), id.end())});
}
Bytes LoginFrame(int index) {
  return RelayFrame(0x0001, Concat({Counted(zv::bench::LoadUserName(index)), Counted("pw")}));
}
Bytes LockFrame(const std::string& id) {
  return RelayFrame(0x0006, Concat({Counted(id), Bytes{1}}));
}
// A route 1 envelope around a small GetVersions request, for route 1.
Bytes PacketFrame(const std::string& id) {
  const Bytes controller = {0x68, 0x32, 0xFF, 0x4B, 0x01, 0x00, 0x00};
  const Bytes envelope =
      Concat({Bytes{static_cast<uint8_t>(controller.size() + 6), 0, 1, 1, 1, 1, 1, 1}, controller});
  return RelayFrame(0x0005, Concat({Counted(id), Bytes{1}, envelope}));
}
bool IsOne(const Bytes& body) {
  return body.size() == 1 && body[0] == 1;
}

tcp::endpoint Loopback(uint16_t port) {
  return {asio::ip::address_v4::loopback(), port};
}

awaitable<bool> ReadFrame(tcp::socket& s, Bytes& header, Bytes& body, uint16_t* type) {
  std::error_code ec;
  auto token = asio::redirect_error(asio::use_awaitable, ec);
  header.resize(kFrameHeader);
  co_await asio::async_read(s, asio::buffer(header), token);
  if (ec) co_return false;
  *type = tarvo::wire::GetLe16(header.data() + 8);
  const uint32_t length = tarvo::wire::GetLe32(header.data() + 10);
  if (length > (1u << 20)) co_return false;
  body.resize(length);
  co_await asio::async_read(s, asio::buffer(body), token);
  co_return !ec;
}

// Connects a card and sends its registration.
awaitable<bool> ConnectCard(tcp::socket& s, uint16_t port, const std::string& id) {
  std::error_code ec;
  auto token = asio::redirect_error(asio::use_awaitable, ec);
  co_await s.async_connect(Loopback(port), token);
  if (ec) co_return false;
  s.set_option(tcp::no_delay(true), ec);
  const Bytes registration = CardRegistration(id);
  co_await asio::async_write(s, asio::buffer(registration), token);
  co_return !ec;
}

// A card that answers every forwarded packet with the same bytes as a reply.
awaitable<void> EchoCard(uint16_t port, std::string id, Shared& shared) {
  tcp::socket s(co_await asio::this_coro::executor);
  if (!co_await ConnectCard(s, port, id)) {
    ++shared.failures;
    co_return;
  }
  ++shared.cards_registered;
  std::error_code ec;
  auto token = asio::redirect_error(asio::use_awaitable, ec);
  uint8_t head[2];
  Bytes envelope, reply;
  while (!shared.stop) {
    co_await asio::async_read(s, asio::buffer(head), token);
    if (ec) co_return;
    const size_t length = tarvo::wire::GetLe16(head);
    if (length < 6) co_return;
    envelope.resize(length);
    co_await asio::async_read(s, asio::buffer(envelope), token);
    if (ec) co_return;
    reply.assign(head, head + 2);
    reply.insert(reply.end(), id.begin(), id.end());
    reply.insert(reply.end(), envelope.begin() + 6, envelope.end());
    co_await asio::async_write(s, asio::buffer(reply), token);
    if (ec) co_return;
  }
}

// A user that locks its cards, then forwards packets to them in turn.
awaitable<void> User(uint16_t port, int index, std::vector<std::string> cards, Shared& shared,
                     std::vector<double>& latencies_us) {
  auto executor = co_await asio::this_coro::executor;
  tcp::socket s(executor);
  std::error_code ec;
  auto token = asio::redirect_error(asio::use_awaitable, ec);
  co_await s.async_connect(Loopback(port), token);
  if (ec) {
    ++shared.failures;
    co_return;
  }
  s.set_option(tcp::no_delay(true), ec);
  Bytes header, body;
  uint16_t type = 0;
  const Bytes login =
      RelayFrame(0x0001, Concat({Counted(zv::bench::LoadUserName(index)), Counted("pw")}));
  co_await asio::async_write(s, asio::buffer(login), token);
  if (ec || !co_await ReadFrame(s, header, body, &type) || type != 0x0F01) {
    ++shared.failures;
    co_return;
  }
  asio::steady_timer timer(executor);
  for (const std::string& id : cards) {
    bool locked = false;
    for (int tries = 0; tries < 1000 && !locked; ++tries) {  // until the card has registered
      const Bytes lock = LockFrame(id);
      co_await asio::async_write(s, asio::buffer(lock), token);
      if (ec || !co_await ReadFrame(s, header, body, &type)) break;
      locked = IsOne(body);
      if (!locked) {
        timer.expires_after(std::chrono::milliseconds(20));
        co_await timer.async_wait(token);
      }
    }
    if (!locked) {
      std::fprintf(stderr, "user %d: cannot lock %s\n", index, id.c_str());
      ++shared.failures;
      co_return;
    }
  }
  std::vector<Bytes> frames;
  for (const std::string& id : cards) frames.push_back(PacketFrame(id));
  ++shared.users_ready;
  for (size_t k = 0; !shared.stop; k = (k + 1) % frames.size()) {
    const auto t0 = Clock::now();
    co_await asio::async_write(s, asio::buffer(frames[k]), token);
    bool ok = !ec && co_await ReadFrame(s, header, body, &type);
    if (ok && !IsOne(body)) {
      std::fprintf(stderr, "user %d: status type %04X, %zu bytes, first %d, iteration %zu\n", index,
                   type, body.size(), body.empty() ? -1 : body[0], k);
      ok = false;
    }
    ok = ok && co_await ReadFrame(s, header, body, &type) && !body.empty() && body[0] == 5;
    if (!ok) {
      if (!shared.stop) {
        std::fprintf(stderr, "user %d: unexpected answer (type %04X, %zu bytes, first %d)\n", index,
                     type, body.size(), body.empty() ? -1 : body[0]);
        ++shared.failures;
      }
      co_return;
    }
    if (shared.measuring)
      latencies_us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
  }
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

double Percentile(std::vector<double>& v, double p) {
  if (v.empty()) return 0;
  size_t k = static_cast<size_t>(p * static_cast<double>(v.size() - 1));
  std::nth_element(v.begin(), v.begin() + static_cast<long>(k), v.end());
  return v[k];
}

bool WaitFor(const std::function<bool()>& done, int timeout_ms) {
  const int64_t end = tarvo::platform::MonotonicMs() + timeout_ms;
  while (!done()) {
    if (tarvo::platform::MonotonicMs() > end) return false;
    tarvo::platform::SleepMs(10);
  }
  return true;
}

int Forwarding(const std::string& db, int cards, int users, int seconds, int threads) {
  zv::bench::LoadServer server;
  if (!zv::bench::StartLoadServer(db, threads, &server)) return 1;
  asio::io_context io(1);
  Shared shared;
  for (int i = 0; i < cards; ++i)
    asio::co_spawn(io, EchoCard(server.card_port, zv::bench::LoadCardId(i), shared),
                   asio::detached);
  std::vector<std::vector<double>> latencies(static_cast<size_t>(users));
  for (int u = 0; u < users; ++u) {
    std::vector<std::string> own;
    for (int c = u; c < cards; c += users) own.push_back(zv::bench::LoadCardId(c));
    asio::co_spawn(io, User(server.user_port, u, own, shared, latencies[static_cast<size_t>(u)]),
                   asio::detached);
  }
  auto guard = asio::make_work_guard(io);
  std::thread runner([&] { io.run(); });
  const bool ready =
      WaitFor([&] { return shared.users_ready == users || shared.failures > 0; }, 60000);
  double elapsed = 0;
  if (ready && shared.failures == 0) {
    tarvo::platform::SleepMs(500);  // warm up
    const auto t0 = Clock::now();
    shared.measuring = true;
    tarvo::platform::SleepMs(seconds * 1000);
    shared.measuring = false;
    elapsed = std::chrono::duration<double>(Clock::now() - t0).count();
  }
  shared.stop = true;
  const long rss = zv::bench::ServerRssKiB(db);
  io.stop();
  runner.join();
  server.process.Terminate();
  server.process.Wait(10000);
  if (!ready || shared.failures > 0) {
    std::fprintf(stderr, "forwarding: setup failed (%d cards registered, %d users ready)\n",
                 shared.cards_registered.load(), shared.users_ready.load());
    return 1;
  }
  std::vector<double> all;
  for (auto& v : latencies) all.insert(all.end(), v.begin(), v.end());
  std::printf("forwarding: %d cards, %d users, %d server threads, %zu round trips in %.1f s\n",
              cards, users, threads, all.size(), elapsed);
  std::printf("  %.0f request/answer pairs per second\n",
              static_cast<double>(all.size()) / elapsed);
  const double median = Percentile(all, 0.5), p99 = Percentile(all, 0.99);
  std::printf("  latency median %.0f us, p99 %.0f us\n", median, p99);
  std::printf("  server RSS under this load: %.1f MiB\n", static_cast<double>(rss) / 1024.0);
  return 0;
}

int IdleMemory(const std::string& db, int idle, int threads) {
  zv::bench::LoadServer server;
  if (!zv::bench::StartLoadServer(db, threads, &server)) return 1;
  tarvo::platform::SleepMs(300);
  const long before = zv::bench::ServerRssKiB(db);
  asio::io_context io(1);
  Shared shared;
  std::vector<std::vector<std::unique_ptr<tcp::socket>>> keep(16);
  for (int p = 0; p < 16; ++p)
    asio::co_spawn(io,
                   IdleCards(server.card_port, p, idle, 16, keep[static_cast<size_t>(p)], shared),
                   asio::detached);
  auto guard = asio::make_work_guard(io);
  std::thread runner([&] { io.run(); });
  const int64_t t0 = tarvo::platform::MonotonicMs();
  WaitFor([&] { return shared.cards_registered + shared.failures >= idle; }, 120000);
  const int64_t connected_ms = tarvo::platform::MonotonicMs() - t0;
  // Registration looks every card up in the database; let the server finish.
  long after = 0;
  for (int i = 0; i < 20; ++i) {
    tarvo::platform::SleepMs(500);
    const long now = zv::bench::ServerRssKiB(db);
    if (now == after) break;
    after = now;
  }
  io.stop();
  runner.join();
  server.process.Terminate();
  server.process.Wait(10000);
  std::printf(
      "idle cards: %d connected in %.1f s (%d failed); server VmRSS %.1f MiB before, "
      "%.1f MiB after (%.1f KiB per card)\n",
      shared.cards_registered.load(), static_cast<double>(connected_ms) / 1000.0,
      shared.failures.load(), static_cast<double>(before) / 1024.0,
      static_cast<double>(after) / 1024.0,
      shared.cards_registered > 0 ? static_cast<double>(after - before) / shared.cards_registered
                                  : 0.0);
  return shared.failures > 0 ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  int cards = 1000, users = 100, seconds = 10, idle = 10000, threads = 2;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string a = argv[i];
    const int v = std::atoi(argv[i + 1]);
    if (a == "--cards")
      cards = v;
    else if (a == "--users")
      users = v;
    else if (a == "--seconds")
      seconds = v;
    else if (a == "--idle-cards")
      idle = v;
    else if (a == "--threads")
      threads = v;
    else {
      std::fprintf(stderr, "unknown option %s\n", a.c_str());
      return 2;
    }
  }
  if (users < 1 || cards < users || seconds < 1 || idle < 0 || threads < 1) {
    std::fprintf(stderr, "need 1 <= users <= cards, seconds >= 1, threads >= 1\n");
    return 2;
  }
  // Both this program and zvrelayd (which inherits the limit) hold one
  // descriptor per card, plus a few hundred of their own.
  const long wanted = std::max(cards + users, idle) + 512;
  const long limit = tarvo::platform::RaiseOpenFileLimit(wanted);
  if (limit < wanted) {
    std::fprintf(stderr, "open-file limit %ld is below the %ld needed\n", limit, wanted);
    return 1;
  }
  std::filesystem::path folder = std::filesystem::temp_directory_path() /
                                 ("relay-load-" + std::to_string(tarvo::platform::MonotonicMs()));
  std::filesystem::create_directories(folder);
  const std::string db = (folder / "ZvServer.mdb").string();
  int rc = 1;
  if (zv::bench::SeedLoadDatabase(db, users, std::max(cards, idle))) {
    rc = Forwarding(db, cards, users, seconds, threads);
    if (idle > 0) rc |= IdleMemory(db, idle, threads);
  } else {
    std::fprintf(stderr, "cannot create %s\n", db.c_str());
  }
  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
  return rc;
}
