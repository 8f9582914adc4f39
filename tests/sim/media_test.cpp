// The simulator on its three media: framing on the pseudo-terminal, the
// network header on TCP, DccMessage records on the gateway port.
#include <gtest/gtest.h>

#include <cstring>
#include <thread>

#include "platform/clock.hpp"
#include "platform/pty.hpp"
#include "platform/socket.hpp"
#include "sim/command_codes.hpp"
#include "sim/gateway_record.hpp"
#include "sim/simulator.hpp"
#include "tests/sim/test_requests.hpp"
#include "tool/codec/stream_framing.hpp"

namespace tarvo::sim {
namespace {

using test::MakeRequest;

std::vector<uint8_t> Frame(const std::vector<uint8_t>& packet) {
  std::vector<uint8_t> f(2 * packet.size() + 2);
  f.resize(EncodeStreamFrame(packet.data(), packet.size(), f.data(), f.size()));
  return f;
}

// Reads one framed reply from a terminal; empty after `timeout_ms` of silence.
std::vector<uint8_t> ReadFramedReply(platform::TerminalEnd& t, int timeout_ms) {
  std::vector<uint8_t> packet(4096);
  StreamDecoder d(packet.data(), packet.size());
  const int64_t end = platform::MonotonicMs() + timeout_ms;
  uint8_t b[256];
  while (platform::MonotonicMs() < end) {
    long n = t.Read(b, sizeof b, 20);
    for (long i = 0; i < n; ++i) {
      if (d.Feed(b[i]) == StreamDecoder::Step::kComplete) {
        packet.resize(d.count());
        return packet;
      }
    }
  }
  return {};
}

TEST(SimulatorSerial, AnswersFramedRequestsOnThePseudoTerminal) {
  SimulatorOptions o;
  o.serial = true;
  o.controller.controller_id = 170;  // 0xAA: the ID byte itself needs escaping
  Simulator sim(o);
  ASSERT_EQ(sim.Start(), 1) << sim.error();
  platform::TerminalEnd port;
  ASSERT_EQ(port.OpenDevice(sim.serial_path()), 1);

  // ResetController to ID 170: A5 68 32 AA 0A 2D 01 00 72 01 AE.
  const std::vector<uint8_t> frame{0xA5, 0x68, 0x32, 0xAA, 0x0A, 0x2D,
                                   0x01, 0x00, 0x72, 0x01, 0xAE};
  EXPECT_EQ(Frame(MakeRequest(kResetController, {0}, 170)), frame);
  // Noise and a broken frame before the real one are skipped.
  std::vector<uint8_t> line{0x11, 0x22, 0xA5, 0x68, 0x32};
  line.insert(line.end(), frame.begin(), frame.end());
  ASSERT_EQ(port.WriteAll(line.data(), line.size()), 1);
  std::vector<uint8_t> reply = ReadFramedReply(port, 3000);
  ASSERT_EQ(reply.size(), 8u);
  EXPECT_EQ(reply[0], 0xE8);
  EXPECT_EQ(reply[2], 170);
  EXPECT_EQ(reply[5], 1);
  EXPECT_TRUE(test::ChecksumOk(reply));
  EXPECT_EQ(sim.WithModel([](ControllerModel& m) { return m.reset_count(); }), 1);

  // The port may be closed and opened again (one open per operation).
  port.Close();
  ASSERT_EQ(port.OpenDevice(sim.serial_path()), 1);
  std::vector<uint8_t> other_id = Frame(MakeRequest(kResetController, {0}, 3));
  port.WriteAll(other_id.data(), other_id.size());
  EXPECT_TRUE(ReadFramedReply(port, 300).empty());
  std::vector<uint8_t> any_id = Frame(MakeRequest(kGetVersions, {0}, 255));
  port.WriteAll(any_id.data(), any_id.size());
  EXPECT_EQ(ReadFramedReply(port, 3000).size(), 36u);
}

TEST(SimulatorSerial, AReaderThatNeverReadsCannotBlockTheSimulator) {
  SimulatorOptions o;
  o.serial = true;
  auto sim = std::make_unique<Simulator>(o);
  ASSERT_EQ(sim->Start(), 1);
  platform::TerminalEnd port;
  ASSERT_EQ(port.OpenDevice(sim->serial_path()), 1);
  // Far more replies than the terminal's queue holds, none of them read.
  std::vector<uint8_t> flood;
  const std::vector<uint8_t> one = Frame(MakeRequest(kGetVersions, {0}, 255));
  for (int i = 0; i < 4000; ++i) flood.insert(flood.end(), one.begin(), one.end());
  // The writer itself blocks once the simulator stops reading; it is released
  // when the simulator closes its end.
  std::thread writer([&] { port.WriteAll(flood.data(), flood.size()); });
  platform::SleepMs(500);
  const int64_t t0 = platform::MonotonicMs();
  sim->Stop();  // must return: a blocked reply would hang it (and the test)
  EXPECT_LT(platform::MonotonicMs() - t0, 30000);
  writer.join();
}

class SimulatorNetwork : public ::testing::Test {
 protected:
  void Start(uint32_t id_code) {
    SimulatorOptions o;
    o.tcp_port = 0;
    o.id_code = id_code;
    sim_ = std::make_unique<Simulator>(o);
    ASSERT_EQ(sim_->Start(), 1) << sim_->error();
    ASSERT_EQ(sock_.Connect(kLoopback, sim_->tcp_port(), 2000), 1);
  }
  void SendWithHeader(uint32_t id_code, const std::vector<uint8_t>& packet) {
    std::vector<uint8_t> out(8, 0);
    wire::PutBe32(out.data(), id_code);
    wire::PutLe16(out.data() + 4, static_cast<uint16_t>(packet.size()));
    out.insert(out.end(), packet.begin(), packet.end());
    ASSERT_EQ(sock_.SendAll(out.data(), out.size()), 1);
  }
  // One reply segment: header and packet; empty on silence.
  std::vector<uint8_t> Receive(int timeout_ms) {
    if (sock_.WaitReadable(timeout_ms) != 1) return {};
    std::vector<uint8_t> buf(1500);
    long n = sock_.ReceiveSome(buf.data(), buf.size());
    buf.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return buf;
  }
  std::unique_ptr<Simulator> sim_;
  platform::TcpSocket sock_;
};

TEST_F(SimulatorNetwork, RepliesBehindAHeaderWithItsOwnIdCode) {
  Start(0xC0A80132);  // 192.168.1.50
  SendWithHeader(0xC0A80132, MakeRequest(kGetFreeSpace, {1}, 255));
  std::vector<uint8_t> r = Receive(3000);
  ASSERT_EQ(r.size(), 8u + 12u);
  EXPECT_EQ(std::vector<uint8_t>(r.begin(), r.begin() + 8),
            (std::vector<uint8_t>{0xC0, 0xA8, 0x01, 0x32, 12, 0, 0, 0}));
  EXPECT_EQ(r[8], 0xE8);

  // The broadcast code reaches every controller; another code is not answered.
  SendWithHeader(0xFFFFFFFF, MakeRequest(kGetFreeSpace, {1}, 255));
  EXPECT_EQ(Receive(3000).size(), 20u);
  SendWithHeader(0xC0A80133, MakeRequest(kGetFreeSpace, {1}, 255));
  EXPECT_TRUE(Receive(300).empty());

  // Two requests in one segment are both answered, in order.
  std::vector<uint8_t> a = MakeRequest(kGetFreeSpace, {1}, 255);
  std::vector<uint8_t> b = MakeRequest(kGetFreeSpace, {0}, 255);
  std::vector<uint8_t> both(8, 0);
  wire::PutBe32(both.data(), 0xC0A80132);
  both[4] = static_cast<uint8_t>(a.size());
  both.insert(both.end(), a.begin(), a.end());
  both.insert(both.end(), {0xC0, 0xA8, 0x01, 0x32, static_cast<uint8_t>(b.size()), 0, 0, 0});
  both.insert(both.end(), b.begin(), b.end());
  sock_.SendAll(both.data(), both.size());
  std::vector<uint8_t> got;
  while (got.size() < 40) {
    std::vector<uint8_t> part = Receive(3000);
    if (part.empty()) break;
    got.insert(got.end(), part.begin(), part.end());
  }
  ASSERT_EQ(got.size(), 40u);
  EXPECT_EQ(got[8 + 5 + 0], 1);
  EXPECT_EQ(got[20 + 8 + 3], kGetFreeSpace);
}

TEST_F(SimulatorNetwork, UnconfiguredIdCodeAnswersAnyHeaderAndOversizedLengthEndsTheConnection) {
  EXPECT_TRUE(IdCodeMatches(kBroadcastIdCode, 0x01020304));
  EXPECT_TRUE(IdCodeMatches(0x01020304, kBroadcastIdCode));
  EXPECT_FALSE(IdCodeMatches(0x01020304, 0x01020305));
  Start(kBroadcastIdCode);
  SendWithHeader(0x0A000001, MakeRequest(kGetVersions, {0}, 255));
  EXPECT_EQ(Receive(3000).size(), 8u + 36u);
  // A header announcing more than any request: the stream cannot be trusted.
  const uint8_t header[8] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0};
  sock_.SendAll(header, sizeof header);
  ASSERT_EQ(sock_.WaitReadable(3000), 1);
  uint8_t b[8];
  EXPECT_EQ(sock_.ReceiveSome(b, sizeof b), 0) << "closed by the simulator";
  // The simulator itself goes on serving new connections.
  platform::TcpSocket again;
  ASSERT_EQ(again.Connect(kLoopback, sim_->tcp_port(), 2000), 1);
  sock_ = std::move(again);
  SendWithHeader(0xFFFFFFFF, MakeRequest(kGetVersions, {0}, 255));
  EXPECT_EQ(Receive(3000).size(), 8u + 36u);
}

TEST(SimulatorGateway, ConfirmsEachSendThenRepliesWithTheSameModem) {
  SimulatorOptions o;
  o.gateway_port = 0;
  Simulator sim(o);
  ASSERT_EQ(sim.Start(), 1) << sim.error();
  platform::TcpSocket s;
  ASSERT_EQ(s.Connect(kLoopback, sim.gateway_port(), 2000), 1);
  s.SetReceiveTimeout(3000);
  auto read_record = [&](DccMessage* m) {
    uint8_t buf[kGatewayRecordSize];
    size_t got = 0;
    while (got < sizeof buf) {
      long n = s.ReceiveSome(buf + got, sizeof buf - got);
      if (n <= 0) return false;
      got += static_cast<size_t>(n);
    }
    std::memcpy(m, buf, sizeof *m);
    return true;
  };
  const std::vector<uint8_t> frame = Frame(MakeRequest(kGetFreeSpace, {1}, 255));
  DccMessage out;
  ASSERT_TRUE(MakeGatewayRecord("861234567890123", 0, frame.data(), frame.size(), &out));
  ASSERT_EQ(s.SendAll(&out, sizeof out), 1);
  DccMessage in;
  ASSERT_TRUE(read_record(&in));
  EXPECT_EQ(in.type, kDccTypeSendConfirm);
  EXPECT_EQ(GatewayRecordId(in), "861234567890123");
  ASSERT_TRUE(read_record(&in));
  EXPECT_EQ(in.type, kDccTypeUserData);
  ASSERT_EQ(GatewayRecordDataLength(in), 14);  // A5, 12 packet bytes, AE
  EXPECT_EQ(in.data[0], 0xA5);
  EXPECT_EQ(in.data[1], 0xE8);
  EXPECT_EQ(sim.last_imei(), "861234567890123");

  // A malformed record (length beyond the data field) is ignored, and so is
  // a confirmation sent the wrong way; the next good one is served.
  DccMessage bad = out;
  wire::PutLe16(bad.length, 1493);
  EXPECT_EQ(GatewayRecordDataLength(bad), -1);
  s.SendAll(&bad, sizeof bad);
  DccMessage confirm;
  MakeGatewayRecord("x", kDccTypeSendConfirm, nullptr, 0, &confirm);
  s.SendAll(&confirm, sizeof confirm);
  s.SendAll(&out, sizeof out);
  ASSERT_TRUE(read_record(&in));
  EXPECT_EQ(in.type, kDccTypeSendConfirm);
  ASSERT_TRUE(read_record(&in));
  EXPECT_EQ(in.type, kDccTypeUserData);

  // A silent controller: the gateway still confirms the send.
  FaultSettings f;
  f.silent_commands = {kGetFreeSpace};
  sim.SetFaults(f);
  s.SendAll(&out, sizeof out);
  ASSERT_TRUE(read_record(&in));
  EXPECT_EQ(in.type, kDccTypeSendConfirm);
  s.SetReceiveTimeout(300);
  EXPECT_FALSE(read_record(&in));
}

TEST(SimulatorNetworkLimits, ConnectionsBeyondTheLimitAreClosedAndOthersStillServed) {
  SimulatorOptions o;
  o.tcp_port = 0;
  Simulator sim(o);
  ASSERT_EQ(sim.Start(), 1);
  std::vector<platform::TcpSocket> held(ConnectionSet::kMaxConnections);
  for (platform::TcpSocket& s : held) ASSERT_EQ(s.Connect(kLoopback, sim.tcp_port(), 2000), 1);
  platform::TcpSocket extra;
  ASSERT_EQ(extra.Connect(kLoopback, sim.tcp_port(), 2000), 1);
  ASSERT_EQ(extra.WaitReadable(3000), 1);
  uint8_t b[8];
  EXPECT_EQ(extra.ReceiveSome(b, sizeof b), 0) << "closed at once";
  // The connections within the limit are served.
  std::vector<uint8_t> req = MakeRequest(kGetVersions, {0}, 255);
  std::vector<uint8_t> out(8, 0xFF);
  out[4] = static_cast<uint8_t>(req.size());
  out[5] = out[6] = out[7] = 0;
  out.insert(out.end(), req.begin(), req.end());
  ASSERT_EQ(held.back().SendAll(out.data(), out.size()), 1);
  ASSERT_EQ(held.back().WaitReadable(3000), 1);
  uint8_t reply[64];
  EXPECT_EQ(held.back().ReceiveSome(reply, sizeof reply), 8 + 36);
}

TEST(SimulatorStart, ReportsAPortThatIsTakenAndStopsCleanly) {
  SimulatorOptions first;
  first.tcp_port = 0;
  Simulator a(first);
  ASSERT_EQ(a.Start(), 1);
  SimulatorOptions second;
  second.serial = true;
  second.tcp_port = a.tcp_port();
  Simulator b(second);
  EXPECT_EQ(b.Start(), 0);
  EXPECT_NE(b.error().find("TCP port"), std::string::npos);
  EXPECT_EQ(b.serial_path(), "") << "what had started is stopped again";
  a.Stop();
  a.Stop();
  EXPECT_EQ(a.tcp_port(), 0);
}

}  // namespace
}  // namespace tarvo::sim
