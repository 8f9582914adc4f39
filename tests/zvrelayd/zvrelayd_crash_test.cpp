// zvrelayd killed with SIGKILL at random moments while a logged-in admin
// streams record operations at it. After every kill the database must be
// whole, hold every write the server acknowledged (and of the writes still
// in flight, a prefix in request order, each one whole or not at all), and
// every organization's counters must equal its rows.
#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <thread>

#include "platform/child_process.hpp"
#include "platform/clock.hpp"
#include "platform/process.hpp"
#include "raw_peers.hpp"
#include "relay/messages/card_record.hpp"
#include "relay/messages/organization_record.hpp"
#include "relay/messages/record_op_msg.hpp"
#include "relay/messages/user_record.hpp"

namespace zv {
namespace {

using tarvo::platform::ChildProcess;
using test::Bytes;
using test::RawPeer;

const std::string kProgram = tarvo::platform::ExecutableDir() + "zvrelayd";
constexpr int kKills = 60;
constexpr size_t kWindow = 6;  // record operations in flight at once

// What the database holds, as far as the operations see it.
struct Accounts {
  std::set<std::string> organizations;
  std::map<std::string, std::string> users;  // name -> organization
  std::map<std::string, std::string> cards;  // device ID -> organization
  bool operator==(const Accounts&) const = default;
};

struct Operation {
  uint8_t operation = 0;
  int kind = 0;
  std::string key;
  std::string organization;  // of the added or changed user or card
  Bytes frame;

  void ApplyTo(Accounts& a) const {
    auto& rows = kind == kUserKind ? a.users : a.cards;
    if (kind == kOrganizationKind) {
      if (operation == kRecordAdd) a.organizations.insert(key);
      if (operation != kRecordDelete) return;
      a.organizations.erase(key);
      std::erase_if(a.users, [&](const auto& u) { return u.second == key; });
      std::erase_if(a.cards, [&](const auto& c) { return c.second == key; });
    } else if (operation == kRecordDelete) {
      rows.erase(key);
    } else {
      rows[key] = organization;
    }
  }
  std::string Describe() const {
    static const char* const kOps[] = {"", "add", "modify", "delete"};
    static const char* const kKinds[] = {"", "organization", "user", "card"};
    return std::string(kOps[operation]) + " " + kKinds[kind] + " " + key +
           (organization.empty() ? "" : " in " + organization);
  }
};

Bytes RecordOpFrame(uint8_t operation, CRecord& record) {
  int n = 0;
  const uint8_t* envelope = record.MakeEnvelope(n);
  Bytes body = {operation};
  body.insert(body.end(), envelope, envelope + n);
  return test::RelayFrame(kRecordOpMsgType, body);
}

// A scripted mix of valid operations: each is planned on the accounts as
// they stand after every operation before it.
class Script {
 public:
  explicit Script(uint32_t seed) : rng_(seed) {}

  Operation Next(Accounts& planned) {
    Operation op;
    std::vector<std::string> orgs(planned.organizations.begin(), planned.organizations.end());
    std::vector<std::string> movable(orgs);  // "Root" keeps the admin and stays
    std::erase(movable, "Root");
    // Mostly adds, which write a row and a counter, and organization deletes,
    // which write four tables: the operations a kill can cut in two.
    const int roll = Pick(100);
    if (roll < 6 && orgs.size() < 6) {
      op = Organization(kRecordAdd, "o" + std::to_string(++serial_), 0, 0);
    } else if (roll < 16 && !movable.empty()) {
      op = Organization(kRecordDelete, movable[Pick(movable.size())], 0, 0);
    } else if (roll < 20) {
      // A changed quota; the counters sent are the ones the rows give.
      const std::string org = orgs[Pick(orgs.size())];
      op = Organization(kRecordModify, org, Count(planned.users, org), Count(planned.cards, org));
    } else if (roll < 50) {
      op = Member(kRecordAdd, kUserKind, "u" + std::to_string(++serial_), orgs[Pick(orgs.size())]);
    } else if (roll < 80) {
      op = Member(kRecordAdd, kCardKind, "c" + std::to_string(++serial_), orgs[Pick(orgs.size())]);
    } else {
      const int kind = Pick(2) ? kUserKind : kCardKind;
      std::vector<std::string> keys;
      for (const auto& [key, org] : kind == kUserKind ? planned.users : planned.cards)
        if (key != "admin") keys.push_back(key);
      if (keys.empty()) return Next(planned);
      const std::string key = keys[Pick(keys.size())];
      op = roll < 90 ? Member(kRecordModify, kind, key, orgs[Pick(orgs.size())])
                     : Member(kRecordDelete, kind, key, "");
    }
    op.ApplyTo(planned);
    return op;
  }

 private:
  size_t Pick(size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(rng_); }
  static int Count(const std::map<std::string, std::string>& rows, const std::string& org) {
    return static_cast<int>(
        std::count_if(rows.begin(), rows.end(), [&](const auto& r) { return r.second == org; }));
  }
  Operation Organization(uint8_t operation, const std::string& name, int users, int cards) {
    COrganizationRecord r;
    r.SetOrganizationName(name);
    r.SetMaxUserNum(50 + static_cast<int>(Pick(50)));
    r.SetMaxCardNum(100);
    r.SetUserNum(users);
    r.SetCardNum(cards);
    return {operation, kOrganizationKind, name, "", RecordOpFrame(operation, r)};
  }
  Operation Member(uint8_t operation, int kind, const std::string& key, const std::string& org) {
    Operation op{operation, kind, key, org, {}};
    if (kind == kUserKind) {
      CUserRecord r;
      r.SetName(key);
      r.SetPassword("pw");
      r.SetType(2);
      r.SetOrganizationName(org);
      op.frame = RecordOpFrame(operation, r);
    } else {
      CCardRecord r;
      r.SetDeviceID(key);
      r.SetOrganizationName(org);
      op.frame = RecordOpFrame(operation, r);
    }
    return op;
  }

  std::mt19937 rng_;
  int serial_ = 0;
};

struct Stored {
  Accounts accounts;
  std::string integrity;
  std::vector<std::string> counter_faults;  // organizations whose counters are off
};

// Reads the database after a kill with a connection of its own.
Stored ReadDatabase(const std::string& path) {
  Stored s;
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
    s.integrity = "cannot open";
    sqlite3_close(db);
    return s;
  }
  auto rows = [&](const char* sql, const std::function<void(sqlite3_stmt*)>& each) {
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &st, nullptr) != SQLITE_OK) return;
    while (sqlite3_step(st) == SQLITE_ROW) each(st);
    sqlite3_finalize(st);
  };
  auto text = [](sqlite3_stmt* st, int column) {
    const unsigned char* t = sqlite3_column_text(st, column);
    return t ? std::string(reinterpret_cast<const char*>(t)) : std::string();
  };
  rows("PRAGMA integrity_check", [&](sqlite3_stmt* st) { s.integrity += text(st, 0); });
  rows("SELECT Name, OrganizationName FROM [User]",
       [&](sqlite3_stmt* st) { s.accounts.users[text(st, 0)] = text(st, 1); });
  rows("SELECT DeviceID, OrganizationName FROM [Card]",
       [&](sqlite3_stmt* st) { s.accounts.cards[text(st, 0)] = text(st, 1); });
  rows(
      "SELECT o.OrganizationName, o.UserNum, o.CardNum,"
      " (SELECT count(*) FROM [User] u WHERE u.OrganizationName = o.OrganizationName),"
      " (SELECT count(*) FROM [Card] c WHERE c.OrganizationName = o.OrganizationName)"
      " FROM [Organization] o",
      [&](sqlite3_stmt* st) {
        const std::string name = text(st, 0);
        s.accounts.organizations.insert(name);
        const int users = sqlite3_column_int(st, 1), cards = sqlite3_column_int(st, 2);
        const int user_rows = sqlite3_column_int(st, 3), card_rows = sqlite3_column_int(st, 4);
        if (users != user_rows || cards != card_rows)
          s.counter_faults.push_back(name + ": UserNum " + std::to_string(users) + " for " +
                                     std::to_string(user_rows) + " users, CardNum " +
                                     std::to_string(cards) + " for " + std::to_string(card_rows) +
                                     " cards");
      });
  sqlite3_close(db);
  return s;
}

// Sets every organization's counters to its rows, so that a fault is
// reported by the kill that made it and not again by every later one.
void RepairCounters(const std::string& path) {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK)
    sqlite3_exec(db,
                 "UPDATE [Organization] SET"
                 " UserNum = (SELECT count(*) FROM [User] u"
                 "  WHERE u.OrganizationName = [Organization].OrganizationName),"
                 " CardNum = (SELECT count(*) FROM [Card] c"
                 "  WHERE c.OrganizationName = [Organization].OrganizationName)",
                 nullptr, nullptr, nullptr);
  sqlite3_close(db);
}

std::string Show(const Accounts& a) {
  std::ostringstream out;
  out << "organizations:";
  for (const auto& o : a.organizations) out << " " << o;
  out << "\nusers:";
  for (const auto& [u, o] : a.users) out << " " << u << "@" << o;
  out << "\ncards:";
  for (const auto& [c, o] : a.cards) out << " " << c << "@" << o;
  return out.str();
}

struct Server {
  ChildProcess process;
  uint16_t user_port = 0;

  bool Start(const std::string& db) {
    if (!process.Start(kProgram,
                       {"--db", db, "--bind", "127.0.0.1", "--user-port", "0", "--card-port", "0"}))
      return false;
    std::string users, cards;
    if (!process.ReadLine(&users, 10000) || !process.ReadLine(&cards, 10000)) return false;
    if (users.rfind("users ", 0) != 0) return false;
    user_port = static_cast<uint16_t>(std::stoi(users.substr(6)));
    return true;
  }
};

TEST(ZvrelaydCrash, KilledDuringRecordOperationsTheDatabaseKeepsEveryAcknowledgedWhole) {
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() /
      ("zvrelayd-crash-" + std::to_string(tarvo::platform::MonotonicMs()));
  std::filesystem::create_directories(folder);
  const std::string db = (folder / "ZvServer.mdb").string();
  {
    ChildProcess init;
    ASSERT_TRUE(init.Start(kProgram, {"--db", db, "--init-db", "--org", "Root", "--user", "admin",
                                      "--password", "pw"}));
    ASSERT_EQ(init.Wait(10000), 0);
  }
  Accounts acknowledged;
  acknowledged.organizations = {"Root"};
  acknowledged.users = {{"admin", "Root"}};
  Script script(20240611);
  std::mt19937 timing(std::random_device{}());
  int kills = 0, torn = 0, total_acknowledged = 0;

  for (int cycle = 0; cycle < kKills; ++cycle) {
    Server server;
    ASSERT_TRUE(server.Start(db)) << "cycle " << cycle;
    RawPeer admin;
    ASSERT_TRUE(admin.Connect(server.user_port));
    ASSERT_TRUE(admin.Send(
        test::RelayFrame(0x0001, test::Concat({test::Counted("admin"), test::Counted("pw")}))));
    ASSERT_EQ(admin.ReadFrame().body.at(0), 1) << "cycle " << cycle;

    // The kill comes at a random moment of the stream of operations.
    const int pid = server.process.Pid();
    const int delay_ms = std::uniform_int_distribution<int>(5, 80)(timing);
    std::thread killer([pid, delay_ms] {
      std::this_thread::sleep_for(std::chrono::milliseconds(delay_ms));
      ::kill(pid, SIGKILL);
    });
    Accounts planned = acknowledged;
    std::deque<Operation> in_flight;
    for (;;) {
      while (in_flight.size() < kWindow) {
        in_flight.push_back(script.Next(planned));
        if (!admin.Send(in_flight.back().frame)) break;
      }
      test::Frame f = admin.ReadFrame(5000);
      if (f.type == 0) break;  // killed
      CRecordOpAckMsg ack;
      ASSERT_EQ(f.type, kRecordOpAckMsgType);
      ASSERT_EQ(ack.Decode(f.body.data(), static_cast<int>(f.body.size())), 1);
      const Operation& op = in_flight.front();
      ASSERT_EQ(ack.GetKey(), op.key) << "answers out of order";
      ASSERT_EQ(ack.GetResult(), 0) << "refused: " << op.Describe();
      op.ApplyTo(acknowledged);
      in_flight.pop_front();
      ++total_acknowledged;
    }
    killer.join();
    ASSERT_EQ(server.process.Wait(10000), 128 + SIGKILL) << "cycle " << cycle;
    ++kills;

    const Stored stored = ReadDatabase(db);
    ASSERT_EQ(stored.integrity, "ok") << "cycle " << cycle;
    // The acknowledged writes, then some of those in flight, in order and whole.
    Accounts candidate = acknowledged;
    size_t applied = 0;
    while (!(candidate == stored.accounts) && applied < in_flight.size())
      in_flight[applied++].ApplyTo(candidate);
    const bool whole = candidate == stored.accounts && stored.counter_faults.empty();
    if (!(candidate == stored.accounts)) {
      ADD_FAILURE() << "cycle " << cycle << ": the database matches no prefix of the writes\n"
                    << "first write in flight: "
                    << (in_flight.empty() ? "none" : in_flight.front().Describe())
                    << "\nacknowledged:\n"
                    << Show(acknowledged) << "\nstored:\n"
                    << Show(stored.accounts);
    }
    for (const std::string& fault : stored.counter_faults)
      ADD_FAILURE() << "cycle " << cycle << ": counters off for " << fault;
    if (!whole) {
      ++torn;
      RepairCounters(db);
    }
    acknowledged = stored.accounts;  // go on from what is stored
  }
  std::printf("%d kills, %d acknowledged writes, %d kills left the database torn\n", kills,
              total_acknowledged, torn);
  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
}

}  // namespace
}  // namespace zv
