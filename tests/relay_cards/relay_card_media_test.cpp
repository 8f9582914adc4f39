// The simulator as a card of a relay server, in-process, against raw loopback
// servers that play zvrelayd's card port byte by byte: registration, answers,
// silence for foreign or broken input, reconnection, and the options.
#include <gtest/gtest.h>

#include "common/wire.hpp"
#include "platform/clock.hpp"
#include "platform/socket.hpp"
#include "sim/relay_card_codec.hpp"
#include "sim/sim_options.hpp"
#include "sim/simulator.hpp"
#include "tests/sim/test_requests.hpp"

namespace tarvo::sim {
namespace {

using Bytes = std::vector<uint8_t>;
using test::MakeRequest;

Bytes ReadExact(platform::TcpSocket& s, size_t n, int timeout_ms = 3000) {
  Bytes out(n);
  size_t got = 0;
  const int64_t end = platform::MonotonicMs() + timeout_ms;
  while (got < n && platform::MonotonicMs() < end) {
    if (s.WaitReadable(50) != 1) continue;
    long r = s.ReceiveSome(out.data() + got, n - got);
    if (r <= 0) break;
    got += static_cast<size_t>(r);
  }
  out.resize(got);
  return out;
}

// [len + 6][01 x 6][packet], as zvrelayd forwards a user's route 1 envelope.
Bytes RouteOne(const Bytes& packet) {
  Bytes out(8, 1);
  wire::PutLe16(out.data(), static_cast<uint16_t>(packet.size() + 6));
  out.insert(out.end(), packet.begin(), packet.end());
  return out;
}

struct TcpCardFixture {
  platform::TcpListener listener;
  std::unique_ptr<Simulator> sim;
  TcpCardFixture(int retry_ms = 100) {
    EXPECT_EQ(listener.Listen(kLoopback, 0), 1);
    SimulatorOptions o;
    o.relay_card_port = listener.Port();
    o.device_id = "ABC123";
    o.relay_timing.retry_pause_ms = retry_ms;
    sim = std::make_unique<Simulator>(o);
  }
  platform::TcpSocket AcceptRegistered() {
    platform::TcpSocket card = listener.Accept(3000);
    EXPECT_TRUE(card.IsOpen());
    EXPECT_EQ(ReadExact(card, 8), (Bytes{6, 0, 'A', 'B', 'C', '1', '2', '3'}));
    return card;
  }
};

TEST(TcpRelayCard, RegistersAndAnswersEachForwardedPacketInOrder) {
  TcpCardFixture f;
  ASSERT_EQ(f.sim->Start(), 1) << f.sim->error();
  platform::TcpSocket card = f.AcceptRegistered();
  // Two packets in one write, then one split over two writes.
  Bytes two = RouteOne(MakeRequest(0x2D, {}, 255));
  Bytes versions = RouteOne(MakeRequest(0x4B, {}, 255));
  two.insert(two.end(), versions.begin(), versions.end());
  ASSERT_EQ(card.SendAll(two.data(), two.size()), 1);
  for (uint8_t command : {0x2D, 0x4B}) {
    Bytes head = ReadExact(card, 8);
    ASSERT_EQ(head.size(), 8u);
    EXPECT_EQ(std::string(head.begin() + 2, head.end()), "ABC123");
    Bytes reply = ReadExact(card, wire::GetLe16(head.data()) - 6u);
    ASSERT_GE(reply.size(), 6u);
    EXPECT_EQ(reply[0], 0xE8);
    EXPECT_EQ(reply[3], command);
    EXPECT_TRUE(test::ChecksumOk(reply));
  }
  Bytes split = RouteOne(MakeRequest(0x2D, {}, 255));
  ASSERT_EQ(card.SendAll(split.data(), 3), 1);
  platform::SleepMs(100);
  ASSERT_EQ(card.SendAll(split.data() + 3, split.size() - 3), 1);
  EXPECT_EQ(ReadExact(card, 8).size(), 8u);
}

TEST(TcpRelayCard, StaysSilentForPacketsNotMeantForTheControllerAndStaysInStep) {
  TcpCardFixture f;
  ASSERT_EQ(f.sim->Start(), 1);
  platform::TcpSocket card = f.AcceptRegistered();
  Bytes bad_sum = MakeRequest(0x2D, {}, 255);
  bad_sum.back() ^= 1;
  Bytes other_id = MakeRequest(0x2D, {}, 7);
  Bytes stream;
  for (const Bytes& p : {bad_sum, other_id, Bytes{}}) {
    Bytes e = RouteOne(p);
    stream.insert(stream.end(), e.begin(), e.end());
  }
  ASSERT_EQ(card.SendAll(stream.data(), stream.size()), 1);
  EXPECT_TRUE(ReadExact(card, 1, 300).empty());
  // Still in step: the next good packet is answered.
  Bytes good = RouteOne(MakeRequest(0x2D, {}, 255));
  ASSERT_EQ(card.SendAll(good.data(), good.size()), 1);
  EXPECT_EQ(ReadExact(card, 8).size(), 8u);
}

TEST(TcpRelayCard, ReconnectsAfterTheServerClosesOrTheStreamGoesOutOfStep) {
  TcpCardFixture f(50);
  ASSERT_EQ(f.sim->Start(), 1);
  {
    platform::TcpSocket first = f.AcceptRegistered();
    first.Close();  // the server turned the card away or restarted
  }
  platform::TcpSocket second = f.AcceptRegistered();
  // The card counts a registration once its bytes are sent, which may be
  // just after the server has read them.
  for (int i = 0; i < 100 && f.sim->relay_card_registrations() < 2; ++i) platform::SleepMs(10);
  EXPECT_EQ(f.sim->relay_card_registrations(), 2);
  // A length shorter than the six address bytes cannot be resynchronised.
  const Bytes broken = {3, 0, 1, 1, 1};
  ASSERT_EQ(second.SendAll(broken.data(), broken.size()), 1);
  platform::TcpSocket third = f.AcceptRegistered();
  // Longer than any request: the same.
  const Bytes huge = {0xFF, 0xFF, 1, 1, 1, 1, 1, 1};
  ASSERT_EQ(third.SendAll(huge.data(), huge.size()), 1);
  platform::TcpSocket fourth = f.AcceptRegistered();
  Bytes good = RouteOne(MakeRequest(0x2D, {}, 255));
  ASSERT_EQ(fourth.SendAll(good.data(), good.size()), 1);
  EXPECT_EQ(ReadExact(fourth, 8).size(), 8u);
  f.sim->Stop();  // returns although the card is connected
  EXPECT_FALSE(f.sim->relay_card_connected());
}

TEST(TcpRelayCard, MovesToTheNextNodeWhenItsNodeGoesAndBackWhenThatOneGoes) {
  platform::TcpListener a, b;
  ASSERT_EQ(a.Listen(kLoopback, 0), 1);
  ASSERT_EQ(b.Listen(kLoopback, 0), 1);
  const uint16_t port_a = a.Port();
  a.Close();  // node A is down when the card starts
  SharedModel model{ControllerConfig{}};
  TcpRelayCard card(model, "ABC123", RelayCardTiming{1000, 50});
  ASSERT_EQ(card.Start({{kLoopback, port_a}, {kLoopback, b.Port()}}), 1);
  platform::TcpSocket at_b = b.Accept(3000);
  ASSERT_TRUE(at_b.IsOpen());
  EXPECT_EQ(ReadExact(at_b, 8), (Bytes{6, 0, 'A', 'B', 'C', '1', '2', '3'}));
  EXPECT_EQ(card.node(), 1u);
  // A comes back and B goes: the card tries B again, then registers at A.
  ASSERT_EQ(a.Listen(kLoopback, port_a), 1);
  b.Close();
  at_b.Close();
  platform::TcpSocket at_a = a.Accept(3000);
  ASSERT_TRUE(at_a.IsOpen());
  EXPECT_EQ(ReadExact(at_a, 8), (Bytes{6, 0, 'A', 'B', 'C', '1', '2', '3'}));
  EXPECT_EQ(card.node(), 0u);
  Bytes good = RouteOne(MakeRequest(0x2D, {}, 255));
  ASSERT_EQ(at_a.SendAll(good.data(), good.size()), 1);
  EXPECT_EQ(ReadExact(at_a, 8).size(), 8u);
  card.Stop();
}

TEST(TcpRelayCard, StartFailsWhenNoServerListens) {
  platform::TcpListener l;
  ASSERT_EQ(l.Listen(kLoopback, 0), 1);
  SimulatorOptions o;
  o.relay_card_port = l.Port();
  o.device_id = "ABC123";
  l.Close();
  Simulator sim(o);
  EXPECT_EQ(sim.Start(), 0);
  EXPECT_NE(sim.error().find("ABC123"), std::string::npos);
}

struct UdpServer {
  platform::UdpSocket socket;
  UdpServer() { EXPECT_EQ(socket.Bind(kLoopback, 0), 1); }
  Bytes Receive(uint32_t* from, uint16_t* port, int timeout_ms = 3000) {
    Bytes buffer(65536);
    long n = socket.ReceiveFrom(buffer.data(), buffer.size(), timeout_ms, from, port);
    buffer.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return buffer;
  }
};

TEST(UdpRelayCard, RegistersAndAnswersForwardedPacketsWithEscapedReplies) {
  UdpServer server;
  SimulatorOptions o;
  o.relay_udp_port = server.socket.Port();
  o.device_id = "13812345678";
  o.relay_udp_reregister_ms = 200;
  Simulator sim(o);
  ASSERT_EQ(sim.Start(), 1) << sim.error();
  uint32_t from = 0;
  uint16_t port = 0;
  EXPECT_EQ(server.Receive(&from, &port), UdpCardRegistration("13812345678"));
  Bytes request = UdpCardReply("13812345678", MakeRequest(0x2D, {}, 255));
  ASSERT_EQ(server.socket.SendTo(request.data(), request.size(), from, port),
            static_cast<long>(request.size()));
  Bytes answer;
  for (int i = 0; i < 5 && (answer.empty() || answer == UdpCardRegistration("13812345678")); ++i)
    answer = server.Receive(&from, &port);
  Bytes packet;
  ASSERT_TRUE(DecodeUdpCardForward(answer.data(), answer.size(), "13812345678", 4096, &packet));
  EXPECT_EQ(packet[0], 0xE8);
  EXPECT_EQ(packet[3], 0x2D);
  EXPECT_TRUE(test::ChecksumOk(packet));
  // The registration is repeated at its pace.
  EXPECT_GE(sim.relay_udp_registrations(), 1);
  platform::SleepMs(500);
  EXPECT_GE(sim.relay_udp_registrations(), 2);
}

TEST(UdpRelayCard, IgnoresOtherCardsAndStrangers) {
  UdpServer server;
  platform::UdpSocket stranger;
  ASSERT_EQ(stranger.Bind(kLoopback, 0), 1);
  SimulatorOptions o;
  o.relay_udp_port = server.socket.Port();
  o.device_id = "4711";
  o.relay_udp_reregister_ms = 60000;
  Simulator sim(o);
  ASSERT_EQ(sim.Start(), 1);
  uint32_t from = 0;
  uint16_t port = 0;
  ASSERT_EQ(server.Receive(&from, &port), UdpCardRegistration("4711"));
  Bytes other = UdpCardReply("4712", MakeRequest(0x2D, {}, 255));
  server.socket.SendTo(other.data(), other.size(), from, port);
  Bytes mine = UdpCardReply("4711", MakeRequest(0x2D, {}, 255));
  stranger.SendTo(mine.data(), mine.size(), from, port);
  uint32_t f2 = 0;
  uint16_t p2 = 0;
  EXPECT_TRUE(server.Receive(&f2, &p2, 300).empty());
  Bytes stranger_got(64);
  EXPECT_LE(stranger.ReceiveFrom(stranger_got.data(), stranger_got.size(), 100, &f2, &p2), 0);
  server.socket.SendTo(mine.data(), mine.size(), from, port);
  EXPECT_FALSE(server.Receive(&f2, &p2).empty());
}

TEST(RelayCardOptions, ProductionPacingIsTheDefault) {
  // Tests shorten these; the program must keep a pace that does not hammer
  // a server that turns the card away.
  SimulatorOptions o;
  EXPECT_EQ(o.relay_timing.retry_pause_ms, 1000);
  EXPECT_EQ(o.relay_timing.connect_timeout_ms, 3000);
  EXPECT_EQ(o.relay_udp_reregister_ms, 10000);
  EXPECT_EQ(o.relay_card_port, -1);
  EXPECT_EQ(o.relay_udp_port, -1);
}

TEST(RelayCardOptions, CardOptionsNeedAFittingDeviceId) {
  auto parse = [](std::vector<const char*> args, SimulatorOptions* o) {
    args.insert(args.begin(), "tarvo-sim");
    std::string message;
    return ParseSimulatorArguments(static_cast<int>(args.size()), args.data(), o, &message);
  };
  SimulatorOptions o;
  ASSERT_EQ(parse({"--relay-card", "127.0.0.1:5203", "--device-id", "ABC123"}, &o), -1);
  EXPECT_EQ(o.relay_card_port, 5203);
  EXPECT_EQ(o.relay_card_address, kLoopback);
  EXPECT_EQ(o.relay_udp_port, -1);
  ASSERT_EQ(parse({"--relay-udp", "localhost:7000", "--device-id", "138123456789"}, &o), -1);
  EXPECT_EQ(o.relay_udp_port, 7000);
  EXPECT_EQ(o.relay_card_port, -1);
  ASSERT_EQ(parse({"--relay-card", "10.0.0.2:1", "--relay-udp", "10.0.0.2:2", "--device-id",
                   "123456", "--tcp", "0"},
                  &o),
            -1);
  EXPECT_EQ(o.relay_card_address, 0x0A000002u);
  EXPECT_EQ(o.tcp_port, 0);
  ASSERT_EQ(
      parse({"--relay-card", "127.0.0.1:5203,10.0.0.2:5204,localhost:9", "--device-id", "ABC123"},
            &o),
      -1);
  EXPECT_EQ(o.relay_card_port, 5203);
  ASSERT_EQ(o.relay_card_fallbacks.size(), 2u);
  EXPECT_EQ(o.relay_card_fallbacks[0].address, 0x0A000002u);
  EXPECT_EQ(o.relay_card_fallbacks[0].port, 5204);
  EXPECT_EQ(o.relay_card_fallbacks[1].port, 9);
  SimulatorOptions untouched;
  EXPECT_EQ(parse({"--relay-card", "127.0.0.1:5203"}, &untouched), 2) << "no device id";
  EXPECT_EQ(parse({"--relay-card", "127.0.0.1:5203", "--device-id", "ABC12"}, &untouched), 2);
  EXPECT_EQ(parse({"--relay-udp", "127.0.0.1:5203", "--device-id", "ABC123"}, &untouched), 2);
  EXPECT_EQ(parse({"--relay-card", "127.0.0.1", "--device-id", "ABC123"}, &untouched), 2);
  EXPECT_EQ(parse({"--relay-card", "127.0.0.1:0", "--device-id", "ABC123"}, &untouched), 2);
  EXPECT_EQ(parse({"--relay-card", "127.0.0.1:70000", "--device-id", "ABC123"}, &untouched), 2);
  EXPECT_EQ(parse({"--relay-card", "host:1", "--device-id", "ABC123"}, &untouched), 2);
  EXPECT_EQ(parse({"--serial", "--device-id", "ABC123"}, &untouched), 2);
  EXPECT_EQ(parse({"--relay-card", "127.0.0.1:5203,", "--device-id", "ABC123"}, &untouched), 2);
  EXPECT_EQ(untouched.relay_card_port, -1);
}

}  // namespace
}  // namespace tarvo::sim
