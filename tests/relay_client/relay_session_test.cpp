// CRelaySession against the scripted relay server: the result of every
// operation for each answer the server can give, and the exact request bytes.
#include "relay/client/relay_session.hpp"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/clock.hpp"
#include "tests/relay_client/scripted_relay_server.hpp"

namespace {

using namespace zvtest;

zv::RelaySocketTiming FastTiming() {
  zv::RelaySocketTiming t;
  t.connect_pause_ms = 0;
  t.after_connect_pause_ms = 0;
  t.read_pause_ms = 0;
  t.receive_timeout_ms = 2000;
  return t;
}

const Bytes kPacket = Pattern(20);

class RelaySessionTest : public ::testing::Test {
 protected:
  // Queues a connection whose login is answered with `ack`, then runs `rest`.
  void ServeLogin(const Bytes& ack, ScriptedRelayServer::Script rest = nullptr) {
    server_.Expect([ack, rest](ServerPeer& peer) {
      EXPECT_TRUE(peer.ExpectFrame(kLogin));
      peer.Write(Frame(kLoginAck, ack));
      if (rest) rest(peer);
      peer.WaitClosed();
    });
  }
  int Login() { return session_.Login("127.0.0.1", server_.port(), "alice", "pw"); }
  // Logs in, lets `script` play the rest of the connection, logs out.
  void Connected(ScriptedRelayServer::Script script) {
    ServeLogin(LoginAckBody(1, "alice"), std::move(script));
    ASSERT_EQ(Login(), 1);
  }
  void TearDown() override {
    session_.Logout();
    EXPECT_TRUE(server_.WaitDone());
    EXPECT_EQ(server_.unexpected(), 0);
  }

  ScriptedRelayServer server_;
  zv::CRelaySession session_{FastTiming()};
};

TEST_F(RelaySessionTest, LoginSendsCountedNameAndPasswordAndStoresTheUser) {
  Bytes body;
  server_.Expect([&](ServerPeer& peer) {
    EXPECT_TRUE(peer.ExpectFrame(kLogin, &body));
    peer.Write(Frame(kLoginAck, LoginAckBody(1, "bob", "Acme")));
    EXPECT_TRUE(peer.WaitClosed());
  });
  ASSERT_EQ(session_.Login("127.0.0.1", server_.port(), "bob", "pw"), 1);
  EXPECT_TRUE(session_.IsConnected());
  ASSERT_NE(session_.user(), nullptr);
  EXPECT_EQ(session_.user()->GetName(), "bob");
  EXPECT_EQ(session_.user()->GetOrganizationName(), "Acme");
  EXPECT_EQ(session_.user_name(), "bob");
  EXPECT_EQ(session_.password(), "pw");
  EXPECT_EQ(session_.server_address(), "127.0.0.1");
  EXPECT_EQ(session_.port(), server_.port());
  EXPECT_EQ(body, Cat({Counted("bob"), Counted("pw")}));
  EXPECT_EQ(session_.Logout(), 0);
  EXPECT_FALSE(session_.IsConnected());
  EXPECT_NE(session_.user(), nullptr);  // kept after logout
}

TEST_F(RelaySessionTest, RefusedLoginsReturnTheServerResultAndCloseTheConnection) {
  for (uint8_t result : {2, 3, 4, 9}) {
    server_.Expect([result](ServerPeer& peer) {
      EXPECT_TRUE(peer.ExpectFrame(kLogin));
      peer.Write(Frame(kLoginAck, {result}));
      EXPECT_TRUE(peer.WaitClosed());
    });
    EXPECT_EQ(Login(), result);
    EXPECT_FALSE(session_.IsConnected());
  }
  EXPECT_EQ(session_.user(), nullptr);
  EXPECT_EQ(session_.port(), 0);
}

TEST_F(RelaySessionTest, LoginWithAnEmptyUserNameKeepsTheConnectionButStoresNothing) {
  ServeLogin(LoginAckBody(1, ""));
  EXPECT_EQ(Login(), 1);
  EXPECT_TRUE(session_.IsConnected());
  EXPECT_EQ(session_.user(), nullptr);
  EXPECT_EQ(session_.user_name(), "");
}

TEST_F(RelaySessionTest, SecondLoginWhileConnectedSendsNothing) {
  Connected([](ServerPeer& peer) { EXPECT_TRUE(peer.StaysSilent(100)); });
  EXPECT_EQ(session_.Login("127.0.0.1", server_.port(), "eve", "x"), 3);
  EXPECT_TRUE(session_.IsConnected());
  EXPECT_EQ(session_.user_name(), "alice");
}

TEST_F(RelaySessionTest, LoginWithoutAValidAnswerReturnsMinus2AndCloses) {
  const Bytes bad_magic = Cat({{'Z', 'V', 'M', 'S', 'G', 'P', 'U', 'X', 0x01, 0x0F}, Le32(1), {1}});
  const std::vector<Bytes> answers = {
      Frame(kLockCardAck, {1}),  // another answer type
      bad_magic,                 // wrong frame
      Frame(kLoginAck, {}),      // empty body
      Frame(0x0008, {1}),        // type outside the table
      {},                        // server closes without answering
  };
  for (const Bytes& answer : answers) {
    server_.Expect([answer](ServerPeer& peer) {
      EXPECT_TRUE(peer.ExpectFrame(kLogin));
      if (answer.empty()) peer.Close();
      peer.Write(answer);
      peer.WaitClosed();
    });
    EXPECT_EQ(Login(), -2);
    EXPECT_FALSE(session_.IsConnected());
  }
  zv::RelaySocketTiming t = FastTiming();
  t.receive_timeout_ms = 100;
  session_.socket().SetTiming(t);
  server_.Expect([](ServerPeer& peer) { peer.WaitClosed(); });  // silent server
  EXPECT_EQ(Login(), -2);
}

TEST_F(RelaySessionTest, LoginArgumentsThatCannotBeSentAreRefusedBeforeConnecting) {
  const std::string long_name(255, 'n');
  EXPECT_EQ(session_.Login("127.0.0.1", server_.port(), nullptr, "pw"), -5);
  EXPECT_EQ(session_.Login("127.0.0.1", server_.port(), "alice", nullptr), -5);
  EXPECT_EQ(session_.Login("127.0.0.1", server_.port(), long_name.c_str(), "pw"), -4);
  EXPECT_EQ(session_.Login(nullptr, server_.port(), "alice", "pw"), 5);
  EXPECT_EQ(session_.Login("relay.example", server_.port(), "alice", "pw"), 5);
  EXPECT_EQ(server_.accepted(), 0);
  // A 254-character name is the longest that goes out.
  ServeLogin(LoginAckBody(4));
  EXPECT_EQ(session_.Login("127.0.0.1", server_.port(), long_name.substr(1).c_str(), "pw"), 4);
}

TEST_F(RelaySessionTest, LoginToAPortWithoutServerReturns5) {
  tarvo::platform::TcpListener probe;
  ASSERT_EQ(probe.Listen(0x7F000001, 0), 1);
  int port = probe.Port();
  probe.Close();
  EXPECT_EQ(session_.Login("127.0.0.1", port, "alice", "pw"), 5);
}

TEST_F(RelaySessionTest, LockAndUnlockSendTheDeviceIdAndReturnTheAnswerByte) {
  Bytes lock, unlock;
  Connected([&](ServerPeer& peer) {
    EXPECT_TRUE(peer.ExpectFrame(kLockCard, &lock));
    peer.Write(Frame(kLockCardAck, {1}));
    EXPECT_TRUE(peer.ExpectFrame(kLockCard, &unlock));
    peer.Write(Frame(kLockCardAck, {0}));
    EXPECT_TRUE(peer.ExpectFrame(kLockCard));
    peer.Write(Frame(kCommPacketAck, {1}));  // not a lock answer
    EXPECT_TRUE(peer.ExpectFrame(kLockCard));
    peer.Write(Frame(kLockCardAck, {7}));
  });
  EXPECT_EQ(session_.LockCard("000123", true), 1);
  EXPECT_EQ(session_.LockCard("000123", false), 0);
  EXPECT_EQ(session_.LockCard("000123", true), 0);
  EXPECT_EQ(session_.LockCard("000123", true), 7);  // the wrong answer was consumed
  EXPECT_EQ(lock, Cat({Counted("000123"), {1}}));
  EXPECT_EQ(unlock, Cat({Counted("000123"), {0}}));
  EXPECT_EQ(session_.LockCard(nullptr, true), 0);
  EXPECT_EQ(session_.LockCard(std::string(255, '1').c_str(), true), 0);
}

TEST_F(RelaySessionTest, SendCommPacketReturnsTheForwardingStatus) {
  Bytes body;
  Connected([&](ServerPeer& peer) {
    EXPECT_TRUE(peer.ExpectFrame(kCommPacket, &body));
    peer.Write(Frame(kCommPacketAck, {1}));
    for (uint8_t status : {0, 2, 3, 4}) {
      EXPECT_TRUE(peer.ExpectFrame(kCommPacket));
      peer.Write(Frame(kCommPacketAck, {status}));
    }
    EXPECT_TRUE(peer.ExpectFrame(kCommPacket));
    peer.Write(Frame(kLockCardAck, {1}));
  });
  EXPECT_EQ(session_.SendCommPacket("000123", 0x102, kPacket.data(), 20), 1);
  EXPECT_EQ(body, Cat({Counted("000123"), {0x02}, kPacket}));  // low byte of the route
  for (int status : {0, 2, 3, 4}) {
    EXPECT_EQ(session_.SendCommPacket("000123", 1, kPacket.data(), 20), status);
  }
  EXPECT_EQ(session_.SendCommPacket("000123", 1, kPacket.data(), 20), 0);
  // Nothing is sent for arguments that make no packet.
  EXPECT_EQ(session_.SendCommPacket("000123", 1, nullptr, 20), 0);
  EXPECT_EQ(session_.SendCommPacket("000123", 1, kPacket.data(), 0), 0);
  EXPECT_EQ(session_.SendCommPacket("000123", 1, kPacket.data(), -3), 0);
  EXPECT_EQ(session_.SendCommPacket(nullptr, 1, kPacket.data(), 20), 0);
  // A packet too large for any frame is refused whole, never sent in part.
  const Bytes huge(17 * 1024 * 1024, 0x68);
  EXPECT_EQ(session_.SendCommPacket("000123", 1, huge.data(), static_cast<int>(huge.size())), 0);
  EXPECT_TRUE(session_.IsConnected());
}

TEST_F(RelaySessionTest, CardPacketArrivingBeforeTheAnswerIsTakenAsTheAnswer) {
  const Bytes early = Pattern(30, 0xE8);
  Connected([&](ServerPeer& peer) {
    peer.Write(Frame(kCommPacketAck, CardPacketBody(early)));
    EXPECT_TRUE(peer.ExpectFrame(kCommPacket));
    peer.Write(Frame(kCommPacketAck, {1}));
  });
  tarvo::platform::SleepMs(50);  // the card packet is on the way first
  EXPECT_EQ(session_.SendCommPacket("000123", 1, kPacket.data(), 20), 5);
  uint8_t buffer[2048];
  EXPECT_EQ(session_.RecvCommPacket(buffer, sizeof buffer), 0);  // the late answer is dropped
}

TEST_F(RelaySessionTest, RecvCommPacketCopiesCardPacketsAndDropsEverythingElse) {
  const Bytes big = Pattern(3000), exact = Pattern(64, 1), last = Pattern(6, 2);
  Connected([&](ServerPeer& peer) {
    peer.Write(Frame(kCommPacketAck, CardPacketBody(big)));
    peer.Write(Frame(kCommPacketAck, CardPacketBody(Pattern(5))));
    peer.Write(Frame(kCommPacketAck, {5}));           // "not locked", no data
    peer.Write(Frame(kCommPacketAck, {1, 1, 2, 3}));  // a forwarding result
    peer.Write(Frame(kLockCardAck, {1}));
    peer.Write(Frame(kCommPacketAck, CardPacketBody(exact)));
    peer.Write(Frame(kCommPacketAck, CardPacketBody(last)));
  });
  uint8_t buffer[2048];
  EXPECT_EQ(session_.RecvCommPacket(buffer, 2048), -1);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(session_.RecvCommPacket(buffer, 2048), 0) << i;
  // Bad arguments read nothing: the next packet is still there afterwards.
  EXPECT_EQ(session_.RecvCommPacket(nullptr, 2048), 0);
  EXPECT_EQ(session_.RecvCommPacket(buffer, 0), 0);
  EXPECT_EQ(session_.RecvCommPacket(buffer, 64), 64);
  EXPECT_EQ(Bytes(buffer, buffer + 64), exact);
  EXPECT_EQ(session_.RecvCommPacket(buffer, 2048), 6);
  EXPECT_EQ(Bytes(buffer, buffer + 6), last);
  EXPECT_TRUE(session_.IsConnected());
}

TEST_F(RelaySessionTest, ReceiveTimeOutCanBeShortenedOnlyOnTheCurrentConnection) {
  EXPECT_EQ(session_.SetReceiveTimeout(50), 0);  // before login: no effect
  Connected([](ServerPeer& peer) {
    tarvo::platform::SleepMs(300);
    peer.Write(Frame(kCommPacketAck, CardPacketBody(kPacket)));
    EXPECT_TRUE(peer.StaysSilent(400));
  });
  uint8_t buffer[64];
  EXPECT_EQ(session_.RecvCommPacket(buffer, 64), 20);  // waited longer than 50 ms
  EXPECT_EQ(session_.SetReceiveTimeout(0), 0);
  EXPECT_EQ(session_.SetReceiveTimeout(100), 1);
  EXPECT_EQ(session_.RecvCommPacket(buffer, 64), 0);
  EXPECT_TRUE(session_.IsConnected());  // a time-out keeps the connection
}

TEST_F(RelaySessionTest, HeartbeatIsOneFifteenByteFrameWithoutAnswer) {
  Bytes raw(15);
  Connected([&](ServerPeer& peer) { EXPECT_TRUE(peer.ReadExact(raw.data(), 15, 3000)); });
  EXPECT_EQ(session_.SendHeartbeat(), 1);
  session_.Logout();
  ASSERT_TRUE(server_.WaitDone());
  EXPECT_EQ(raw, Frame(kHeartbeat, {1}));
}

TEST_F(RelaySessionTest, ServerThatClosesLeavesTheSessionDisconnected) {
  Connected([](ServerPeer& peer) {
    EXPECT_TRUE(peer.ExpectFrame(kLockCard));
    peer.Close();
  });
  EXPECT_EQ(session_.LockCard("000123", true), 0);
  EXPECT_FALSE(session_.IsConnected());
  // Everything now reports "not connected" without network activity, and a
  // new login connects again.
  uint8_t buffer[16];
  char text[16];
  EXPECT_EQ(session_.LockCard("000123", true), 0);
  EXPECT_EQ(session_.SendCommPacket("000123", 1, kPacket.data(), 20), 0);
  EXPECT_EQ(session_.RecvCommPacket(buffer, 16), 0);
  EXPECT_EQ(session_.SendHeartbeat(), 0);
  EXPECT_EQ(session_.SetReceiveTimeout(100), 0);
  EXPECT_EQ(session_.QueryCardStatus("", text, 16), -1);
  ServeLogin(LoginAckBody(1, "alice"));
  EXPECT_EQ(Login(), 1);
}

TEST_F(RelaySessionTest, FailedSendDisconnects) {
  Connected([](ServerPeer& peer) { peer.Close(); });  // the server goes away after the login
  ASSERT_TRUE(server_.WaitDone());
  // Heartbeats await no answer, so only the send itself can notice: the
  // first may still be buffered, the peer's reset fails a later one.
  int sent = 1;
  for (int i = 0; i < 100 && sent == 1; ++i) {
    sent = session_.SendHeartbeat();
    tarvo::platform::SleepMs(2);
  }
  EXPECT_EQ(sent, 0);
  EXPECT_FALSE(session_.IsConnected());
  uint8_t lock_answer[4];
  EXPECT_EQ(session_.LockCard("000123", true), 0);
  EXPECT_EQ(session_.RecvCommPacket(lock_answer, 4), 0);
}

class QueryCardStatusTest : public RelaySessionTest {
 protected:
  // Serves one query with `answer` (a whole frame); the request body goes to
  // request_.
  void Answer(const Bytes& answer) {
    Connected([this, answer](ServerPeer& peer) {
      EXPECT_TRUE(peer.ExpectFrame(kQuery, &request_));
      peer.Write(answer);
    });
  }
  Bytes request_;
  char buffer_[64];
};

TEST_F(QueryCardStatusTest, WritesOneEntryPerCardAndClearsTheRestOfTheBuffer) {
  Answer(Frame(kQueryAck, CardQueryAckBody({CardEnvelope("000001", 1), CardEnvelope("000002", 0),
                                            CardEnvelope("000003", 200)})));
  std::memset(buffer_, 'x', sizeof buffer_);
  EXPECT_EQ(session_.QueryCardStatus(nullptr, buffer_, sizeof buffer_), 3);
  EXPECT_STREQ(buffer_, "000001=1;000002=0;000003=200;");
  for (size_t i = std::strlen(buffer_); i < sizeof buffer_; ++i) ASSERT_EQ(buffer_[i], 0);
  EXPECT_EQ(request_, Bytes({3}));
}

TEST_F(QueryCardStatusTest, SendsTheFilterAndSkipsRecordsThatAreNotCards) {
  Answer(Frame(kQueryAck, CardQueryAckBody({UserEnvelope("bob"), CardEnvelope("abc", 1)})));
  EXPECT_EQ(session_.QueryCardStatus("abc", buffer_, sizeof buffer_), 1);
  EXPECT_STREQ(buffer_, "abc=1;");
  EXPECT_EQ(request_, Cat({{3}, Counted("abc")}));
}

TEST_F(QueryCardStatusTest, NoCardsWriteAnEmptyText) {
  Answer(Frame(kQueryAck, CardQueryAckBody({})));
  std::memset(buffer_, 'x', sizeof buffer_);
  EXPECT_EQ(session_.QueryCardStatus("", buffer_, sizeof buffer_), 0);
  for (char c : buffer_) ASSERT_EQ(c, 0);
}

TEST_F(QueryCardStatusTest, TooSmallABufferReportsTheSizeNeededAndStaysUntouched) {
  // "12345678901234=1;" is 17 characters and needs 18 bytes.
  const Bytes answer = Frame(kQueryAck, CardQueryAckBody({CardEnvelope("12345678901234", 1)}));
  Answer(answer);
  std::memset(buffer_, 'x', sizeof buffer_);
  EXPECT_EQ(session_.QueryCardStatus("", buffer_, 17), -18);
  EXPECT_EQ(buffer_[0], 'x');
  session_.Logout();
  Answer(answer);
  EXPECT_EQ(session_.QueryCardStatus("", nullptr, 100), -18);  // no buffer: size only
  session_.Logout();
  Answer(Frame(kQueryAck, CardQueryAckBody({})));
  EXPECT_EQ(session_.QueryCardStatus("", buffer_, 0), -1);
}

TEST_F(QueryCardStatusTest, FailedOrForeignAnswersReturnMinus1) {
  const std::vector<Bytes> answers = {
      Frame(kQueryAck, {1}),                                                // status: refused
      Frame(kQueryAck, Cat({{0, 2}, Le32(0)})),                             // kind is not 3
      Frame(kQueryAck, Cat({{0, 3}, Le32(2), CardEnvelope("000001", 1)})),  // list cut short
      Frame(kRecordOpAck, Cat({{1, 3}, Counted("x"), {0}})),                // another answer
  };
  for (const Bytes& answer : answers) {
    Answer(answer);
    EXPECT_EQ(session_.QueryCardStatus("", buffer_, sizeof buffer_), -1);
    session_.Logout();
  }
  EXPECT_EQ(session_.QueryCardStatus("", buffer_, sizeof buffer_), -1);  // not connected
}

}  // namespace
