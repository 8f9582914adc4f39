// Two zvrelayd nodes of one fleet on one PostgreSQL database, as real
// processes: tarvo-cli on one node driving a tarvo-sim card connected to the
// other, users of both nodes competing for one card, a node killed under a
// transfer (its card moves on, its users and locks are freed after the
// lease), and the database restarted under traffic between the nodes.
#include <gtest/gtest.h>
#include <signal.h>

#include <atomic>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <thread>

#include "platform/child_process.hpp"
#include "platform/clock.hpp"
#include "raw_peers.hpp"
#include "relay/messages/card_record.hpp"
#include "relay/messages/user_record.hpp"
#include "tests/relay_server/pg_cluster.hpp"
#include "tests/relay_server/test_db.hpp"

namespace zv {
namespace {

using tarvo::platform::ChildProcess;
using test::Bytes;
using test::RawPeer;

// GetControllerType to any controller on route 1: [L][01 x 6][68 32 FF 2E 00][sum].
const Bytes kAskType = {13, 0, 1, 1, 1, 1, 1, 1, 0x68, 0x32, 0xFF, 0x2E, 0x00, 0xC7, 0x01};

std::string Pattern(size_t size, uint32_t seed) {
  std::string bytes(size, 0);
  for (char& c : bytes) {
    seed = seed * 1664525u + 1013904223u;
    c = static_cast<char>(seed >> 24);
  }
  return bytes;
}

// One node of the fleet: zvrelayd under its own name with a short lease.
struct Node {
  std::string name;
  ChildProcess process;
  uint16_t user_port = 0, card_port = 0;
  bool Start(const std::string& uri, const std::string& folder) {
    if (!process.Start(ZVRELAYD_PATH, {"--db", uri, "--node", name, "--lease", "2", "--bind",
                                       "127.0.0.1", "--user-port", "0", "--card-port", "0", "--log",
                                       folder + "/" + name + ".log"}))
      return false;
    std::string users, cards;
    if (!process.ReadLine(&users, 20000) || !process.ReadLine(&cards, 20000)) return false;
    if (users.rfind("users ", 0) != 0 || cards.rfind("cards ", 0) != 0) return false;
    user_port = static_cast<uint16_t>(std::stoi(users.substr(6)));
    card_port = static_cast<uint16_t>(std::stoi(cards.substr(6)));
    return true;
  }
};

// A user speaking raw relay frames, for the answers the CLI does not show.
struct User {
  RawPeer peer;
  uint8_t LogIn(const Node& node, const std::string& name) {
    if (!peer.Connect(node.user_port) || !peer.Send(test::LoginFrame(name, "pw"))) return 0xFF;
    test::Frame ack = peer.ReadFrame(10000);
    return ack.type == 0x0F01 && !ack.body.empty() ? ack.body[0] : 0xFF;
  }
  uint8_t Lock(const std::string& id, uint8_t lock) {
    if (!peer.Send(test::LockFrame(id, lock))) return 0xFF;
    test::Frame ack = peer.ReadFrame(10000);
    return ack.type == 0x0F06 && ack.body.size() == 1 ? ack.body[0] : 0xFF;
  }
  // Sends kAskType: the status answer (0xFF: none came), and with status 1
  // whether the card's reply followed. Late replies of earlier packets
  // (longer bodies) are skipped.
  uint8_t Ask(const std::string& id, bool* replied) {
    *replied = false;
    if (!peer.Send(test::PacketFrame(id, 1, kAskType))) return 0xFF;
    test::Frame status;
    do status = peer.ReadFrame(10000);
    while (status.type == 0x0F05 && status.body.size() > 1);
    if (status.type != 0x0F05 || status.body.size() != 1) return 0xFF;
    if (status.body[0] == 1) {
      test::Frame reply = peer.ReadFrame(500);
      *replied = reply.body.size() > 9 && reply.body[0] == 5 && reply.body[9] == 0xE8;
    }
    return status.body[0];
  }
};

class ZvrelaydCluster : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!test::PgCluster::Get().ok())
      GTEST_SKIP() << "no PostgreSQL for this test: " << test::PgCluster::Get().problem();
    db_ = std::make_unique<test::TempDatabase>(test::Backend::kPostgres);
    db_->AddOrganization("Acme");
    for (const char* name : {"alice", "bob", "carol"}) db_->AddUser(name, "pw", 2, "Acme");
    for (const char* id : {"ABC123", "DEF456", "GHI789"}) db_->AddCard(id, "Acme");
    a_.name = "node-a";
    b_.name = "node-b";
    ASSERT_TRUE(a_.Start(db_->Path(), db_->Folder()));
    ASSERT_TRUE(b_.Start(db_->Path(), db_->Folder()));
  }
  void TearDown() override {
    for (auto& card : cards_) card->Terminate();
    cards_.clear();
    for (Node* node : {&a_, &b_}) {
      if (!node->process.IsRunning()) continue;
      node->process.Terminate();
      EXPECT_EQ(node->process.Wait(20000), 0) << node->name << " stops cleanly";
    }
    if (HasFailure() && db_)
      for (Node* node : {&a_, &b_})
        std::cout << "--- " << node->name << ".log\n" << ReadLocal(node->name + ".log");
    db_.reset();
  }

  std::string Path(const std::string& name) const { return db_->Folder() + "/" + name; }

  // tarvo-sim as a TCP card of the given nodes, tried in their order.
  void StartCard(const std::string& id, const std::vector<const Node*>& nodes,
                 std::vector<std::string> extra = {}) {
    std::string addresses;
    for (const Node* n : nodes)
      addresses +=
          (addresses.empty() ? "127.0.0.1:" : ",127.0.0.1:") + std::to_string(n->card_port);
    extra.insert(extra.begin(), {"--relay-card", addresses, "--device-id", id});
    cards_.push_back(std::make_unique<ChildProcess>());
    ASSERT_TRUE(cards_.back()->Start(TARVO_SIM_PATH, extra));
    std::string line;
    ASSERT_TRUE(cards_.back()->ReadLine(&line, 10000));
    ASSERT_EQ(line, "relay-card " + id);
  }
  // The card directory names `node` as the card's holder.
  bool CardOn(const std::string& id, const Node& node, int timeout_ms = 10000) {
    const std::string sql =
        "SELECT COUNT(*) AS v FROM CardNode WHERE DeviceID = ? AND Node = '" + node.name + "'";
    return test::Eventually([&] { return db_->Scalar(sql, id) == 1; }, timeout_ms);
  }

  std::vector<std::string> ZvServer(const Node& node, const std::string& id,
                                    const std::string& user) {
    return {"--settings",   Path("tarvo.ini"),
            "--medium",     "zv-server",
            "--relay-ip",   "127.0.0.1",
            "--relay-port", std::to_string(node.user_port),
            "--device-id",  id,
            "--user",       user,
            "--password",   "pw",
            "--fast-pacing"};
  }
  // Runs tarvo-cli to its end: exit code and standard output.
  std::pair<int, std::string> Cli(std::vector<std::string> args,
                                  const std::vector<std::string>& command) {
    args.insert(args.end(), command.begin(), command.end());
    ChildProcess cli;
    if (!cli.Start(TARVO_CLI_PATH, args)) return {-1, ""};
    std::string out, line;
    while (cli.ReadLine(&line, 60000)) out += line + "\n";
    return {cli.Wait(60000), out};
  }
  std::string WriteLocal(const std::string& name, const std::string& bytes) {
    std::ofstream(Path(name), std::ios::binary) << bytes;
    return Path(name);
  }
  std::string ReadLocal(const std::string& name) {
    std::ifstream in(Path(name), std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  }
  // Uploads `bytes` as `name` to `disk` through `link` (the user disk takes
  // blocks, the system disk a stream) and reads the file back whole.
  void UploadAndReadBack(const std::vector<std::string>& link, const std::string& disk,
                         const std::string& name, const std::string& bytes) {
    auto w = Cli(link, {"write", disk, WriteLocal(name, bytes)});
    EXPECT_EQ(w.first, 0);
    EXPECT_EQ(w.second, "Successful!\n");
    const std::string remote = disk == "system" ? "S:" + name : name;
    auto r = Cli(link, {"read", disk, remote, "-o", Path(name + ".back")});
    EXPECT_EQ(r.first, 0) << r.second;
    EXPECT_EQ(ReadLocal(name + ".back").size(), bytes.size());
    EXPECT_TRUE(ReadLocal(name + ".back") == bytes) << name << " differs when read back";
  }

  std::unique_ptr<test::TempDatabase> db_;
  Node a_, b_;
  std::vector<std::unique_ptr<ChildProcess>> cards_;
};

TEST_F(ZvrelaydCluster, TheCliOnOneNodeDrivesACardOnTheOther) {
  StartCard("ABC123", {&b_});
  ASSERT_TRUE(CardOn("ABC123", b_));
  const std::vector<std::string> link = ZvServer(a_, "ABC123", "alice");
  UploadAndReadBack(link, "user", "BLOCK.BIN", Pattern(200000, 7));
  UploadAndReadBack(link, "system", "STREAM.BIN", Pattern(1048576 + 4097, 8));
  auto list = Cli(link, {"list", "user"});
  EXPECT_EQ(list.first, 0);
  EXPECT_NE(list.second.find("BLOCK.BIN                    200000"), std::string::npos)
      << list.second;
}

TEST_F(ZvrelaydCluster, UsersOfTwoNodesNeverHoldOneCardTogether) {
  StartCard("ABC123", {&b_});
  ASSERT_TRUE(CardOn("ABC123", b_));
  auto alice = std::make_unique<User>(), bob = std::make_unique<User>();
  ASSERT_EQ(alice->LogIn(a_, "alice"), 1);
  ASSERT_EQ(bob->LogIn(b_, "bob"), 1);
  // One session per user in the whole fleet, whatever the case of the name.
  EXPECT_EQ(User().LogIn(b_, "alice"), 3);
  EXPECT_EQ(User().LogIn(a_, "BOB"), 3);

  // Each round both ask at the same moment, the card's own node racing a
  // remote one; whoever wins, the answers are those of one server, at once.
  for (int round = 0; round < 10; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    ASSERT_TRUE(alice->peer.Send(test::LockFrame("ABC123", 1)));
    ASSERT_TRUE(bob->peer.Send(test::LockFrame("ABC123", 1)));
    const test::Frame a = alice->peer.ReadFrame(10000), b = bob->peer.ReadFrame(10000);
    ASSERT_EQ(a.body.size(), 1u);
    ASSERT_EQ(b.body.size(), 1u);
    ASSERT_EQ(a.body[0] + b.body[0], 1) << "alice " << int(a.body[0]) << ", bob " << int(b.body[0]);
    User& holder = a.body[0] == 1 ? *alice : *bob;
    User& other = a.body[0] == 1 ? *bob : *alice;
    // The other's packet never reaches the card: refused, and no reply
    // turns up at the holder either.
    bool replied = false;
    EXPECT_EQ(other.Ask("ABC123", &replied), 3);
    EXPECT_TRUE(holder.peer.SilentFor(100));
    EXPECT_EQ(holder.Ask("ABC123", &replied), 1);
    EXPECT_TRUE(replied);
    // Unlocked, the card is the other's at once, and then back again.
    EXPECT_EQ(holder.Lock("ABC123", 0), 1);
    EXPECT_EQ(other.Lock("ABC123", 1), 1);
    EXPECT_EQ(other.Ask("ABC123", &replied), 1);
    EXPECT_TRUE(replied);
    EXPECT_EQ(other.Lock("ABC123", 0), 1);
    EXPECT_EQ(holder.Lock("ABC123", 1), 1);
    EXPECT_EQ(holder.Lock("ABC123", 0), 1);
  }
  // Given up on one node, the card is free on the other at once, both ways.
  std::string refused;
  for (int i = 0; i < 200; ++i) {
    User& from = i % 2 ? *alice : *bob;
    User& to = i % 2 ? *bob : *alice;
    from.Lock("ABC123", 1);
    from.Lock("ABC123", 0);
    if (to.Lock("ABC123", 1) != 1) refused += " " + std::string(i % 2 ? "bob" : "alice");
    to.Lock("ABC123", 0);
  }
  EXPECT_EQ(refused, "") << "refused right after the other user's unlock";
  // A user that leaves frees its lock, and may log in on the other node.
  ASSERT_EQ(alice->Lock("ABC123", 1), 1);
  alice.reset();
  EXPECT_TRUE(test::Eventually([&] { return bob->Lock("ABC123", 1) == 1; }, 5000));
  EXPECT_TRUE(test::Eventually([&] { return User().LogIn(b_, "alice") == 1; }, 5000));
}

// An administrator's deletion closes what the deleted user or card has
// connected, whichever node carries it; a UDP card stays with its node.
TEST_F(ZvrelaydCluster, ADeletionOnOneNodeClosesItsConnectionsOnTheOther) {
  db_->AddUser("root", "pw", 1, "Acme");
  StartCard("DEF456", {&b_});
  ASSERT_TRUE(CardOn("DEF456", b_));
  User root, bob;
  ASSERT_EQ(root.LogIn(a_, "root"), 1);
  ASSERT_EQ(bob.LogIn(b_, "bob"), 1);
  // A UDP card is reached through its own node only: from the other one it
  // cannot be locked (rather than locked and then never reached).
  db_->AddCard("4711", "Acme");
  cards_.push_back(std::make_unique<ChildProcess>());
  ASSERT_TRUE(cards_.back()->Start(
      TARVO_SIM_PATH,
      {"--relay-udp", "127.0.0.1:" + std::to_string(b_.card_port), "--device-id", "4711"}));
  ASSERT_TRUE(CardOn("4711", b_));
  EXPECT_EQ(root.Lock("4711", 1), 0);
  EXPECT_EQ(bob.Lock("4711", 1), 1);
  CUserRecord user;
  user.SetName("bob");
  user.SetOrganizationName("Acme");
  CCardRecord card;
  card.SetDeviceID("DEF456");
  card.SetOrganizationName("Acme");
  for (CRecord* record : {static_cast<CRecord*>(&user), static_cast<CRecord*>(&card)}) {
    int n = 0;
    const uint8_t* envelope = record->MakeEnvelope(n);
    ASSERT_TRUE(root.peer.Send(
        test::RelayFrame(0x0004, test::Concat({Bytes{3}, Bytes(envelope, envelope + n)}))));
    const test::Frame ack = root.peer.ReadFrame(10000);
    ASSERT_EQ(ack.type, 0x0F04);
    EXPECT_EQ(ack.body.back(), 0);  // deleted
  }
  EXPECT_TRUE(bob.peer.ClosedWithin(5000));
  // Its card connection is gone, so is its directory entry.
  EXPECT_TRUE(test::Eventually([&] { return !CardOn("DEF456", b_, 100); }, 5000));
}

TEST_F(ZvrelaydCluster, ANodeKilledMidTransferLeavesItsCardsAndUsersToTheFleet) {
  // A slower card, so that the upload is surely under way when its node dies.
  StartCard("ABC123", {&b_, &a_}, {"--reply-delay", "1"});
  StartCard("DEF456", {&b_, &a_});
  StartCard("GHI789", {&a_});
  ASSERT_TRUE(CardOn("ABC123", b_));
  ASSERT_TRUE(CardOn("DEF456", b_));
  ASSERT_TRUE(CardOn("GHI789", a_));
  // carol on the surviving node holds a card of the dying one; bob on the
  // dying node holds a card of the surviving one.
  User carol, bob;
  ASSERT_EQ(carol.LogIn(a_, "carol"), 1);
  ASSERT_EQ(carol.Lock("DEF456", 1), 1);
  ASSERT_EQ(bob.LogIn(b_, "bob"), 1);
  ASSERT_EQ(bob.Lock("GHI789", 1), 1);

  const std::string big = Pattern(1100000, 9);
  std::vector<std::string> upload = ZvServer(a_, "ABC123", "alice");
  upload.insert(upload.end(), {"write", "system", WriteLocal("BIG.BIN", big)});
  ChildProcess cli;
  ASSERT_TRUE(cli.Start(TARVO_CLI_PATH, upload));
  tarvo::platform::SleepMs(500);
  ASSERT_EQ(cli.Wait(0), -1) << "the upload ended before the node was killed";
  ASSERT_EQ(::kill(b_.process.Pid(), SIGKILL), 0);
  ASSERT_EQ(b_.process.Wait(10000), 128 + SIGKILL);
  // The interrupted upload ends one way or the other, then the user tries again.
  std::string out, line;
  while (cli.ReadLine(&line, 60000)) out += line + "\n";
  const int first = cli.Wait(60000);
  EXPECT_TRUE(first == 0 || first == 1) << first << ": " << out;

  EXPECT_TRUE(CardOn("ABC123", a_, 15000));
  EXPECT_TRUE(CardOn("DEF456", a_, 15000));
  // bob's session and lock went with the lease.
  EXPECT_TRUE(test::Eventually([&] { return User().LogIn(a_, "bob") == 1; }, 15000));
  EXPECT_TRUE(test::Eventually([&] { return carol.Lock("GHI789", 1) == 1; }, 15000));
  // carol's lock outlived the move: her card answers her without a new lock.
  bool replied = false;
  EXPECT_EQ(carol.Ask("DEF456", &replied), 1);
  EXPECT_TRUE(replied);
  UploadAndReadBack(ZvServer(a_, "ABC123", "alice"), "system", "BIG.BIN", big);
}

TEST_F(ZvrelaydCluster, ADatabaseRestartFailsRequestsMeanwhileAndForwardingComesBack) {
  StartCard("ABC123", {&b_});
  ASSERT_TRUE(CardOn("ABC123", b_));
  User alice;
  ASSERT_EQ(alice.LogIn(a_, "alice"), 1);
  ASSERT_EQ(alice.Lock("ABC123", 1), 1);

  // alice keeps asking her card on the other node throughout.
  std::atomic<bool> stop{false};
  std::atomic<int> answered{0}, failed{0}, lost{0}, unanswered{0};
  std::thread load([&] {
    while (!stop) {
      bool replied = false;
      const uint8_t status = alice.Ask("ABC123", &replied);
      if (status == 0xFF) {
        ++unanswered;
        break;
      }
      ++(status != 1 ? failed : replied ? answered : lost);
    }
  });
  EXPECT_TRUE(test::Eventually([&] { return answered > 20; }, 10000));

  test::PgCluster& cluster = test::PgCluster::Get();
  // No ASSERT until the load is joined: a running thread must not outlive the test.
  EXPECT_EQ(cluster.Stop(), 1);
  EXPECT_EQ(User().LogIn(a_, "bob"), 2);
  EXPECT_EQ(User().LogIn(b_, "carol"), 2);
  tarvo::platform::SleepMs(1500);
  const int before = answered;
  EXPECT_EQ(cluster.Start(), 1);
  // Back without a restart of either node.
  EXPECT_TRUE(test::Eventually([&] { return answered > before + 20; }, 20000));
  stop = true;
  load.join();
  EXPECT_EQ(unanswered, 0) << "a request got no answer";
  EXPECT_GT(failed, 0) << "no request failed while the database was away";
  // Sent (1) but never answered: only a packet under way when the database
  // went or came back may be lost so.
  EXPECT_LE(lost, 2) << "packets accepted while they could not travel";
  EXPECT_EQ(alice.Lock("ABC123", 0), 1);
  auto version = Cli(ZvServer(a_, "ABC123", "bob"), {"version"});
  EXPECT_EQ(version.first, 0) << version.second;
  EXPECT_EQ(a_.process.Wait(0), -1) << "node-a ended";
  EXPECT_EQ(b_.process.Wait(0), -1) << "node-b ended";
}

}  // namespace
}  // namespace zv
