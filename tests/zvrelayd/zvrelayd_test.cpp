// zvrelayd on loopback: a user that writes raw relay frames, cards that speak
// the card protocol over TCP and UDP, and the server in between.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fstream>
#include <memory>
#include <thread>

#include "../relay_server/test_db.hpp"
#include "platform/clock.hpp"
#include "raw_peers.hpp"
#include "relay/daemon/relay_server.hpp"
#include "relay/daemon/stream_frames.hpp"
#include "relay/messages/relay_messages.hpp"
#include "relay/server/account_db.hpp"

namespace zv {
namespace {

using test::Bytes;
using test::Concat;
using test::Counted;
using test::RawPeer;
using test::RelayFrame;

const Bytes kControllerPacket = {0x68, 0x32, 0x01, 0x00, 0x05, 0x00, 0x00, 0x9F, 0x00};

using test::LockFrame;
using test::LoginFrame;
using test::PacketFrame;
// The route 1 envelope a user sends: [len + 6][01 x 6][packet].
Bytes Route1Envelope(const Bytes& packet) {
  Bytes out = {static_cast<uint8_t>(packet.size() + 6), 0, 1, 1, 1, 1, 1, 1};
  out.insert(out.end(), packet.begin(), packet.end());
  return out;
}

// Every case runs with one event loop (a user and its card share the loop's
// thread) and with three (a user and its card are dealt to different loops).
class Zvrelayd : public ::testing::TestWithParam<int> {
 protected:
  void SetUp() override {
    db.AddOrganization("Acme");
    db.AddOrganization("Other");
    db.AddUser("alice", "a", 2, "Acme");
    db.AddUser("bob", "b", 2, "Acme");
    db.AddUser("olga", "o", 2, "Other");
    db.AddCard("ABC123", "Acme");
    db.AddCard("12345678", "Acme");
    db.AddCard("XYZ789", "Acme");
    daemon::ServerSettings s;
    s.bind_address = "127.0.0.1";
    s.user_port = 0;
    s.card_port = 0;
    s.threads = GetParam();
    s.half_frame_timeout_ms = 300;
    s.max_request_body = 64 * 1024;
    s.login_timeout_ms = 500;
    s.accept_retry_ms = 50;
    s.log_file = db.Folder() + "/zvrelayd.log";
    server = std::make_unique<daemon::CRelayServer>(s);
    std::string error;
    ASSERT_EQ(server->Start(&error), 1) << error;
  }
  void TearDown() override { server.reset(); }

  // A user connection that has logged in.
  void LogIn(RawPeer& user, const std::string& name, const std::string& password) {
    ASSERT_TRUE(user.Connect(server->UserPort()));
    ASSERT_TRUE(user.Send(LoginFrame(name, password)));
    test::Frame ack = user.ReadFrame();
    ASSERT_EQ(ack.type, 0x0F01);
    ASSERT_FALSE(ack.body.empty());
    ASSERT_EQ(ack.body[0], 1) << "login of " << name;
  }
  uint8_t Lock(RawPeer& user, const std::string& id, uint8_t lock) {
    EXPECT_TRUE(user.Send(LockFrame(id, lock)));
    test::Frame ack = user.ReadFrame();
    EXPECT_EQ(ack.type, 0x0F06);
    return ack.body.size() == 1 ? ack.body[0] : 0xFF;
  }
  uint8_t Forward(RawPeer& user, const std::string& id, uint8_t route, const Bytes& data) {
    EXPECT_TRUE(user.Send(PacketFrame(id, route, data)));
    test::Frame ack = user.ReadFrame();
    EXPECT_EQ(ack.type, 0x0F05);
    return ack.body.empty() ? 0xFF : ack.body[0];
  }
  // A TCP card that has registered and shows as online.
  void ConnectCard(RawPeer& card, const std::string& id) {
    ASSERT_TRUE(card.Connect(server->CardPort()));
    ASSERT_TRUE(card.Send(Concat({Bytes{6, 0}, Bytes(id.begin(), id.end())})));
    ASSERT_TRUE(test::Eventually([&] { return CardOnLine(id) == 1; }));
  }
  long CardOnLine(const std::string& id) {
    return db.Scalar("SELECT OnLine AS v FROM [Card] WHERE DeviceID = ?", id);
  }
  std::string LogText() {
    std::ifstream log(db.Folder() + "/zvrelayd.log");
    return std::string((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
  }
  long UserOnLine(const std::string& name) {
    return db.Scalar("SELECT OnLine AS v FROM [User] WHERE Name = ?", name);
  }

  test::TempDatabase db;
  std::unique_ptr<daemon::CRelayServer> server;
};

TEST_P(Zvrelayd, ProductionDefaultsAreTheDocumentedOnes) {
  daemon::ServerSettings s;
  EXPECT_EQ(s.user_port, 5202);
  EXPECT_EQ(s.card_port, 5203);
  EXPECT_EQ(s.half_frame_timeout_ms, 30000);
  EXPECT_EQ(s.max_request_body, 1024u * 1024u);
  EXPECT_EQ(s.send_queue_limit, 256u);
  EXPECT_EQ(s.threads, 2);
  EXPECT_EQ(s.db_threads, 4);
  EXPECT_EQ(s.accept_retry_ms, 1000);
  EXPECT_EQ(s.login_timeout_ms, 30000);
  EXPECT_EQ(DbBusyTimeoutMs(), 5000);
}

TEST_P(Zvrelayd, PacketsTravelFromTheLockOwnerToATcpCardAndBack) {
  RawPeer card, user;
  ConnectCard(card, "ABC123");
  LogIn(user, "alice", "a");
  const Bytes envelope = Route1Envelope(kControllerPacket);

  EXPECT_EQ(Forward(user, "ABC123", 1, envelope), 5);  // not locked yet
  EXPECT_TRUE(card.SilentFor(100));
  EXPECT_EQ(Lock(user, "ABC123", 1), 1);
  EXPECT_EQ(Forward(user, "ABC123", 1, envelope), 1);
  EXPECT_EQ(card.ReadExact(envelope.size()), envelope);  // unchanged

  // The card answers [L][its DeviceID][reply]; the owner gets it as status 5.
  Bytes reply = Concat({Bytes{9, 0}, Bytes{'A', 'B', 'C', '1', '2', '3'}, Bytes{0xE8, 0x32, 0x01}});
  ASSERT_TRUE(card.Send(reply));
  test::Frame delivered = user.ReadFrame();
  EXPECT_EQ(delivered.type, 0x0F05);
  EXPECT_EQ(delivered.body, Concat({Bytes{5}, reply}));

  // A second user is refused the lock and the card.
  RawPeer other;
  LogIn(other, "bob", "b");
  EXPECT_EQ(Lock(other, "ABC123", 1), 0);
  EXPECT_EQ(Forward(other, "ABC123", 1, envelope), 3);
  EXPECT_EQ(Forward(other, "NOSUCH", 1, envelope), 2);
  RawPeer foreign;
  LogIn(foreign, "olga", "o");
  EXPECT_EQ(Lock(foreign, "ABC123", 1), 0);
}

TEST_P(Zvrelayd, ACardsAnswerNeverOvertakesTheStatusAnswer) {
  RawPeer card, user;
  ConnectCard(card, "ABC123");
  LogIn(user, "alice", "a");
  ASSERT_EQ(Lock(user, "ABC123", 1), 1);
  const Bytes envelope = Route1Envelope(kControllerPacket);
  const Bytes reply = Concat({Bytes{9, 0}, Bytes{'A', 'B', 'C', '1', '2', '3'}, Bytes{0xE8, 1, 2}});
  // The card answers the moment a packet arrives, racing the status answer.
  std::thread echo([&] {
    for (int i = 0; i < 200; ++i) {
      if (card.ReadExact(envelope.size()).empty()) return;
      card.Send(reply);
    }
  });
  for (int i = 0; i < 200; ++i) {
    // On a mismatch the loop stops; the echo thread then runs out of packets.
    if (!user.Send(PacketFrame("ABC123", 1, envelope))) break;
    Bytes first = user.ReadFrame().body, second = user.ReadFrame().body;
    EXPECT_EQ(first, Bytes{1}) << "round " << i;
    EXPECT_EQ(second, Concat({Bytes{5}, reply})) << "round " << i;
    if (first != Bytes{1}) break;
  }
  echo.join();
}

TEST_P(Zvrelayd, PacketsInFlightToSeveralCardsAllComeBackInOrder) {
  // One user keeps packets in flight to two cards at once: every status
  // answer comes in request order, every card answer after its status, and
  // nothing is lost or doubled when answers leave together.
  RawPeer first_card, second_card, user;
  ConnectCard(first_card, "ABC123");
  LogIn(user, "alice", "a");
  ConnectCard(second_card, "XYZ789");
  ASSERT_EQ(Lock(user, "ABC123", 1), 1);
  ASSERT_EQ(Lock(user, "XYZ789", 1), 1);
  const Bytes envelope = Route1Envelope(kControllerPacket);
  const Bytes first_reply =
      Concat({Bytes{9, 0}, Bytes{'A', 'B', 'C', '1', '2', '3'}, Bytes{0xE8, 1, 1}});
  const Bytes second_reply =
      Concat({Bytes{9, 0}, Bytes{'X', 'Y', 'Z', '7', '8', '9'}, Bytes{0xE8, 2, 2}});
  constexpr int kRounds = 50;
  auto echo = [&](RawPeer& card, const Bytes& reply) {
    for (int i = 0; i < kRounds; ++i) {
      if (card.ReadExact(envelope.size()).empty()) return;
      card.Send(reply);
    }
  };
  std::thread first_echo([&] { echo(first_card, first_reply); });
  std::thread second_echo([&] { echo(second_card, second_reply); });
  for (int i = 0; i < kRounds; ++i) {
    // Both packets leave in one write, so the server reads them together.
    if (!user.Send(
            Concat({PacketFrame("ABC123", 1, envelope), PacketFrame("XYZ789", 1, envelope)})))
      break;
    int statuses = 0, first_answers = 0, second_answers = 0;
    for (int k = 0; k < 4; ++k) {
      const Bytes body = user.ReadFrame().body;
      if (body == Bytes{1}) {
        ++statuses;
      } else if (body == Concat({Bytes{5}, first_reply})) {
        EXPECT_GE(statuses, 1) << "round " << i;
        ++first_answers;
      } else if (body == Concat({Bytes{5}, second_reply})) {
        EXPECT_EQ(statuses, 2) << "round " << i;
        ++second_answers;
      } else {
        ADD_FAILURE() << "round " << i << ": unexpected frame of " << body.size() << " bytes";
      }
    }
    EXPECT_EQ(statuses, 2);
    EXPECT_EQ(first_answers, 1);
    EXPECT_EQ(second_answers, 1);
    if (statuses != 2 || first_answers != 1) break;
  }
  first_card.Close();
  second_card.Close();
  first_echo.join();
  second_echo.join();
}

TEST_P(Zvrelayd, ManyRequestsInOneWriteAreAllAnswered) {
  // More requests in one read than the send queue holds answers: the server
  // waits for its answers to leave instead of dropping any.
  RawPeer user;
  LogIn(user, "alice", "a");
  constexpr int kRequests = 700;
  Bytes requests;
  const Bytes lock = LockFrame("ABC123", 1);
  for (int i = 0; i < kRequests; ++i) requests.insert(requests.end(), lock.begin(), lock.end());
  ASSERT_TRUE(user.Send(requests));
  int answered = 0;
  for (; answered < kRequests; ++answered) {
    test::Frame f = user.ReadFrame();
    if (f.type != 0x0F06) break;
  }
  EXPECT_EQ(answered, kRequests);
  EXPECT_TRUE(user.SilentFor(100));
}

TEST_P(Zvrelayd, UdpCardsRegisterReceiveAndAnswer) {
  tarvo::platform::UdpSocket card;
  ASSERT_EQ(card.Bind(0x7F000001, 0), 1);
  const Bytes registration = {0xA5, '1', '2', '3', '4', '5', '6', '7', '8', 0xAE};
  ASSERT_GT(card.SendTo(registration.data(), registration.size(), 0x7F000001, server->CardPort()),
            0);
  ASSERT_TRUE(test::Eventually([&] { return CardOnLine("12345678") == 1; }));

  RawPeer user;
  LogIn(user, "alice", "a");
  EXPECT_EQ(Lock(user, "12345678", 1), 1);
  const Bytes envelope = {0xA5, '1', '2', '3', '4', '5', '6', '7', '8', 0x68, 0x32, 0xAE};
  EXPECT_EQ(Forward(user, "12345678", 2, envelope), 1);
  uint8_t buf[2048];
  uint32_t from = 0;
  uint16_t port = 0;
  long n = card.ReceiveFrom(buf, sizeof buf, 3000, &from, &port);
  ASSERT_EQ(n, static_cast<long>(envelope.size()));
  EXPECT_EQ(Bytes(buf, buf + n), envelope);
  EXPECT_EQ(port, server->CardPort());

  const Bytes answer = {0xA5, '1', '2', '3', '4', '5', '6', '7', '8', 0xE8, 0x32, 0x00, 0xAE};
  ASSERT_GT(card.SendTo(answer.data(), answer.size(), 0x7F000001, server->CardPort()), 0);
  test::Frame delivered = user.ReadFrame();
  EXPECT_EQ(delivered.type, 0x0F05);
  EXPECT_EQ(delivered.body, Concat({Bytes{5}, answer}));
}

TEST_P(Zvrelayd, LeavingResetsOnLineAndDropsLocks) {
  RawPeer card, user;
  ConnectCard(card, "ABC123");
  LogIn(user, "alice", "a");
  EXPECT_EQ(UserOnLine("alice"), 1);
  EXPECT_EQ(Lock(user, "ABC123", 1), 1);

  // The card leaves and comes back: no longer locked.
  card.Close();
  EXPECT_TRUE(test::Eventually([&] { return CardOnLine("ABC123") == 0; }));
  RawPeer again;
  ConnectCard(again, "ABC123");
  EXPECT_EQ(Forward(user, "ABC123", 1, Route1Envelope(kControllerPacket)), 5);

  // The user leaves: its row goes offline and its locks are freed for others.
  EXPECT_EQ(Lock(user, "ABC123", 1), 1);
  user.Close();
  EXPECT_TRUE(test::Eventually([&] { return UserOnLine("alice") == 0; }));
  RawPeer bob;
  LogIn(bob, "bob", "b");
  EXPECT_EQ(Lock(bob, "ABC123", 1), 1);
}

TEST_P(Zvrelayd, NoCardOrUserReadsOnlineAfterTheServerStopsOrStarts) {
  RawPeer card, user;
  ConnectCard(card, "ABC123");
  LogIn(user, "alice", "a");
  ASSERT_EQ(UserOnLine("alice"), 1);

  // A second server that cannot bind (the ports are taken) leaves the rows of
  // the one serving alone.
  {
    daemon::ServerSettings clash;
    clash.bind_address = "127.0.0.1";
    clash.user_port = server->UserPort();
    clash.card_port = server->CardPort();
    daemon::CRelayServer second(clash);
    std::string error;
    EXPECT_EQ(second.Start(&error), 0);
  }
  EXPECT_EQ(CardOnLine("ABC123"), 1);
  EXPECT_EQ(UserOnLine("alice"), 1);

  // A clean stop with both still connected.
  server->Stop();
  EXPECT_EQ(CardOnLine("ABC123"), 0);
  EXPECT_EQ(UserOnLine("alice"), 0);

  // Rows left at 1 by a server that did not stop cleanly are cleared at start.
  CAccountDb db_rows(db.Path());
  ASSERT_EQ(db_rows.ExecuteSql(CSqlStatement{"UPDATE [Card] SET OnLine = 1", {}}), 1);
  ASSERT_EQ(db_rows.ExecuteSql(CSqlStatement{"UPDATE [User] SET OnLine = 1", {}}), 1);
  daemon::ServerSettings s;
  s.bind_address = "127.0.0.1";
  s.user_port = 0;
  s.card_port = 0;
  s.threads = 1;
  server = std::make_unique<daemon::CRelayServer>(s);
  std::string error;
  ASSERT_EQ(server->Start(&error), 1) << error;
  EXPECT_EQ(CardOnLine("ABC123"), 0);
  EXPECT_EQ(CardOnLine("12345678"), 0);
  EXPECT_EQ(UserOnLine("alice"), 0);
  EXPECT_EQ(UserOnLine("bob"), 0);
}

TEST_P(Zvrelayd, ALoginAsAnotherUserReleasesTheFirst) {
  RawPeer card, user;
  ConnectCard(card, "ABC123");
  LogIn(user, "alice", "a");
  ASSERT_EQ(Lock(user, "ABC123", 1), 1);
  ASSERT_TRUE(user.Send(LoginFrame("bob", "b")));
  ASSERT_EQ(user.ReadFrame().body.at(0), 1);
  EXPECT_TRUE(test::Eventually([&] { return UserOnLine("alice") == 0; }));
  EXPECT_EQ(UserOnLine("bob"), 1);
  EXPECT_EQ(Lock(user, "ABC123", 1), 1);  // alice's lock went with her
}

TEST_P(Zvrelayd, ADatabaseErrorIsLoggedAndStillAnswered) {
  {
    CAccountDb broken;
    ASSERT_EQ(broken.ExecuteSql(CSqlStatement{"ALTER TABLE [User] DROP COLUMN LastLoginTime", {}}),
              1);
  }
  RawPeer user;
  ASSERT_TRUE(user.Connect(server->UserPort()));
  ASSERT_TRUE(user.Send(LoginFrame("alice", "a")));
  test::Frame ack = user.ReadFrame();
  EXPECT_EQ(ack.type, 0x0F01);
  EXPECT_EQ(ack.body, Bytes{2});  // not logged in, as when the database is missing
  const std::string text = LogText();
  EXPECT_NE(text.find("database error while processing"), std::string::npos) << text;
  // The connection goes on serving.
  ASSERT_TRUE(user.Send(RelayFrame(0x0003, Bytes{3})));
  EXPECT_EQ(user.ReadFrame().body, Bytes{1});
}

TEST_P(Zvrelayd, SecondLoginOfAConnectedUserIsRefused) {
  RawPeer first, second;
  LogIn(first, "alice", "a");
  ASSERT_TRUE(second.Connect(server->UserPort()));
  ASSERT_TRUE(second.Send(LoginFrame("ALICE", "wrong")));
  test::Frame ack = second.ReadFrame();
  ASSERT_EQ(ack.type, 0x0F01);
  EXPECT_EQ(ack.body, Bytes{3});
  ASSERT_TRUE(second.Send(LoginFrame("nobody", "x")));
  EXPECT_EQ(second.ReadFrame().body, Bytes{2});
}

TEST_P(Zvrelayd, QueriesBeforeLoginAreRefusedAndHeartbeatsAreNotAnswered) {
  RawPeer user;
  ASSERT_TRUE(user.Connect(server->UserPort()));
  ASSERT_TRUE(user.Send(RelayFrame(0x0002, Bytes{1})));
  ASSERT_TRUE(user.Send(RelayFrame(0x0003, Bytes{3})));
  test::Frame ack = user.ReadFrame();
  EXPECT_EQ(ack.type, 0x0F03);  // the heartbeat left nothing before it
  EXPECT_EQ(ack.body, Bytes{1});
}

TEST_P(Zvrelayd, AFrameArrivingOneByteAtATimeIsAnswered) {
  RawPeer user;
  ASSERT_TRUE(user.Connect(server->UserPort()));
  for (uint8_t b : LoginFrame("alice", "a")) ASSERT_TRUE(user.Send(Bytes{b}));
  test::Frame ack = user.ReadFrame();
  ASSERT_EQ(ack.type, 0x0F01);
  ASSERT_GT(ack.body.size(), 5u);
  EXPECT_EQ(ack.body[0], 1);
  CLoginAckMsg decoded;
  ASSERT_EQ(decoded.Decode(ack.body.data(), static_cast<int>(ack.body.size())), 1);
  EXPECT_EQ(decoded.GetUser().GetName(), "alice");
  EXPECT_EQ(decoded.GetUser().GetOrganizationName(), "Acme");
}

TEST_P(Zvrelayd, MalformedOrOversizedFramesCloseTheConnection) {
  RawPeer bad_magic;
  ASSERT_TRUE(bad_magic.Connect(server->UserPort()));
  Bytes frame = LoginFrame("alice", "a");
  frame[7] = 'X';
  ASSERT_TRUE(bad_magic.Send(frame));
  EXPECT_TRUE(bad_magic.ClosedWithin(2000));

  RawPeer huge;
  ASSERT_TRUE(huge.Connect(server->UserPort()));
  Bytes header = RelayFrame(0x0001, Bytes{});
  header[10] = 0x00;
  header[11] = 0x00;
  header[12] = 0x00;
  header[13] = 0x7F;  // 2 GiB announced: refused before anything is reserved
  ASSERT_TRUE(huge.Send(header));
  EXPECT_TRUE(huge.ClosedWithin(2000));

  RawPeer empty_body;
  ASSERT_TRUE(empty_body.Connect(server->UserPort()));
  ASSERT_TRUE(empty_body.Send(RelayFrame(0x0005, Bytes{})));
  EXPECT_TRUE(empty_body.ClosedWithin(2000));

  // Unknown types and undecodable bodies are skipped; the connection lives on.
  RawPeer survivor;
  ASSERT_TRUE(survivor.Connect(server->UserPort()));
  ASSERT_TRUE(survivor.Send(RelayFrame(0x0008, Bytes{1, 2, 3})));
  ASSERT_TRUE(survivor.Send(RelayFrame(0x0001, Bytes{0x50})));
  ASSERT_TRUE(survivor.Send(LoginFrame("alice", "a")));
  EXPECT_EQ(survivor.ReadFrame().type, 0x0F01);
}

TEST_P(Zvrelayd, StalledHalfFramesSilentCardsAndUsersWithoutLoginTimeOut) {
  RawPeer user;
  ASSERT_TRUE(user.Connect(server->UserPort()));
  Bytes frame = LoginFrame("alice", "a");
  ASSERT_TRUE(user.Send(Bytes(frame.begin(), frame.begin() + 9)));
  EXPECT_TRUE(user.ClosedWithin(3000));

  RawPeer silent_card;
  ASSERT_TRUE(silent_card.Connect(server->CardPort()));
  EXPECT_TRUE(silent_card.ClosedWithin(3000));

  // A user connection that never logs in, or only fails to, goes too.
  RawPeer silent_user, refused;
  ASSERT_TRUE(silent_user.Connect(server->UserPort()));
  ASSERT_TRUE(refused.Connect(server->UserPort()));
  ASSERT_TRUE(refused.Send(LoginFrame("alice", "wrong")));
  EXPECT_NE(refused.ReadFrame().body.at(0), 1);
  EXPECT_TRUE(silent_user.ClosedWithin(3000));
  EXPECT_TRUE(refused.ClosedWithin(3000));
  EXPECT_NE(LogText().find("user connection closed: no login in time"), std::string::npos);

  // An idle user connection that has logged in stays past both waits.
  RawPeer idle;
  LogIn(idle, "bob", "b");
  EXPECT_FALSE(idle.ClosedWithin(600));
}

TEST_P(Zvrelayd, UnknownCardsAreTurnedAway) {
  RawPeer card;
  ASSERT_TRUE(card.Connect(server->CardPort()));
  ASSERT_TRUE(card.Send(Bytes{6, 0, 'N', 'O', 'S', 'U', 'C', 'H'}));
  EXPECT_TRUE(card.ClosedWithin(2000));

  RawPeer short_frame;
  ASSERT_TRUE(short_frame.Connect(server->CardPort()));
  ASSERT_TRUE(short_frame.Send(Bytes{3, 0, 'A', 'B', 'C'}));
  EXPECT_TRUE(short_frame.ClosedWithin(2000));
}

TEST_P(Zvrelayd, DeletingACardThroughARecordOperationClosesItsConnection) {
  db.AddUser("root", "r", 1, "Acme");
  RawPeer card, root;
  ConnectCard(card, "ABC123");
  LogIn(root, "root", "r");
  CCardRecord record;
  record.SetDeviceID("ABC123");
  record.SetOrganizationName("Acme");
  int n = 0;
  const uint8_t* envelope = record.MakeEnvelope(n);
  Bytes body = Concat({Bytes{3}, Bytes(envelope, envelope + n)});
  ASSERT_TRUE(root.Send(RelayFrame(0x0004, body)));
  test::Frame ack = root.ReadFrame();
  ASSERT_EQ(ack.type, 0x0F04);
  EXPECT_EQ(ack.body.back(), 0);  // done
  EXPECT_TRUE(card.ClosedWithin(2000));
  EXPECT_EQ(db.Scalar("SELECT count(*) AS v FROM [Card] WHERE DeviceID = ?", "ABC123"), 0);
}

// A process out of descriptors cannot accept: the port waits between tries
// instead of spinning on the error, and the user waiting in the backlog is
// served once descriptors are free again.
TEST_P(Zvrelayd, APortOutOfDescriptorsWaitsAndThenServesTheWaitingUser) {
  // The undefined-behaviour checker of the test build opens a pipe the first
  // time it meets the types of a virtual call, which fails while no
  // descriptor is left. The loops' threads run once Start has returned; a
  // session served first, a timer that expires and the failed accept's
  // message meet the rest here.
  RawPeer bob;  // stays: its descriptor is not freed on the way
  LogIn(bob, "bob", "b");
  {
    asio::io_context loop;
    asio::steady_timer timer(loop, std::chrono::milliseconds(1));
    timer.async_wait([](const std::error_code&) {});
    loop.run();
  }
  EXPECT_FALSE(std::error_code(EMFILE, std::system_category()).message().empty());
  struct rlimit saved {};
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
  struct rlimit low = saved;
  low.rlim_cur = std::min<rlim_t>(saved.rlim_cur, 256);
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &low), 0);
  std::vector<int> fillers;
  auto free_fillers = [&] {
    for (int fd : fillers) close(fd);
    fillers.clear();
  };
  for (int fd; (fd = open("/dev/null", O_RDONLY)) >= 0;) fillers.push_back(fd);
  ASSERT_EQ(errno, EMFILE);
  ASSERT_FALSE(fillers.empty());
  // The user's socket takes the last descriptor; the server has none left
  // for the accepted end.
  close(fillers.back());
  fillers.pop_back();
  RawPeer user;
  const bool connected = user.Connect(server->UserPort());
  std::this_thread::sleep_for(std::chrono::milliseconds(400));
  free_fillers();
  setrlimit(RLIMIT_NOFILE, &saved);
  ASSERT_TRUE(connected);

  ASSERT_TRUE(user.Send(LoginFrame("alice", "a")));
  test::Frame ack = user.ReadFrame();
  ASSERT_EQ(ack.type, 0x0F01);
  EXPECT_EQ(ack.body.at(0), 1);
  // One line for the whole run of failures, counting a try every 50 ms
  // rather than one per turn of a spinning loop.
  const std::string text = LogText();
  const size_t at = text.find("accepting user connections again after ");
  ASSERT_NE(at, std::string::npos) << text;
  const long tries = std::stol(text.substr(at + 39));
  EXPECT_GE(tries, 1);
  EXPECT_LE(tries, 40) << text;
}

// A database another program holds locked, or one that is gone, fails the
// requests that need it with a log line; the server goes on serving, and
// everything works again once the database is back.
TEST_P(Zvrelayd, ALockedOrMissingDatabaseFailsWithALogLineAndTheServerServesOn) {
  SetDbBusyTimeoutMs(100);
  RawPeer alice, bob, olga;
  LogIn(alice, "alice", "a");

  sqlite3* holder = nullptr;
  ASSERT_EQ(sqlite3_open(db.Path().c_str(), &holder), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(holder, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
  ASSERT_TRUE(bob.Connect(server->UserPort()));
  ASSERT_TRUE(bob.Send(LoginFrame("bob", "b")));
  test::Frame ack = bob.ReadFrame();
  EXPECT_EQ(ack.type, 0x0F01);
  EXPECT_EQ(ack.body, Bytes{2});  // a server problem answers as a missing database does
  const std::string locked = LogText();
  EXPECT_NE(locked.find("database error while processing request 1 []: "), std::string::npos)
      << locked;
  EXPECT_NE(locked.find("locked"), std::string::npos) << locked;
  // Reading is not held up by the lock.
  ASSERT_TRUE(alice.Send(RelayFrame(0x0003, Bytes{3})));
  ack = alice.ReadFrame();
  EXPECT_EQ(ack.type, 0x0F03);
  EXPECT_GT(ack.body.size(), 1u);
  ASSERT_EQ(sqlite3_exec(holder, "COMMIT", nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite3_close(holder);
  EXPECT_EQ(UserOnLine("alice"), 1);

  const std::string away = db.Path() + ".away";
  ASSERT_EQ(std::rename(db.Path().c_str(), away.c_str()), 0);
  ASSERT_TRUE(olga.Connect(server->UserPort()));
  ASSERT_TRUE(olga.Send(LoginFrame("olga", "o")));
  ack = olga.ReadFrame();
  EXPECT_EQ(ack.type, 0x0F01);
  EXPECT_EQ(ack.body, Bytes{2});
  ASSERT_TRUE(olga.Send(LoginFrame("olga", "o")));
  EXPECT_NE(olga.ReadFrame().body.at(0), 1);
  ASSERT_EQ(std::rename(away.c_str(), db.Path().c_str()), 0);
  ASSERT_TRUE(olga.Send(LoginFrame("olga", "o")));
  EXPECT_EQ(olga.ReadFrame().body.at(0), 1);
  const std::string text = LogText();
  const size_t gone = text.find("cannot open the account database " + db.Path());
  ASSERT_NE(gone, std::string::npos) << text;
  EXPECT_EQ(text.find("cannot open the account database", gone + 1), std::string::npos)
      << "one line for the whole absence\n"
      << text;
  EXPECT_NE(text.find("the account database " + db.Path() + " opens again"), std::string::npos)
      << text;
  SetDbBusyTimeoutMs(5000);
}

INSTANTIATE_TEST_SUITE_P(EventLoops, Zvrelayd, ::testing::Values(1, 3));

// With one event loop and the database locked by another program, a user's
// login waits for the lock while another user's packets keep travelling to
// its card and back; what the first user sent behind its login is answered
// in request order once the lock is gone.
TEST(ZvrelaydDatabaseWait, ALockedDatabaseStallsNeitherForwardingNorTheOrderOfAnswers) {
  constexpr int kBusyMs = 2000;
  SetDbBusyTimeoutMs(kBusyMs);
  test::TempDatabase db;
  db.AddOrganization("Acme");
  db.AddUser("alice", "a", 2, "Acme");
  db.AddUser("bob", "b", 2, "Acme");
  db.AddCard("ABC123", "Acme");
  daemon::ServerSettings s;
  s.bind_address = "127.0.0.1";
  s.user_port = 0;
  s.card_port = 0;
  s.threads = 1;
  daemon::CRelayServer server(s);
  std::string error;
  ASSERT_EQ(server.Start(&error), 1) << error;

  RawPeer card, bob, alice;
  ASSERT_TRUE(card.Connect(server.CardPort()));
  ASSERT_TRUE(card.Send(Bytes{6, 0, 'A', 'B', 'C', '1', '2', '3'}));
  ASSERT_TRUE(test::Eventually(
      [&] { return db.Scalar("SELECT OnLine AS v FROM [Card] WHERE DeviceID = 'ABC123'") == 1; }));
  ASSERT_TRUE(bob.Connect(server.UserPort()));
  ASSERT_TRUE(bob.Send(LoginFrame("bob", "b")));
  ASSERT_EQ(bob.ReadFrame().body.at(0), 1);
  ASSERT_TRUE(bob.Send(LockFrame("ABC123", 1)));
  ASSERT_EQ(bob.ReadFrame().body, Bytes{1});

  sqlite3* holder = nullptr;
  ASSERT_EQ(sqlite3_open(db.Path().c_str(), &holder), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(holder, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
  // Alice's login must write its row and waits for the lock; a lock, a
  // query and a name check follow in the same write.
  ASSERT_TRUE(alice.Connect(server.UserPort()));
  ASSERT_TRUE(alice.Send(
      Concat({LoginFrame("alice", "a"), LockFrame("ABC123", 1), RelayFrame(0x0003, Bytes{3}),
              RelayFrame(0x0007, Concat({Bytes{3}, Counted("NEW1"), Counted("Acme")}))})));
  std::this_thread::sleep_for(std::chrono::milliseconds(50));

  const Bytes envelope = Route1Envelope(kControllerPacket);
  const Bytes reply = Concat({Bytes{9, 0}, Bytes{'A', 'B', 'C', '1', '2', '3'}, Bytes{0xE8, 1, 2}});
  int64_t slowest_ms = 0;
  for (int round = 0; round < 10; ++round) {
    const int64_t start = tarvo::platform::MonotonicMs();
    ASSERT_TRUE(bob.Send(PacketFrame("ABC123", 1, envelope)));
    ASSERT_EQ(card.ReadExact(envelope.size(), 2 * kBusyMs + 1000), envelope) << "round " << round;
    ASSERT_TRUE(card.Send(reply));
    ASSERT_EQ(bob.ReadFrame(2 * kBusyMs + 1000).body, Bytes{1}) << "round " << round;
    ASSERT_EQ(bob.ReadFrame(2 * kBusyMs + 1000).body, Concat({Bytes{5}, reply}));
    slowest_ms = std::max(slowest_ms, tarvo::platform::MonotonicMs() - start);
  }
  std::printf("slowest round trip of the other user while the login waited: %lld ms\n",
              static_cast<long long>(slowest_ms));
  EXPECT_LT(slowest_ms, kBusyMs / 4);
  EXPECT_TRUE(alice.SilentFor(0)) << "the login did not wait for the lock";

  ASSERT_EQ(sqlite3_exec(holder, "COMMIT", nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite3_close(holder);
  std::vector<uint16_t> types;
  test::Frame login = alice.ReadFrame(2 * kBusyMs);
  types.push_back(login.type);
  EXPECT_EQ(login.body.empty() ? 0 : login.body[0], 1);  // the lock went in time
  for (int i = 0; i < 3; ++i) types.push_back(alice.ReadFrame().type);
  EXPECT_EQ(types, (std::vector<uint16_t>{0x0F01, 0x0F06, 0x0F03, 0x0F07}));
  SetDbBusyTimeoutMs(5000);
}

TEST(ZvrelaydBackpressure, AUserThatStopsReadingIsClosedWithoutFloodingTheLog) {
  // A user asks for its organization's cards over and over without ever
  // reading the answers (a few KiB each). Once the socket buffers are full
  // its answers queue up, the server stops taking its requests, and when
  // nothing has moved for the whole wait it closes the connection with one
  // line saying why: no failure line per request.
  test::TempDatabase db;
  db.AddOrganization("Acme", 10, 1000);
  db.AddUser("alice", "a", 2, "Acme");
  db.AddUser("bob", "b", 2, "Acme");
  for (int i = 0; i < 200; ++i) db.AddCard("K" + std::to_string(10000 + i), "Acme");
  daemon::ServerSettings s;
  s.bind_address = "127.0.0.1";
  s.user_port = 0;
  s.card_port = 0;
  s.threads = 1;
  s.send_queue_limit = 4;
  s.half_frame_timeout_ms = 300;
  s.log_file = db.Folder() + "/zvrelayd.log";
  daemon::CRelayServer server(s);
  std::string error;
  ASSERT_EQ(server.Start(&error), 1) << error;
  auto log_text = [&] {
    std::ifstream log(s.log_file);
    return std::string((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
  };

  RawPeer flooder;
  ASSERT_TRUE(flooder.Connect(server.UserPort()));
  ASSERT_TRUE(flooder.SetReceiveBuffer(4096));
  ASSERT_TRUE(flooder.Send(LoginFrame("alice", "a")));
  ASSERT_EQ(flooder.ReadFrame().body.at(0), 1);
  Bytes requests;
  const Bytes query = RelayFrame(0x0003, Bytes{3});
  for (int i = 0; i < 4000; ++i) requests.insert(requests.end(), query.begin(), query.end());
  flooder.Send(requests);  // may fail part-way: the server closes the connection
  ASSERT_TRUE(test::Eventually(
      [&] { return log_text().find("it does not read its answers") != std::string::npos; }, 10000))
      << log_text();
  const std::string text = log_text();
  // The start line, then at most two.
  EXPECT_LT(std::count(text.begin(), text.end(), '\n'), 4) << text;
  EXPECT_TRUE(flooder.ClosedWithin(3000));

  // Everyone else is still served.
  RawPeer other;
  ASSERT_TRUE(other.Connect(server.UserPort()));
  ASSERT_TRUE(other.Send(LoginFrame("bob", "b")));
  EXPECT_EQ(other.ReadFrame().body.at(0), 1);
  ASSERT_TRUE(other.Send(LockFrame("ABC123", 1)));
  EXPECT_EQ(other.ReadFrame().type, 0x0F06);
}

TEST(StreamFrames, CardFramesAndUdpDatagramsAreCheckedBeforeUse) {
  daemon::CCardFrameSplitter cards;
  const uint8_t* frame = nullptr;
  size_t length = 0;
  cards.Append(reinterpret_cast<const uint8_t*>("\x08\x00"
                                                "ABC123"),
               8);
  EXPECT_EQ(cards.Next(&frame, &length), daemon::SplitResult::kNeedMore);
  cards.Append(reinterpret_cast<const uint8_t*>("\xE8\x01"), 2);
  ASSERT_EQ(cards.Next(&frame, &length), daemon::SplitResult::kFrame);
  EXPECT_EQ(length, 10u);
  EXPECT_EQ(daemon::CardFrameId(frame), "ABC123");
  cards.Consume();
  EXPECT_FALSE(cards.HasPartial());
  cards.Append(reinterpret_cast<const uint8_t*>("\x05\x00"), 2);
  EXPECT_EQ(cards.Next(&frame, &length), daemon::SplitResult::kBad);

  daemon::UdpCardDatagram d;
  const uint8_t reg[] = {0xA5, '1', '2', '3', 0xAE};
  ASSERT_TRUE(daemon::ParseUdpCardDatagram(reg, sizeof reg, &d));
  EXPECT_TRUE(d.registration);
  EXPECT_EQ(d.device_id, "123");
  const uint8_t answer[] = {0xA5, '1', '2', 0xE8, '5', 0xAE};
  ASSERT_TRUE(daemon::ParseUdpCardDatagram(answer, sizeof answer, &d));
  EXPECT_FALSE(d.registration);
  EXPECT_EQ(d.device_id, "12");
  const uint8_t no_digits[] = {0xA5, 0xE8, 0xAE};
  EXPECT_FALSE(daemon::ParseUdpCardDatagram(no_digits, sizeof no_digits, &d));
  const uint8_t unterminated[] = {0xA5, '1', '2'};
  EXPECT_FALSE(daemon::ParseUdpCardDatagram(unterminated, sizeof unterminated, &d));
  Bytes too_long = {0xA5};
  too_long.insert(too_long.end(), 31, '9');
  too_long.push_back(0xAE);
  EXPECT_FALSE(daemon::ParseUdpCardDatagram(too_long.data(), too_long.size(), &d));
}

}  // namespace
}  // namespace zv
