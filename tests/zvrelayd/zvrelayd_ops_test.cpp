// zvrelayd as an operator runs it: the account commands and what they
// refuse, passwords that stay off the command line, a configuration file,
// SIGHUP after a log rotation, node names that two live servers cannot
// share, and the log lines an operator reads (logins, cards coming and
// going, statistics, unknown cards once per address).
#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <thread>

#include "../relay_server/test_db.hpp"
#include "platform/child_process.hpp"
#include "platform/clock.hpp"
#include "platform/process.hpp"
#include "raw_peers.hpp"
#include "relay/daemon/node_registry.hpp"
#include "relay/daemon/relay_server.hpp"
#include "relay/server/account_db.hpp"

namespace zv {
namespace {

using tarvo::platform::ChildProcess;
using test::Bytes;
using test::Concat;
using test::RawPeer;

const std::string kProgram = tarvo::platform::ExecutableDir() + "zvrelayd";

// Runs zvrelayd to its end through the shell (`environment` is put before
// the program: "NAME=value "). Returns the exit code and what it printed on
// both streams.
std::pair<int, std::string> RunZvrelayd(const std::vector<std::string>& args,
                                        const std::string& environment = "") {
  std::string command = "exec env " + environment + " " + kProgram;
  for (const std::string& a : args) command += " '" + a + "'";
  command += " 2>&1 </dev/null";
  ChildProcess child;
  if (!child.Start("/bin/sh", {"-c", command})) return {-1, ""};
  std::string output, line;
  while (child.ReadLine(&line, 10000)) output += line + "\n";
  return {child.Wait(10000), output};
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// zvrelayd serving until the test ends; Start reads its two port lines.
struct Serving {
  ChildProcess process;
  uint16_t user_port = 0;
  uint16_t card_port = 0;
  bool Start(const std::vector<std::string>& args) {
    if (!process.Start(kProgram, args)) return false;
    std::string users, cards;
    if (!process.ReadLine(&users, 10000) || !process.ReadLine(&cards, 10000)) return false;
    if (users.rfind("users ", 0) != 0 || cards.rfind("cards ", 0) != 0) return false;
    user_port = static_cast<uint16_t>(std::stoi(users.substr(6)));
    card_port = static_cast<uint16_t>(std::stoi(cards.substr(6)));
    return true;
  }
};

uint8_t LogInResult(uint16_t port, const std::string& name, const std::string& password) {
  RawPeer user;
  if (!user.Connect(port) || !user.Send(test::LoginFrame(name, password))) return 0xFF;
  test::Frame ack = user.ReadFrame();
  return ack.body.empty() ? 0xFF : ack.body[0];
}

// The node rows, the card directory and the account commands are plain SQL
// on either backend.
class ZvrelaydOnBackend : public ::testing::TestWithParam<test::Backend> {};

TEST_P(ZvrelaydOnBackend,
       AccountCommandsRefuseWhatCannotWorkAndKeepTheCountersOfTheRowsTheyChange) {
  test::TempDatabase db(GetParam());
  const std::string path = db.Path();
  const std::string pw_file = db.Folder() + "/pw";
  std::ofstream(pw_file) << "from-file\r\n";

  // No password anywhere and no terminal to ask on: a bad invocation, and
  // an empty one is refused wherever it comes from.
  EXPECT_EQ(RunZvrelayd({"--db", path, "--init-db", "--org", "Acme", "--user", "admin"}).first, 2);
  EXPECT_EQ(
      RunZvrelayd({"--db", path, "--init-db", "--org", "Acme", "--user", "admin", "--password", ""})
          .first,
      2);
  auto [code, out] = RunZvrelayd({"--db", path, "--init-db", "--org", "Acme", "--user", "admin"},
                                 "ZVRELAYD_PASSWORD=from-env");
  ASSERT_EQ(code, 0) << out;
  EXPECT_EQ(out.find("from-env"), std::string::npos) << "the password was printed";
  ASSERT_EQ(RunZvrelayd({"--db", path, "--add-user", "bob", "--org", "Acme", "--type", "2",
                         "--password-file", pw_file})
                .first,
            0);
  for (const char* type : {"0", "4"})
    EXPECT_EQ(RunZvrelayd({"--db", path, "--add-user", "carl", "--org", "Acme", "--type", type,
                           "--password", "x"})
                  .first,
              2)
        << "type " << type;
  // Device IDs: six characters (TCP) or 1-30 digits (UDP), nothing else.
  for (const char* bad : {"ABC12", "ABC1234", "1234567890123456789012345678901"})
    EXPECT_EQ(RunZvrelayd({"--db", path, "--add-card", bad, "--org", "Acme"}).first, 2) << bad;
  for (const char* good : {"ABC123", "7", "123456789012345678901234567890"})
    EXPECT_EQ(RunZvrelayd({"--db", path, "--add-card", good, "--org", "Acme"}).first, 0) << good;

  auto counters = [&] {
    return std::make_pair(
        db.Scalar("SELECT UserNum AS v FROM [Organization] WHERE OrganizationName = 'Acme'"),
        db.Scalar("SELECT CardNum AS v FROM [Organization] WHERE OrganizationName = 'Acme'"));
  };
  EXPECT_EQ(counters(), std::make_pair(2L, 3L));
  EXPECT_EQ(RunZvrelayd({"--db", path, "--delete-card", "7"}).first, 0);
  EXPECT_EQ(RunZvrelayd({"--db", path, "--delete-card", "7"}).first, 1);  // gone already
  EXPECT_EQ(RunZvrelayd({"--db", path, "--delete-user", "bob"}).first, 0);
  EXPECT_EQ(RunZvrelayd({"--db", path, "--delete-user", "nobody"}).first, 1);
  EXPECT_EQ(counters(), std::make_pair(1L, 2L));
  EXPECT_EQ(RunZvrelayd({"--db", path, "--set-password", "nobody", "--password", "x"}).first, 1);

  const std::string users = RunZvrelayd({"--db", path, "--list", "users"}).second;
  EXPECT_TRUE(
      std::regex_search(users, std::regex("\nadmin\t1\tAcme\t0\t20[0-9][0-9]-[01][0-9]-[0-3][0-9] "
                                          "[0-2][0-9]:[0-5][0-9]:[0-5][0-9]\t-\n")))
      << users;
  EXPECT_EQ(users.find("bob"), std::string::npos) << users;
  const std::string cards = RunZvrelayd({"--db", path, "--list", "cards"}).second;
  EXPECT_NE(cards.find("\nABC123\tAcme\t0\t"), std::string::npos) << cards;
  EXPECT_EQ(cards.find("\n7\t"), std::string::npos) << cards;

  // The password set from a file is the one the server checks; a log folder
  // that does not exist stops the start instead of losing every line.
  ASSERT_EQ(
      RunZvrelayd({"--db", path, "--set-password", "admin", "--password-file", pw_file}).first, 0);
  auto [log_code, log_out] =
      RunZvrelayd({"--db", path, "--log", db.Folder() + "/none/zvrelayd.log"});
  EXPECT_EQ(log_code, 1);
  EXPECT_NE(log_out.find("does not exist"), std::string::npos) << log_out;
  Serving server;
  ASSERT_TRUE(
      server.Start({"--db", path, "--bind", "127.0.0.1", "--user-port", "0", "--card-port", "0"}));
  EXPECT_EQ(LogInResult(server.user_port, "admin", "from-env"), 4);
  EXPECT_EQ(LogInResult(server.user_port, "admin", "from-file"), 1);
}

TEST(ZvrelaydOperations, AConfigFileSetsThePortsAndSighupReopensTheLogWhileServing) {
  test::TempDatabase db;
  db.AddOrganization("Acme");
  db.AddUser("alice", "a", 2, "Acme");
  const std::string log = db.Folder() + "/zvrelayd.log";
  const std::string config = db.Folder() + "/zvrelayd.conf";
  auto write_config = [&](uint16_t user_port) {
    std::ofstream(config) << "# zvrelayd\ndb = " << db.Path()
                          << "\nbind = 127.0.0.1\nuser-port = " << user_port
                          << "\ncard-port = 0\nlog = " << log << "\nnode = cfg-node\n";
  };
  // A mistyped key is an error, not a setting silently dropped.
  std::ofstream(config) << "db = " << db.Path() << "\nuser_port = 1\n";
  EXPECT_EQ(RunZvrelayd({"--config", config}).first, 2);
  // A port known to be free a moment ago, then asked for by the file.
  write_config(0);
  uint16_t port = 0;
  {
    Serving probe;
    ASSERT_TRUE(probe.Start({"--config", config}));
    port = probe.user_port;
    probe.process.Terminate();
    ASSERT_EQ(probe.process.Wait(10000), 0);
  }
  write_config(port);
  Serving server;
  ASSERT_TRUE(server.Start({"--config", config}));
  EXPECT_EQ(server.user_port, port);
  EXPECT_NE(ReadFile(log).find(", node cfg-node"), std::string::npos) << ReadFile(log);

  // logrotate renames the file, then signals: the server lives on and its
  // next lines start a new file.
  ASSERT_EQ(std::rename(log.c_str(), (log + ".1").c_str()), 0);
  ASSERT_EQ(::kill(server.process.Pid(), SIGHUP), 0);
  ASSERT_TRUE(test::Eventually(
      [&] { return ReadFile(log).find("log reopened (SIGHUP)") != std::string::npos; }));
  EXPECT_EQ(server.process.Wait(200), -1) << "SIGHUP ended the server";
  EXPECT_EQ(LogInResult(server.user_port, "alice", "a"), 1);
  EXPECT_TRUE(test::Eventually(
      [&] { return ReadFile(log).find("login: user alice from 127.0.0.1") != std::string::npos; }));
  EXPECT_EQ(ReadFile(log + ".1").find("login:"), std::string::npos);
}

TEST(ZvrelaydNodes, ASecondServerOfALiveNodeNameIsRefusedAndLeavesTheFirstOnesCardsOnline) {
  test::TempDatabase db;
  db.AddOrganization("Acme");
  db.AddCard("ABC123", "Acme");
  const std::vector<std::string> args = {"--db",        db.Path(), "--bind",      "127.0.0.1",
                                         "--user-port", "0",       "--card-port", "0",
                                         "--node",      "n1"};
  Serving first;
  ASSERT_TRUE(first.Start(args));
  RawPeer card;
  ASSERT_TRUE(card.Connect(first.card_port));
  ASSERT_TRUE(card.Send(Bytes{6, 0, 'A', 'B', 'C', '1', '2', '3'}));
  auto online = [&] {
    return db.Scalar("SELECT OnLine AS v FROM [Card] WHERE DeviceID = 'ABC123'");
  };
  ASSERT_TRUE(test::Eventually([&] { return online() == 1; }));
  const std::string listed = RunZvrelayd({"--db", db.Path(), "--list", "online"}).second;
  EXPECT_NE(listed.find("\nABC123\tAcme\tn1\t"), std::string::npos) << listed;

  auto [code, out] = RunZvrelayd(args);
  EXPECT_EQ(code, 1);
  EXPECT_NE(out.find("node name n1 is in use"), std::string::npos) << out;
  EXPECT_EQ(online(), 1) << "the refused server reset the first one's card";

  // Killed, it leaves its row behind; its process is gone from this host,
  // so the name is free at once, and what it held is offline.
  ASSERT_EQ(::kill(first.process.Pid(), SIGKILL), 0);
  ASSERT_EQ(first.process.Wait(10000), 128 + SIGKILL);
  Serving second;
  ASSERT_TRUE(second.Start(args));
  EXPECT_EQ(online(), 0);
}

// In one process: a row kept fresh by its server's heartbeat stays refused
// past the stale time, and a row from another host whose heartbeat stopped
// is taken over once it is stale.
TEST_P(ZvrelaydOnBackend, AHeartbeatKeepsTheNodeNameAndAStaleRowIsTakenOver) {
  test::TempDatabase db(GetParam());
  daemon::ServerSettings s;
  s.bind_address = "127.0.0.1";
  s.user_port = 0;
  s.card_port = 0;
  s.threads = 1;
  s.node_name = "n1";
  s.node_heartbeat_ms = 50;
  s.node_stale_ms = 300;
  std::string error;
  {
    daemon::CRelayServer first(s);
    ASSERT_EQ(first.Start(&error), 1) << error;
    std::this_thread::sleep_for(std::chrono::milliseconds(3 * s.node_stale_ms));
    daemon::CRelayServer second(s);
    EXPECT_EQ(second.Start(&error), 0);
    EXPECT_NE(error.find("in use"), std::string::npos) << error;
  }
  // A row of the same name from another machine, its heartbeat just written.
  CAccountDb rows(db.Path());
  ASSERT_EQ(rows.ExecuteSql(CSqlStatement{
                "INSERT INTO ServerNode (Name, Host, Pid, Started, Heartbeat) VALUES ('n1', "
                "'elsewhere', 1, 0, " +
                    std::to_string(daemon::WallClockMs()) + ")",
                {}}),
            1);
  daemon::CRelayServer refused(s);
  EXPECT_EQ(refused.Start(&error), 0);
  EXPECT_NE(error.find("elsewhere"), std::string::npos) << error;
  std::this_thread::sleep_for(std::chrono::milliseconds(s.node_stale_ms + 100));
  daemon::CRelayServer taker(s);
  EXPECT_EQ(taker.Start(&error), 1) << error;
}

TEST_P(ZvrelaydOnBackend, TheLogNamesLoginsCardsStatisticsAndUnknownCardsOncePerAddress) {
  test::TempDatabase db(GetParam());
  db.AddOrganization("Acme");
  db.AddUser("alice", "a", 2, "Acme");
  db.AddCard("ABC123", "Acme");
  daemon::ServerSettings s;
  s.bind_address = "127.0.0.1";
  s.user_port = 0;
  s.card_port = 0;
  s.threads = 2;
  s.node_name = "n1";
  s.stats_interval_ms = 100;
  s.log_file = db.Folder() + "/zvrelayd.log";
  daemon::CRelayServer server(s);
  std::string error;
  ASSERT_EQ(server.Start(&error), 1) << error;

  RawPeer card, user;
  ASSERT_TRUE(card.Connect(server.CardPort()));
  ASSERT_TRUE(card.Send(Bytes{6, 0, 'A', 'B', 'C', '1', '2', '3'}));
  ASSERT_TRUE(test::Eventually(
      [&] { return db.Scalar("SELECT OnLine AS v FROM [Card] WHERE DeviceID = 'ABC123'") == 1; }));
  auto held = [&] {
    return db.Scalar(
        "SELECT COUNT(*) AS v FROM CardNode WHERE DeviceID = 'ABC123' AND Node = 'n1'");
  };
  EXPECT_TRUE(test::Eventually([&] { return held() == 1; })) << "the card directory";
  ASSERT_TRUE(user.Connect(server.UserPort()));
  ASSERT_TRUE(user.Send(test::LoginFrame("alice", "a")));
  ASSERT_EQ(user.ReadFrame().body.at(0), 1);
  RawPeer twin;
  ASSERT_TRUE(twin.Connect(server.UserPort()));
  ASSERT_TRUE(twin.Send(test::LoginFrame("alice", "a")));
  ASSERT_EQ(twin.ReadFrame().body.at(0), 3);
  ASSERT_TRUE(user.Send(test::LockFrame("ABC123", 1)));
  ASSERT_EQ(user.ReadFrame().body, Bytes{1});
  const Bytes packet = {9, 0, 1, 1, 1, 1, 1, 1, 0x68, 0x32, 0x01};
  ASSERT_TRUE(user.Send(test::PacketFrame("ABC123", 1, packet)));
  ASSERT_EQ(user.ReadFrame().body, Bytes{1});
  ASSERT_EQ(card.ReadExact(packet.size()), packet);
  const Bytes reply = {9, 0, 'A', 'B', 'C', '1', '2', '3', 0xE8, 1, 2};
  ASSERT_TRUE(card.Send(reply));
  ASSERT_EQ(user.ReadFrame().body, Concat({Bytes{5}, reply}));

  // A card whose Device ID [Card] lacks, trying again and again.
  for (int i = 0; i < 5; ++i) {
    RawPeer stranger;
    ASSERT_TRUE(stranger.Connect(server.CardPort()));
    ASSERT_TRUE(stranger.Send(
        Bytes{6, 0, 'N', 'O', 'S', 'U', 'C', static_cast<uint8_t>(i == 0 ? 'H' : 'X')}));
    ASSERT_TRUE(stranger.ClosedWithin(2000));
  }
  card.Close();
  const std::string log = s.log_file;
  ASSERT_TRUE(test::Eventually([&] {
    return ReadFile(log).find("card ABC123 offline from 127.0.0.1") != std::string::npos;
  }));
  EXPECT_TRUE(test::Eventually([&] { return held() == 0; }));

  // Every statistics line so far, summed: the pair and the five strangers.
  const std::regex stats_line(
      "statistics: ([0-9]+) cards online \\([0-9]+ TCP, [0-9]+ UDP\\), ([0-9]+) users online; "
      "in the last [0-9]+ s: ([0-9]+) packets to cards, ([0-9]+) answers to users, ([0-9]+) "
      "bytes, ([0-9]+) connections dropped");
  long packets = 0, answers = 0, bytes = 0, dropped = 0, most_users = 0;
  ASSERT_TRUE(test::Eventually([&] {
    packets = answers = bytes = dropped = most_users = 0;
    const std::string text = ReadFile(log);
    for (std::sregex_iterator it(text.begin(), text.end(), stats_line), end; it != end; ++it) {
      most_users = std::max(most_users, std::stol((*it)[2]));
      packets += std::stol((*it)[3]);
      answers += std::stol((*it)[4]);
      bytes += std::stol((*it)[5]);
      dropped += std::stol((*it)[6]);
    }
    return dropped >= 5;
  }));
  EXPECT_EQ(packets, 1);
  EXPECT_EQ(answers, 1);
  EXPECT_EQ(bytes, static_cast<long>(packet.size() + reply.size()));
  EXPECT_EQ(dropped, 5) << "the card that left by itself is no drop";
  EXPECT_EQ(most_users, 1);

  const std::string text = ReadFile(log);
  EXPECT_NE(text.find("login: user alice from 127.0.0.1"), std::string::npos) << text;
  EXPECT_NE(text.find("login refused: user alice from 127.0.0.1 (already logged in)"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("card ABC123 online from 127.0.0.1 (node n1)"), std::string::npos) << text;
  const std::regex refused("card NOSUC. from 127\\.0\\.0\\.1 refused: not registered");
  EXPECT_EQ(std::distance(std::sregex_iterator(text.begin(), text.end(), refused),
                          std::sregex_iterator()),
            1)
      << text;
}

INSTANTIATE_TEST_SUITE_P(Backends, ZvrelaydOnBackend,
                         ::testing::Values(test::Backend::kSqlite, test::Backend::kPostgres),
                         test::BackendName);

TEST(ZvrelaydOperationsDefaults, ProductionIntervalsAreTheDocumentedOnes) {
  daemon::ServerSettings s;
  EXPECT_EQ(s.stats_interval_ms, 60000);
  EXPECT_EQ(s.unknown_card_log_interval_ms, 60000);
  EXPECT_EQ(s.node_heartbeat_ms, 2500);
  EXPECT_EQ(s.node_stale_ms, 10000);
  EXPECT_TRUE(s.node_name.empty());
}

}  // namespace
}  // namespace zv
