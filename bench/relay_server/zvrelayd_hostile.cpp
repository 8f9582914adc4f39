// What hostile peers cost the real zvrelayd program, with its production
// settings: its memory after 200 connections each send a 1 MiB body before
// a login and close; how many password guesses one address gets through in
// a few seconds, and how long another user's login takes meanwhile; and what
// a flood of UDP registrations for unknown Device IDs writes to the log.
//
//   zvrelayd_hostile [SECONDS]   (the guessing and flood phases, default 5)
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "load_setup.hpp"
#include "platform/clock.hpp"
#include "platform/process.hpp"
#include "platform/socket.hpp"
#include "raw_peers.hpp"

namespace {

using zv::test::Bytes;
using zv::test::RawPeer;

long Lines(const std::string& path) {
  std::ifstream in(path);
  long n = 0;
  for (std::string line; std::getline(in, line);) ++n;
  return n;
}

}  // namespace

int main(int argc, char** argv) {
  const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  const auto folder = std::filesystem::temp_directory_path() /
                      ("zvrelayd-hostile-" + std::to_string(tarvo::platform::MonotonicMs()));
  std::filesystem::create_directories(folder);
  const std::string db = (folder / "ZvServer.mdb").string();
  const std::string log = (folder / "zvrelayd.log").string();
  if (!zv::bench::SeedLoadDatabase(db, 2, 2)) return 1;
  zv::bench::LoadServer server;
  if (!server.process.Start(tarvo::platform::ExecutableDir() + "zvrelayd",
                            {"--db", db, "--bind", "127.0.0.1", "--user-port", "0", "--card-port",
                             "0", "--log", log, "--max-per-address", "250"})) {
    std::fprintf(stderr, "cannot start zvrelayd\n");
    return 1;
  }
  std::string users, cards;
  if (!server.process.ReadLine(&users, 10000) || !server.process.ReadLine(&cards, 10000)) return 1;
  server.user_port = static_cast<uint16_t>(std::stoi(users.substr(6)));
  server.card_port = static_cast<uint16_t>(std::stoi(cards.substr(6)));
  const int pid = server.process.Pid();
  auto rss = [&] {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
      if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    return -1L;
  };

  // 1. Large bodies before a login.
  const long rss_start = rss();
  const Bytes big = zv::test::PacketFrame("C00000", 1, Bytes(1024 * 1024 - 64, 0x68));
  {
    std::vector<RawPeer> peers(200);
    for (RawPeer& p : peers) {
      if (!p.Connect(server.user_port)) return 1;
      p.Send(big);
    }
    int closed = 0;
    for (RawPeer& p : peers) closed += p.ClosedWithin(5000) ? 1 : 0;
    std::printf("prelogin: 200 connections sent 1 MiB each, %d closed by the server\n", closed);
  }
  tarvo::platform::SleepMs(200);
  std::printf("prelogin: RSS %ld KiB at start, %ld KiB after they closed\n", rss_start, rss());

  // 2. Password guessing from one address, on 8 connections at once.
  {
    std::vector<RawPeer> guessers(8);
    for (RawPeer& g : guessers)
      if (!g.Connect(server.user_port)) return 1;
    const int64_t end = tarvo::platform::MonotonicMs() + seconds * 1000L;
    long answered = 0;
    while (tarvo::platform::MonotonicMs() < end) {
      for (RawPeer& g : guessers) g.Send(zv::test::LoginFrame("user0", "guess"));
      for (RawPeer& g : guessers)
        if (g.ReadFrame(seconds * 1000).type == 0x0F01) ++answered;
    }
    std::printf("guessing: %ld guesses answered in %d s from one address (%.1f/s)\n", answered,
                seconds, static_cast<double>(answered) / seconds);
    RawPeer other;
    const int64_t t0 = tarvo::platform::MonotonicMs();
    if (other.ConnectFrom("127.0.0.2", server.user_port) &&
        other.Send(zv::test::LoginFrame("user1", "pw"))) {
      const zv::test::Frame ack = other.ReadFrame(10000);
      std::printf("guessing: another user's login from another address answered %d in %lld ms\n",
                  ack.body.empty() ? -1 : ack.body[0],
                  static_cast<long long>(tarvo::platform::MonotonicMs() - t0));
    }
  }

  // 3. UDP registrations of unknown IDs while a real card registers.
  {
    tarvo::platform::UdpSocket flood;
    if (flood.Bind(0x7F000001, 0) != 1) return 1;
    const long lines_before = Lines(log);
    const int64_t end = tarvo::platform::MonotonicMs() + seconds * 1000L;
    long sent = 0;
    while (tarvo::platform::MonotonicMs() < end) {
      const std::string id = std::to_string(100000 + sent % 5000);
      Bytes d = {0xA5};
      d.insert(d.end(), id.begin(), id.end());
      d.push_back(0xAE);
      if (flood.SendTo(d.data(), d.size(), 0x7F000001, server.card_port) > 0) ++sent;
    }
    std::printf("udp flood: %ld registrations of unknown IDs in %d s (%.0f/s), %ld log lines\n",
                sent, seconds, static_cast<double>(sent) / seconds, Lines(log) - lines_before);
  }
  std::printf("RSS at the end: %ld KiB\n", rss());
  server.process.Terminate();
  server.process.Wait(5000);
  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
  return 0;
}
