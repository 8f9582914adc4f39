// zvrelayd against peers that try to wear it down: large frames before a
// login, piles of connections, password guessing, floods of unknown UDP
// cards, and a user whose stalled socket turns every card answer into a
// failure. Each case checks that the others are still served.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <fstream>
#include <memory>

#include "../relay_server/test_db.hpp"
#include "platform/child_process.hpp"
#include "platform/clock.hpp"
#include "platform/process.hpp"
#include "platform/socket.hpp"
#include "raw_peers.hpp"
#include "relay/daemon/backoff_table.hpp"
#include "relay/daemon/db_workers.hpp"
#include "relay/daemon/login_throttle.hpp"
#include "relay/daemon/node_registry.hpp"
#include "relay/daemon/relay_server.hpp"

namespace zv {
namespace {

using test::Bytes;
using test::Concat;
using test::LockFrame;
using test::LoginFrame;
using test::PacketFrame;
using test::RawPeer;
using test::RelayFrame;

size_t CountOf(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

class Hostile : public ::testing::Test {
 protected:
  void SetUp() override {
    db.AddOrganization("Acme", 40, 100);
    db.AddUser("alice", "a", 2, "Acme");
    db.AddUser("bob", "b", 2, "Acme");
    db.AddCard("ABC123", "Acme");
    db.AddCard("12345678", "Acme");
    settings.bind_address = "127.0.0.1";
    settings.user_port = 0;
    settings.card_port = 0;
    settings.threads = 2;
    settings.half_frame_timeout_ms = 2000;
    settings.login_timeout_ms = 5000;
    settings.login_delay_base_ms = 100;
    settings.login_delay_cap_ms = 400;
    settings.log_file = db.Folder() + "/zvrelayd.log";
  }
  void Start() {
    server = std::make_unique<daemon::CRelayServer>(settings);
    std::string error;
    ASSERT_EQ(server->Start(&error), 1) << error;
  }
  uint8_t LogInResult(RawPeer& user, const std::string& name, const std::string& password) {
    EXPECT_TRUE(user.Send(LoginFrame(name, password)));
    test::Frame ack = user.ReadFrame(5000);
    return ack.body.empty() ? 0 : ack.body[0];
  }
  std::string LogText() {
    std::ifstream log(settings.log_file);
    return std::string((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
  }

  test::TempDatabase db;
  daemon::ServerSettings settings;
  std::unique_ptr<daemon::CRelayServer> server;
};

TEST(HostileDefaults, ProductionBoundsAreTheDocumentedOnes) {
  daemon::ServerSettings s;
  EXPECT_EQ(s.max_prelogin_body, 4096u);
  EXPECT_EQ(s.max_connections, 100000);
  EXPECT_EQ(s.max_pending_per_address, 64);
  EXPECT_EQ(s.login_delay_base_ms, 250);
  EXPECT_EQ(s.login_delay_cap_ms, 8000);
  EXPECT_EQ(s.log_repeat_interval_ms, 10000);
  EXPECT_EQ(s.unknown_card_ttl_ms, 30000);
  EXPECT_EQ(s.card_probe_timeout_ms, 3000);
}

TEST_F(Hostile, BeforeLoginOnlySmallFramesAfterItLargeOnes) {
  Start();
  // A body over the pre-login bound closes the connection as soon as its
  // header is in, whatever its type, with the reason in the log.
  RawPeer stranger;
  ASSERT_TRUE(stranger.Connect(server->UserPort()));
  ASSERT_TRUE(stranger.Send(RelayFrame(0x0008, Bytes(8192, 0x55))));
  EXPECT_TRUE(stranger.ClosedWithin(1000));
  EXPECT_NE(LogText().find("user connection closed: a request body over 4096 bytes before login "
                           "(127.0.0.1)"),
            std::string::npos)
      << LogText();

  // Logged in, the same connection carries a large packet and is answered.
  RawPeer alice;
  ASSERT_TRUE(alice.Connect(server->UserPort()));
  ASSERT_EQ(LogInResult(alice, "alice", "a"), 1);
  ASSERT_TRUE(alice.Send(PacketFrame("ABC123", 1, Bytes(20000, 0x68))));
  test::Frame ack = alice.ReadFrame();
  EXPECT_EQ(ack.type, 0x0F05);
  // A peer that just leaves is logged with who it was.
  alice.Close();
  ASSERT_TRUE(test::Eventually([&] {
    return LogText().find("user connection closed: the peer closed it (127.0.0.1, user alice)") !=
           std::string::npos;
  }));
}

TEST_F(Hostile, ConnectionsThatProveNothingAreCappedPerAddressAndInTotal) {
  settings.max_pending_per_address = 3;
  settings.max_connections = 8;
  Start();
  RawPeer idle[3];
  for (RawPeer& p : idle) ASSERT_TRUE(p.Connect(server->UserPort()));
  RawPeer fourth;
  ASSERT_TRUE(fourth.Connect(server->UserPort()));
  EXPECT_TRUE(fourth.ClosedWithin(1000));
  // The cap counts per address: another address still gets in.
  RawPeer elsewhere;
  ASSERT_TRUE(elsewhere.ConnectFrom("127.0.0.2", server->UserPort()));
  EXPECT_EQ(LogInResult(elsewhere, "bob", "b"), 1);

  // A login frees its slot among the unproved, and so does a registered
  // card: the next connection from the address gets in.
  ASSERT_EQ(LogInResult(idle[0], "alice", "a"), 1);
  RawPeer card;
  ASSERT_TRUE(card.Connect(server->CardPort()));
  ASSERT_TRUE(card.Send(Bytes{6, 0, 'A', 'B', 'C', '1', '2', '3'}));
  ASSERT_TRUE(test::Eventually([&] {
    return db.Scalar("SELECT OnLine AS v FROM [Card] WHERE DeviceID = ?", "ABC123") == 1;
  }));
  RawPeer later;
  ASSERT_TRUE(later.Connect(server->UserPort()));
  EXPECT_FALSE(later.ClosedWithin(300));

  // 3 idle + elsewhere + card + later = 6 of 8; two more fit from another
  // address, the ninth is refused whatever its address.
  RawPeer a, b, c;
  ASSERT_TRUE(a.ConnectFrom("127.0.0.3", server->UserPort()));
  ASSERT_TRUE(b.ConnectFrom("127.0.0.3", server->UserPort()));
  ASSERT_TRUE(c.ConnectFrom("127.0.0.4", server->UserPort()));
  EXPECT_FALSE(a.ClosedWithin(200));
  EXPECT_TRUE(c.ClosedWithin(1000));
  const std::string log = LogText();
  EXPECT_NE(log.find("user connection refused: 3 connections from 127.0.0.1 have not logged in"),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("user connection refused: the server carries its most connections (8)"),
            std::string::npos)
      << log;
}

TEST(LoginThrottle, RefusalsQueueGrowingWaitsThatSparesTheNamesKnownAddresses) {
  daemon::CBackoffTable table(100, 400, 4);
  EXPECT_EQ(table.Reserve("x", 0), 0);
  table.Failed("x", 0);
  table.Failed("x", 0);  // two failures: steps of 200 ms
  // Attempts that arrive together wait their turns, never over the cap.
  EXPECT_EQ(table.Reserve("x", 0), 200);
  EXPECT_EQ(table.Reserve("x", 0), 400);
  EXPECT_EQ(table.Reserve("x", 0), 400);
  for (int i = 0; i < 10; ++i) table.Failed("x", 1000);
  EXPECT_LE(table.Reserve("x", 1000), 400);
  table.Succeeded("x");
  EXPECT_EQ(table.Reserve("x", 1000), 0);
  // A flood of keys pushes out the stalest, it does not grow the table.
  for (int i = 0; i < 100; ++i) table.Failed("k" + std::to_string(i), 2000 + i);
  EXPECT_EQ(table.Size(), 4u);
  EXPECT_EQ(table.Failures("k99"), 1);

  daemon::CLoginThrottle logins(100, 400);
  logins.Accepted("10.0.0.1", "Alice");  // her usual place
  for (int i = 0; i < 3; ++i) logins.Refused("10.6.6.6", "alice", 0);
  EXPECT_GT(logins.Reserve("10.6.6.6", "bob", 0), 0);    // the guesser's address
  EXPECT_GT(logins.Reserve("10.0.0.9", "ALICE", 0), 0);  // the name, from a new place
  EXPECT_EQ(logins.Reserve("10.0.0.1", "alice", 0), 0);  // the name, from home
  EXPECT_EQ(logins.Reserve("10.0.0.9", "bob", 0), 0);    // anyone else
  EXPECT_EQ(daemon::LogSafe("a\nb\x01" + std::string(100, 'x'), 8), "a?b?xxxx...");
}

TEST_F(Hostile, GuessesAreSlowedAndLoggedWhileOthersLogInAtOnce) {
  Start();
  RawPeer guesser, home;
  ASSERT_TRUE(home.ConnectFrom("127.0.0.2", server->UserPort()));
  ASSERT_EQ(LogInResult(home, "alice", "a"), 1);
  home.Close();
  ASSERT_TRUE(guesser.Connect(server->UserPort()));
  const int64_t start = tarvo::platform::MonotonicMs();
  for (int i = 0; i < 5; ++i) EXPECT_EQ(LogInResult(guesser, "alice", "guess"), 4);
  // Waits of 100, 200, 400 and 400 ms before the second to fifth guesses.
  EXPECT_GE(tarvo::platform::MonotonicMs() - start, 1100);
  EXPECT_EQ(LogInResult(guesser, "nobody", "x"), 2);

  // Meanwhile alice from her own address and bob from another get in.
  RawPeer again, bob;
  ASSERT_TRUE(again.ConnectFrom("127.0.0.2", server->UserPort()));
  EXPECT_EQ(LogInResult(again, "alice", "a"), 1);
  ASSERT_TRUE(bob.ConnectFrom("127.0.0.3", server->UserPort()));
  EXPECT_EQ(LogInResult(bob, "bob", "b"), 1);

  const std::string log = LogText();
  EXPECT_EQ(CountOf(log, "login refused: user alice from 127.0.0.1 (wrong password)"), 1u) << log;
  EXPECT_EQ(CountOf(log, "login refused: user nobody from 127.0.0.1 (no such user)"), 1u) << log;
  server->Stop();  // writes the count of the repeats held back
  EXPECT_NE(LogText().find("(wrong password) (and 4 more like it in"), std::string::npos)
      << LogText();
}

TEST_F(Hostile, UnknownUdpCardsCostOneLookupAndOneLineWhileKnownCardsRegister) {
  Start();
  tarvo::platform::UdpSocket flood, card;
  ASSERT_EQ(flood.Bind(0x7F000001, 0), 1);
  ASSERT_EQ(card.Bind(0x7F000002, 0), 1);  // the real card is elsewhere
  for (int i = 0; i < 300; ++i) {
    // The same unknown ID over and over, and as many distinct ones.
    const std::string id = i % 2 ? "999" : std::to_string(500000 + i);
    Bytes d = {0xA5};
    d.insert(d.end(), id.begin(), id.end());
    d.push_back(0xAE);
    flood.SendTo(d.data(), d.size(), 0x7F000001, server->CardPort());
  }
  const Bytes registration = {0xA5, '1', '2', '3', '4', '5', '6', '7', '8', 0xAE};
  // The kernel may drop datagrams of a flood, the real card's too: like a
  // real card, it sends its registration again until it is online.
  ASSERT_TRUE(test::Eventually([&] {
    card.SendTo(registration.data(), registration.size(), 0x7F000001, server->CardPort());
    tarvo::platform::SleepMs(20);
    return db.Scalar("SELECT OnLine AS v FROM [Card] WHERE DeviceID = ?", "12345678") == 1;
  })) << LogText();
  const std::string log = LogText();
  EXPECT_EQ(CountOf(log, "refused: not registered in [Card]"), 1u) << log;
}

TEST_F(Hostile, AUserThatStallsUnderCardAnswersCostsAFewLogLines) {
  settings.send_queue_limit = 4;
  Start();
  RawPeer alice, card;
  ASSERT_TRUE(card.Connect(server->CardPort()));
  ASSERT_TRUE(card.Send(Bytes{6, 0, 'A', 'B', 'C', '1', '2', '3'}));
  ASSERT_TRUE(test::Eventually([&] {
    return db.Scalar("SELECT OnLine AS v FROM [Card] WHERE DeviceID = ?", "ABC123") == 1;
  }));
  ASSERT_TRUE(alice.Connect(server->UserPort()));
  ASSERT_TRUE(alice.SetReceiveBuffer(4096));
  ASSERT_EQ(LogInResult(alice, "alice", "a"), 1);
  ASSERT_TRUE(alice.Send(LockFrame("ABC123", 1)));
  ASSERT_EQ(alice.ReadFrame().type, 0x0F06);
  // The card streams answers the user never reads: its queue fills, and
  // every later answer fails to be sent.
  const Bytes answer =
      Concat({Bytes{206, 0}, Bytes{'A', 'B', 'C', '1', '2', '3'}, Bytes(200, 0xE8)});
  Bytes burst;
  for (int i = 0; i < 3000; ++i) burst.insert(burst.end(), answer.begin(), answer.end());
  ASSERT_TRUE(card.Send(burst));
  ASSERT_TRUE(test::Eventually([&] { return CountOf(LogText(), "\n") >= 3; }));
  EXPECT_TRUE(card.SilentFor(300));  // the card's connection lives on
  const std::string log = LogText();
  EXPECT_LT(CountOf(log, "\n"), 12u) << log;

  RawPeer bob;
  ASSERT_TRUE(bob.ConnectFrom("127.0.0.2", server->UserPort()));
  EXPECT_EQ(LogInResult(bob, "bob", "b"), 1);
}

TEST(DbWorkers, CardFlagsWrittenTogetherKeepTheirPlaceAmongTheOtherJobs) {
  // A fleet reconnecting at once: its OnLine flags share a few commits, but
  // a job given between two flags still sees the first and not the second.
  test::TempDatabase db;
  db.AddOrganization("Acme", 10, 1000);
  for (int i = 0; i < 400; ++i) db.AddCard("C" + std::to_string(10000 + i), "Acme");
  std::string why;
  ASSERT_EQ(daemon::ClaimNode({"node-a", "here", 1}, 0, 1000, &why), 1) << why;
  auto online = [&](const std::string& id) {
    return db.Scalar("SELECT OnLine AS v FROM [Card] WHERE DeviceID = ?", id);
  };
  std::vector<long> seen;
  {
    daemon::CDbWorkers workers(3);
    for (int i = 0; i < 400; ++i)
      workers.SetCardOnLine("C" + std::to_string(10000 + i), i % 2 ? "" : "node-a", 1);
    workers.RunInOrder([&] { seen.push_back(online("C10000")); });
    workers.SetCardOnLine("C10000", "node-a", 0);
    workers.RunInOrder([&] { seen.push_back(online("C10000")); });
    workers.SetCardOnLine("C10000", "node-a", 1);
    workers.SetCardOnLine("C10001", "", 0);
    std::atomic<bool> done{false};
    workers.RunInOrder([&] { done = true; });
    ASSERT_TRUE(test::Eventually([&] { return done.load(); }, 10000));
  }
  EXPECT_EQ(seen, (std::vector<long>{1, 0}));
  EXPECT_EQ(online("C10000"), 1);
  EXPECT_EQ(db.Scalar("SELECT count(*) AS v FROM [Card] WHERE OnLine = 1"), 399);
  EXPECT_EQ(db.Scalar("SELECT count(*) AS v FROM CardNode WHERE Node = ?", "node-a"), 200);
}

// The program itself, so the memory figure is that of zvrelayd as shipped.
long ResidentKiB(int pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
  return -1;
}

TEST_F(Hostile, LargeFramesLeaveNoMemoryBehindInTheProgram) {
  for (int i = 0; i < 30; ++i) db.AddUser("u" + std::to_string(i), "p", 2, "Acme");
  // In a sanitizer build the program's memory is the sanitizer's allocator:
  // without its quarantine, a freed large block leaves at once, as it does
  // with the system allocator.
  const char* asan = std::getenv("ASAN_OPTIONS");
  const std::string options =
      std::string(asan ? asan : "") + (asan && *asan ? ":" : "") + "quarantine_size_mb=0";
  setenv("ASAN_OPTIONS", options.c_str(), 1);
  tarvo::platform::ChildProcess zvrelayd;
  ASSERT_EQ(zvrelayd.Start(tarvo::platform::ExecutableDir() + "zvrelayd",
                           {"--db", db.Path(), "--bind", "127.0.0.1", "--user-port", "0",
                            "--card-port", "0", "--max-per-address", "250"}),
            1);
  std::string users, cards;
  ASSERT_TRUE(zvrelayd.ReadLine(&users, 10000) && zvrelayd.ReadLine(&cards, 10000));
  if (asan)
    setenv("ASAN_OPTIONS", asan, 1);
  else
    unsetenv("ASAN_OPTIONS");
  const uint16_t port = static_cast<uint16_t>(std::stoi(users.substr(6)));
  const long before = ResidentKiB(zvrelayd.Pid());

  // 200 strangers announce 1 MiB each before a login; 30 users send 1 MiB
  // packets after theirs and stay connected.
  const Bytes big = PacketFrame("ABC123", 1, Bytes(1024 * 1024 - 64, 0x68));
  std::vector<RawPeer> strangers(200);
  for (RawPeer& p : strangers) {
    ASSERT_TRUE(p.Connect(port));
    p.Send(big);  // cut off after the header
  }
  for (RawPeer& p : strangers) EXPECT_TRUE(p.ClosedWithin(3000));
  std::vector<RawPeer> members(30);
  for (size_t i = 0; i < members.size(); ++i) {
    ASSERT_TRUE(members[i].Connect(port));
    ASSERT_EQ(LogInResult(members[i], "u" + std::to_string(i), "p"), 1);
    ASSERT_TRUE(members[i].Send(big));
    EXPECT_EQ(members[i].ReadFrame().type, 0x0F05);
  }
  const long after = ResidentKiB(zvrelayd.Pid());
  ASSERT_GT(before, 0);
  // Without giving buffers back each member would keep 1-2 MiB.
  EXPECT_LT(after - before, 16 * 1024) << before << " KiB before, " << after << " KiB after";
  std::printf("zvrelayd RSS %ld KiB before, %ld KiB after 200 strangers and 30 users sent 1 MiB\n",
              before, after);
}

}  // namespace
}  // namespace zv
