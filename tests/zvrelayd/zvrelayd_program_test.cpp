// The zvrelayd program from outside: its account commands, its start-up
// lines and its stop on SIGTERM, and a whole exchange through the client
// library libZvServerAPI.so with a card that answers every packet.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "common/version.hpp"
#include "platform/child_process.hpp"
#include "platform/clock.hpp"
#include "platform/process.hpp"
#include "platform/socket.hpp"
#include "relay/client/ZvServerAPI.h"

namespace {

using tarvo::platform::ChildProcess;

const std::string kProgram = tarvo::platform::ExecutableDir() + "zvrelayd";

// Runs zvrelayd to its end; its standard output goes to `output` when given.
int RunZvrelayd(const std::vector<std::string>& args, std::string* output = nullptr) {
  ChildProcess child;
  if (!child.Start(kProgram, args)) return -1;
  std::string line;
  while (child.ReadLine(&line, 10000)) {
    if (output) *output += line + "\n";
  }
  return child.Wait(10000);
}

// Runs zvrelayd as a user that may read this test's files but not write
// them (root writes everything: then as nobody). Returns the exit code and
// what it wrote on its standard error stream.
std::pair<int, std::string> RunZvrelaydAsReader(const std::vector<std::string>& args) {
  std::string command = "exec ";
  if (getuid() == 0) command += "setpriv --reuid=65534 --regid=65534 --clear-groups ";
  command += kProgram;
  for (const std::string& a : args) command += " '" + a + "'";
  command += " 2>&1 >/dev/null";
  ChildProcess child;
  if (!child.Start("/bin/sh", {"-c", command})) return {-1, ""};
  std::string errors, line;
  while (child.ReadLine(&line, 10000)) errors += line + "\n";
  return {child.Wait(10000), errors};
}

struct TempFolder {
  std::filesystem::path path =
      std::filesystem::temp_directory_path() /
      ("zvrelayd-program-" + std::to_string(tarvo::platform::MonotonicMs()));
  TempFolder() { std::filesystem::create_directories(path); }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
  }
  std::string File(const char* name) const { return (path / name).string(); }
};

// The soft and hard limits on open files of a running process, from
// /proc/<pid>/limits ("unlimited" read as -1).
std::pair<long, long> OpenFileLimits(long pid) {
  std::ifstream limits("/proc/" + std::to_string(pid) + "/limits");
  const std::string title = "Max open files";
  for (std::string line; std::getline(limits, line);) {
    if (line.rfind(title, 0) != 0) continue;
    std::istringstream fields(line.substr(title.size()));
    std::string soft, hard;
    fields >> soft >> hard;
    auto value = [](const std::string& v) { return v == "unlimited" ? -1L : std::stol(v); };
    return {value(soft), value(hard)};
  }
  return {0, 0};
}

// A TCP card that registers and answers each forwarded packet
// ([len + 6][01 x 6][packet]) with [L][its DeviceID][the packet as a reply].
class EchoCard {
 public:
  EchoCard(uint16_t port, const std::string& id) : id_(id) {
    connected_ = socket_.Connect(0x7F000001, port, 2000) == 1;
    std::string reg = std::string("\x06\x00", 2) + id;
    if (connected_) socket_.SendAll(reg.data(), reg.size());
    thread_ = std::thread([this] { Loop(); });
  }
  ~EchoCard() {
    stop_ = true;
    thread_.join();
  }
  bool connected() const { return connected_; }
  int answered() const { return answered_; }

 private:
  bool ReadExact(uint8_t* out, size_t n) {
    size_t have = 0;
    while (have < n) {
      if (stop_) return false;
      if (socket_.WaitReadable(50) != 1) continue;
      long got = socket_.ReceiveSome(out + have, n - have);
      if (got <= 0) return false;
      have += static_cast<size_t>(got);
    }
    return true;
  }
  void Loop() {
    while (connected_ && !stop_) {
      uint8_t head[8];
      if (!ReadExact(head, 8)) return;
      size_t packet_length = static_cast<size_t>(head[0] | (head[1] << 8)) - 6;
      std::vector<uint8_t> packet(packet_length);
      if (!ReadExact(packet.data(), packet_length)) return;
      if (!packet.empty()) packet[0] = 0xE8;  // the reply marker
      std::vector<uint8_t> reply = {static_cast<uint8_t>(packet.size() + 6),
                                    static_cast<uint8_t>((packet.size() + 6) >> 8)};
      reply.insert(reply.end(), id_.begin(), id_.end());
      reply.insert(reply.end(), packet.begin(), packet.end());
      socket_.SendAll(reply.data(), reply.size());
      ++answered_;
    }
  }

  std::string id_;
  tarvo::platform::TcpSocket socket_;
  bool connected_ = false;
  std::atomic<bool> stop_{false};
  std::atomic<int> answered_{0};
  std::thread thread_;
};

TEST(ZvrelaydProgram, AccountCommandsCreateTheDatabaseAndRefuseBadRequests) {
  TempFolder tmp;
  const std::string db = tmp.File("accounts.mdb");
  EXPECT_NE(RunZvrelayd({"--db", db, "--add-card", "ABC123", "--org", "Acme"}),
            0);  // no database yet
  EXPECT_EQ(RunZvrelayd(
                {"--db", db, "--init-db", "--org", "Acme", "--user", "admin", "--password", "pw"}),
            0);
  EXPECT_EQ(RunZvrelayd({"--db", db, "--add-card", "ABC123", "--org", "Acme"}), 0);
  EXPECT_NE(RunZvrelayd({"--db", db, "--add-card", "ABC123", "--org", "Acme"}), 0);  // taken
  EXPECT_NE(RunZvrelayd({"--db", db, "--add-user", "bob", "--password", "b", "--org", "Nowhere",
                         "--type", "2"}),
            0);
  EXPECT_EQ(RunZvrelayd({"--db", db, "--add-user", "bob", "--password", "b", "--org", "Acme",
                         "--type", "2"}),
            0);
  EXPECT_EQ(RunZvrelayd({"--db", db, "--no-such-option"}), 2);
  EXPECT_EQ(RunZvrelayd({"--db", db, "--threads", "0"}), 2);
  EXPECT_EQ(RunZvrelayd({"--db", db, "--init-db", "--add-card", "X", "--org", "Acme"}), 2);
  EXPECT_EQ(RunZvrelayd({"--help"}), 0);
  std::string version;
  EXPECT_TRUE(RunZvrelayd({"--version"}, &version) == 0 &&
              version == std::string("zvrelayd ") + tarvo::kSuiteVersion + "\n")
      << version;
  EXPECT_NE(RunZvrelayd({"--db", tmp.File("missing.mdb"), "--user-port", "0"}), 0);  // not served

  // A database the server may read but not write is named as such, not as
  // one to create.
  namespace fs = std::filesystem;
  const fs::perms read_only =
      fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read;
  const fs::perms search = fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec;
  fs::permissions(db, read_only);
  fs::permissions(tmp.path, read_only | search);
  const auto serving = RunZvrelaydAsReader({"--db", db, "--user-port", "0", "--card-port", "0"});
  const auto adding = RunZvrelaydAsReader({"--db", db, "--add-card", "DEF456", "--org", "Acme"});
  fs::permissions(tmp.path, fs::perms::owner_all | read_only | search);
  for (const auto& [code, errors] : {serving, adding}) {
    EXPECT_EQ(code, 1) << errors;
    EXPECT_NE(errors.find("read-only"), std::string::npos) << errors;
    EXPECT_EQ(errors.find("--init-db"), std::string::npos) << errors;
  }
}

TEST(ZvrelaydProgram, ServesTheClientLibraryAndStopsOnSigterm) {
  TempFolder tmp;
  const std::string db = tmp.File("ZvServer.mdb");
  ASSERT_EQ(RunZvrelayd(
                {"--db", db, "--init-db", "--org", "Acme", "--user", "admin", "--password", "pw"}),
            0);
  ASSERT_EQ(RunZvrelayd({"--db", db, "--add-card", "ABC123", "--org", "Acme"}), 0);

  // Started with the usual soft limit on open files, whatever this test runs under.
  struct rlimit ours {};
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &ours), 0);
  struct rlimit usual = ours;
  usual.rlim_cur = std::min<rlim_t>(ours.rlim_cur, 1024);
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &usual), 0);
  ChildProcess server;
  const bool started =
      server.Start(kProgram, {"--db", db, "--bind", "127.0.0.1", "--user-port", "0", "--card-port",
                              "0", "--threads", "2", "--log", tmp.File("zvrelayd.log")});
  setrlimit(RLIMIT_NOFILE, &ours);
  ASSERT_TRUE(started);
  std::string users, cards;
  ASSERT_TRUE(server.ReadLine(&users, 10000));
  ASSERT_TRUE(server.ReadLine(&cards, 10000));
  ASSERT_EQ(users.rfind("users ", 0), 0u) << users;
  ASSERT_EQ(cards.rfind("cards ", 0), 0u) << cards;
  const int user_port = std::stoi(users.substr(6));
  const uint16_t card_port = static_cast<uint16_t>(std::stoi(cards.substr(6)));
  // Each connection takes a descriptor: the server takes what the hard limit
  // allows rather than the usual soft 1024.
  const auto [soft, hard] = OpenFileLimits(server.Pid());
  EXPECT_EQ(soft, hard == -1 || hard > (1L << 20) ? (1L << 20) : hard);

  EchoCard card(card_port, "ABC123");
  ASSERT_TRUE(card.connected());
  ASSERT_EQ(ZvServer_Login("127.0.0.1", user_port, "admin", "pw"), 1);
  // The card registers on its own time: wait until it can be locked.
  int locked = 0;
  for (int i = 0; i < 200 && !locked; ++i) {
    locked = ZvServer_LockCard("ABC123");
    if (!locked) tarvo::platform::SleepMs(10);
  }
  ASSERT_NE(locked, 0);

  const std::vector<uint8_t> packet = {0x68, 0x32, 0x01, 0x00, 0x05, 0x00, 0x00, 0x9F, 0x00};
  std::vector<uint8_t> envelope = {static_cast<uint8_t>(packet.size() + 6), 0, 1, 1, 1, 1, 1, 1};
  envelope.insert(envelope.end(), packet.begin(), packet.end());
  for (int round = 0; round < 3; ++round) {
    EXPECT_EQ(
        ZvServer_SendCommPacket("ABC123", 1, envelope.data(), static_cast<int>(envelope.size())),
        1);
    unsigned char buffer[2048] = {};
    int n = ZvServer_RecvCommPacket(buffer, sizeof buffer);
    ASSERT_EQ(n, static_cast<int>(packet.size() + 8));
    EXPECT_EQ(buffer[0], packet.size() + 6);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer + 2), 6), "ABC123");
    EXPECT_EQ(buffer[8], 0xE8);
    EXPECT_EQ(std::vector<uint8_t>(buffer + 9, buffer + n),
              std::vector<uint8_t>(packet.begin() + 1, packet.end()));
  }
  EXPECT_EQ(card.answered(), 3);
  EXPECT_NE(ZvServer_UnLockCard("ABC123"), 0);
  ZvServer_Logout();

  ASSERT_TRUE(server.Terminate());
  EXPECT_EQ(server.Wait(10000), 0);
  std::ifstream log(tmp.File("zvrelayd.log"));
  const std::string text((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
  EXPECT_NE(text.find("serving users on port " + std::to_string(user_port)), std::string::npos)
      << text;
  EXPECT_NE(text.find("stopped serving"), std::string::npos) << text;
}

}  // namespace
