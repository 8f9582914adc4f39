// Cards that claim a Device ID another connection holds: probes of the
// holder, challenges of cards with a secret, and the waits of addresses whose
// claims were refused. Cards connect from different loopback addresses
// (127.0.0.N), so one machine plays the real card and the impostor.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fstream>
#include <memory>
#include <sstream>

#include "../relay_server/test_db.hpp"
#include "common/sha256.hpp"
#include "platform/clock.hpp"
#include "platform/socket.hpp"
#include "raw_peers.hpp"
#include "relay/daemon/admin_commands.hpp"
#include "relay/daemon/relay_server.hpp"

namespace zv {
namespace {

using test::Bytes;
using test::Concat;
using test::Counted;
using test::RawPeer;
using test::RelayFrame;

constexpr uint32_t kHost1 = 0x7F000001;  // 127.0.0.1
constexpr uint32_t kHost2 = 0x7F000002;
constexpr uint32_t kHost3 = 0x7F000003;
constexpr uint32_t kHost4 = 0x7F000004;
constexpr int kProbeMs = 250;
constexpr int kDelayBaseMs = 400;

Bytes IdBytes(const std::string& id) {
  return Bytes(id.begin(), id.end());
}
Bytes Registration(const std::string& id) {
  return Concat({Bytes{6, 0}, IdBytes(id)});
}
Bytes Reply(const std::string& id, const Bytes& packet) {
  return Concat({Bytes{static_cast<uint8_t>(packet.size() + 6), 0}, IdBytes(id), packet});
}
Bytes ProbeAnswer(const std::string& id, const Bytes& nonce) {
  return Concat({Bytes{0x0F, 0}, IdBytes(id), Bytes{0xC2}, nonce});
}
// Computed here from the documented layout, not with the server's helper.
Bytes ChallengeAnswer(const std::string& id, const std::string& secret, const Bytes& nonce) {
  const Bytes message = Concat({nonce, IdBytes(id)});
  const auto mac = tarvo::hash::HmacSha256(reinterpret_cast<const uint8_t*>(secret.data()),
                                           secret.size(), message.data(), message.size());
  return Concat({Bytes{0x27, 0}, IdBytes(id), Bytes{0xC4}, Bytes(mac.begin(), mac.end())});
}
const Bytes kEnvelope = {0x0F, 0,    1,    1,    1,    1,    1,    1,   0x68,
                         0x32, 0x01, 0x00, 0x05, 0x00, 0x00, 0x9F, 0x00};

// A TCP card connecting from a chosen loopback address.
class CardPeer {
 public:
  bool Connect(uint32_t from, uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(from);
    sockaddr_in server{};
    server.sin_family = AF_INET;
    server.sin_addr.s_addr = htonl(kHost1);
    server.sin_port = htons(port);
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
        ::connect(fd, reinterpret_cast<sockaddr*>(&server), sizeof server) != 0) {
      if (fd >= 0) ::close(fd);
      return false;
    }
    socket_ = tarvo::platform::TcpSocket(fd);
    return true;
  }
  bool Register(uint32_t from, uint16_t port, const std::string& id) {
    return Connect(from, port) && Send(Registration(id));
  }
  bool Send(const Bytes& bytes) { return socket_.SendAll(bytes.data(), bytes.size()) == 1; }
  Bytes ReadExact(size_t n, int timeout_ms = 3000) {
    Bytes out(n);
    size_t have = 0;
    const int64_t deadline = tarvo::platform::MonotonicMs() + timeout_ms;
    while (have < n) {
      const int64_t left = deadline - tarvo::platform::MonotonicMs();
      if (left <= 0 || socket_.WaitReadable(static_cast<int>(left)) != 1) return {};
      const long got = socket_.ReceiveSome(out.data() + have, n - have);
      if (got <= 0) return {};
      have += static_cast<size_t>(got);
    }
    return out;
  }
  // The nonce of a frame [L][00 x 6][marker][nonce], or empty when another
  // frame or nothing arrives.
  Bytes ReadControl(uint8_t marker, size_t nonce_size, int timeout_ms = 3000) {
    const Bytes frame = ReadExact(2 + 6 + 1 + nonce_size, timeout_ms);
    const Bytes head = {static_cast<uint8_t>(6 + 1 + nonce_size), 0, 0, 0, 0, 0, 0, 0, marker};
    if (frame.size() < head.size() || !std::equal(head.begin(), head.end(), frame.begin()))
      return {};
    return Bytes(frame.begin() + static_cast<long>(head.size()), frame.end());
  }
  Bytes ReadProbe(int timeout_ms = 3000) { return ReadControl(0xC1, 8, timeout_ms); }
  Bytes ReadChallenge() { return ReadControl(0xC3, 16); }
  bool SilentFor(int ms) { return socket_.WaitReadable(ms) == 0; }
  bool ClosedWithin(int timeout_ms) {
    const int64_t deadline = tarvo::platform::MonotonicMs() + timeout_ms;
    uint8_t buf[256];
    for (;;) {
      const int64_t left = deadline - tarvo::platform::MonotonicMs();
      if (left <= 0 || socket_.WaitReadable(static_cast<int>(left)) != 1) return false;
      if (socket_.ReceiveSome(buf, sizeof buf) <= 0) return true;
    }
  }
  void Close() { socket_.Close(); }

 private:
  tarvo::platform::TcpSocket socket_;
};

class CardIdentity : public ::testing::Test {
 protected:
  void SetUp() override {
    db.AddOrganization("Acme");
    db.AddUser("alice", "a", 2, "Acme");
    db.AddCard("ABC123", "Acme");
    db.AddCard("XYZ789", "Acme");
    std::ostringstream err;
    ASSERT_EQ(daemon::AddCard(db.Path(), "SEC001", "Acme", "s3cret", err), 0) << err.str();
    ASSERT_EQ(daemon::AddCard(db.Path(), "87654321", "Acme", "s3cret", err), 0) << err.str();
    daemon::ServerSettings s;
    s.bind_address = "127.0.0.1";
    s.user_port = 0;
    s.card_port = 0;
    s.threads = 2;  // the claimant and the holder may sit on different loops
    s.half_frame_timeout_ms = 3000;
    s.card_probe_timeout_ms = kProbeMs;
    s.takeover_delay_base_ms = kDelayBaseMs;
    s.takeover_delay_cap_ms = 4 * kDelayBaseMs;
    s.log_file = db.Folder() + "/zvrelayd.log";
    server = std::make_unique<daemon::CRelayServer>(s);
    std::string error;
    ASSERT_EQ(server->Start(&error), 1) << error;
    ASSERT_TRUE(user.Connect(server->UserPort()));
    ASSERT_TRUE(user.Send(RelayFrame(0x0001, Concat({Counted("alice"), Counted("a")}))));
    ASSERT_EQ(user.ReadFrame().body.at(0), 1);
  }
  void TearDown() override { server.reset(); }

  uint8_t Lock(const std::string& id) {
    EXPECT_TRUE(user.Send(RelayFrame(0x0006, Concat({Counted(id), Bytes{1}}))));
    test::Frame ack = user.ReadFrame();
    return ack.body.size() == 1 ? ack.body[0] : 0xFF;
  }
  uint8_t Forward(const std::string& id, const Bytes& data) {
    EXPECT_TRUE(user.Send(RelayFrame(0x0005, Concat({Counted(id), Bytes{1}, data}))));
    test::Frame ack = user.ReadFrame();
    return ack.body.empty() ? 0xFF : ack.body[0];
  }
  bool Online(const std::string& id) {
    return test::Eventually(
        [&] { return db.Scalar("SELECT OnLine AS v FROM [Card] WHERE DeviceID = ?", id) == 1; });
  }
  bool Logged(const std::string& text) {
    return test::Eventually([&] {
      std::ifstream log(db.Folder() + "/zvrelayd.log");
      std::string all((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
      return all.find(text) != std::string::npos;
    });
  }
  uint16_t CardPort() const { return server->CardPort(); }

  test::TempDatabase db;
  std::unique_ptr<daemon::CRelayServer> server;
  RawPeer user;
};

TEST_F(CardIdentity, ATakeoverIsRefusedWhileTheHolderAnswersItsProbe) {
  CardPeer real, impostor;
  ASSERT_TRUE(real.Register(kHost1, CardPort(), "ABC123"));
  ASSERT_TRUE(Online("ABC123"));
  ASSERT_EQ(Lock("ABC123"), 1);

  ASSERT_TRUE(impostor.Register(kHost2, CardPort(), "ABC123"));
  const Bytes nonce = real.ReadProbe();
  ASSERT_EQ(nonce.size(), 8u);
  // While the probe is out, the real card's answers still reach the owner.
  const Bytes reply = Reply("ABC123", {0xE8, 0x32, 0x01});
  ASSERT_TRUE(real.Send(reply));
  test::Frame delivered = user.ReadFrame();
  EXPECT_EQ(delivered.type, 0x0F05);
  EXPECT_EQ(delivered.body, Concat({Bytes{5}, reply}));
  ASSERT_TRUE(real.Send(ProbeAnswer("ABC123", nonce)));

  EXPECT_TRUE(impostor.ClosedWithin(3000));
  EXPECT_TRUE(Logged("card ABC123 registers from 127.0.0.2 while online from 127.0.0.1"));
  EXPECT_TRUE(Logged("card ABC123 refused from 127.0.0.2: its connection from 127.0.0.1 answers"));
  // The probe answer went to nobody; the lock and the route stay the real card's.
  EXPECT_TRUE(user.SilentFor(100));
  EXPECT_EQ(Forward("ABC123", kEnvelope), 1);
  EXPECT_EQ(real.ReadExact(kEnvelope.size()), kEnvelope);
  ASSERT_TRUE(real.Send(reply));
  EXPECT_EQ(user.ReadFrame().body, Concat({Bytes{5}, reply}));
}

TEST_F(CardIdentity, AHolderThatIsSilentOrGoneIsReplaced) {
  // Silent: probed, no answer in time, replaced by the newer connection.
  CardPeer old_card, newer;
  ASSERT_TRUE(old_card.Register(kHost1, CardPort(), "ABC123"));
  ASSERT_TRUE(Online("ABC123"));
  ASSERT_TRUE(newer.Register(kHost2, CardPort(), "ABC123"));
  EXPECT_EQ(old_card.ReadProbe().size(), 8u);
  EXPECT_TRUE(old_card.ClosedWithin(3000));
  EXPECT_TRUE(
      Logged("card ABC123 from 127.0.0.1 did not answer its probe: replaced by the "
             "connection from 127.0.0.2"));
  ASSERT_EQ(Lock("ABC123"), 1);
  EXPECT_EQ(Forward("ABC123", kEnvelope), 1);
  EXPECT_EQ(newer.ReadExact(kEnvelope.size()), kEnvelope);

  // Gone: a card from a third address registers at once.
  newer.Close();
  CardPeer third;
  ASSERT_TRUE(test::Eventually([&] { return Lock("ABC123") == 0; }));
  ASSERT_TRUE(third.Register(kHost3, CardPort(), "ABC123"));
  ASSERT_TRUE(test::Eventually([&] { return Lock("ABC123") == 1; }, 1000));

  // The same address again (a card that restarted): replaced at once, unprobed.
  CardPeer restarted;
  ASSERT_TRUE(restarted.Register(kHost3, CardPort(), "ABC123"));
  EXPECT_TRUE(third.ClosedWithin(1000));
  ASSERT_TRUE(test::Eventually([&] { return Lock("ABC123") == 1; }, 1000));
  EXPECT_EQ(Forward("ABC123", kEnvelope), 1);
  EXPECT_EQ(restarted.ReadExact(kEnvelope.size()), kEnvelope);
}

TEST_F(CardIdentity, ACardWithASecretRegistersOnlyWithTheRightAnswer) {
  CardPeer card;
  ASSERT_TRUE(card.Register(kHost1, CardPort(), "SEC001"));
  const Bytes nonce = card.ReadChallenge();
  ASSERT_EQ(nonce.size(), 16u);
  EXPECT_EQ(Lock("SEC001"), 0);  // not registered before it answers
  ASSERT_TRUE(card.Send(ChallengeAnswer("SEC001", "s3cret", nonce)));
  ASSERT_TRUE(Online("SEC001"));
  ASSERT_EQ(Lock("SEC001"), 1);

  // Without the secret: a wrong answer, or none, is refused, and the card
  // keeps its route (no probe: the secret decides).
  CardPeer guesser, silent;
  ASSERT_TRUE(guesser.Register(kHost2, CardPort(), "SEC001"));
  const Bytes other = guesser.ReadChallenge();
  ASSERT_EQ(other.size(), 16u);
  EXPECT_NE(other, nonce);
  ASSERT_TRUE(guesser.Send(ChallengeAnswer("SEC001", "guess", other)));
  EXPECT_TRUE(guesser.ClosedWithin(3000));
  ASSERT_TRUE(silent.Register(kHost3, CardPort(), "SEC001"));
  EXPECT_EQ(silent.ReadChallenge().size(), 16u);
  EXPECT_TRUE(silent.ClosedWithin(3000));
  EXPECT_TRUE(Logged("card SEC001 refused from 127.0.0.2: wrong answer to its challenge"));
  EXPECT_TRUE(Logged("card SEC001 refused from 127.0.0.3: no answer to its challenge in time"));
  EXPECT_TRUE(card.SilentFor(50));
  EXPECT_EQ(Forward("SEC001", kEnvelope), 1);
  EXPECT_EQ(card.ReadExact(kEnvelope.size()), kEnvelope);

  // With the secret, a newer connection from another address wins at once.
  CardPeer moved;
  ASSERT_TRUE(moved.Register(kHost4, CardPort(), "SEC001"));
  const Bytes third = moved.ReadChallenge();
  ASSERT_TRUE(moved.Send(ChallengeAnswer("SEC001", "s3cret", third)));
  EXPECT_TRUE(card.ClosedWithin(3000));
  ASSERT_TRUE(test::Eventually([&] { return Lock("SEC001") == 1; }));
  EXPECT_EQ(Forward("SEC001", kEnvelope), 1);
  EXPECT_EQ(moved.ReadExact(kEnvelope.size()), kEnvelope);
}

TEST_F(CardIdentity, RefusedTakeoversSlowTheirAddressOnly) {
  CardPeer real;
  ASSERT_TRUE(real.Register(kHost1, CardPort(), "ABC123"));
  ASSERT_TRUE(Online("ABC123"));
  // Each refusal doubles the wait before the holder is even asked again.
  const int quiet_ms[] = {0, kDelayBaseMs - 150, 2 * kDelayBaseMs - 150};
  for (int quiet : quiet_ms) {
    CardPeer impostor;
    ASSERT_TRUE(impostor.Register(kHost2, CardPort(), "ABC123"));
    if (quiet > 0) EXPECT_TRUE(real.SilentFor(quiet)) << "probed before a wait of " << quiet;
    const Bytes nonce = real.ReadProbe();
    ASSERT_EQ(nonce.size(), 8u);
    ASSERT_TRUE(real.Send(ProbeAnswer("ABC123", nonce)));
    EXPECT_TRUE(impostor.ClosedWithin(3000));
  }
  // Another card behind the same address registers without waiting, and a
  // claim from another address is asked about at once.
  CardPeer neighbour, other;
  ASSERT_TRUE(neighbour.Register(kHost2, CardPort(), "XYZ789"));
  EXPECT_TRUE(test::Eventually([&] { return Lock("XYZ789") == 1; }, kDelayBaseMs / 2));
  ASSERT_TRUE(other.Register(kHost3, CardPort(), "ABC123"));
  EXPECT_EQ(real.ReadProbe(kDelayBaseMs / 2).size(), 8u);
}

TEST_F(CardIdentity, AUdpRegistrationOfACardWithASecretIsRefused) {
  tarvo::platform::UdpSocket card;
  ASSERT_EQ(card.Bind(kHost1, 0), 1);
  const Bytes registration = {0xA5, '8', '7', '6', '5', '4', '3', '2', '1', 0xAE};
  ASSERT_GT(card.SendTo(registration.data(), registration.size(), kHost1, CardPort()), 0);
  EXPECT_TRUE(Logged("UDP card 87654321 refused: it has a secret"));
  EXPECT_EQ(Lock("87654321"), 0);
  EXPECT_EQ(db.Scalar("SELECT OnLine AS v FROM [Card] WHERE DeviceID = ?", "87654321"), 0);
}

}  // namespace
}  // namespace zv
