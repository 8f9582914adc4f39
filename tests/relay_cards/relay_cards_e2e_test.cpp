// zvrelayd with real cards: the program serving a fresh SQLite account file,
// tarvo-sim registered as a TCP card and as a UDP card, and tarvo-cli
// reaching them through libZvServerAPI.so on "Zv Server" and "Zv GPRS".
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "platform/child_process.hpp"
#include "platform/clock.hpp"
#include "relay/client/ZvServerAPI.h"

namespace {

using tarvo::platform::ChildProcess;

const char* kTcpCard = "ABC123";
const char* kUdpCard = "13812345678";
const char* kLeavingCard = "DROP01";

struct RunResult {
  int exit = -1;
  std::string out;
};

// Runs a program to its end and gathers its standard output.
RunResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                     int timeout_ms = 60000) {
  RunResult r;
  ChildProcess child;
  if (child.Start(program, args) != 1) return r;
  std::string line;
  while (child.ReadLine(&line, timeout_ms)) r.out += line + "\n";
  r.exit = child.Wait(timeout_ms);
  return r;
}

std::string Pattern(size_t size, uint32_t seed) {
  std::string bytes(size, 0);
  uint32_t x = seed;
  for (char& c : bytes) {
    x = x * 1664525u + 1013904223u;
    c = static_cast<char>(x >> 24);
  }
  return bytes;
}

class RelayCardsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("tarvo-relay-cards-" + std::to_string(tarvo::platform::MonotonicMs()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir_);
    const std::string db = Path("ZvServer.mdb");
    ASSERT_EQ(
        Admin({"--db", db, "--init-db", "--org", "Acme", "--user", "alice", "--password", "pw"}),
        0);
    ASSERT_EQ(Admin({"--db", db, "--add-user", "bob", "--password", "pw2", "--org", "Acme",
                     "--type", "2"}),
              0);
    for (const char* card : {kTcpCard, kUdpCard, kLeavingCard})
      ASSERT_EQ(Admin({"--db", db, "--add-card", card, "--org", "Acme"}), 0);
    ASSERT_EQ(server_.Start(ZVRELAYD_PATH, {"--db", db, "--bind", "127.0.0.1", "--user-port", "0",
                                            "--card-port", "0", "--log", Path("zvrelayd.log")}),
              1);
    std::string users, cards;
    ASSERT_TRUE(server_.ReadLine(&users, 10000));
    ASSERT_TRUE(server_.ReadLine(&cards, 10000));
    ASSERT_EQ(users.rfind("users ", 0), 0u);
    ASSERT_EQ(cards.rfind("cards ", 0), 0u);
    user_port_ = users.substr(6);
    card_port_ = "127.0.0.1:" + cards.substr(6);
  }
  void TearDown() override {
    for (auto& card : cards_) {
      card->Terminate();
      card->Wait(5000);
    }
    server_.Terminate();
    EXPECT_EQ(server_.Wait(10000), 0) << "zvrelayd stops cleanly";
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }

  std::string Path(const std::string& name) const { return (dir_ / name).string(); }
  int Admin(const std::vector<std::string>& args) { return RunProgram(ZVRELAYD_PATH, args).exit; }

  // Starts tarvo-sim as a card and waits until zvrelayd reports it online.
  ChildProcess* StartCard(const std::vector<std::string>& args, const std::string& id) {
    auto card = std::make_unique<ChildProcess>();
    if (card->Start(TARVO_SIM_PATH, args) != 1) return nullptr;
    std::string line;
    if (!card->ReadLine(&line, 10000)) return nullptr;
    EXPECT_EQ(line, (args[0] == "--relay-card" ? "relay-card " : "relay-udp ") + id);
    if (!WaitOnline(id, true)) return nullptr;
    cards_.push_back(std::move(card));
    return cards_.back().get();
  }
  ChildProcess* StartTcpCard(const std::string& id, std::vector<std::string> extra = {}) {
    std::vector<std::string> args = {"--relay-card", card_port_, "--device-id", id};
    args.insert(args.end(), extra.begin(), extra.end());
    return StartCard(args, id);
  }
  ChildProcess* StartUdpCard(const std::string& id) {
    return StartCard({"--relay-udp", card_port_, "--device-id", id}, id);
  }

  // Asks the server through the client library, as any other user program
  // would, whether the card is connected: only a connected card can be locked.
  bool WaitOnline(const std::string& id, bool online) {
    for (int i = 0; i < 100; ++i) {
      if (ZvServer_Login("127.0.0.1", std::stoi(user_port_), "alice", "pw") == 1) {
        const bool locked = ZvServer_LockCard(id.c_str()) != 0;
        if (locked) ZvServer_UnLockCard(id.c_str());
        ZvServer_Logout();
        if (locked == online) return true;
      }
      tarvo::platform::SleepMs(50);
    }
    return false;
  }
  // The [Card] table's OnLine column as the server reports it.
  std::string OnLineColumn(const std::string& id) {
    char text[256] = {};
    if (ZvServer_Login("127.0.0.1", std::stoi(user_port_), "alice", "pw") != 1) return "";
    ZvServer_QueryCardStatus(id.c_str(), text, sizeof text);
    ZvServer_Logout();
    return text;
  }

  std::vector<std::string> Medium(const std::string& medium, const std::string& id,
                                  const std::string& user = "alice",
                                  const std::string& password = "pw") {
    return {"--settings",   Path("tarvo.ini"), "--medium",     medium, "--relay-ip", "127.0.0.1",
            "--relay-port", user_port_,        "--device-id",  id,     "--user",     user,
            "--password",   password,          "--fast-pacing"};
  }
  std::vector<std::string> ZvServer(const std::string& user = "alice",
                                    const std::string& password = "pw") {
    return Medium("zv-server", kTcpCard, user, password);
  }
  std::vector<std::string> ZvGprs() { return Medium("zv-gprs", kUdpCard); }

  RunResult Cli(std::vector<std::string> link, const std::vector<std::string>& command) {
    link.insert(link.end(), command.begin(), command.end());
    return RunProgram(TARVO_CLI_PATH, link);
  }
  std::string WriteLocal(const std::string& name, const std::string& bytes) {
    std::ofstream(Path(name), std::ios::binary) << bytes;
    return Path(name);
  }
  std::string ReadLocal(const std::string& name) {
    std::ifstream in(Path(name), std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  }

  // Every command kind over one medium: uploads (block, and a stream above
  // 1 MiB when asked), read-back byte for byte, listing, version, configuration.
  void CarryEveryCommand(const std::vector<std::string>& link, bool stream_upload) {
    const std::string block = Pattern(300000, 7);
    RunResult w = Cli(link, {"write", "user", WriteLocal("BLOCK.BIN", block)});
    EXPECT_EQ(w.exit, 0);
    EXPECT_EQ(w.out, "Successful!\n");
    RunResult r = Cli(link, {"read", "user", "BLOCK.BIN", "-o", Path("block.back")});
    EXPECT_EQ(r.exit, 0) << r.out;
    EXPECT_TRUE(ReadLocal("block.back") == block);
    if (stream_upload) {
      const std::string stream = Pattern(1048576 + 4097, 8);
      RunResult ws = Cli(link, {"write", "system", WriteLocal("STREAM.BIN", stream)});
      EXPECT_EQ(ws.exit, 0);
      EXPECT_EQ(ws.out, "Successful!\n");
      RunResult rs = Cli(link, {"read", "system", "S:STREAM.BIN", "-o", Path("stream.back")});
      EXPECT_EQ(rs.exit, 0) << rs.out;
      EXPECT_EQ(ReadLocal("stream.back").size(), stream.size());
      EXPECT_TRUE(ReadLocal("stream.back") == stream);
    }
    RunResult list = Cli(link, {"list", "user"});
    EXPECT_EQ(list.exit, 0);
    EXPECT_NE(list.out.find("BLOCK.BIN                    300000"), std::string::npos) << list.out;
    RunResult version = Cli(link, {"version"});
    EXPECT_EQ(version.exit, 0);
    EXPECT_EQ(version.out.rfind("Tarvo-E/D\n\nVersion: ", 0), 0u) << version.out;
    EXPECT_NE(version.out.find(" APP  = 4.16"), std::string::npos) << version.out;
    RunResult set = Cli(link, {"config", "set", "speed=fast", "temperature=-5F"});
    EXPECT_EQ(set.exit, 0) << set.out;
    RunResult get = Cli(link, {"config", "read", "speed", "temperature"});
    EXPECT_EQ(get.exit, 0);
    EXPECT_EQ(get.out, "Successful\nspeed=fast\ntemperature=-5F\n");
  }

  ChildProcess server_;
  std::string user_port_, card_port_;
  std::vector<std::unique_ptr<ChildProcess>> cards_;

 private:
  std::filesystem::path dir_;
};

TEST_F(RelayCardsTest, ZvServerCarriesEveryCommandToATcpCard) {
  ASSERT_NE(StartTcpCard(kTcpCard), nullptr);
  EXPECT_EQ(OnLineColumn(kTcpCard), std::string(kTcpCard) + "=1;");
  CarryEveryCommand(ZvServer(), true);
}

TEST_F(RelayCardsTest, ZvGprsCarriesEveryCommandToAUdpCard) {
  ASSERT_NE(StartUdpCard(kUdpCard), nullptr);
  CarryEveryCommand(ZvGprs(), false);
}

TEST_F(RelayCardsTest, BothKindsOfCardsServeAtOnceWithoutMixingReplies) {
  ASSERT_NE(StartTcpCard(kTcpCard, {"--capacity", "1000000"}), nullptr);
  ASSERT_NE(StartUdpCard(kUdpCard), nullptr);
  // Each card answers with its own disk: the sizes tell them apart.
  RunResult tcp = Cli(ZvServer(), {"free", "user"});
  RunResult udp = Cli(ZvGprs(), {"free", "user"});
  EXPECT_EQ(tcp.exit, 0);
  EXPECT_EQ(udp.exit, 0);
  EXPECT_NE(tcp.out, udp.out);
  EXPECT_NE(tcp.out.find("1000000"), std::string::npos) << tcp.out;
}

TEST_F(RelayCardsTest, SecondUserIsRefusedWhileTheFirstHoldsTheCardLock) {
  ASSERT_NE(StartTcpCard(kTcpCard), nullptr);
  // bob holds the lock through the library in this process.
  ASSERT_EQ(ZvServer_Login("127.0.0.1", std::stoi(user_port_), "bob", "pw2"), 1);
  ASSERT_NE(ZvServer_LockCard(kTcpCard), 0);
  RunResult refused = Cli(ZvServer(), {"version"});
  EXPECT_EQ(refused.exit, 1);
  EXPECT_EQ(refused.out, "Communication failed!\n");
  // The refused user left no lock behind: bob still holds it and can unlock.
  EXPECT_NE(ZvServer_UnLockCard(kTcpCard), 0);
  RunResult granted = Cli(ZvServer(), {"version"});
  EXPECT_EQ(granted.exit, 0) << granted.out;
  // And the other way round: the CLI released its lock when it ended.
  EXPECT_NE(ZvServer_LockCard(kTcpCard), 0);
  ZvServer_Logout();
  // A logout drops the user's locks, so alice gets the card again.
  EXPECT_EQ(Cli(ZvServer(), {"version"}).exit, 0);
}

TEST_F(RelayCardsTest, CardLeavingMidTransferEndsTheCliAndTheServerKeepsServing) {
  // A slow card, so that the upload is surely under way when it leaves.
  ChildProcess* leaving = StartTcpCard(kLeavingCard, {"--reply-delay", "5"});
  ASSERT_NE(leaving, nullptr);
  ASSERT_NE(StartTcpCard(kTcpCard), nullptr);
  ChildProcess cli;
  std::vector<std::string> args = Medium("zv-server", kLeavingCard);
  for (const std::string& a :
       {std::string("write"), std::string("system"), WriteLocal("BIG.BIN", Pattern(1100000, 9))})
    args.push_back(a);
  ASSERT_EQ(cli.Start(TARVO_CLI_PATH, args), 1);
  tarvo::platform::SleepMs(700);
  leaving->Terminate();
  EXPECT_EQ(leaving->Wait(5000), 0);
  std::string out, line;
  while (cli.ReadLine(&line, 20000)) out += line + "\n";
  EXPECT_EQ(cli.Wait(20000), 1);
  EXPECT_EQ(out, "Communication failed!\n");
  EXPECT_TRUE(WaitOnline(kLeavingCard, false));
  EXPECT_EQ(OnLineColumn(kLeavingCard), std::string(kLeavingCard) + "=0;");
  // The server goes on serving the other card, and the card that left can
  // come back.
  EXPECT_EQ(Cli(ZvServer(), {"version"}).exit, 0);
  ASSERT_NE(StartTcpCard(kLeavingCard), nullptr);
  EXPECT_EQ(Cli(Medium("zv-server", kLeavingCard), {"version"}).exit, 0);
}

TEST_F(RelayCardsTest, ACardWithASecretServesOnlyWhenItProvesIt) {
  ASSERT_EQ(Admin({"--db", Path("ZvServer.mdb"), "--add-card", "SEC001", "--org", "Acme",
                   "--secret", "s3cret"}),
            0);
  // With another secret the card is turned away at its challenge.
  ChildProcess wrong;
  ASSERT_EQ(wrong.Start(TARVO_SIM_PATH, {"--relay-card", card_port_, "--device-id", "SEC001",
                                         "--card-secret", "guess"}),
            1);
  std::string line;
  ASSERT_TRUE(wrong.ReadLine(&line, 10000));
  bool refused = false;
  for (int i = 0; i < 100 && !refused; ++i, tarvo::platform::SleepMs(50))
    refused = ReadLocal("zvrelayd.log").find("card SEC001 refused from 127.0.0.1: wrong answer") !=
              std::string::npos;
  EXPECT_TRUE(refused);
  EXPECT_EQ(OnLineColumn("SEC001"), "SEC001=0;");
  wrong.Terminate();
  EXPECT_EQ(wrong.Wait(5000), 0);
  // With the right one it registers and carries the tool's commands.
  ASSERT_NE(StartTcpCard("SEC001", {"--card-secret", "s3cret"}), nullptr);
  RunResult version = Cli(Medium("zv-server", "SEC001"), {"version"});
  EXPECT_EQ(version.exit, 0) << version.out;
}

TEST_F(RelayCardsTest, CardReconnectsAfterTheServerRestarts) {
  ASSERT_NE(StartTcpCard(kTcpCard), nullptr);
  server_.Terminate();
  ASSERT_EQ(server_.Wait(10000), 0);
  const std::string port = card_port_.substr(card_port_.find(':') + 1);
  ASSERT_EQ(server_.Start(ZVRELAYD_PATH, {"--db", Path("ZvServer.mdb"), "--bind", "127.0.0.1",
                                          "--user-port", "0", "--card-port", port}),
            1);
  std::string users, cards;
  ASSERT_TRUE(server_.ReadLine(&users, 10000));
  ASSERT_TRUE(server_.ReadLine(&cards, 10000));
  user_port_ = users.substr(6);
  // The TCP card reconnects within its retry pause.
  EXPECT_TRUE(WaitOnline(kTcpCard, true));
  EXPECT_EQ(Cli(ZvServer(), {"version"}).exit, 0);
}

}  // namespace
