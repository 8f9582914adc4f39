// Load tool for zvrelayd: starts the real program on a fresh database, then
//   1. runs P user/card pairs, each user forwarding packets to its own echo
//      card and waiting for the answer, for S seconds, and prints the
//      forwarded request/answer pairs per second with the median and p99
//      latency of one round trip;
//   2. connects C idle cards and prints the server's resident memory before
//      and after, and per card.
//
//   zvrelay_load [--pairs P] [--seconds S] [--idle-cards C] [--threads T]
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "load_setup.hpp"
#include "platform/child_process.hpp"
#include "platform/clock.hpp"
#include "platform/process.hpp"
#include "raw_peers.hpp"

using zv::test::Bytes;
using zv::test::Concat;
using zv::test::Counted;
using zv::test::RawPeer;
using zv::test::RelayFrame;

namespace {

using zv::bench::LoadCardId;
using zv::bench::ServerRssKiB;

std::string CardId(int i) {
  return LoadCardId(i);
}

// A card that answers every forwarded packet with the same bytes as a reply.
void EchoCard(uint16_t port, const std::string& id, std::atomic<bool>* stop) {
  RawPeer card;
  if (!card.Connect(port)) return;
  card.Send(Concat({Bytes{6, 0}, Bytes(id.begin(), id.end())}));
  while (!*stop) {
    Bytes head = card.ReadExact(8, 200);
    if (head.size() != 8) continue;
    size_t n = static_cast<size_t>(head[0] | (head[1] << 8)) - 6;
    Bytes packet = card.ReadExact(n, 2000);
    if (packet.size() != n) return;
    Bytes reply = {static_cast<uint8_t>(n + 6), static_cast<uint8_t>((n + 6) >> 8)};
    reply.insert(reply.end(), id.begin(), id.end());
    reply.insert(reply.end(), packet.begin(), packet.end());
    card.Send(reply);
  }
}

void User(uint16_t port, int index, int seconds, std::vector<double>* latencies_us) {
  RawPeer user;
  if (!user.Connect(port)) return;
  user.Send(RelayFrame(0x0001, Concat({Counted("user" + std::to_string(index)), Counted("pw")})));
  if (user.ReadFrame().type != 0x0F01) return;
  const std::string id = CardId(index);
  for (int tries = 0; tries < 500; ++tries) {  // until the card has registered
    user.Send(RelayFrame(0x0006, Concat({Counted(id), Bytes{1}})));
    zv::test::Frame ack = user.ReadFrame();
    if (ack.body == Bytes{1}) break;
    tarvo::platform::SleepMs(10);
  }
  // A route 1 envelope: [len + 6][01 x 6][controller packet].
  const Bytes controller = {0x68, 0x32, 0x01, 0x00, 0x05, 0x00, 0x00,
                            0x00, 0x00, 0x00, 0x00, 0xA0, 0x00};
  const Bytes packet =
      Concat({Bytes{static_cast<uint8_t>(controller.size() + 6), 0, 1, 1, 1, 1, 1, 1}, controller});
  const Bytes frame = RelayFrame(0x0005, Concat({Counted(id), Bytes{1}, packet}));
  auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (std::chrono::steady_clock::now() < end) {
    auto t0 = std::chrono::steady_clock::now();
    user.Send(frame);
    zv::test::Frame status = user.ReadFrame();
    zv::test::Frame answer = user.ReadFrame();
    if (status.body != Bytes{1} || answer.body.size() < 2 || answer.body[0] != 5) {
      std::fprintf(stderr, "user %d: unexpected answer (status %zu bytes, answer %zu bytes)\n",
                   index, status.body.size(), answer.body.size());
      return;
    }
    latencies_us->push_back(
        std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - t0).count());
  }
}

double Percentile(std::vector<double>& v, double p) {
  if (v.empty()) return 0;
  size_t k = static_cast<size_t>(p * static_cast<double>(v.size() - 1));
  std::nth_element(v.begin(), v.begin() + static_cast<long>(k), v.end());
  return v[k];
}

}  // namespace

int main(int argc, char** argv) {
  int pairs = 16, seconds = 5, idle = 10000, threads = 4;
  for (int i = 1; i + 1 < argc; i += 2) {
    std::string a = argv[i];
    int v = std::atoi(argv[i + 1]);
    if (a == "--pairs")
      pairs = v;
    else if (a == "--seconds")
      seconds = v;
    else if (a == "--idle-cards")
      idle = v;
    else if (a == "--threads")
      threads = v;
  }
  std::filesystem::path folder = std::filesystem::temp_directory_path() /
                                 ("zvrelay-load-" + std::to_string(tarvo::platform::MonotonicMs()));
  std::filesystem::create_directories(folder);
  const std::string db = (folder / "ZvServer.mdb").string();
  if (!zv::bench::SeedLoadDatabase(db, pairs, pairs + idle)) {
    std::fprintf(stderr, "cannot create %s\n", db.c_str());
    return 1;
  }
  zv::bench::LoadServer loaded;
  if (!zv::bench::StartLoadServer(db, threads, &loaded)) return 1;
  tarvo::platform::ChildProcess& server = loaded.process;
  const uint16_t user_port = loaded.user_port;
  const uint16_t card_port = loaded.card_port;

  std::atomic<bool> stop{false};
  std::vector<std::thread> cards;
  for (int i = 0; i < pairs; ++i) cards.emplace_back(EchoCard, card_port, CardId(i), &stop);
  std::vector<std::vector<double>> per_user(static_cast<size_t>(pairs));
  std::vector<std::thread> users;
  auto t0 = std::chrono::steady_clock::now();
  for (int i = 0; i < pairs; ++i) users.emplace_back(User, user_port, i, seconds, &per_user[i]);
  for (auto& t : users) t.join();
  double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  stop = true;
  for (auto& t : cards) t.join();
  std::vector<double> all;
  for (auto& v : per_user) all.insert(all.end(), v.begin(), v.end());
  std::printf("forwarding: %d pairs, %d server threads, %zu round trips in %.1f s\n", pairs,
              threads, all.size(), elapsed);
  std::printf("  %.0f request/answer pairs per second\n",
              static_cast<double>(all.size()) / elapsed);
  double median = Percentile(all, 0.5), p99 = Percentile(all, 0.99);
  std::printf("  latency median %.0f us, p99 %.0f us\n", median, p99);

  long before = ServerRssKiB(db);
  std::vector<std::unique_ptr<RawPeer>> idle_cards;
  for (int i = 0; i < idle; ++i) {
    auto card = std::make_unique<RawPeer>();
    if (!card->Connect(card_port)) break;
    std::string id = CardId(pairs + i);
    card->Send(Concat({Bytes{6, 0}, Bytes(id.begin(), id.end())}));
    idle_cards.push_back(std::move(card));
  }
  tarvo::platform::SleepMs(3000);  // registration reads the database per card
  long after = ServerRssKiB(db);
  std::printf(
      "idle cards: %zu connected; server RSS %ld KiB before, %ld KiB after (%.1f KiB per card)\n",
      idle_cards.size(), before, after,
      idle_cards.empty()
          ? 0.0
          : static_cast<double>(after - before) / static_cast<double>(idle_cards.size()));
  idle_cards.clear();
  server.Terminate();
  server.Wait(10000);
  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
  return 0;
}
